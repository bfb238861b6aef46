#include "infer/object_inference.h"

#include "infer/decide.h"

namespace infer {

ObjectInference::ObjectInference(const Options& options, std::size_t held_budget)
    : shared_(std::make_shared<SharedWork>(options)), budget_(held_budget)
{
}

ObjectInference::Key ObjectInference::key(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table)
{
    return {data_object, cluster_table ? *cluster_table + 1 : 0};
}

std::optional<schema::ClusterPlacement> ObjectInference::cluster_of(const Key& at)
{
    if (at.second == 0) return std::nullopt;
    return schema::ClusterPlacement{0, at.second - 1, 0};
}

ObjectInference::Object& ObjectInference::object(const Key& at)
{
    auto found = objects_.find(at);
    if (found == objects_.end()) {
        found = objects_.emplace(at, Object()).first;
        Object& created = found->second;
        created.stats.emplace(shared_);
        created.recent = recent_.insert(recent_.end(), at);
        held_ += created.stats->held_bytes();
    }
    return found->second;
}

bool ObjectInference::keep(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table)
{
    Object& found = object(key(data_object, cluster_table));
    return found.stats && found.sampler.keep();
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
    const Key at = key(data_object, cluster_table);
    Object& found = object(at);
    if (!found.stats) return;  // typed early: keep() kept none of its rows
    weighed_values(values, values_);
    held_ -= found.stats->held_bytes();
    found.stats->add_row(values_);
    held_ += found.stats->held_bytes();
    recent_.splice(recent_.end(), recent_, found.recent);
    // The object just fed is the last typed early.
    while (held_ > budget_ && recent_.front() != at) type_early(recent_.front());
}

void ObjectInference::type_early(const Key& at)
{
    Object& found = objects_.at(at);
    if (found.stats->rows() > 0) found.table = inferred_table(at.first, cluster_of(at), *found.stats);
    held_ -= found.stats->held_bytes();
    found.stats.reset();
    recent_.erase(found.recent);
    ++typed_early_;
}

std::vector<schema::Table> ObjectInference::tables() const
{
    std::vector<schema::Table> tables;
    for (const auto& [at, found] : objects_) {
        if (found.table)
            tables.push_back(*found.table);
        else if (found.stats && found.stats->rows() > 0)
            tables.push_back(inferred_table(at.first, cluster_of(at), *found.stats));
    }
    return tables;
}

// The tables typed early are moved out, not copied: with thousands of
// objects, they are most of what the inference holds at the end.
std::vector<schema::Table> ObjectInference::take_tables()
{
    std::vector<schema::Table> tables;
    for (auto& [at, found] : objects_) {
        if (found.table)
            tables.push_back(std::move(*found.table));
        else if (found.stats && found.stats->rows() > 0)
            tables.push_back(inferred_table(at.first, cluster_of(at), *found.stats));
        // Each object's statistics go as soon as it is typed.
        found.stats.reset();
        found.table.reset();
    }
    objects_.clear();
    recent_.clear();
    held_ = 0;
    return tables;
}

}  // namespace infer
