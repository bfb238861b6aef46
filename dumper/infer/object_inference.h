// Inference over the rows of many data objects at once, as a pass over the
// files meets them: each object's rows (a cluster's by table) are sampled
// and weighed on their own, never kept.
//
// The statistics of all the objects together are bounded, however many
// objects the files hold (a damaged file holds thousands, one for each
// object number the damage made up): when they would take more than the
// budget, the object fed least recently is typed there and then, from the
// rows weighed so far, and only its table kept; rows of it met later are
// not weighed. The objects are fed in the files' order, whatever the
// workers, so which are typed early, and from which rows, is the same in
// every run. Most objects of a file lie in one stretch of blocks, or are
// fed often: an object typed early has mostly been seen whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "format/records.h"
#include "infer/object_stats.h"
#include "infer/sampler.h"
#include "schema/schema.h"

namespace infer {

// The statistics an inference holds at most, of every object together:
// room for the statistics of a few hundred objects of 25 columns, each
// with the most distinct values its columns keep, so that the objects of
// an ordinary file are all typed at the end; small beside the 64 MiB a
// run with many workers keeps to.
constexpr std::size_t kHeldStatistics = std::size_t{8} << 20;

// A row's values as the statistics weigh them: a NULL or empty value is
// none. Into `out`, which is cleared first.
void weighed_values(std::span<const ColumnValue> values, std::vector<std::optional<ByteView>>& out);

class ObjectInference {
public:
    explicit ObjectInference(const Options& options, std::size_t held_budget = kHeldStatistics);

    // Called for each row of the object (and cluster table) in reading
    // order: true when the row is one of the sample, to be added.
    bool keep(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table);
    // A row keep() kept: its values in storage order.
    void add(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table,
             std::span<const ColumnValue> values);

    // The table inferred for each object that has rows, in order of data
    // object and cluster table.
    std::vector<schema::Table> tables() const;
    // The same, letting go of every object's statistics: the inference is
    // empty after.
    std::vector<schema::Table> take_tables();

    // What the statistics of the objects still weighed take
    // (ObjectStats::held_bytes): at most the budget, or one object's when
    // that alone takes more.
    std::size_t held_bytes() const { return held_; }
    // The objects typed early, to keep within the budget.
    std::size_t typed_early() const { return typed_early_; }

private:
    using Key = std::pair<std::uint32_t, std::uint32_t>;  // the data object, the cluster table + 1 (0: none)
    static Key key(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table);
    static std::optional<schema::ClusterPlacement> cluster_of(const Key& key);
    struct Object {
        RowSampler sampler;
        std::optional<ObjectStats> stats;   // while it is weighed
        std::optional<schema::Table> table;  // once it has been typed early
        std::list<Key>::iterator recent;     // its place in recent_, while it is weighed
    };
    Object& object(const Key& key);
    void type_early(const Key& key);

    std::shared_ptr<SharedWork> shared_;
    std::size_t budget_;
    std::map<Key, Object> objects_;
    // The objects weighed, the one fed least recently first.
    std::list<Key> recent_;
    std::size_t held_ = 0;
    std::size_t typed_early_ = 0;
    std::vector<std::optional<ByteView>> values_;
};

}  // namespace infer
