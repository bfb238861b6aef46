// Inference over the rows of many data objects at once, as a pass over the
// files meets them: each object's rows (a cluster's by table) are sampled
// and weighed on their own, with memory for each object's statistics only,
// never for its rows.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "format/records.h"
#include "infer/object_stats.h"
#include "infer/sampler.h"
#include "schema/schema.h"

namespace infer {

// A row's values as the statistics weigh them: a NULL or empty value is
// none. Into `out`, which is cleared first.
void weighed_values(std::span<const ColumnValue> values, std::vector<std::optional<ByteView>>& out);

class ObjectInference {
public:
    explicit ObjectInference(const Options& options) : options_(options) {}

    // Called for each row of the object (and cluster table) in reading
    // order: true when the row is one of the sample, to be added.
    bool keep(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table);
    // A row keep() kept: its values in storage order.
    void add(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table,
             std::span<const ColumnValue> values);

    // The table inferred for each object that has rows, in order of data
    // object and cluster table.
    std::vector<schema::Table> tables() const;

private:
    using Key = std::pair<std::uint32_t, std::uint32_t>;  // the data object, the cluster table + 1 (0: none)
    static Key key(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table);
    struct Object {
        explicit Object(const Options& options) : stats(options) {}
        RowSampler sampler;
        ObjectStats stats;
    };
    Object& object(const Key& key);

    Options options_;
    std::map<Key, Object> objects_;
    std::vector<std::optional<ByteView>> values_;
};

}  // namespace infer
