// Block loading and the data layer walks: reads one block, checks which object
// and kind of block it is, decodes the fixed headers of a data block and finds
// its row pieces through the row directory or by walking the row heap.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "trevanix.h"

const char* const block_type_names[12] = {
    "",
    "Undo segment header",
    "Undo Data Block",
    "Save Undo Header",
    "Save Undo Data Block",
    "Data Segment Header",
    "KTB Managed Data Block",
    "Temp Table Block",
    "Sort Key",
    "Sort Run",
    "Segment Free List Block",
    "Data File Header",
};

DataFileReader::~DataFileReader()
{
    if (fd >= 0) ::close(fd);
}

namespace {

constexpr std::uint32_t kMaxBlockSize = 16000;
constexpr std::size_t kChunkBytes = 1 << 20;

// Cache and transaction header fields.
constexpr std::size_t kBlockTypeAt = 0;
constexpr std::size_t kScnAt = 8;
constexpr std::size_t kLayerTypeAt = 20;
constexpr std::size_t kObjectIdAt = 24;
constexpr std::size_t kItlCountAt = 36;
// The data header follows a 20-byte cache header, a 24-byte transaction
// header and 24 bytes per ITL slot.
constexpr std::uint32_t kDataHeaderBase = 20 + 24;
constexpr std::uint32_t kItlSlotSize = 24;
constexpr std::uint32_t kDataHeaderSize = 14;
// Blocks of automatically managed segments carry 8 more bytes in their
// transaction header, which moves the data header down.
constexpr std::uint32_t kSegmentSpaceExtension = 8;

constexpr std::uint8_t kLayerData = 1;
constexpr std::uint8_t kLayerIndex = 2;
constexpr std::uint16_t kEmptySlot = 0xFFFF;
// The sequential walk takes no piece that starts in the block's 4-byte tail.
constexpr std::uint32_t kTailSize = 4;

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
    if (got >= block_size) return ReadOutcome::Ok;
    if (error == ESPIPE) return ReadOutcome::SeekRefused;
    if (error != 0) return ReadOutcome::ReadFailed;
    return ReadOutcome::EndOfFile;
}

// Makes `block` a view of the block at `position`, reading a new chunk when
// the one in memory does not hold it whole.
ReadOutcome read_block(DataFileReader& f, std::int64_t position, std::uint32_t block_size,
                       ByteView& block)
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
    if (ctx.file.fd >= 0) return true;
    ctx.file.fd = open_for_reading(ctx.settings.data_file.c_str());
    return ctx.file.fd >= 0;
}

// Loads the current block into ctx.state.block; returns BLOCK_OK or the
// status that ends the run, after printing its message.
int load_block(DumpContext& ctx)
{
    const RunSettings& s = ctx.settings;
    OutputSink& out = ctx.out;
    if (s.block_size > kMaxBlockSize) {
        out.text("Block size too big.\n");
        return BLOCK_FATAL;
    }
    if (!open_data_file(ctx)) {
        out.text("Failed to open datafile ");
        out.text(s.data_file);
        out.byte('\n');
        return BLOCK_FATAL;
    }
    std::int64_t position = static_cast<std::int64_t>(s.block_number) * s.block_size;
    switch (read_block(ctx.file, position, s.block_size, ctx.state.block)) {
    case ReadOutcome::Ok:
        return BLOCK_OK;
    case ReadOutcome::EndOfFile:
        return BLOCK_END_OF_FILE;
    case ReadOutcome::SeekRefused:
        out.text("Failed to set pointer.\n");
        return BLOCK_FATAL;
    case ReadOutcome::ReadFailed:
        out.text("Failed to read ");
        out.dec(static_cast<std::int32_t>(s.block_size));
        out.text(" bytes\n");
        return BLOCK_READ_FAILED;
    }
    return BLOCK_FATAL;
}

void print_block_type(OutputSink& out, std::uint8_t type)
{
    if (type >= sizeof block_type_names / sizeof block_type_names[0]) {
        out.text("Unknown block type...\n");
        return;
    }
    out.text("Block type: ");
    out.text(block_type_names[type]);
    out.text(" (");
    out.dec(type);
    out.text(")\n");
}

// Prints the layer type with -g; true when the block is a data block.
bool check_layer_type(OutputSink& out, bool verbose, std::uint8_t layer)
{
    if (layer == kLayerData) {
        if (verbose) out.text("Type: DATA\n");
        return true;
    }
    if (verbose) {
        if (layer == kLayerIndex) {
            out.text("Type: INDEX\n");
        } else {
            out.text("Type: Unknown: ");
            out.dec(layer);
            out.byte('\n');
        }
    }
    return false;
}

void print_scn_line(DumpContext& ctx)
{
    OutputSink& out = ctx.out;
    const ByteView& block = ctx.state.block;
    out.text("Block ID: ");
    out.dec(ctx.settings.block_number);
    out.text(", Object ID: ");
    out.dec(block.u32le(kObjectIdAt));
    out.text(", SCN: ");
    out.dec(block.u32le(kScnAt));
    out.byte('\n');
}

struct DataHeader {
    std::uint8_t table_count;
    std::uint16_t row_count;
    std::uint16_t free_space_start;
    std::uint16_t free_space_end;
};

DataHeader read_data_header(const ByteView& block, std::uint32_t dhs)
{
    return {block.u8(dhs + 1), block.u16le(dhs + 2), block.u16le(dhs + 6), block.u16le(dhs + 8)};
}

// A data header is taken as real when its free space begins where its row
// directory ends and its free space ends inside the block.
bool is_consistent_data_header(const ByteView& block, std::uint32_t dhs)
{
    DataHeader h = read_data_header(block, dhs);
    std::int64_t directory_end = kDataHeaderSize + 4 * h.table_count + 2 * h.row_count;
    std::int64_t room = static_cast<std::int64_t>(block.size()) - dhs;
    return h.table_count >= 1 && h.free_space_start == directory_end &&
           h.free_space_end >= h.free_space_start && h.free_space_end <= room;
}

struct DataHeaderPlace {
    std::uint32_t offset;
    bool extended;  // behind the segment space extension
};

// The data header follows the ITL slots, or 8 bytes later in blocks of
// automatically managed segments. The later place is taken only when the
// earlier one does not hold a consistent header and it does.
DataHeaderPlace locate_data_header(const ByteView& block, std::uint8_t itl_slots)
{
    std::uint32_t plain = itl_slots * kItlSlotSize + kDataHeaderBase;
    std::uint32_t extended = plain + kSegmentSpaceExtension;
    if (!is_consistent_data_header(block, plain) && is_consistent_data_header(block, extended))
        return {extended, true};
    return {plain, false};
}

void print_data_header(OutputSink& out, std::uint32_t dhs, const DataHeader& h)
{
    out.text("offset DHS: ");
    out.hex(dhs, 2);
    out.text(" \nNumber of table directories: ");
    out.dec(h.table_count);
    out.text("\nNumber of rows: ");
    out.dec(h.row_count);
    out.text("\nFreespace offset start: ");
    out.hex(h.free_space_start);
    out.text("\nFreespace offset end: ");
    out.hex(h.free_space_end);
    out.byte('\n');
}

void print_row_count_mismatch(OutputSink& out)
{
    out.text("\n\n>>>>>>>> WARNING WARNING WARNING >>>>>>>>\n\n"
             "Number of rows from table directory structure\n"
             "does not match the number of rows from the\n"
             "data header structure!\n\n"
             "<<<<<<<< WARNING WARNING WARNING <<<<<<<<\n\n");
}

// Walks the row directory and decodes every piece an entry points at.
void walk_row_directory(DumpContext& ctx, std::uint32_t row_directory, const DataHeader& h)
{
    const std::uint32_t block_size = ctx.settings.block_size;
    const bool verbose = ctx.settings.verbose;
    OutputSink& out = ctx.out;
    BlockState& st = ctx.state;
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        std::uint32_t entry_at = row_directory + 2 * i;
        if (entry_at > block_size) {
            out.text("Count is out of bounds!\n");
            return;
        }
        std::uint16_t entry = st.block.u16le(entry_at);
        st.row_offset = entry;
        // Empty slots, and entries too small to point past the directory, are skipped.
        if (entry != kEmptySlot && entry >= h.row_count) {
            std::uint32_t piece = entry + st.dhs_offset;
            if (piece < block_size) {
                if (verbose) {
                    out.text("Offset: ");
                    out.hex(piece, 2);
                    out.text(" (REAL: ");
                    out.hex(entry, 2);
                    out.text(")\nRow header: ");
                    out.hex(st.block.u8(piece), 2);
                    out.byte(' ');
                    out.dec(piece);
                    out.byte('\n');
                }
                int header_length = 0;
                decode_row_piece(ctx, piece, header_length);
                if (verbose) out.byte('\n');
            } else if (verbose) {
                out.text("\n\n>>>>>>>> WARNING WARNING WARNING >>>>>>>>\n\n"
                         "Row offset is out of bounds\n\n"
                         "<<<<<<<< WARNING WARNING WARNING <<<<<<<<\n\n");
            }
        }
        st.previous_row_offset = entry;
    }
}

// Walks the row heap from the end of the free space, one piece after the
// other, which also reaches pieces no directory entry points at.
void walk_row_heap(DumpContext& ctx, const DataHeader& h)
{
    const RunSettings& s = ctx.settings;
    BlockState& st = ctx.state;
    // Some piece classes leave the header length alone; the last written value
    // then carries on to the next step.
    int header_length = 0;
    std::uint32_t position = 0;
    for (;;) {
        std::uint32_t piece = h.free_space_end + st.dhs_offset + position;
        if (piece >= s.block_size - kTailSize) break;
        st.row_offset = static_cast<std::uint16_t>(h.free_space_end + position);
        if (s.verbose) {
            ctx.out.text("Block ID: ");
            ctx.out.dec(s.block_number);
            ctx.out.text(", Offset: ");
            ctx.out.hex(piece);
            ctx.out.byte('\n');
        }
        int consumed = decode_row_piece(ctx, piece, header_length);
        position += static_cast<std::uint32_t>(consumed + header_length);
    }
}

// Decodes the transaction and data headers and walks the row pieces.
int decode_data_block(DumpContext& ctx)
{
    const RunSettings& s = ctx.settings;
    OutputSink& out = ctx.out;
    BlockState& st = ctx.state;
    const ByteView& block = st.block;

    std::uint8_t itl_slots = block.u8(kItlCountAt);
    if (s.verbose) {
        out.text("ITL Slots: ");
        out.dec(itl_slots);
        out.byte('\n');
    }
    // Unsigned differences, as the header fields are: a tiny block passes
    // these checks and reads zeros beyond its end.
    DataHeaderPlace place = locate_data_header(block, itl_slots);
    st.dhs_offset = place.offset;
    if (st.dhs_offset > s.block_size - kDataHeaderSize) {
        out.text("Offset of data header structure is out of bounds.\n");
        return BLOCK_FATAL;
    }
    if (s.verbose && place.extended) out.text("Data header follows the 8-byte segment space extension.\n");
    DataHeader header = read_data_header(block, st.dhs_offset);
    if (s.verbose) print_data_header(out, st.dhs_offset, header);

    std::uint32_t table_directory = st.dhs_offset + kDataHeaderSize;
    if (table_directory > s.block_size - 4) {
        out.text("Offset of table directory structure is out of bounds.\n");
        return BLOCK_FATAL;
    }
    std::uint16_t second_row_count = block.u16le(table_directory + 2);
    if (s.verbose) {
        out.text("Number of rows 2: ");
        out.dec(second_row_count);
        out.byte('\n');
        if (second_row_count != header.row_count) print_row_count_mismatch(out);
    }
    if (table_directory + 4 > s.block_size) {
        out.text("Offset of row directory is out of bounds.\n");
        return BLOCK_FATAL;
    }
    std::uint32_t row_directory = table_directory + 4u * header.table_count;
    if (is_sequential_walk(s.action))
        walk_row_heap(ctx, header);
    else
        walk_row_directory(ctx, row_directory, header);
    return BLOCK_OK;
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

int process_block(DumpContext& ctx)
{
    int status = load_block(ctx);
    if (status != BLOCK_OK) return status;

    const RunSettings& s = ctx.settings;
    const ByteView& block = ctx.state.block;
    std::uint32_t object_id = block.u32le(kObjectIdAt);
    if (s.object_filter != 0 && static_cast<std::uint32_t>(s.object_filter) != object_id)
        return BLOCK_OK;
    if (s.verbose) print_block_type(ctx.out, block.u8(kBlockTypeAt));
    if (!check_layer_type(ctx.out, s.verbose, block.u8(kLayerTypeAt))) return BLOCK_OK;
    if (s.action == DUMPSCNS) {
        print_scn_line(ctx);
        return BLOCK_OK;
    }
    return decode_data_block(ctx);
}
