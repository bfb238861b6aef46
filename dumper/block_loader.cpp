// Block loading and the data layer walks: reads one block, checks which object
// and kind of block it is, decodes the fixed headers of a data block and finds
// its row pieces through the row directory or by walking the row heap,
// handing each record to the run's printer.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run_notes.h"
#include "trevanix.h"

using namespace block_format;

DataFileReader::~DataFileReader()
{
    if (fd >= 0) ::close(fd);
}

namespace {

// The largest block size -z accepts.
constexpr std::uint32_t kMaxBlockSize = 16000;
constexpr std::size_t kChunkBytes = 1 << 20;


enum class ReadOutcome { Ok, EndOfFile, SeekRefused, ReadFailed };

// Reads from `position` as much of a chunk as the file holds.
ReadOutcome fill_chunk(DataFileReader& f, std::uint64_t position, std::uint32_t block_size)
{
    if (f.chunk.empty()) {
        std::size_t blocks = kChunkBytes / block_size;
        if (blocks == 0) blocks = 1;
        // A regular file smaller than a chunk gets a buffer of its own size:
        // a run over a few small blocks then touches no more memory than it
        // reads. Devices, pipes and files that report no size (such as those
        // of /proc) get the whole chunk.
        struct stat info;
        if (::fstat(f.fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            std::uint64_t file_blocks = (static_cast<std::uint64_t>(info.st_size) + block_size - 1) / block_size;
            if (file_blocks < blocks) blocks = static_cast<std::size_t>(file_blocks);
        }
        f.chunk.resize(block_size * blocks);
    }
    std::size_t got = 0;
    int error = 0;
    while (got < f.chunk.size()) {
        ssize_t n = ::pread(f.fd, f.chunk.data() + got, f.chunk.size() - got,
                            static_cast<off_t>(position + got));
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    f.chunk_start = position;
    f.chunk_filled = got;
    f.read_error = error;
    if (got >= block_size) return ReadOutcome::Ok;
    if (error == ESPIPE) return ReadOutcome::SeekRefused;
    if (error != 0) return ReadOutcome::ReadFailed;
    return ReadOutcome::EndOfFile;
}

// Makes `block` a view of the block at `position`, reading a new chunk when
// the one in memory does not hold it whole.
ReadOutcome read_block(DataFileReader& f, std::int64_t position, std::uint32_t block_size, ByteView& block)
{
    if (position < 0) return ReadOutcome::SeekRefused;
    std::uint64_t pos = static_cast<std::uint64_t>(position);
    bool cached = pos >= f.chunk_start && pos + block_size <= f.chunk_start + f.chunk_filled;
    if (!cached) {
        ReadOutcome outcome = fill_chunk(f, pos, block_size);
        if (outcome != ReadOutcome::Ok) return outcome;
    }
    block = ByteView(f.chunk.data() + (pos - f.chunk_start), block_size);
    return ReadOutcome::Ok;
}

bool open_data_file(DumpContext& ctx)
{
    DataFileReader& f = ctx.file;
    if (f.fd >= 0) return true;
    f.fd = open_for_reading(ctx.settings.data_file.c_str());
    if (f.fd < 0) {
        f.open_error = errno;
        return false;
    }
    struct stat info;
    if (::fstat(f.fd, &info) == 0 && S_ISREG(info.st_mode)) {
        f.regular = true;
        f.size_at_open = static_cast<std::uint64_t>(info.st_size);
    }
    return true;
}

// The size of the open file now, or 0 when it has none.
std::uint64_t current_size(const DataFileReader& f)
{
    struct stat info;
    return f.regular && ::fstat(f.fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// What the block says of the block size and byte order it was written
// with, to warn when the run reads it with others.
void note_geometry(RunTally& t, const BlockView& block)
{
    if (block.u8(kBlockTypeAt) == kBlockTypeData) {
        const std::uint32_t size = format_block_size(block.u8(kFormatAt));
        if (size != 0) {
            ++t.sized_blocks;
            if (size != block.size()) ++t.other_sizes[static_cast<std::size_t>(std::countr_zero(size))];
        }
    }
    const ByteOrder other = block.order == ByteOrder::Little ? ByteOrder::Big : ByteOrder::Little;
    if (tail_consistent(block.bytes, block.order))
        ++t.tails_in_order;
    else if (tail_consistent(block.bytes, other))
        ++t.tails_in_other_order;
}

void fail_to_load(DumpContext& ctx, LoadFailure failure)
{
    ctx.tally.load_failed = true;
    ctx.printer->load_failure(ctx, failure);
}

// Loads the current block into ctx.state.block; returns BLOCK_OK or the
// status that ends the run, after the printer has said why.
int load_block(DumpContext& ctx)
{
    const RunSettings& s = ctx.settings;
    if (s.block_size > kMaxBlockSize && s.long_block_size == 0 && !s.block_size_auto) {
        fail_to_load(ctx, LoadFailure::BlockSizeTooBig);
        return BLOCK_FATAL;
    }
    if (!open_data_file(ctx)) {
        fail_to_load(ctx, LoadFailure::OpenFailed);
        return BLOCK_FATAL;
    }
    std::int64_t position = static_cast<std::int64_t>(s.block_number) * s.block_size;
    ByteView bytes;
    switch (read_block(ctx.file, position, s.block_size, bytes)) {
    case ReadOutcome::Ok:
        ctx.state.block.bytes = bytes;
        ctx.state.block.order = s.byte_order;
        ++ctx.tally.blocks_read;
        note_geometry(ctx.tally, ctx.state.block);
        report_geometry(ctx, false);
        return BLOCK_OK;
    case ReadOutcome::EndOfFile:
        ctx.tally.reached_end = true;
        ctx.tally.end_block = s.block_number;
        ctx.tally.end_size = current_size(ctx.file);
        return BLOCK_END_OF_FILE;
    case ReadOutcome::SeekRefused:
        fail_to_load(ctx, LoadFailure::SeekRefused);
        return BLOCK_FATAL;
    case ReadOutcome::ReadFailed:
        fail_to_load(ctx, LoadFailure::ReadFailed);
        return BLOCK_READ_FAILED;
    }
    return BLOCK_FATAL;
}

// Walks the row directory and decodes every piece an entry points at.
void walk_row_directory(DumpContext& ctx, const BlockRecord& record)
{
    const std::uint32_t block_size = ctx.settings.block_size;
    const DataHeader& h = record.data;
    BlockState& st = ctx.state;
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        const std::uint32_t entry_at = h.row_directory + kRowEntrySize * i;
        if (entry_at > block_size) {
            ctx.printer->directory_entry(ctx, record, {i, 0, EntryProblem::BeyondBlock});
            return;
        }
        const std::uint16_t entry = st.block.u16(entry_at);
        st.row_offset = entry;
        // Empty slots, and entries too small to point past the directory, are skipped.
        if (entry != kEmptySlot && entry >= h.row_count) {
            const std::uint32_t piece = entry + st.dhs_offset;
            if (piece < block_size) {
                int header_length = 0;
                ctx.piece.walk = Walk::Directory;
                ctx.piece.slot = static_cast<std::int32_t>(i);
                decode_row_piece(ctx, piece, header_length);
                ctx.printer->piece(ctx, record, ctx.piece);
            } else {
                ctx.printer->directory_entry(ctx, record, {i, entry, EntryProblem::PieceOutOfBlock});
            }
        }
        st.previous_row_offset = entry;
    }
}

// The directory entries that point at pieces, as the directory walk takes
// them, sorted by the offset they hold; the lowest slot first when several
// hold the same offset.
void index_directory(const DumpContext& ctx, const BlockRecord& record, std::vector<SlotEntry>& index)
{
    const std::uint32_t block_size = ctx.settings.block_size;
    const DataHeader& h = record.data;
    index.clear();
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        const std::uint32_t entry_at = h.row_directory + kRowEntrySize * i;
        if (entry_at > block_size) break;
        const std::uint16_t entry = record.view.u16(entry_at);
        if (entry != kEmptySlot && entry >= h.row_count && entry + h.offset < block_size) index.push_back({entry, i});
    }
    std::sort(index.begin(), index.end(), [](const SlotEntry& a, const SlotEntry& b) {
        return a.row_offset != b.row_offset ? a.row_offset < b.row_offset : a.slot < b.slot;
    });
}

// The slot of the first directory entry that points at `row_offset`, or -1.
std::int32_t slot_of(const std::vector<SlotEntry>& index, std::uint16_t row_offset)
{
    auto it = std::lower_bound(index.begin(), index.end(), row_offset,
                               [](const SlotEntry& e, std::uint16_t offset) { return e.row_offset < offset; });
    return it != index.end() && it->row_offset == row_offset ? static_cast<std::int32_t>(it->slot) : -1;
}

// Walks the row heap from the end of the free space, one piece after the
// other, which also reaches pieces no directory entry points at.
void walk_row_heap(DumpContext& ctx, const BlockRecord& record)
{
    const std::uint32_t block_size = ctx.settings.block_size;
    BlockState& st = ctx.state;
    if (ctx.find_slots) index_directory(ctx, record, ctx.slot_index);
    // Some piece classes leave the header length alone; the last written value
    // then carries on to the next step.
    int header_length = 0;
    std::uint32_t position = 0;
    for (;;) {
        const std::uint32_t piece = record.data.free_space_end + st.dhs_offset + position;
        if (piece >= block_size - kTailSize) break;
        st.row_offset = static_cast<std::uint16_t>(record.data.free_space_end + position);
        ctx.piece.walk = Walk::Heap;
        ctx.piece.slot = ctx.find_slots ? slot_of(ctx.slot_index, st.row_offset) : -1;
        const int consumed = decode_row_piece(ctx, piece, header_length);
        ctx.printer->piece(ctx, record, ctx.piece);
        position += static_cast<std::uint32_t>(consumed + header_length);
    }
}

// Reads the data header and checks that it and the directories after it
// fit in the block. Unsigned differences, as the header fields are: a tiny
// block passes these checks and reads zeros beyond its end.
BlockOutcome decode_data_layer(const BlockRecord& record, std::uint32_t block_size, DataHeader& data)
{
    data = locate_data_header(record.view, record.header.itl_count);
    if (data.offset > block_size - kDataHeaderSize) return BlockOutcome::DataHeaderOutOfBounds;
    if (data.table_directory > block_size - kTableEntrySize) return BlockOutcome::TableDirectoryOutOfBounds;
    if (data.table_directory + kTableEntrySize > block_size) return BlockOutcome::RowDirectoryOutOfBounds;
    return BlockOutcome::Walked;
}

}  // namespace

int open_for_reading(const char* path)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer, perhaps for ever.
    // Blocking reads are restored once it is open.
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

namespace {

void count_checks(VerifyTally& t, const BlockChecks& c)
{
    ++t.blocks;
    if (c.state == CheckedAs::NeverUsed) ++t.never_used;
    if (c.state == CheckedAs::FileHeader) ++t.file_headers;
    if (c.state != CheckedAs::Checked) return;
    t.checksum_mismatches += !c.checksum_ok;
    t.fractured += !c.tail_ok;
    t.wrong_size += !c.format_ok;
    t.misplaced += !c.address_ok;
    t.damaged_data_layers += !c.data_layer_ok();
    if (!t.scn_seen || c.header.scn() > t.highest_scn) {
        t.scn_seen = true;
        t.highest_scn = c.header.scn();
        t.highest_scn_block = c.number;
    }
}

// Blocks whose addresses are off by the same amount one after another make
// one run, handed on once it ends.
void follow_misplaced(DumpContext& ctx, const BlockChecks& c)
{
    VerifyState& v = ctx.verify;
    const bool misplaced = c.state == CheckedAs::Checked && !c.address_ok;
    const std::int64_t shift =
        static_cast<std::int64_t>(c.address_block) - (static_cast<std::uint32_t>(c.number) & kAddressBlockMask);
    if (misplaced && v.run_open && c.number == v.run.last + 1 && shift == v.run.shift) {
        v.run.last = c.number;
        return;
    }
    end_verify(ctx);
    if (!misplaced) return;
    v.run = {c.number, c.number, shift, c.address_file, c.address_block};
    v.run_open = true;
}

}  // namespace

void end_verify(DumpContext& ctx)
{
    if (!ctx.verify.run_open) return;
    ctx.verify.run_open = false;
    ctx.printer->misplaced_run(ctx, ctx.verify.run);
}

namespace {

// Reads up to `size` bytes at `offset`; the bytes read.
std::size_t read_at(int fd, std::uint64_t offset, std::uint8_t* buffer, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size - got, static_cast<off_t>(offset + got));
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    return got;
}

// A block read whole from the file, or an empty view.
ByteView block_at(int fd, std::uint64_t offset, std::uint32_t size, std::vector<std::uint8_t>& buffer)
{
    buffer.resize(size);
    return read_at(fd, offset, buffer.data(), size) == size ? ByteView(buffer.data(), size) : ByteView();
}

bool tail_consistent_in(const ByteView& block, const RunSettings& s)
{
    if (!s.byte_order_auto) return tail_consistent(block, s.byte_order);
    return tail_consistent(block, ByteOrder::Little) || tail_consistent(block, ByteOrder::Big);
}

// The block size: the data file header's place gives it (block 1 lies at
// one block size), or else block 0's format byte does.
bool find_block_size(int fd, DumpContext& ctx, std::vector<std::uint8_t>& buffer)
{
    RunSettings& s = ctx.settings;
    for (std::uint32_t size = 2048; size <= 32768; size *= 2) {
        const ByteView block = block_at(fd, size, size, buffer);
        if (block.u8(kBlockTypeAt) == kBlockTypeFileHeader && tail_consistent_in(block, s)) {
            s.block_size = size;
            ctx.layout_found.size_from = LayoutFound::FileHeader;
            return true;
        }
    }
    std::uint8_t format = 0;
    if (read_at(fd, kFormatAt, &format, 1) == 1) {
        const std::uint32_t size = format_block_size(format);
        if (size >= 512 && size <= 32768 && tail_consistent_in(block_at(fd, 0, size, buffer), s)) {
            s.block_size = size;
            ctx.layout_found.size_from = LayoutFound::FormatByte;
            return true;
        }
    }
    return false;
}

// The byte order: the first block whose tail reads right in one order only.
bool find_byte_order(int fd, DumpContext& ctx, std::vector<std::uint8_t>& buffer)
{
    constexpr std::uint32_t kBlocksLookedAt = 4096;
    RunSettings& s = ctx.settings;
    for (std::uint32_t number = 0; number < kBlocksLookedAt; ++number) {
        const ByteView block = block_at(fd, std::uint64_t{number} * s.block_size, s.block_size, buffer);
        if (block.empty()) break;
        const bool little = tail_consistent(block, ByteOrder::Little);
        const bool big = tail_consistent(block, ByteOrder::Big);
        if (little == big) continue;
        s.byte_order = little ? ByteOrder::Little : ByteOrder::Big;
        ctx.layout_found.order_block = static_cast<std::int32_t>(number);
        return true;
    }
    return false;
}

}  // namespace

int find_block_layout(DumpContext& ctx)
{
    RunSettings& s = ctx.settings;
    if (!open_data_file(ctx)) return BLOCK_OK;  // the first block says so
    std::vector<std::uint8_t> buffer;
    ctx.layout_found.size_found = s.block_size_auto;
    ctx.layout_found.order_found = s.byte_order_auto;
    if (s.block_size_auto && !find_block_size(ctx.file.fd, ctx, buffer)) {
        ctx.err.text("trevanix: cannot tell the block size of " + s.data_file +
                     ": no data file header at 2048 to 32768 bytes, and no format byte in block 0 with a "
                     "consistent tail\n");
        return BLOCK_FATAL;
    }
    if (s.byte_order_auto && !find_byte_order(ctx.file.fd, ctx, buffer)) {
        ctx.err.text("trevanix: cannot tell the byte order of " + s.data_file +
                     ": no block whose tail reads consistently in one byte order only\n");
        return BLOCK_FATAL;
    }
    ctx.layout_found.block_size = s.block_size;
    ctx.layout_found.order = s.byte_order;
    return BLOCK_OK;
}

namespace {

// A file that ends inside the block the run has come to: a block cut short.
void check_cut_short(DumpContext& ctx)
{
    const RunTally& t = ctx.tally;
    const std::uint64_t start = static_cast<std::uint64_t>(t.end_block) * ctx.settings.block_size;
    if (!ctx.file.regular || t.end_block < 0 || start >= t.end_size) return;
    if (start + ctx.settings.block_size <= ctx.file.size_at_open) return;  // the file got shorter: not damage
    ++ctx.verify.tally.cut_short;
    ctx.printer->cut_short_block(ctx, t.end_block, t.end_size - start);
}

}  // namespace

int verify_block(DumpContext& ctx)
{
    const int status = load_block(ctx);
    if (status == BLOCK_END_OF_FILE) check_cut_short(ctx);
    if (status != BLOCK_OK) return status;
    const RunSettings& s = ctx.settings;
    const BlockView& block = ctx.state.block;
    if (s.object_filter != 0) {
        // Only the data blocks of that object.
        const BlockHeader h = decode_block_header(block);
        if (h.object_id != static_cast<std::uint32_t>(s.object_filter) || h.layer_type != kLayerData) return BLOCK_OK;
    }
    const BlockChecks checks = check_block(block, s.block_number, s.block_size);
    count_checks(ctx.verify.tally, checks);
    follow_misplaced(ctx, checks);
    ctx.printer->block_checks(ctx, checks);
    return BLOCK_OK;
}

int process_block(DumpContext& ctx)
{
    const int status = load_block(ctx);
    if (status != BLOCK_OK) return status;

    const RunSettings& s = ctx.settings;
    BlockRecord& record = ctx.block;
    record.number = s.block_number;
    record.file_offset = static_cast<std::uint64_t>(static_cast<std::int64_t>(s.block_number) * s.block_size);
    record.view = ctx.state.block;
    record.header = decode_block_header(record.view);
    record.data = DataHeader();
    if (s.object_filter != 0 && static_cast<std::uint32_t>(s.object_filter) != record.header.object_id)
        return BLOCK_OK;
    if (record.header.layer_type == kLayerData) ++ctx.tally.data_blocks;
    if (record.header.layer_type != kLayerData) {
        record.outcome = BlockOutcome::NotData;
    } else if (s.action == DUMPSCNS) {
        record.outcome = BlockOutcome::Listed;
        record.data = locate_data_header(record.view, record.header.itl_count);
    } else {
        record.outcome = decode_data_layer(record, s.block_size, record.data);
    }
    ctx.state.dhs_offset = record.data.offset;
    ctx.printer->block(ctx, record);
    if (is_fatal(record.outcome)) return BLOCK_FATAL;
    if (record.outcome != BlockOutcome::Walked) return BLOCK_OK;
    if (is_sequential_walk(s.action))
        walk_row_heap(ctx, record);
    else
        walk_row_directory(ctx, record);
    return BLOCK_OK;
}
