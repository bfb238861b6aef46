// Random cases of the loader scripts fuzz target (tables of names made of
// what ends quotes, lines and statements, with random values), unloaded
// and loaded through sqlite.sql into the real sqlite3: every table arrives
// under the name the plan gave it, with exactly the values given, those of
// its CLOB and BLOB columns from files of their own when the case says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "fuzz_harness.h"
#include "schema/oracle_types.h"
#include "test_support.h"
#include "unload/loader_scripts.h"
#include "values/charsets.h"
#include "values/column_types.h"
#include "values/escaped_text.h"
#include "values/lob_locator.h"
#include "values/text_writers.h"

namespace {

using namespace unload;

constexpr int kCases = 40;

std::string quoted_identifier(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

bool decodable_text(const fuzz::Bytes& value)
{
    const std::string bytes(value.begin(), value.end());
    return is_utf8(bytes.data(), bytes.size()) && bytes.find('\0') == std::string::npos;
}

// What sqlite3 shows of a value loaded as the CSV writer wrote it:
// "typeof:hex".
std::string loaded(const schema::Column& column, const fuzz::Bytes& value)
{
    const std::string bytes(value.begin(), value.end());
    if (value.empty()) return "null:";
    switch (column.type) {
    case schema::OracleType::Raw: return "blob:" + hex_text(bytes);
    // A value the row holds (a CLOB's as 2-byte Unicode of ASCII text), in
    // the CSV file or in a file of its own; an empty LOB NULL.
    case schema::OracleType::Blob:
    case schema::OracleType::Clob: {
        const LobLocator locator = read_lob_locator(ByteView(value.data(), value.size()));
        EXPECT_TRUE(locator.form == LobForm::BasicInline || locator.form == LobForm::Empty);
        if (locator.data.empty()) return "null:";
        std::string data(reinterpret_cast<const char*>(locator.data.data()), locator.data.size());
        if (column.type == schema::OracleType::Blob) return "blob:" + hex_text(data);
        std::string text;
        for (std::size_t i = 1; i < data.size(); i += 2) text += data[i];
        return "text:" + hex_text(text);
    }
    case schema::OracleType::Number: {
        NumberText number;
        EXPECT_TRUE(decode_number(ByteView(value.data(), value.size()), number));
        return "integer:" + hex_text(std::string(number.text, number.length));
    }
    default: break;
    }
    // Text not valid in its character set is NULL, its bytes in the table
    // of values not decoded.
    return decodable_text(value) ? "text:" + hex_text(bytes) : "null:";
}

bool is_text(const schema::Column& column)
{
    return column.type != schema::OracleType::Raw && column.type != schema::OracleType::Number &&
           column.type != schema::OracleType::Blob && column.type != schema::OracleType::Clob;
}

// The query that shows each row of a loaded table, a line each, and the
// lines it is to show.
struct TableCheck {
    std::string query;
    std::vector<std::string> lines;
};

std::string shown_field(const std::string& name) { return " || '|' || typeof(" + name + ") || ':' || hex(" + name + ")"; }

// The rowid the harness gives row `r` of table `t`, as sqlite3 shows it.
std::string loaded_rowid(const fuzz::LoaderCase& c, std::size_t t, std::size_t r)
{
    const schema::Table& table = c.tables[t].table;
    const fuzz::LoaderRow& row = c.tables[t].rows[r];
    if (row.kind == RowKind::Stale) return "null:";
    const std::uint32_t object =
        table.partitions.empty() ? *table.data_object : table.partitions[row.partition].data_object;
    char text[kRowidTextSize];
    put_rowid_text(text, object, {4, static_cast<std::uint32_t>(20 + t), static_cast<std::uint32_t>(r)});
    return "text:" + hex_text(std::string(text, kRowidTextSize));
}

std::vector<TableCheck> checks_of(const fuzz::LoaderCase& c, const UnloadPlan& plan, const WrittenFiles& written)
{
    std::vector<TableCheck> checks;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        for (RowKind kind : kAllRowKinds) {
            if (!written[t].files[static_cast<std::size_t>(kind)]) continue;
            const bool hidden = kind == RowKind::Hidden;
            const std::vector<OutputColumn>& columns = hidden ? table.hidden_columns : table.columns;
            TableCheck check;
            std::string shown = "'#'";
            if (hidden) shown += shown_field("ROWID");
            for (const OutputColumn& column : columns) shown += shown_field(quoted_identifier(column.names.sqlite));
            if (hidden) shown += shown_field("ROW_KIND");
            if (table.partitioned) shown += shown_field("PARTITION");
            check.query = "SELECT " + shown + " FROM " + quoted_identifier(table.names.sqlite_table(kind)) +
                          " ORDER BY _rowid_;";
            for (std::size_t r = 0; r < c.tables[t].rows.size(); ++r) {
                const fuzz::LoaderRow& row = c.tables[t].rows[r];
                // The Hidden file: the rows of every kind that store a hidden value.
                const bool stores_hidden = std::any_of(columns.begin(), columns.end(), [&](const OutputColumn& column) {
                    return !row.values[column.stored_index].empty();
                });
                if (hidden ? !stores_hidden : row.kind != kind) continue;
                std::string line = "#";
                if (hidden) line.append("|").append(loaded_rowid(c, t, r));
                for (const OutputColumn& column : columns)
                    line.append("|").append(loaded(column.column, row.values[column.stored_index]));
                if (hidden) line.append("|text:").append(hex_text(row_kind_word(row.kind)));
                if (table.partitioned) {
                    const std::string name = terminal_text(c.tables[t].table.partitions[row.partition].name);
                    line.append(name.empty() ? "|null:" : "|text:").append(hex_text(name));
                }
                check.lines.push_back(line);
            }
            checks.push_back(std::move(check));
        }
        if (!written[t].undecoded) continue;
        // Each text not decoded: the kind and record of its row, its field and bytes.
        TableCheck check;
        check.query = "SELECT KIND || '|' || RECORD || '|' || FIELD || '|' || BYTES FROM " +
                      quoted_identifier(table.names.sqlite_table(undecoded_names())) + " ORDER BY _rowid_;";
        std::map<RowKind, int> records;
        // The row's line, then its Hidden line's (whose first field is the rowid).
        auto add = [&](RowKind kind, int record, const std::vector<OutputColumn>& columns, std::size_t first_field,
                       const fuzz::LoaderRow& row) {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const auto& value = row.values[columns[i].stored_index];
                if (is_text(columns[i].column) && !value.empty() && !decodable_text(value))
                    check.lines.push_back(std::string(names_of(kind).key) + "|" + std::to_string(record) + "|" +
                                          std::to_string(i + first_field) + "|" +
                                          hex_text(std::string(value.begin(), value.end())));
            }
        };
        for (const fuzz::LoaderRow& row : c.tables[t].rows) {
            add(row.kind, ++records[row.kind], table.columns, 1, row);
            const bool stores_hidden =
                std::any_of(table.hidden_columns.begin(), table.hidden_columns.end(),
                            [&](const OutputColumn& column) { return !row.values[column.stored_index].empty(); });
            if (stores_hidden) add(RowKind::Hidden, ++records[RowKind::Hidden], table.hidden_columns, 2, row);
        }
        checks.push_back(std::move(check));
    }
    return checks;
}

fuzz::Bytes random_input(std::uint32_t& state, std::size_t size)
{
    fuzz::Bytes input(size);
    for (std::uint8_t& b : input) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return input;
}

TEST(LoaderScripts, RandomCasesLoadIntoSqliteWithTheirNamesAndValues)
{
    std::uint32_t state = 4242;
    int tables = 0;
    int hidden_files = 0;  // tables whose hidden columns' values were loaded
    int lob_files = 0;     // values loaded from LOB files
    for (int n = 0; n < kCases; ++n) {
        const fuzz::Bytes input = random_input(state, 300);
        const fuzz::LoaderCase c = fuzz::loader_case(input.data(), input.size());
        ScratchDir dir;
        const std::string unloaded = dir.path("unload");
        std::filesystem::create_directory(unloaded);
        UnloadPlan plan("");
        WrittenFiles written;
        ASSERT_EQ(fuzz::write_loader_case(c, unloaded, plan, written), "") << n;
        const std::string db = dir.path("loaded.db");
        const std::string said = dir.path("said.txt");
        ASSERT_EQ(std::system(("cd '" + unloaded + "' && sqlite3 '" + db + "' < sqlite.sql > '" + said + "' 2>&1").c_str()), 0)
            << "case " << n << ": " << read_file(said);
        EXPECT_EQ(read_file(said), "") << n;

        const std::vector<TableCheck> checks = checks_of(c, plan, written);
        std::string queries = "SELECT count(*) FROM sqlite_master WHERE type = 'table';\n";
        std::string expected = std::to_string(checks.size()) + "\n";
        for (const TableCheck& check : checks) {
            queries += check.query + "\nSELECT '@@';\n";
            for (const std::string& line : check.lines) expected += line + "\n";
            expected += "@@\n";
        }
        dir.write("queries.sql", queries);
        ASSERT_EQ(std::system(("sqlite3 '" + db + "' < '" + dir.path("queries.sql") + "' > '" + said + "' 2>&1").c_str()), 0)
            << read_file(said);
        EXPECT_EQ(read_file(said), expected) << "case " << n << "\n" << queries;
        tables += static_cast<int>(checks.size());
        for (const std::string& path : tree_files(unloaded)) lob_files += path.rfind("lobs/", 0) == 0;
        for (std::size_t t = 0; t < written.size(); ++t)
            hidden_files += written[t].files[static_cast<std::size_t>(RowKind::Hidden)];
    }
    EXPECT_GT(tables, kCases);
    EXPECT_GT(hidden_files, kCases / 10);
    EXPECT_GT(lob_files, kCases / 10);
}

}  // namespace
