// Rows of more than 255 columns, up to the 1000 a table can have, stored as
// several pieces, with a template of as many lines: whole rows (--rows),
// the piece export, the literal dump and the unload each type every column
// the template or the schema names, and read nothing past their tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "row_layout.h"
#include "test_support.h"

namespace {

using datafile::Value;

constexpr std::uint32_t kFirstObject = 900;

// "W600" and "W1000" in file 4 of 8K blocks, two rows each: every row of
// 600 columns is three pieces in three blocks, every row of 1000 four.
struct WideTables {
    datafile::FileSet files{8192};
    std::vector<std::uint32_t> widths{600, 1000};

    WideTables()
    {
        std::uint32_t block = 2;
        for (std::size_t t = 0; t < widths.size(); ++t) {
            datafile::RowWriter writer(files, {kFirstObject + static_cast<std::uint32_t>(t)});
            for (std::uint32_t row = 0; row < 2; ++row) {
                std::vector<datafile::BlockAddress> blocks;
                for (std::uint32_t piece = 0; piece < (widths[t] + 254) / 255; ++piece) blocks.push_back({4, block++});
                datafile::LogicalRow values;
                for (std::uint32_t c = 0; c < widths[t]; ++c) values.values.push_back(datafile::number_value(value(row, c)));
                writer.wide(blocks, values);
            }
        }
    }

    // The value of column `column` (from 0) of row `row`.
    static std::string value(std::uint32_t row, std::uint32_t column) { return std::to_string(row * 10000 + column + 1); }
};

// "C7": the names the schema and inference give the columns.
std::string column_name(std::uint32_t number)
{
    std::string name = "C";
    name += std::to_string(number);
    return name;
}

std::string template_of(std::size_t lines, const std::string& keyword = "NUMBER")
{
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) text += keyword + "\n";
    return text;
}

std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == separator)
            fields.emplace_back();
        else if (c != '\r')
            fields.back() += c;
    }
    return fields;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines = split(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

class WideRows : public ::testing::Test {
protected:
    WideTables tables;
    ScratchDir dir;
    std::string file = dir.write("wide.dbf", datafile::build_file(tables.files.file(4)));
    std::string full_template = dir.write("wide.template", template_of(1000));
};

TEST_F(WideRows, WholeRowsAreTypedColumnByColumnUpToTheThousandth)
{
    const RunResult r = run_trevanix({"--rows", "--format", "jsonl", "-c", full_template, file});
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<Json> rows = parse_json_lines(r.output);
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Json& row = rows[i];
        const std::uint32_t width = tables.widths[i / 2];
        SCOPED_TRACE(width);
        EXPECT_EQ(row["chain"].text, "complete");
        EXPECT_EQ(row["pieces"].items.size(), (width + 254) / 255);
        ASSERT_EQ(row["columns"].items.size(), width);
        for (std::uint32_t c = 0; c < width; ++c)
            ASSERT_EQ(row["columns"].items[c].text, WideTables::value(static_cast<std::uint32_t>(i % 2), c)) << c;
    }

    // As CSV, the header names every column the template types.
    const RunResult csv = run_trevanix({"--rows", "--format", "csv", "-c", full_template, file});
    ASSERT_EQ(csv.status, 0) << csv.errors;
    const std::vector<std::string> lines = lines_of(csv.output);
    ASSERT_EQ(lines.size(), 5u);
    const std::vector<std::string> header = split(lines[0], ',');
    ASSERT_GE(header.size(), 1000u);
    EXPECT_EQ(header.back(), "col1000");
    const std::size_t first_value = header.size() - 1000;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = split(lines[i], ',');
        ASSERT_EQ(fields.size(), header.size());
        const std::uint32_t width = tables.widths[(i - 1) / 2];
        for (std::uint32_t c = 0; c < 1000; ++c)
            ASSERT_EQ(fields[first_value + c], c < width ? WideTables::value(static_cast<std::uint32_t>((i - 1) % 2), c) : "")
                << c;
    }
}

TEST_F(WideRows, PiecesKeepTheirTwoHundredFiftyFiveColumnsWhateverTheTemplatesLength)
{
    // The piece export: each piece's column k typed by line k + 1; the CSV
    // header no wider than a piece can be.
    const RunResult jsonl = run_trevanix({"--format", "jsonl", "-c", full_template, file});
    ASSERT_EQ(jsonl.status, 0) << jsonl.errors;
    const std::vector<Json> pieces = parse_json_lines(jsonl.output);
    ASSERT_FALSE(pieces.empty());
    // The first row's head holds its first 90 columns, the rest two pieces of 255.
    const Json& head = pieces.front()["columns"];
    ASSERT_EQ(head.items.size(), 90u);
    for (std::uint32_t c = 0; c < 90; ++c) EXPECT_EQ(head.items[c].text, WideTables::value(0, c));
    for (const Json& piece : pieces) {
        ASSERT_LE(piece["columns"].items.size(), 255u);
        for (const Json& column : piece["columns"].items) EXPECT_EQ(column.kind, Json::String);
    }
    const RunResult csv = run_trevanix({"--format", "csv", "-c", full_template, file});
    ASSERT_EQ(csv.status, 0) << csv.errors;
    EXPECT_EQ(split(lines_of(csv.output)[0], ',').back(), "col255");

    // The literal dump reads the lines a piece's columns can have: what the
    // first 255 lines give, and only their warnings.
    std::string bogus_late = template_of(255) + "NUMBR\n" + template_of(700);
    const std::string short_template = dir.write("short.template", template_of(255));
    const std::string late_template = dir.write("late.template", bogus_late);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, {"-g", "-v"}, {"-a", "O", "-s", ","}, {"-a", "S"}}) {
        std::vector<std::string> args{"-f", file, "-c", short_template};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult expected = run_trevanix(args);
        for (const std::string& longer : {full_template, late_template}) {
            args[3] = longer;
            const RunResult r = run_trevanix(args);
            EXPECT_EQ(r.status, expected.status);
            EXPECT_EQ(r.output, expected.output);
            EXPECT_EQ(r.errors, expected.errors);
        }
    }
    const RunResult rows = run_trevanix({"--rows", "--format", "jsonl", "-c", late_template, file});
    EXPECT_EQ(rows.errors, "trevanix: column template line 256: 'NUMBR' names no type (did you mean NUMBER?)\n");
}

TEST_F(WideRows, TheUnloadWritesEveryColumnOfATableOfAThousand)
{
    std::string schema;
    for (std::size_t t = 0; t < tables.widths.size(); ++t) {
        schema += "-- data object " + std::to_string(kFirstObject + t) + "\nCREATE TABLE \"T\".\"W" +
                  std::to_string(tables.widths[t]) + "\" (\n";
        for (std::uint32_t c = 1; c <= tables.widths[t]; ++c)
            schema += "  \"" + column_name(c) + "\" NUMBER" + (c < tables.widths[t] ? ",\n" : "\n");
        schema += ");\n";
    }
    const std::string schema_file = dir.write("wide.sql", schema);
    for (const bool inferred : {false, true}) {
        SCOPED_TRACE(inferred ? "inferred" : "from the schema");
        const std::string out = dir.path(inferred ? "inferred" : "schema");
        std::vector<std::string> args{"--unload", out, "--quiet"};
        if (!inferred) args.insert(args.end(), {"--schema", schema_file});
        args.push_back(file);
        const RunResult r = run_trevanix(args);
        ASSERT_EQ(r.status, 0) << r.errors;
        for (std::size_t t = 0; t < tables.widths.size(); ++t) {
            const std::uint32_t width = tables.widths[t];
            const std::string name = inferred ? "OBJ_" + std::to_string(kFirstObject + t) : "T.W" + std::to_string(width);
            const std::vector<std::string> lines = lines_of(read_file(out + "/" + name + ".csv"));
            ASSERT_EQ(lines.size(), 3u) << name;
            const std::vector<std::string> header = split(lines[0], ',');
            ASSERT_EQ(header.size(), width + 1u);  // the rowid last
            EXPECT_EQ(header[width - 1], column_name(width));
            for (std::uint32_t row = 0; row < 2; ++row) {
                const std::vector<std::string> fields = split(lines[row + 1], ',');
                ASSERT_EQ(fields.size(), width + 1u);
                for (std::uint32_t c = 0; c < width; ++c) ASSERT_EQ(fields[c], WideTables::value(row, c)) << c;
            }
        }
    }
}

}  // namespace
