// What data files hold, by data object number: blocks and live rows (per
// table, in a cluster's blocks), and, for the data objects no table of a
// schema has, whether their rows fit one of its tables: the older
// generations a truncate or a move leaves behind under the old number.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <span>
#include <vector>

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

class ObjectCensus {
public:
    // `files` are those rows are followed into; `options` weigh the rows of
    // data objects the schema does not know.
    ObjectCensus(const schema::Schema& schema, DataFileSet& files, const infer::Options& options);

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

private:
    // What is kept of an unknown data object's rows: a bounded sample's
    // statistics.
    struct Weighed {
        explicit Weighed(const infer::Options& options);
        infer::ObjectStats stats;
        infer::RowSampler sampler;
    };
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
               Weighed& weighed);
    void weigh_at(const Candidate& candidate, Weighed& weighed);

    const schema::Schema& schema_;
    infer::Options options_;
    DataFileSet& files_;
    RowReader reader_;
    std::map<std::uint32_t, ObjectCount> objects_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, ObjectCount> cluster_tables_;
    std::map<std::uint32_t, Weighed> unknown_;
    std::vector<std::uint32_t> known_;  // sorted
    Row row_;
    std::vector<std::optional<ByteView>> values_;
    bool of_range_ = false;
    std::vector<Candidate> candidates_;
};

}  // namespace dictionary
