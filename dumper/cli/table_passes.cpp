#include "cli/table_passes.h"

#include <algorithm>

#include "format/block_format.h"
#include "infer/decide.h"
#include "read/block_checks.h"

using namespace unload;

namespace {

// The cluster table a head piece's row belongs to, as the row reader finds it.
std::optional<std::uint32_t> head_cluster_table(const DecodedBlock& block, const RowPieceRecord& piece)
{
    if ((piece.flags & block_format::kFlagC) == 0 || piece.slot < 0) return std::nullopt;
    return cluster_table_of(block, static_cast<std::uint32_t>(piece.slot));
}

// The same as one word, as every row is told apart by it on the way to its
// file: the table + 1, 0 for none.
std::uint32_t head_cluster_place(const DecodedBlock& block, const RowPieceRecord& piece)
{
    if ((piece.flags & block_format::kFlagC) == 0 || piece.slot < 0) return 0;
    const std::optional<std::uint32_t> table = cluster_table_of(block, static_cast<std::uint32_t>(piece.slot));
    return table ? *table + 1 : 0;
}

std::optional<std::uint32_t> cluster_table(std::uint32_t place)
{
    return place == 0 ? std::nullopt : std::optional<std::uint32_t>(place - 1);
}

// A head whose row goes on in other pieces (or lies elsewhere, after a stub).
bool is_chained(const RowPieceRecord& piece)
{
    constexpr std::uint8_t kWhole = block_format::kFlagF | block_format::kFlagL;
    return (piece.flags & kWhole) != kWhole;
}

// A head that holds its whole row, outside a cluster: the walk's columns are the row's.
bool holds_whole_row(const RowPieceRecord& piece)
{
    constexpr std::uint8_t kWhole = block_format::kFlagH | block_format::kFlagF | block_format::kFlagL;
    return (piece.flags & (kWhole | block_format::kFlagC)) == kWhole;
}

// The checks of --verify. A block that fails them is damaged: its rows are
// unloaded all the same, and counted as from a damaged block.
BlockChecks checks_of(const DecodedBlock& block)
{
    return check_block(block.view(), block.block.number, static_cast<std::uint32_t>(block.view().size()));
}

bool is_damaged(const BlockChecks& checks) { return checks.state == CheckedAs::Checked && !checks.sound(); }

// Where a piece the walk read ends in its block.
std::uint32_t piece_end(const RowPieceRecord& piece, std::span<const ColumnRecord> columns, std::uint32_t block_size)
{
    if (!piece.complete) return block_size;
    if (columns.empty()) return piece.offset + piece.header_length;
    return columns.back().value_at + columns.back().announced;
}

// What a piece found between the pieces of the directory must look like:
// a row's head, or the first or last piece of one (a migrated row's copy).
// Anything else there is taken for leftover bytes.
bool is_loose_piece(std::uint8_t flags)
{
    return (flags & (block_format::kFlagH | block_format::kFlagF | block_format::kFlagL)) != 0 &&
           (flags & block_format::kFlagK) == 0;
}

// Where a piece of `block` lies.
PieceAt piece_at(const DecodedBlock& block, const RowPieceRecord& piece)
{
    return {block.block.file, block.block.number, piece.slot, block.block.source, block.block.layout};
}

// A row its head holds whole.
RowFacts whole_row_facts(const DecodedBlock& block, const RowPieceRecord& piece)
{
    return {block.header.object_id, piece_at(block, piece), piece.slot >= 0, piece.deleted(), false, piece.complete,
            piece.offset};
}

void order_spans(std::vector<PieceScratch::Span>& spans)
{
    auto before = [](const PieceScratch::Span& a, const PieceScratch::Span& b) { return a.start < b.start; };
    // Rows are written from the block's end down: the directory mostly
    // holds its pieces in the reverse order of their places.
    if (std::is_sorted(spans.rbegin(), spans.rend(), before))
        std::reverse(spans.begin(), spans.end());
    else
        std::sort(spans.begin(), spans.end(), before);
}

// Every piece of a block once: those a directory slot points at, in slot
// order, as the directory walk reads them; then those that lie in the row
// heap between them, which no slot points at (deleted rows whose slot was
// cleared, copies an update left behind). Each stretch of the heap between
// the directory's pieces is read on its own, so that leftover bytes in one
// mislead no other; when the directory's pieces fill the heap, there is
// nothing between them to read.
template <class OnPiece>
void for_each_piece(const DecodedBlock& block, PieceScratch& scratch, OnPiece on_piece)
{
    const BlockView& view = block.view();
    const auto block_size = static_cast<std::uint32_t>(view.size());
    scratch.spans.clear();
    std::uint64_t covered = 0;
    DirectoryWalkCarry carry;
    PieceWalk directory(block, carry, PieceReading::ByFlagBits);
    for (PieceWalk::Step step; (step = directory.next()) != PieceWalk::Step::End;) {
        if (step != PieceWalk::Step::Piece) continue;
        const RowPieceRecord& piece = directory.piece();
        const PieceScratch::Span span{piece.offset, piece_end(piece, directory.columns(), block_size)};
        scratch.spans.push_back(span);
        covered += span.end - span.start;
        on_piece(piece, directory.columns());
    }
    const std::uint32_t heap_start = block.data.free_space_end + block.data.offset;
    const std::uint32_t heap_end = block_size - block_format::kTailSize;
    if (heap_start >= heap_end || covered == heap_end - heap_start) return;
    order_spans(scratch.spans);
    scratch.spans.push_back({heap_end, heap_end});
    std::uint32_t position = heap_start;
    for (const PieceScratch::Span& next : scratch.spans) {
        while (position < next.start && is_loose_piece(view.u8(position + block_format::kPieceFlagsAt))) {
            RowPieceRecord& piece = scratch.piece;
            const auto row_offset = static_cast<std::uint16_t>(position - block.data.offset);
            const int length = decode_piece_by_flag_bits(view, position, row_offset, piece, scratch.columns.data());
            if (length <= 0 || position + static_cast<std::uint32_t>(length) > next.start) break;
            piece.walk = Walk::Heap;
            piece.slot = -1;
            on_piece(piece, std::span<const ColumnRecord>(scratch.columns.data(), piece.columns_found));
            position += static_cast<std::uint32_t>(length);
        }
        position = std::max(position, next.end);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The tables the schema does not wholly describe

void UndescribedColumns::add(std::size_t index, std::span<const ColumnValue> values)
{
    Sampled& sampled = tables_.try_emplace(index, shared_).first->second;
    sampled.widest = std::max(sampled.widest, static_cast<std::uint32_t>(values.size()));
    if (!sampled.sampler.keep()) return;
    infer::weighed_values(values, values_);
    sampled.stats.add_row(values_);
}

std::vector<schema::Column> UndescribedColumns::inferred(std::size_t index) const
{
    std::vector<schema::Column> columns;
    const auto found = tables_.find(index);
    if (found == tables_.end()) return columns;
    for (infer::InferredColumn& column : infer::decide(found->second.stats)) columns.push_back(std::move(column.column));
    return columns;
}

std::vector<std::size_t> UndescribedColumns::complete(UnloadPlan& plan) const
{
    std::vector<std::size_t> completed;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const auto found = tables_.find(t);
        const UnloadTable& table = plan.tables()[t];
        if (table.inferred || (found == tables_.end() && !table.written_later)) continue;
        plan.complete_columns(t, found == tables_.end() ? 0 : found->second.widest, inferred(t));
        completed.push_back(t);
    }
    return completed;
}

void UndescribedColumns::complete(const UnloadPlan& plan, schema::Schema& schema) const
{
    for (std::size_t t = 0; t < plan.tables().size() && t < schema.tables.size(); ++t) {
        const auto found = tables_.find(t);
        const UnloadTable& table = plan.tables()[t];
        if (table.inferred || (found == tables_.end() && !table.written_later)) continue;
        schema::complete_columns(schema.tables[t], found == tables_.end() ? 0 : found->second.widest, inferred(t));
    }
}

// ---------------------------------------------------------------------------
// Sampling for --ddl --infer: only the heads the directory points at are
// read, by their flag byte, and only the rows sampled are decoded (and
// every row of the tables the schema does not wholly describe).

namespace {

// The piece slot `slot` of `block` points at, by its flag byte.
std::optional<RowPieceRecord> piece_of_slot(const DecodedBlock& block, std::uint32_t slot)
{
    RowPieceRecord piece;
    if (!piece_at_slot(block, slot, piece.offset)) return std::nullopt;
    piece.flags = block.view().u8(piece.offset + block_format::kPieceFlagsAt);
    piece.slot = static_cast<std::int32_t>(slot);
    return piece;
}

// The row whose head slot `slot` of `block` points at, read by its flag
// byte into `row` as SampleVisitor reads it; false when the slot points at
// no head.
bool read_head_at_slot(const DecodedBlock& block, std::uint32_t slot, RowReader& reader, Row& row)
{
    const std::optional<RowPieceRecord> piece = piece_of_slot(block, slot);
    if (!piece || !starts_row(*piece)) return false;
    reader.read(block, *piece, row);
    return true;
}

}  // namespace

bool SampleVisitor::block(const DecodedBlock& block)
{
    if (block.outcome != BlockOutcome::Walked || block_content(block.view()) != BlockContent::Rows) return true;
    const std::uint32_t object = block.header.object_id;
    for (std::uint32_t slot = 0; slot < block.data.row_count; ++slot) {
        const std::optional<RowPieceRecord> piece = piece_of_slot(block, slot);
        if (!piece || !starts_row(*piece)) continue;
        const std::optional<std::uint32_t> table = head_cluster_table(block, *piece);
        if (const RowTarget* target = plan_.target(object, table);
            target != nullptr && plan_.tables()[target->table].written_later) {
            reader_.read(block, *piece, row_);
            findings_.undescribed(target->table, row_.values);
            continue;
        }
        if (plan_.describes(object, table)) continue;
        if (findings_.defers()) {
            findings_.defer(object, table, block.block, slot);
            continue;
        }
        if (!findings_.keep(object, table)) continue;
        reader_.read(block, *piece, row_);
        findings_.sample(object, table, row_.values);
    }
    return true;
}

class SampleRanges::SamplePart final : public RangeWork::Part {
public:
    SamplePart(DataFileSet& files, const UnloadPlan& plan)
        : reads(&files), findings(RangeFindings(true)), visitor_(files, plan, findings)
    {
    }
    BlockVisitor& visitor() override { return visitor_; }
    std::size_t held_bytes() const override { return findings.held_bytes(); }

    const DataFileSet* reads;
    RangeFindings findings;

private:
    SampleVisitor visitor_;
};

SampleRanges::SampleRanges(const UnloadPlan& plan, PassFindings& findings, DataFileSet& files)
    : plan_(plan), findings_(findings), files_(files)
{
}

SampleRanges::~SampleRanges() = default;

std::unique_ptr<RangeWork::Part> SampleRanges::start(DataFileSet& files, const RangeStart&)
{
    if (std::unique_ptr<SamplePart> part = idle_.take(files)) return part;
    return std::make_unique<SamplePart>(files, plan_);
}

bool SampleRanges::finish(std::unique_ptr<Part> taken)
{
    std::unique_ptr<SamplePart> part(static_cast<SamplePart*>(taken.release()));
    part->findings.hand_on(findings_, &files_);
    part->findings.clear();
    idle_.keep(std::move(part));
    return true;
}

// ---------------------------------------------------------------------------
// Writing

bool WriteVisitor::block(const DecodedBlock& block)
{
    ObjectCounts* object = nullptr;
    BlockContent content = BlockContent::Rows;
    if (rows_ == Rows::Described) {
        ++summary_.blocks_read;
        const BlockChecks checks = checks_of(block);
        content = checks.content;
        const bool damaged = is_damaged(checks);
        if (damaged) ++summary_.blocks_damaged;
        // An encrypted block's data object cannot be read. A SecureFile's
        // blocks hold no data layer either: those of a LOB segment the
        // dictionary names are not taken for encrypted ones.
        if (content == BlockContent::ProbablyEncrypted && !plan_.holds_lob_segment(block.header.object_id))
            ++summary_.blocks_encrypted;
        if (block.block.number >= 0)
            findings_.block_read(block.block.file, static_cast<std::uint32_t>(block.block.number), checks,
                                 block.outcome == BlockOutcome::Walked);
        if (block.outcome == BlockOutcome::NotData || content == BlockContent::ProbablyEncrypted) return true;
        object = &summary_.objects[block.header.object_id];
        ++object->blocks;
        if (damaged) ++object->damaged_blocks;
    } else {
        content = block_content(block.view());
    }
    if (block.outcome != BlockOutcome::Walked) return true;
    // Compressed rows are not decoded, nor passed off as a cluster's; a
    // columnar unit's blocks are those its chain reaches.
    if (content == BlockContent::Compressed) {
        if (object != nullptr) ++object->compressed_blocks;
        return true;
    }
    if (content == BlockContent::ColumnarUnit) {
        if (object != nullptr) object->compressed_blocks += columnar_unit_blocks(block);
        return true;
    }
    bool written = true;
    for_each_piece(block, scratch_, [&](const RowPieceRecord& piece, std::span<const ColumnRecord> columns) {
        if (!written) return;
        if (!starts_row(piece)) {
            // Pieces without a head are orphans unless a row reaches them.
            if (object != nullptr && piece.walked && (piece.flags & block_format::kFlagK) == 0)
                pieces_.headless.push_back(piece_at(block, piece));
            return;
        }
        written = object != nullptr ? described_row(block, piece, columns, *object) : later_row(block, piece, columns);
    });
    return written;
}

std::uint64_t WriteVisitor::columnar_unit_blocks(const DecodedBlock& block)
{
    RowPieceRecord head;
    head.slot = 0;
    if (!piece_at_slot(block, 0, head.offset)) return 1;
    reader_.read(block, head, row_, false);
    pieces_.reached.add(row_);
    return row_.pieces.size();
}

void WriteVisitor::read(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns,
                        bool with_values)
{
    if (with_values && holds_whole_row(piece)) {
        // The walk's columns are the row's: no need to decode the piece
        // again, nor to keep the block alive past this call.
        facts_ = whole_row_facts(block, piece);
        for (std::size_t i = 0; i < columns.size(); ++i) single_[i] = ColumnValue::of(block.view(), columns[i]);
        values_ = std::span<const ColumnValue>(single_.data(), columns.size());
        return;
    }
    reader_.read(block, piece, row_, with_values);
    facts_ = facts_of(row_);
    facts_.offset = piece.offset;
    values_ = row_.values;
}

bool WriteVisitor::described_row(const DecodedBlock& block, const RowPieceRecord& piece,
                                 std::span<const ColumnRecord> columns, ObjectCounts& object)
{
    // A cluster member no slot points at belongs to no table the block's
    // directory can tell.
    if (piece.slot < 0 && (piece.flags & block_format::kFlagC) != 0) return true;
    ++object.rows;
    if (piece.deleted())
        ++object.deleted;
    else if (piece.slot < 0)
        ++object.stale;
    const std::uint32_t data_object = block.header.object_id;
    const std::uint32_t place = head_cluster_place(block, piece);
    const RowTarget* target = target_of(data_object, place);
    const UnloadTable* table = target != nullptr ? &plan_.tables()[target->table] : nullptr;
    // A table the schema does not wholly describe is written by the next
    // pass; this one weighs its rows.
    const bool later = table != nullptr && table->written_later;
    const bool sampled = target == nullptr && !plan_.describes(data_object, cluster_table(place)) &&
                         findings_.keep(data_object, cluster_table(place));
    // The walk's columns of a row its head holds whole are written as they
    // lie; a row wider than its table's columns is weighed too.
    if (table != nullptr && !later && holds_whole_row(piece)) {
        if (columns.size() > table->stored_width) {
            read(block, piece, columns, true);
            findings_.undescribed(target->table, values_);
        }
        return !writes_rows_ || writer_.write(whole_row_facts(block, piece), PieceValues{block.view(), columns}, *target);
    }
    const bool chained = is_chained(piece);
    if (target == nullptr && !sampled && !chained) return true;
    read(block, piece, columns, target != nullptr || sampled);
    if (chained) pieces_.reached.add(row_);
    if (sampled) findings_.sample(data_object, cluster_table(place), values_);
    if (table == nullptr) return true;
    if (later || values_.size() > table->stored_width) findings_.undescribed(target->table, values_);
    return later || !writes_rows_ || writer_.write(facts_, JoinedValues{values_}, *target);
}

bool WriteVisitor::later_row(const DecodedBlock& block, const RowPieceRecord& piece,
                             std::span<const ColumnRecord> columns)
{
    const RowTarget* target = target_of(block.header.object_id, head_cluster_place(block, piece));
    if (target == nullptr || !plan_.tables()[target->table].written_later) return true;
    if (holds_whole_row(piece))
        return writer_.write(whole_row_facts(block, piece), PieceValues{block.view(), columns}, *target);
    read(block, piece, columns, true);
    return writer_.write(facts_, JoinedValues{values_}, *target);
}

const RowTarget* WriteVisitor::target_of(std::uint32_t object, std::uint32_t place)
{
    if (!looked_up_ || object != last_object_ || place != last_place_) {
        last_target_ = plan_.target(object, cluster_table(place));
        last_object_ = object;
        last_place_ = place;
        looked_up_ = true;
    }
    return last_target_;
}

// ---------------------------------------------------------------------------
// What a range of blocks found

void RangeFindings::keep_row(KeptRow row, std::span<const ColumnValue> values)
{
    row.values = static_cast<std::uint32_t>(values.size());
    for (const ColumnValue& value : values) {
        const bool none = value.null || value.bytes.empty();
        values_.push_back(none ? kNone : static_cast<std::uint32_t>(value.bytes.size()));
        if (!none) bytes_.insert(bytes_.end(), value.bytes.data(), value.bytes.data() + value.bytes.size());
    }
    rows_.push_back(row);
}

void RangeFindings::sample(std::uint32_t object, std::optional<std::uint32_t> cluster_table,
                           std::span<const ColumnValue> values)
{
    keep_row({object, cluster_table.value_or(0), 0, true, cluster_table.has_value(), false}, values);
}

void RangeFindings::undescribed(std::size_t table, std::span<const ColumnValue> values)
{
    keep_row({static_cast<std::uint32_t>(table), 0, 0, false, false, false}, values);
}

void RangeFindings::defer(std::uint32_t object, std::optional<std::uint32_t> cluster_table, const Block& block,
                          std::uint32_t slot)
{
    rows_.push_back({object, cluster_table.value_or(0), 0, true, cluster_table.has_value(), true});
    heads_.push_back({block.source, block.number, slot});
}

namespace {

// Reads the deferred heads a sample takes, through the run's own readers:
// the block each lies in is read again (most often from the readers'
// pages), and decoded as the range's worker decoded it.
class DeferredHeads {
public:
    explicit DeferredHeads(DataFileSet& files) : files_(files), reader_(files) {}

    // The values of the head at `slot` of block `number` of the file at
    // place `source`; nullopt when it cannot be read again (a file that
    // changed while it was read).
    std::optional<std::span<const ColumnValue>> read(std::uint16_t source, std::int32_t number, std::uint32_t slot)
    {
        if (!decoded_ || decoded_->block.source != source || decoded_->block.number != number) {
            decoded_.reset();
            DataFile* file = files_.by_source(source);
            Block block;
            if (file == nullptr || file->read(number, block, Access::Random) != ReadStatus::Ok) return std::nullopt;
            decoded_ = decode_block_headers(std::move(block));
            decode_data_layer(*decoded_, false);
        }
        if (decoded_->outcome != BlockOutcome::Walked || !read_head_at_slot(*decoded_, slot, reader_, row_))
            return std::nullopt;
        return std::span<const ColumnValue>(row_.values);
    }

private:
    DataFileSet& files_;
    RowReader reader_;
    std::optional<DecodedBlock> decoded_;
    Row row_;
};

}  // namespace

void RangeFindings::hand_on(PassFindings& findings, DataFileSet* files) const
{
    for (const BlockRead& read : blocks_) findings.block_read(read.file, read.block, read.checks, read.rows_read);
    std::optional<DeferredHeads> deferred;
    std::size_t head = 0;   // in heads_, of the next deferred row
    std::vector<ColumnValue> values;
    std::size_t at = 0;     // in bytes_, of the row's first value
    std::size_t first = 0;  // in values_, of the row's first value
    for (const KeptRow& row : rows_) {
        if (row.deferred) {
            const HeadAt& place = heads_[head++];
            const std::optional<std::uint32_t> table =
                row.clustered ? std::optional<std::uint32_t>(row.cluster_table) : std::nullopt;
            if (files == nullptr || !findings.keep(row.object_or_table, table)) continue;
            if (!deferred) deferred.emplace(*files);
            if (const auto read = deferred->read(place.source, place.block, place.slot))
                findings.sample(row.object_or_table, table, *read);
            continue;
        }
        const std::size_t row_at = at;
        const std::size_t row_first = first;
        first += row.values;
        for (std::size_t i = row_first; i < first; ++i)
            if (values_[i] != kNone) at += values_[i];
        const std::optional<std::uint32_t> cluster_table =
            row.clustered ? std::optional<std::uint32_t>(row.cluster_table) : std::nullopt;
        if (row.sampled && !findings.keep(row.object_or_table, cluster_table)) continue;
        values.clear();
        std::size_t value_at = row_at;
        for (std::size_t i = row_first; i < first; ++i) {
            const bool none = values_[i] == kNone;
            const std::uint32_t size = none ? 0 : values_[i];
            values.push_back({ByteView(bytes_.data() + value_at, size), size,
                              static_cast<std::uint16_t>(std::min<std::uint32_t>(size, UINT16_MAX)), none});
            value_at += size;
        }
        if (row.sampled)
            findings.sample(row.object_or_table, cluster_table, values);
        else
            findings.undescribed(row.object_or_table, values);
    }
}

// What a range kept goes with it: idle parts hold no memory.
void RangeFindings::clear()
{
    rows_ = {};
    values_ = {};
    bytes_ = {};
    blocks_ = {};
    heads_ = {};
}

void PieceTrace::add(const PieceTrace& later)
{
    reached.add_all(later.reached);
    headless.insert(headless.end(), later.headless.begin(), later.headless.end());
}

std::uint64_t PieceTrace::orphans() const
{
    return static_cast<std::uint64_t>(std::count_if(headless.begin(), headless.end(), [&](const PieceAt& piece) {
        return !reached.contains(piece);
    }));
}

// ---------------------------------------------------------------------------
// Writing by ranges

class WriteRanges::WritePart final : public RangeWork::Part {
public:
    WritePart(DataFileSet& files, const UnloadPlan& plan, WriteVisitor::Rows rows, const LobPageMap* lob_map,
              const std::string& spill_directory, const std::string& lob_directory)
        : reads(&files),
          table_files(TableFiles::InMemory{spill_directory}),
          writer(plan, table_files, summary, UnloadWriter::Writes::Range),
          visitor_(files, plan, writer, summary, findings, rows)
    {
        // LOB pages read through the worker's own readers.
        if (lob_map != nullptr) writer.read_lobs_with(&lobs.emplace(files, *lob_map));
        // LOB files are written straight into the unload directory.
        if (!lob_directory.empty()) writer.write_lob_files(lob_directory);
    }
    BlockVisitor& visitor() override { return visitor_; }
    std::size_t held_bytes() const override { return table_files.held_bytes() + findings.held_bytes(); }
    const PieceTrace& pieces() const { return visitor_.pieces(); }
    void set_own(bool is_own)
    {
        own = is_own;
        visitor_.write_rows(is_own);
    }
    void clear()
    {
        writer.clear_range();
        summary.objects.clear();
        summary.blocks_read = summary.blocks_damaged = summary.blocks_encrypted = 0;
        findings.clear();
        visitor_.clear_pieces();
    }

    const DataFileSet* reads;
    TableFiles table_files;
    UnloadSummary summary;
    std::optional<LobPages> lobs;
    UnloadWriter writer;
    RangeFindings findings;
    bool own = true;  // the shard's own range: its rows written and counted

private:
    WriteVisitor visitor_;
};

WriteRanges::WriteRanges(const UnloadPlan& plan, UnloadWriter& writer, UnloadSummary& summary,
                         PassFindings& findings, WriteVisitor::Rows rows)
    : plan_(plan), writer_(writer), summary_(summary), findings_(findings), rows_(rows)
{
}

WriteRanges::~WriteRanges() = default;

std::unique_ptr<RangeWork::Part> WriteRanges::start(DataFileSet& files, const RangeStart& range)
{
    std::unique_ptr<WritePart> part = idle_.take(files);
    if (!part)
        part = std::make_unique<WritePart>(files, plan_, rows_, writer_.lob_map(), writer_.directory(),
                                           writer_.lob_directory());
    part->set_own(range.own);
    return part;
}

bool WriteRanges::finish(std::unique_ptr<Part> taken)
{
    std::unique_ptr<WritePart> part(static_cast<WritePart*>(taken.release()));
    // The writer's counts before the range's number its lines of values
    // not decoded: the range's are added after.
    // Another shard's range tells only what the whole run decides.
    const bool written = !part->own || writer_.append(part->writer, part->table_files);
    if (part->own) summary_.add_range(part->summary);
    part->findings.hand_on(findings_);
    pieces_.add(part->pieces());
    part->clear();
    idle_.keep(std::move(part));
    return written;
}
