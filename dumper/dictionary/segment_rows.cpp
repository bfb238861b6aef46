#include "dictionary/segment_rows.h"

#include "format/block_format.h"
#include "read/block_checks.h"
#include "read/block_decoder.h"

namespace dictionary {

namespace {

// How many rows that cannot be read whole a warning names by place.
constexpr std::size_t kPlacesNamed = 3;

// "checksum, tail": the checks a block fails.
std::string failed_checks(const BlockChecks& checks)
{
    std::string failed;
    auto add = [&failed](bool ok, const char* what) {
        if (ok) return;
        if (!failed.empty()) failed += ", ";
        failed += what;
    };
    add(checks.checksum_ok, "checksum");
    add(checks.tail_ok, "tail");
    add(checks.format_ok, "format byte");
    add(checks.address_ok, "address");
    add(checks.data_layer_ok(), "data layer");
    return failed;
}

std::string row_place(const Row& row)
{
    return "file " + std::to_string(row.head.file) + " block " + std::to_string(row.head.block) + " slot " +
           std::to_string(row.head.slot);
}

class SegmentReader {
public:
    SegmentReader(DataFileSet& files, const DictionarySegment& segment, LoadNotes& notes,
                  const std::function<void(const Row&)>& each)
        : files_(files), segment_(segment), notes_(notes), each_(each), reader_(files)
    {
    }

    SegmentTally read()
    {
        for (const BlockPlace& place : segment_.blocks) read_block(place);
        if (tally_.incomplete_rows > 0) {
            std::string places;
            for (const std::string& place : incomplete_places_) places += (places.empty() ? "" : ", ") + place;
            if (tally_.incomplete_rows > incomplete_places_.size()) places += ", ...";
            notes_.warn(segment_.name + ": " + std::to_string(tally_.incomplete_rows) +
                        (tally_.incomplete_rows == 1 ? " row" : " rows") + " could not be read whole (" + places +
                        "): passed over");
        }
        return tally_;
    }

private:
    void read_block(const BlockPlace& place)
    {
        DataFile* file = file_of_place(files_, place);
        Block block;
        if (file == nullptr ||
            file->read(static_cast<std::int32_t>(place.block), block, Access::Random) != ReadStatus::Ok) {
            ++tally_.damaged_blocks;
            notes_.warn(segment_.name + ": " + place_text(place) + " cannot be read: passed over");
            return;
        }
        const BlockChecks checks = check_block(block.view, static_cast<std::int32_t>(place.block),
                                               file->geometry().block_size);
        // A block never used holds nothing; one whose header fails its
        // checks may be one of the segment's whatever its header says; a
        // sound one of another type or data object is not the segment's.
        if (checks.state != CheckedAs::Checked) return;
        const BlockHeader& header = checks.header;
        const bool whole = checks.checksum_ok && checks.tail_ok && checks.format_ok && checks.address_ok;
        if (whole && (header.block_type != block_format::kBlockTypeData ||
                      header.layer_type != block_format::kLayerData || header.object_id != segment_.data_object))
            return;
        ++tally_.data_blocks;
        if (!checks.sound()) {
            ++tally_.damaged_blocks;
            notes_.warn(segment_.name + ": " + place_text(place) + " is damaged (" + failed_checks(checks) +
                        "): its rows are passed over");
            return;
        }
        DecodedBlock decoded = decode_block_headers(std::move(block));
        decode_data_layer(decoded, false);
        if (decoded.outcome != BlockOutcome::Walked) return;
        DirectoryWalkCarry carry;
        PieceWalk walk(decoded, carry, PieceReading::ByFlagBits);
        for (PieceWalk::Step step; (step = walk.next()) != PieceWalk::Step::End;) {
            if (step != PieceWalk::Step::Piece) continue;
            const RowPieceRecord& piece = walk.piece();
            if (!starts_row(piece)) continue;
            reader_.read(decoded, piece, walk.columns(), row_);
            if (!row_.complete()) {
                // A deleted row is a second source: what is lost of it is no live row's.
                if (row_.deleted)
                    ++tally_.incomplete_deleted_rows;
                else if (++tally_.incomplete_rows <= kPlacesNamed)
                    incomplete_places_.push_back(row_place(row_));
                continue;
            }
            ++(row_.deleted ? tally_.deleted_rows : tally_.rows);
            each_(row_);
        }
    }

    DataFileSet& files_;
    const DictionarySegment& segment_;
    LoadNotes& notes_;
    const std::function<void(const Row&)>& each_;
    RowReader reader_;
    Row row_;
    SegmentTally tally_;
    std::vector<std::string> incomplete_places_;
};

}  // namespace

void warn_of_map(const DictionarySegment& segment, const SegmentMap& map, LoadNotes& notes)
{
    for (const std::string& warning : map.warnings)
        notes.warn(segment.name + "'s segment header (" + place_text(segment.header) + ") " + warning);
}

SegmentTally read_segment_rows(DataFileSet& files, const DictionarySegment& segment, LoadNotes& notes,
                               const std::function<void(const Row&)>& each)
{
    return SegmentReader(files, segment, notes, each).read();
}

}  // namespace dictionary
