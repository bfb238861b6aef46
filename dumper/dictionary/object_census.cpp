#include "dictionary/object_census.h"

#include "read/block_checks.h"

#include <algorithm>

#include "format/block_format.h"

namespace dictionary {

namespace {

// How many rows of each unknown data object are weighed: enough to tell
// the tables they fit from those they do not.
constexpr std::uint64_t kWeighedRows = 2000;

using infer::Candidate;
using schema::OracleType;

// The candidate type of the inference that stands for a column's type;
// none for the types whose values any bytes can be (RAW, LOB locators).
std::optional<Candidate> candidate_of(OracleType type)
{
    switch (type) {
    case OracleType::Date:
    case OracleType::Timestamp:
    case OracleType::TimestampLtz: return Candidate::DateTime;
    case OracleType::TimestampTz: return Candidate::TimestampTz;
    case OracleType::IntervalDs: return Candidate::IntervalDs;
    case OracleType::IntervalYm: return Candidate::IntervalYm;
    case OracleType::Urowid: return Candidate::Urowid;
    case OracleType::Rowid: return Candidate::Rowid;
    case OracleType::Boolean: return Candidate::Boolean;
    case OracleType::Number:
    case OracleType::Float: return Candidate::Number;
    case OracleType::Varchar2:
    case OracleType::Char:
    case OracleType::Long: return Candidate::Text;
    case OracleType::Nvarchar2:
    case OracleType::Nchar: return Candidate::NationalText;
    case OracleType::BinaryDouble: return Candidate::BinaryDouble;
    case OracleType::BinaryFloat: return Candidate::BinaryFloat;
    default: return std::nullopt;
    }
}

bool explains(const infer::ColumnStats& stats, OracleType type)
{
    const std::optional<Candidate> candidate = candidate_of(type);
    return !candidate ||
           static_cast<double>(stats.count(*candidate)) >= infer::kExplainedShare * static_cast<double>(stats.present);
}

std::vector<std::uint32_t> known_data_objects(const schema::Schema& schema)
{
    std::vector<std::uint32_t> known;
    for (const schema::Table& table : schema.tables)
        for (std::uint32_t object : schema::data_object_numbers(table)) known.push_back(object);
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
    return known;
}

}  // namespace

bool rows_fit(const infer::ObjectStats& stats, const schema::Table& table)
{
    if (table.cluster) return false;
    std::vector<const schema::Column*> stored;
    for (const schema::Column& column : table.columns)
        if (column.segment_column != 0) stored.push_back(&column);
    const std::vector<infer::ColumnStats>& columns = stats.columns();
    if (stats.rows() == 0 || columns.empty() || columns.size() > stored.size()) return false;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const schema::Column& column = *stored[i];
        if (!column.nullable && (i >= columns.size() || columns[i].present != stats.rows())) return false;
        if (i < columns.size() && !explains(columns[i], column.type)) return false;
    }
    return true;
}

ObjectCensus::Weighed::Weighed(std::shared_ptr<infer::SharedWork> shared)
    : stats(std::in_place, std::move(shared)), sampler(std::nullopt, kWeighedRows)
{
}

ObjectCensus::ObjectCensus(const schema::Schema& schema, DataFileSet& files, const infer::Options& options,
                           std::size_t held_budget)
    : schema_(schema),
      files_(files),
      reader_(files),
      known_(known_data_objects(schema)),
      shared_(std::make_shared<infer::SharedWork>(options)),
      budget_(held_budget)
{
}

ObjectCensus::Weighed& ObjectCensus::unknown(std::uint32_t object)
{
    return unknown_.try_emplace(object, shared_).first->second;
}

void ObjectCensus::add_block(const DecodedBlock& block)
{
    using namespace block_format;
    const BlockHeader& header = block.header;
    if (header.block_type != kBlockTypeData || header.layer_type != kLayerData) return;
    const std::uint32_t object = header.object_id;
    ++objects_[object].blocks;
    Weighed* weighed = nullptr;
    if (!std::binary_search(known_.begin(), known_.end(), object)) weighed = &unknown(object);
    // Compressed rows are not decoded, nor counted as a cluster's.
    if (block.outcome != BlockOutcome::Walked || block_content(block.view()) != BlockContent::Rows) return;
    // A cluster's block counts for each table its directory gives rows.
    for (std::uint32_t table = 1; table < block.data.table_count; ++table) {
        const std::uint32_t entry = block.data.table_directory + kTableEntrySize * table;
        if (block.view().u16(entry + kTableRowCountAt) > 0) ++cluster_tables_[{object, table}].blocks;
    }
    add_rows(block, weighed);
}

void ObjectCensus::add_rows(const DecodedBlock& block, Weighed* weighed)
{
    const std::uint32_t object = block.header.object_id;
    DirectoryWalkCarry carry;
    PieceWalk walk(block, carry, PieceReading::ByFlagBits);
    for (PieceWalk::Step step; (step = walk.next()) != PieceWalk::Step::End;) {
        if (step != PieceWalk::Step::Piece) continue;
        const RowPieceRecord& piece = walk.piece();
        if (!starts_row(piece) || piece.deleted()) continue;
        ++objects_[object].rows;
        const std::optional<std::uint32_t> table =
            (piece.flags & block_format::kFlagC) && piece.slot >= 0
                ? cluster_table_of(block, static_cast<std::uint32_t>(piece.slot))
                : std::nullopt;
        if (table) ++cluster_tables_[{object, *table}].rows;
        if (weighed == nullptr || table) continue;
        if (of_range_)
            candidates_.push_back({object, block.block.source, block.block.number, piece.offset});
        else if (keeps(*weighed))
            weigh(block, piece, walk.columns(), object, *weighed);
    }
}

void ObjectCensus::weigh(const DecodedBlock& block, const RowPieceRecord& head,
                         std::span<const ColumnRecord> head_columns, std::uint32_t object, Weighed& weighed)
{
    reader_.read(block, head, head_columns, row_);
    if (!row_.complete()) return;
    values_.clear();
    for (const ColumnValue& value : row_.values)
        values_.push_back(value.null ? std::nullopt : std::optional<ByteView>(value.bytes));
    held_ -= weighed.stats->held_bytes();
    weighed.stats->add_row(values_);
    held_ += weighed.stats->held_bytes();
    if (weighed.recent)
        recent_.splice(recent_.end(), recent_, *weighed.recent);
    else
        weighed.recent = recent_.insert(recent_.end(), object);
    // The object just fed is the last weighed early.
    while (held_ > budget_ && recent_.front() != object) fit_early(recent_.front());
}

std::vector<const schema::Table*> ObjectCensus::fits_of(const infer::ObjectStats& stats) const
{
    std::vector<const schema::Table*> fits;
    for (const schema::Table& table : schema_.tables)
        if (rows_fit(stats, table)) fits.push_back(&table);
    return fits;
}

void ObjectCensus::fit_early(std::uint32_t object)
{
    Weighed& weighed = unknown_.find(object)->second;
    weighed.fits = fits_of(*weighed.stats);
    held_ -= weighed.stats->held_bytes();
    weighed.stats.reset();
    recent_.erase(*weighed.recent);
    weighed.recent.reset();
    ++fitted_early_;
}

ObjectCensus::ObjectCensus(const schema::Schema& schema, DataFileSet& files, const infer::Options& options, OfRange)
    : ObjectCensus(schema, files, options)
{
    of_range_ = true;
}

// Reads the block a candidate row starts in again, and weighs the row.
void ObjectCensus::weigh_at(const Candidate& candidate, Weighed& weighed)
{
    DataFile* file = files_.by_source(candidate.source);
    Block bytes;
    if (file == nullptr || file->read(candidate.block, bytes, Access::Random) != ReadStatus::Ok) return;
    DecodedBlock block = decode_block_headers(std::move(bytes));
    decode_data_layer(block, false);
    DirectoryWalkCarry carry;
    PieceWalk walk(block, carry, PieceReading::ByFlagBits);
    for (PieceWalk::Step step; (step = walk.next()) != PieceWalk::Step::End;) {
        if (step == PieceWalk::Step::Piece && walk.piece().offset == candidate.offset) {
            weigh(block, walk.piece(), walk.columns(), candidate.object, weighed);
            return;
        }
    }
}

void ObjectCensus::add_range(const ObjectCensus& range)
{
    for (const auto& [object, count] : range.objects_) {
        ObjectCount& total = objects_[object];
        total.blocks += count.blocks;
        total.rows += count.rows;
    }
    for (const auto& [key, count] : range.cluster_tables_) {
        ObjectCount& total = cluster_tables_[key];
        total.blocks += count.blocks;
        total.rows += count.rows;
    }
    for (const auto& entry : range.unknown_) unknown(entry.first);
    for (const Candidate& candidate : range.candidates_) {
        Weighed& weighed = unknown_.find(candidate.object)->second;
        if (keeps(weighed)) weigh_at(candidate, weighed);
    }
}

void ObjectCensus::clear_range()
{
    objects_.clear();
    cluster_tables_.clear();
    unknown_.clear();
    recent_.clear();
    held_ = 0;
    candidates_ = {};
}

ObjectCount ObjectCensus::count(std::uint32_t data_object) const
{
    const auto found = objects_.find(data_object);
    return found == objects_.end() ? ObjectCount{} : found->second;
}

ObjectCount ObjectCensus::count(std::uint32_t data_object, std::uint32_t cluster_table) const
{
    const auto found = cluster_tables_.find({data_object, cluster_table});
    return found == cluster_tables_.end() ? ObjectCount{} : found->second;
}

std::vector<ObjectCensus::Unknown> ObjectCensus::unknown_objects() const
{
    std::vector<Unknown> unknown;
    for (const auto& [object, weighed] : unknown_) {
        unknown.push_back({object, count(object), weighed.stats ? fits_of(*weighed.stats) : weighed.fits});
    }
    return unknown;
}

}  // namespace dictionary
