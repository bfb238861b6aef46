#include "read/file_kind.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "format/block_format.h"
#include "format/block_headers.h"
#include "format/file_format.h"
#include "read/geometry.h"

using namespace block_format;
using namespace file_format;

namespace {

// The first bytes of a file looked at for a magic or a marker.
constexpr std::size_t kHeadBytes = 64 * 1024;
// How many blocks are looked at for data blocks when block 1 is lost.
constexpr std::uint32_t kBlocksForDataBlocks = 64;
constexpr std::uint32_t kSmallestBlock = 512;
constexpr std::uint32_t kLargestBlock = 32768;

struct Head {
    std::vector<std::uint8_t> bytes;
    ByteView view() const { return {bytes.data(), bytes.size()}; }
};

Head read_head(DataFile& file)
{
    Head head;
    head.bytes.resize(kHeadBytes);
    head.bytes.resize(file.read_at(0, head.bytes.data(), kHeadBytes));
    return head;
}

bool has_at(const ByteView& bytes, std::size_t at, std::string_view text)
{
    const ByteView found = bytes.sub(at, text.size());
    return found.size() == text.size() && std::memcmp(found.data(), text.data(), text.size()) == 0;
}

// An ASM disk: its name at the offset its header keeps it (assumed).
bool is_asm_disk(const ByteView& head) { return has_at(head, kAsmDiskMagicAt, kAsmDiskMagic); }

// A parameter file names the database in a line of its own (assumed).
bool is_parameter_file(const ByteView& head)
{
    const std::string_view marker = kParameterFileMarker;
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    return text.find(marker) != std::string_view::npos;
}

// Block 0's operating system header: the byte order its magic is in, and
// the block size it gives in that order (sure for little-endian files,
// likely for big-endian ones).
bool os_header_geometry(const ByteView& head, Geometry& geometry)
{
    if (head.u8(0) != 0) return false;
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const auto& magic = order == ByteOrder::Little ? kOsMagicLittle : kOsMagicBig;
        bool found = head.size() >= kOsMagicAt + magic.size();
        for (std::size_t i = 0; found && i < magic.size(); ++i) found = head.u8(kOsMagicAt + i) == magic[i];
        if (!found) continue;
        const std::uint32_t size = BlockView{head, order}.u32(kOsBlockSizeAt);
        if (size < kSmallestBlock || size > kLargestBlock || (size & (size - 1)) != 0) return false;
        geometry = {size, order};
        return true;
    }
    return false;
}

bool is_header_block_type(std::uint8_t type)
{
    return type == kBlockTypeFileHeader || type == kBlockTypeControlFileHeader || type == kBlockTypeRedoLogHeader;
}

// Block 1 is a header block, its tail consistent in one order, at one of
// the block sizes.
bool header_block_geometry(DataFile& file, Geometry& geometry)
{
    std::vector<std::uint8_t> buffer;
    for (std::uint32_t size = kSmallestBlock; size <= kLargestBlock; size *= 2) {
        buffer.resize(size);
        if (file.read_at(size, buffer.data(), size) != size) break;
        const ByteView block(buffer.data(), size);
        if (!is_header_block_type(block.u8(kBlockTypeAt))) continue;
        for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
            if (tail_consistent(block, order)) {
                geometry = {size, order};
                return true;
            }
        }
    }
    return false;
}

// Block 1 at the file's geometry, whole; empty when the file is shorter.
std::vector<std::uint8_t> block_one(DataFile& file, const Geometry& geometry)
{
    std::vector<std::uint8_t> block(geometry.block_size);
    if (file.read_at(geometry.block_size, block.data(), block.size()) != block.size()) block.clear();
    return block;
}

// Data blocks (type 6, their tails consistent) among the first blocks: a
// data file whose header is lost.
bool has_data_blocks(DataFile& file)
{
    Block block;
    for (std::int32_t n = 0; n < static_cast<std::int32_t>(kBlocksForDataBlocks); ++n) {
        if (file.read(n, block, Access::Random) != ReadStatus::Ok) break;
        if (block.view.u8(kBlockTypeAt) == kBlockTypeData && tail_consistent(block.view.bytes, file.geometry().order))
            return true;
    }
    return false;
}

void identify_by_header(DataFile& file, FileIdentity& id)
{
    const std::vector<std::uint8_t> block = block_one(file, id.geometry);
    const std::uint8_t type = block.empty() ? 0 : block[kBlockTypeAt];
    if (type == kBlockTypeControlFileHeader) {
        id.kind = FileKind::ControlFile;
        id.evidence = "block 1 is a control file's header block";
        return;
    }
    if (type == kBlockTypeRedoLogHeader) {
        id.kind = FileKind::RedoLog;
        id.evidence = "block 1 is a redo log's header block (online or archived)";
        return;
    }
    file.set_geometry(id.geometry);
    id.facts = file.header_facts();
    if (id.facts.file_header && id.facts.file_type == kFileTypeData) {
        id.kind = FileKind::DataFile;
        id.sure = true;
        id.evidence = "block 1 is a data file header";
        id.release = release_by_header_length(ByteView(block.data(), block.size()));
    } else if (id.facts.file_header && id.facts.file_type == kFileTypeTemp) {
        id.kind = FileKind::TempFile;
        id.evidence = "block 1 is a file header of file type " + std::to_string(kFileTypeTemp);
        id.release = release_by_header_length(ByteView(block.data(), block.size()));
    } else if (id.facts.file_header) {
        id.kind = FileKind::Unknown;
        id.evidence = "block 1 is a file header of file type " + std::to_string(id.facts.file_type);
    }
}

}  // namespace

std::string release_by_header_length(ByteView block)
{
    std::size_t end = block.size() > kTailSize ? block.size() - kTailSize : 0;
    while (end > 0 && block.u8(end - 1) == 0) --end;
    if (end <= kCommonHeaderEnd) return "";
    if (end <= kHeaderSize10g) return "10g or earlier";
    if (end <= kHeaderSize11g) return "11g";
    return "12c or later";
}

std::string_view kind_name(FileKind kind)
{
    switch (kind) {
    case FileKind::DataFile: return "data file";
    case FileKind::TempFile: return "temp file";
    case FileKind::ControlFile: return "control file";
    case FileKind::RedoLog: return "redo log";
    case FileKind::AsmDisk: return "ASM disk";
    case FileKind::ParameterFile: return "parameter file";
    case FileKind::Empty: return "empty";
    case FileKind::Unknown: return "unknown";
    }
    return "unknown";
}

FileIdentity identify_file(DataFile& file)
{
    FileIdentity id;
    id.size = file.sized() ? file.size_at_open() : 0;
    if (file.sized() && id.size == 0) {
        id.kind = FileKind::Empty;
        id.sure = true;
        id.evidence = "no bytes";
        return id;
    }
    const Head head = read_head(file);
    if (head.bytes.empty()) {
        id.evidence = "nothing could be read";
        return id;
    }
    if (is_asm_disk(head.view())) {
        id.kind = FileKind::AsmDisk;
        id.evidence = std::string("block 0 names ") + kAsmDiskMagic;
        return id;
    }
    id.geometry_known = os_header_geometry(head.view(), id.geometry) || header_block_geometry(file, id.geometry);
    if (id.geometry_known) identify_by_header(file, id);
    if (id.evidence.empty()) {
        // No header tells: data blocks do, else a parameter file's text.
        LayoutFound found;
        std::string ignored;
        if (find_geometry(file, {id.geometry, !id.geometry_known, !id.geometry_known}, found, ignored) &&
            has_data_blocks(file)) {
            id.kind = FileKind::DataFile;
            id.geometry = file.geometry();
            id.geometry_known = true;
            id.evidence = "data blocks, but block 1 is no data file header";
        } else if (is_parameter_file(head.view())) {
            id.kind = FileKind::ParameterFile;
            id.evidence = std::string("it sets ") + std::string(kParameterFileMarker).substr(2, 7);
        } else {
            id.evidence = "no Oracle block header at any block size";
        }
    }
    return id;
}

std::vector<DatabaseFiles> group_by_database(const std::vector<FileIdentity>& identities)
{
    std::map<std::uint32_t, DatabaseFiles> databases;
    for (std::size_t i = 0; i < identities.size(); ++i) {
        const FileIdentity& id = identities[i];
        if (!id.is_data_file() || !id.facts.file_header) continue;
        DatabaseFiles& db = databases[id.facts.database_id];
        db.database_id = id.facts.database_id;
        if (db.name.empty()) db.name = id.facts.database_name;
        db.files.push_back(i);
    }
    std::vector<DatabaseFiles> grouped;
    for (auto& [dbid, db] : databases) {
        std::stable_sort(db.files.begin(), db.files.end(), [&](std::size_t a, std::size_t b) {
            return identities[a].facts.absolute_file < identities[b].facts.absolute_file;
        });
        std::set<std::uint32_t> found;
        for (const std::size_t i : db.files) found.insert(identities[i].facts.absolute_file);
        const std::uint32_t highest = found.empty() ? 0 : *found.rbegin();
        for (std::uint32_t n = 1; n < highest; ++n)
            if (found.count(n) == 0) db.not_found.push_back(n);
        grouped.push_back(std::move(db));
    }
    return grouped;
}
