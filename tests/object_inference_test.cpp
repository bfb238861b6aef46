// Inference over the rows of many data objects at once: each object (and
// cluster table) weighed on its own, a sample of each, nothing kept of the
// rows themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

// A row of `object`'s of 25 columns whose values are all distinct, as the
// objects of a damaged file or of many small tables have: a NUMBER, a
// word, a DATE, a BINARY_DOUBLE and a code, five times over.
Values distinct_row(std::uint32_t object, int row)
{
    std::vector<std::optional<Bytes>> values;
    const int n = static_cast<int>(object) * 1000 + row;
    for (int c = 0; c < 25; ++c) {
        switch (c % 5) {
        case 0: values.push_back(datafile::number_value(std::to_string(n * 31 + c))); break;
        case 1: values.push_back(text(std::string("name ").append(std::to_string(n * 7 + c)))); break;
        case 2: values.push_back(datafile::date_value(1950 + row % 60, 1 + c % 12, 1 + row % 28, 0, 0, 0)); break;
        case 3: values.push_back(datafile::binary_double_value((n % 100000) / 4.0 + c)); break;
        default: values.push_back(text(std::string("K").append(std::to_string(100000 + (n * 13 + c) % 900000))));
        }
    }
    return Values(values);
}

constexpr int kRowsEach = 40;

// Feeds `objects` objects one after another, each its rows in a stretch,
// as most objects lie in a file; returns the most the statistics held.
std::size_t feed_objects(infer::ObjectInference& inference, std::uint32_t objects)
{
    std::size_t most = 0;
    for (std::uint32_t object = 1; object <= objects; ++object) {
        for (int row = 0; row < kRowsEach; ++row) {
            if (!inference.keep(object, std::nullopt)) continue;
            inference.add(object, std::nullopt, distinct_row(object, row).values);
            most = std::max(most, inference.held_bytes());
        }
    }
    return most;
}

std::string columns_text(const schema::Table& table)
{
    std::string text = table.name;
    for (const schema::Column& column : table.columns) {
        // Appended piece by piece: g++ 12 warns falsely of "literal" + string.
        text += ' ';
        text += schema::sql_type_text(column);
        text += " -- ";
        text += column.comment;
    }
    return text;
}

// The budget of the statistics: what they hold never grows with the objects.
TEST(ObjectInference, StatisticsHeldStayWithinTheBudgetHoweverManyObjects)
{
    constexpr std::size_t kBudget = 256 << 10;
    for (const std::uint32_t objects : {40u, 400u}) {
        infer::ObjectInference inference(infer::Options{}, kBudget);
        EXPECT_LE(feed_objects(inference, objects), kBudget) << objects << " objects";
        // A few objects' statistics fill the budget (each takes more than
        // 8 KiB): the others are typed early.
        EXPECT_GE(inference.typed_early(), objects - kBudget / (8 << 10));
        EXPECT_EQ(inference.tables().size(), objects);
    }
}

// An object typed early, once its rows are all weighed, is typed as at
// the end: the budget changes no type of an object whose rows lie together.
TEST(ObjectInference, ObjectsTypedEarlyAreTypedAsAtTheEnd)
{
    constexpr std::uint32_t kObjects = 60;
    infer::ObjectInference bounded(infer::Options{}, 64 << 10);
    infer::ObjectInference unbounded(infer::Options{}, SIZE_MAX);
    feed_objects(bounded, kObjects);
    feed_objects(unbounded, kObjects);
    EXPECT_GT(bounded.typed_early(), kObjects / 2);
    EXPECT_EQ(unbounded.typed_early(), 0u);
    const std::vector<schema::Table> early = bounded.tables();
    const std::vector<schema::Table> late = unbounded.tables();
    ASSERT_EQ(early.size(), late.size());
    for (std::size_t i = 0; i < early.size(); ++i) EXPECT_EQ(columns_text(early[i]), columns_text(late[i]));
    ASSERT_EQ(early[0].columns.size(), 25u);
    EXPECT_EQ(early[0].columns[0].type, schema::OracleType::Number);
    EXPECT_EQ(early[0].columns[1].type, schema::OracleType::Varchar2);
    EXPECT_EQ(early[0].columns[2].type, schema::OracleType::Date);
    EXPECT_EQ(early[0].columns[3].type, schema::OracleType::BinaryDouble);
    EXPECT_EQ(early[0].columns[4].type, schema::OracleType::Varchar2);
}

// The object fed least recently is typed first; its rows met after that
// are not weighed, and its table says how many were.
TEST(ObjectInference, TheObjectFedLeastRecentlyIsTypedFromTheRowsWeighedSoFar)
{
    infer::ObjectInference inference(infer::Options{}, 0);  // no room beyond the object fed
    for (int row = 0; row < 10; ++row) {
        ASSERT_TRUE(inference.keep(5, std::nullopt));
        inference.add(5, std::nullopt, distinct_row(5, row).values);
    }
    EXPECT_EQ(inference.typed_early(), 0u);  // the object fed stays, whatever it holds
    ASSERT_TRUE(inference.keep(6, std::nullopt));
    inference.add(6, std::nullopt, distinct_row(6, 0).values);
    EXPECT_EQ(inference.typed_early(), 1u);
    // Object 5 was typed from its ten rows: those that come now are not weighed.
    EXPECT_FALSE(inference.keep(5, std::nullopt));
    EXPECT_TRUE(inference.keep(6, std::nullopt));
    inference.add(6, std::nullopt, distinct_row(6, 1).values);
    const std::vector<schema::Table> tables = inference.tables();
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].name, "OBJ_5");
    EXPECT_EQ(tables[0].columns[0].comment, "10 values: 100 % NUMBER, 0 NULL");
    EXPECT_EQ(tables[1].name, "OBJ_6");
    EXPECT_EQ(tables[1].columns[0].comment, "2 values: 100 % NUMBER, 0 NULL");
    EXPECT_EQ(inference.typed_early(), 1u);
}

}  // namespace
