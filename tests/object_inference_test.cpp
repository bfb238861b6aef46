// Inference over the rows of many data objects at once: each object (and
// cluster table) weighed on its own, a sample of each, nothing kept of the
// rows themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile_builder.h"
#include "infer/object_inference.h"
#include "infer/sampler.h"
#include "schema/oracle_types.h"

namespace {

using datafile::Bytes;

struct Values {
    std::vector<Bytes> bytes;
    std::vector<ColumnValue> values;

    explicit Values(std::vector<std::optional<Bytes>> row)
    {
        for (const auto& v : row) bytes.push_back(v.value_or(Bytes{}));
        for (std::size_t i = 0; i < row.size(); ++i)
            values.push_back({ByteView(bytes[i].data(), bytes[i].size()), static_cast<std::uint32_t>(bytes[i].size()),
                              static_cast<std::uint16_t>(bytes[i].size()), !row[i].has_value()});
    }
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(ObjectInference, EachObjectAndClusterTableIsATableOfItsOwn)
{
    infer::ObjectInference inference{infer::Options{}};
    for (int i = 1; i <= 50; ++i) {
        ASSERT_TRUE(inference.keep(900, std::nullopt));
        const Values row({datafile::number_value(std::to_string(i)), text("name " + std::to_string(i)), std::nullopt});
        inference.add(900, std::nullopt, row.values);
        ASSERT_TRUE(inference.keep(800, 2));
        const Values member({datafile::date_value(2020, 1, 1 + i % 28, 0, 0, 0)});
        inference.add(800, 2, member.values);
    }
    inference.keep(801, std::nullopt);  // a row seen, none weighed: no table
    const std::vector<schema::Table> tables = inference.tables();
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].name, "OBJ_800_T2");
    ASSERT_TRUE(tables[0].cluster.has_value());
    EXPECT_EQ(tables[0].cluster->table_number, 2u);
    EXPECT_EQ(tables[0].data_object, 800u);
    ASSERT_EQ(tables[0].columns.size(), 1u);
    EXPECT_EQ(tables[0].columns[0].type, schema::OracleType::Date);
    EXPECT_EQ(tables[1].name, "OBJ_900");
    ASSERT_EQ(tables[1].columns.size(), 3u);
    EXPECT_EQ(schema::sql_type_text(tables[1].columns[0]), "NUMBER(2)");
    EXPECT_EQ(tables[1].columns[1].type, schema::OracleType::Varchar2);
    EXPECT_EQ(tables[1].columns[2].comment, "all 50 values NULL: type unknown, kept as RAW");
}

TEST(ObjectInference, LargeObjectsAreSampled)
{
    infer::ObjectInference inference{infer::Options{}};
    std::uint64_t kept = 0;
    const std::uint64_t rows = 16 * infer::kSampleRows;
    for (std::uint64_t i = 0; i < rows; ++i) kept += inference.keep(7, std::nullopt);
    EXPECT_GE(kept, infer::kSampleRows);
    EXPECT_LT(kept, rows / 4);
}

}  // namespace
