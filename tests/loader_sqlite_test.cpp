// Random cases of the loader scripts fuzz target (tables of names made of
// what ends quotes, lines and statements, with random values), unloaded
// and loaded through sqlite.sql into the real sqlite3: every table arrives
// under the name the plan gave it, with exactly the values given.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "fuzz_harness.h"
#include "schema/oracle_types.h"
#include "test_support.h"
#include "unload/loader_scripts.h"
#include "values/charsets.h"
#include "values/column_types.h"
#include "values/escaped_text.h"

namespace {

using namespace unload;

constexpr int kCases = 40;

std::string quoted_identifier(const std::string& name)
{
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// What sqlite3 shows of a value loaded as the CSV writer wrote it:
// "typeof:hex".
std::string loaded(const schema::Column& column, const fuzz::Bytes& value)
{
    const std::string bytes(value.begin(), value.end());
    if (value.empty()) return "null:";
    switch (column.type) {
    case schema::OracleType::Raw: return "blob:" + hex_text(bytes);
    case schema::OracleType::Number: {
        NumberText number;
        EXPECT_TRUE(decode_number(ByteView(value.data(), value.size()), number));
        return "integer:" + hex_text(std::string(number.text, number.length));
    }
    default: break;
    }
    const bool text = is_utf8(bytes.data(), bytes.size()) && bytes.find('\0') == std::string::npos;
    return "text:" + hex_text(text ? bytes : "0x" + hex_text(bytes));
}

// The query that shows each row of a loaded table, a line each, and the
// lines it is to show.
struct TableCheck {
    std::string query;
    std::vector<std::string> lines;
};

std::vector<TableCheck> checks_of(const fuzz::LoaderCase& c, const UnloadPlan& plan, const WrittenFiles& written)
{
    std::vector<TableCheck> checks;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        for (RowKind kind : kAllRowKinds) {
            if (!written[t].files[static_cast<std::size_t>(kind)]) continue;
            TableCheck check;
            std::string shown = "'#'";
            for (const OutputColumn& column : table.columns) {
                const std::string name = quoted_identifier(column.names.sqlite);
                shown += " || '|' || typeof(" + name + ") || ':' || hex(" + name + ")";
            }
            if (table.partitioned) shown += " || '|' || typeof(PARTITION) || ':' || hex(PARTITION)";
            check.query = "SELECT " + shown + " FROM " + quoted_identifier(table.names.sqlite_table(kind)) +
                          " ORDER BY _rowid_;";
            for (const fuzz::LoaderRow& row : c.tables[t].rows) {
                if (row.kind != kind) continue;
                std::string line = "#";
                for (std::size_t i = 0; i < table.columns.size(); ++i)
                    line.append("|").append(loaded(table.columns[i].column, row.values[i]));
                if (table.partitioned) {
                    const std::string name = terminal_text(c.tables[t].table.partitions[row.partition].name);
                    line.append(name.empty() ? "|null:" : "|text:").append(hex_text(name));
                }
                check.lines.push_back(line);
            }
            checks.push_back(std::move(check));
        }
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
    }
    EXPECT_GT(tables, kCases);
}

}  // namespace
