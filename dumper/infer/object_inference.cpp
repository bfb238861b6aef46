#include "infer/object_inference.h"

#include "infer/decide.h"

namespace infer {

ObjectInference::Key ObjectInference::key(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table)
{
    return {data_object, cluster_table ? *cluster_table + 1 : 0};
}

ObjectInference::Object& ObjectInference::object(const Key& at)
{
    auto found = objects_.find(at);
    if (found == objects_.end()) found = objects_.emplace(at, Object(options_)).first;
    return found->second;
}

bool ObjectInference::keep(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table)
{
    return object(key(data_object, cluster_table)).sampler.keep();
}

void weighed_values(std::span<const ColumnValue> values, std::vector<std::optional<ByteView>>& out)
{
    out.clear();
    for (const ColumnValue& value : values) {
        if (value.null || value.bytes.empty())
            out.emplace_back(std::nullopt);
        else
            out.emplace_back(value.bytes);
    }
}

void ObjectInference::add(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table,
                          std::span<const ColumnValue> values)
{
    weighed_values(values, values_);
    object(key(data_object, cluster_table)).stats.add_row(values_);
}

std::vector<schema::Table> ObjectInference::tables() const
{
    std::vector<schema::Table> tables;
    for (const auto& [at, found] : objects_) {
        if (found.stats.rows() == 0) continue;
        std::optional<schema::ClusterPlacement> cluster;
        if (at.second != 0) cluster = schema::ClusterPlacement{0, at.second - 1, 0};
        tables.push_back(inferred_table(at.first, cluster, found.stats));
    }
    return tables;
}

}  // namespace infer
