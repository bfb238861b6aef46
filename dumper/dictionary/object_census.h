// What data files hold, by data object number: blocks and live rows (per
// table, in a cluster's blocks), and, for the data objects no table of a
// schema has, whether their rows fit one of its tables: the older
// generations a truncate or a move leaves behind under the old number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <span>
#include <vector>

#include "infer/object_inference.h"
#include "infer/object_stats.h"
#include "infer/sampler.h"
#include "read/block_decoder.h"
#include "rows/row_reader.h"
#include "schema/schema.h"

namespace dictionary {

struct ObjectCount {
    std::uint64_t blocks = 0;
    std::uint64_t rows = 0;  // live rows: head pieces not deleted

    bool operator==(const ObjectCount&) const = default;
};

// Whether the rows a data object's statistics describe fit the table's
// stored columns: no row is wider than they are, every NOT NULL column is
// in every row, and each column's type explains (almost) all its values.
// A clustered table's rows are not weighed.
bool rows_fit(const infer::ObjectStats& stats, const schema::Table& table);

// The statistics of the unknown data objects' rows are held within a
// budget all together, as inference holds them (object_inference.h): when
// they would take more, the object fed least recently is weighed against
// the tables there and then, from its rows weighed so far, and only the
// tables it fits kept; its rows met later are not weighed. The rows are
// weighed in the files' order, whatever the workers, so the result is the
// same in every run.
class ObjectCensus {
public:
    // `files` are those rows are followed into; `options` weigh the rows of
    // data objects the schema does not know.
    ObjectCensus(const schema::Schema& schema, DataFileSet& files, const infer::Options& options,
                 std::size_t held_budget = infer::kHeldStatistics);

    // A block of one of the files, its headers and data layer decoded:
    // counted when it is a data block.
    void add_block(const DecodedBlock& block);

    // A census of one range of the files' blocks, taken by one of several
    // workers: its counts, and every row of an unknown data object that a
    // sample could take, kept until add_range() weighs them.
    struct OfRange {};
    ObjectCensus(const schema::Schema& schema, DataFileSet& files, const infer::Options& options, OfRange);
    // Adds what a census of a range found, after the ranges before it: the
    // same counts and weighed rows as the same blocks would give here.
    void add_range(const ObjectCensus& range);
    // Forgets what a census of a range found, to take another.
    void clear_range();

    // The blocks and rows of a data object; of table `cluster_table` of a
    // cluster's blocks, those blocks whose table directory gives it rows.
    ObjectCount count(std::uint32_t data_object) const;
    ObjectCount count(std::uint32_t data_object, std::uint32_t cluster_table) const;

    struct Unknown {
        std::uint32_t data_object = 0;
        ObjectCount count;
        std::vector<const schema::Table*> fits;  // the schema's tables its rows fit
    };
    // The data objects found that no table of the schema has, by number.
    std::vector<Unknown> unknown_objects() const;

    // What the statistics of the unknown objects still weighed take
    // (ObjectStats::held_bytes): at most the budget, or one object's when
    // that alone takes more.
    std::size_t held_bytes() const { return held_; }
    // The objects weighed against the tables early, to keep within it.
    std::size_t fitted_early() const { return fitted_early_; }

private:
    // What is kept of an unknown data object's rows: a bounded sample's
    // statistics, or, once it has been weighed against the tables early,
    // the tables it fits.
    struct Weighed {
        explicit Weighed(std::shared_ptr<infer::SharedWork> shared);
        std::optional<infer::ObjectStats> stats;
        infer::RowSampler sampler;
        std::vector<const schema::Table*> fits;  // once fitted early
        // Its place in recent_, from its first row weighed until it is
        // fitted early: the order the rows are weighed in, the same
        // whatever the workers.
        std::optional<std::list<std::uint32_t>::iterator> recent;
    };
    Weighed& unknown(std::uint32_t object);
    bool keeps(Weighed& weighed) { return weighed.stats && weighed.sampler.keep(); }
    std::vector<const schema::Table*> fits_of(const infer::ObjectStats& stats) const;
    void fit_early(std::uint32_t object);
    // Of a range: where each row a sample could take starts, in reading
    // order. Only those the sample takes are read, when the range is added.
    struct Candidate {
        std::uint32_t object;
        std::uint16_t source;  // the file's (Block::source)
        std::int32_t block;
        std::uint32_t offset;  // of the head piece in its block
    };
    void add_rows(const DecodedBlock& block, Weighed* weighed);
    void weigh(const DecodedBlock& block, const RowPieceRecord& head, std::span<const ColumnRecord> head_columns,
               std::uint32_t object, Weighed& weighed);
    void weigh_at(const Candidate& candidate, Weighed& weighed);

    const schema::Schema& schema_;
    DataFileSet& files_;
    RowReader reader_;
    std::map<std::uint32_t, ObjectCount> objects_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, ObjectCount> cluster_tables_;
    std::map<std::uint32_t, Weighed> unknown_;
    std::vector<std::uint32_t> known_;  // sorted
    // What the unknown objects' statistics share, and their budget.
    std::shared_ptr<infer::SharedWork> shared_;
    std::size_t budget_;
    std::list<std::uint32_t> recent_;  // the objects weighed, the one fed least recently first
    std::size_t held_ = 0;
    std::size_t fitted_early_ = 0;
    Row row_;
    std::vector<std::optional<ByteView>> values_;
    bool of_range_ = false;
    std::vector<Candidate> candidates_;
};

}  // namespace dictionary
