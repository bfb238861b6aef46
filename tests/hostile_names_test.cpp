// The unload, the listing and --ddl of a database whose names an attacker
// chose (every control byte, quotes, comment markers, names that collide,
// names too long or not UTF-8): what reaches a terminal shows no control
// character, summary.json is valid UTF-8 and maps every table by its exact
// bytes to files and loaded tables of its own, and the schema file --ddl
// writes reads back as the same names. (tests/check-unload-sqlite and
// check-unload-postgres load the same unload into the real databases.)
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "schema/ddl_parser.h"
#include "system_file.h"
#include "test_support.h"
#include "values/charsets.h"
#include "values/escaped_text.h"

namespace {

struct HostileFiles {
    ScratchDir dir;
    datafile::HostileDatabase hostile = datafile::hostile_database();
    std::string system;
    std::string users;

    HostileFiles()
    {
        datafile::write_database(datafile::build_database(hostile.database), dir.root());
        system = dir.path("system01.dbf");
        users = dir.path("users01.dbf");
    }
};

const HostileFiles& files()
{
    static const HostileFiles built;
    return built;
}

// Every line is text a terminal shows as it is.
void expect_plain_lines(const std::string& text, const std::string& what)
{
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        EXPECT_TRUE(is_plain_text(line)) << what << ": " << terminal_text(line);
        start = end + 1;
    }
}

// The users' tables by their exact owner and name bytes, as many as each pair has.
std::map<std::pair<std::string, std::string>, int> users_tables()
{
    std::map<std::pair<std::string, std::string>, int> tables;
    for (const datafile::TableDef& t : files().hostile.database.tables) ++tables[{t.owner, t.name}];
    return tables;
}

std::string exact_bytes(const Json& table, const std::string& key)
{
    const std::string hex_key = key + "_hex";
    for (const std::string& name : table.keys())
        if (name == hex_key) {
            const std::string& hex = table[hex_key].text;
            std::string bytes;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            EXPECT_FALSE(is_plain_text(bytes)) << "a name of plain text has its bytes in hexadecimal";
            return bytes;
        }
    EXPECT_TRUE(is_plain_text(table[key].text)) << "a name not of plain text has no bytes in hexadecimal";
    return table[key].text;
}

TEST(HostileNames, TheUnloadSaysAndNamesEveryTableApartAndSafely)
{
    const HostileFiles& db = files();
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--dictionary", db.system, db.users});
    ASSERT_EQ(r.status, 0) << terminal_text(r.errors);
    expect_plain_lines(r.errors, "standard error");

    // Every file has a name of its own, plain text, short enough; none is left .part.
    const std::set<std::string> entries = directory_entries(out);
    for (const std::string& name : entries) {
        EXPECT_TRUE(is_plain_text(name)) << terminal_text(name);
        EXPECT_LE(name.size(), 250u) << name;
        EXPECT_FALSE(name.ends_with(".part")) << name;
    }

    const std::string text = read_file(out + "/summary.json");
    EXPECT_TRUE(is_utf8(text.data(), text.size()));
    const Json summary = parse_json(text);
    std::map<std::pair<std::string, std::string>, int> found;
    std::set<std::string> files_named, sqlite_tables, postgres_tables;
    for (const Json& table : summary["tables"].items) {
        const std::pair<std::string, std::string> name{exact_bytes(table, "owner"), exact_bytes(table, "table")};
        if (name.first == "SYS") continue;
        ++found[name];
        for (const Json& file : table["files"].items) {
            EXPECT_TRUE(files_named.insert(file.text).second) << file.text;
            EXPECT_EQ(entries.count(file.text), 1u) << file.text;
        }
        for (const Json& loaded : table["sqlite"].items) {
            std::string folded = loaded.text;
            for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_TRUE(sqlite_tables.insert(folded).second) << loaded.text;
        }
        const Json& postgres = table["postgres"];
        for (std::size_t i = 1; i < postgres.items.size(); ++i) {
            EXPECT_LE(postgres.items[i].text.size(), 63u);
            EXPECT_TRUE(postgres_tables.insert(postgres["schema"].text + "\n" + postgres.items[i].text).second)
                << postgres.items[i].text;
        }
    }
    EXPECT_EQ(found, users_tables());
    EXPECT_EQ(sqlite_tables.size(), db.hostile.loaded_tables.size());
    EXPECT_EQ(postgres_tables.size(), db.hostile.loaded_tables.size());
}

TEST(HostileNames, ListingAndDdlShowNoControlCharacterAndReadBackExactly)
{
    const HostileFiles& db = files();
    const RunResult listing = run_trevanix({"--dictionary", db.system, "--list-tables", db.users});
    ASSERT_EQ(listing.status, 0) << terminal_text(listing.errors);
    expect_plain_lines(listing.output, "--list-tables");
    expect_plain_lines(listing.errors, "--list-tables' standard error");
    const RunResult jsonl = run_trevanix({"--dictionary", db.system, "--list-tables", "--format", "jsonl"});
    ASSERT_EQ(jsonl.status, 0);
    EXPECT_TRUE(is_utf8(jsonl.output.data(), jsonl.output.size()));
    EXPECT_GE(parse_json_lines(jsonl.output).size(), db.hostile.database.tables.size());

    const RunResult ddl = run_trevanix({"--ddl", "--dictionary", db.system});
    ASSERT_EQ(ddl.status, 0) << terminal_text(ddl.errors);
    expect_plain_lines(ddl.output, "--ddl");
    const schema::Parsed<schema::Schema> read = schema::parse_schema_file(ddl.output);
    ASSERT_TRUE(read.ok()) << read.error;
    std::map<std::pair<std::string, std::string>, int> tables;
    for (const schema::Table& t : read.value.tables)
        if (t.owner != "SYS") ++tables[{t.owner, t.name}];
    EXPECT_EQ(tables, users_tables());
    // Read back by --schema, the file is written again the same.
    const std::string schema_file = db.dir.write("hostile.sql", ddl.output);
    const RunResult again = run_trevanix({"--ddl", "--schema", schema_file});
    ASSERT_EQ(again.status, 0) << terminal_text(again.errors);
    EXPECT_EQ(again.output, ddl.output);
}

}  // namespace
