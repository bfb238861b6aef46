// The files of two containers given together: a root and a pluggable
// database whose owners, tables and object numbers are the same and only
// the database id in their headers differs. Each is read with its own
// dictionary and unloaded into a subdirectory of its own, byte for byte
// what an unload of its files alone writes, and never with the other's
// rows.
#include <gtest/gtest.h>

#include <filesystem>

#include "system_file.h"
#include "test_support.h"

namespace {

constexpr std::uint32_t kPluggableId = 0x5EED0C0C;
constexpr int kIncomplete = 4;  // the sample's LOB locators are not decoded

struct Containers {
    ScratchDir dir;
    std::string root = dir.path("oradata/root");
    std::string pdb = dir.path("oradata/pdb1");

    explicit Containers(const std::string& pluggable_name = "TREVANIX")
    {
        datafile::Database pluggable = datafile::history_database();
        pluggable.id = kPluggableId;
        pluggable.name = pluggable_name;
        std::filesystem::create_directories(root);
        std::filesystem::create_directories(pdb);
        datafile::write_database(datafile::build_database(datafile::sample_database()), root);
        datafile::write_database(datafile::build_database(pluggable), pdb);
    }
    std::string subdirectory(std::uint32_t id) const { return "TREVANIX_" + std::to_string(id); }
};

// Every file of an unload but its summary, which names the run's files.
void expect_same_unload(const std::string& got, const std::string& alone)
{
    std::set<std::string> names = directory_entries(alone);
    EXPECT_EQ(directory_entries(got), names);
    names.erase("summary.json");
    for (const std::string& name : names)
        EXPECT_EQ(read_file(got + "/" + name), read_file(alone + "/" + name)) << name;
}

TEST(Containers, EachIsUnloadedApartWithItsOwnDictionaryAsItsFilesAloneWouldBe)
{
    Containers c;
    const std::string out = c.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", c.dir.path("oradata")});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_NE(r.errors.find("trevanix: the files given are of 2 databases or containers"), std::string::npos)
        << r.errors;
    const std::string root_out = out + "/" + c.subdirectory(0x5EED0B0B);
    const std::string pdb_out = out + "/" + c.subdirectory(kPluggableId);
    EXPECT_EQ(directory_entries(out),
              (std::set<std::string>{"summary.json", c.subdirectory(0x5EED0B0B), c.subdirectory(kPluggableId)}));

    const std::string root_alone = c.dir.path("root-alone"), pdb_alone = c.dir.path("pdb-alone");
    EXPECT_EQ(run_trevanix({"--unload", root_alone, "--quiet", c.root}).status, kIncomplete);
    EXPECT_EQ(run_trevanix({"--unload", pdb_alone, "--quiet", c.pdb}).status, kIncomplete);
    expect_same_unload(root_out, root_alone);
    expect_same_unload(pdb_out, pdb_alone);
    // The dropped tables are the pluggable database's alone.
    EXPECT_TRUE(directory_entries(pdb_out).count("SCOTT.BONUS.dropped.csv"));
    EXPECT_FALSE(directory_entries(root_out).count("SCOTT.BONUS.dropped.csv"));

    const Json summary = parse_json(read_file(out + "/summary.json"));
    ASSERT_EQ(summary["databases"].items.size(), 2u);
    const Json& pdb = summary["databases"].items[1];
    EXPECT_EQ(pdb["database_id"].text, std::to_string(kPluggableId));
    EXPECT_EQ(pdb["directory"].text, c.subdirectory(kPluggableId));
    EXPECT_EQ(pdb["dictionary"].text, c.pdb + "/system01.dbf");
    EXPECT_EQ(pdb["files"].items.size(), 2u);
    EXPECT_EQ(summary["exit_status"].text, "4");
}

TEST(Containers, OneContainersDictionaryNeverReadsTheOthersRows)
{
    Containers c;
    // The pluggable database's dictionary, with the users files of both:
    // the root's rows are not given its names.
    const std::string out = c.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--dictionary", c.pdb + "/system01.dbf",
                                      c.root + "/users01.dbf", c.pdb + "/users01.dbf"});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_NE(r.errors.find("trevanix: no --dictionary given is of database TREVANIX (DBID 1592593163): none of its "
                            "files is a SYSTEM file, its tables are inferred\n"),
              std::string::npos)
        << r.errors;
    const std::set<std::string> root_files = directory_entries(out + "/" + c.subdirectory(0x5EED0B0B));
    EXPECT_FALSE(root_files.count("SCOTT.EMP.csv"));
    EXPECT_TRUE(root_files.count("OBJ_87110_T2.csv")) << "the root's EMP rows, inferred";
    const std::string pdb_alone = c.dir.path("pdb-alone");
    EXPECT_EQ(run_trevanix({"--unload", pdb_alone, "--quiet", "--dictionary", c.pdb + "/system01.dbf",
                            c.pdb + "/users01.dbf"})
                  .status,
              kIncomplete);
    expect_same_unload(out + "/" + c.subdirectory(kPluggableId), pdb_alone);

    // Both dictionaries given: each read for its own files.
    const std::string both = c.dir.path("both");
    const RunResult b = run_trevanix({"--unload", both, "--quiet", "--dictionary", c.root + "/system01.dbf",
                                      "--dictionary", c.pdb + "/system01.dbf", c.root + "/users01.dbf",
                                      c.pdb + "/users01.dbf"});
    ASSERT_EQ(b.status, kIncomplete) << b.errors;
    expect_same_unload(both + "/" + c.subdirectory(kPluggableId), pdb_alone);
    EXPECT_TRUE(directory_entries(both + "/" + c.subdirectory(0x5EED0B0B)).count("SCOTT.EMP.csv"));
}

TEST(Containers, DictionariesThatCannotBePlacedAreSaid)
{
    Containers c;
    // Two dictionaries of one database.
    const std::string copy = c.dir.path("copy.dbf");
    std::filesystem::copy_file(c.root + "/system01.dbf", copy);
    RunResult r = run_trevanix({"--unload", c.dir.path("out1"), "--quiet", "--dictionary", c.root + "/system01.dbf",
                                "--dictionary", copy, c.root + "/users01.dbf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find(" are both of DBID 1592593163: give one dictionary per database\n"), std::string::npos)
        << r.errors;
    // The same file named twice is one dictionary.
    r = run_trevanix({"--unload", c.dir.path("out0"), "--quiet", "--dictionary", c.root + "/system01.dbf",
                      "--dictionary", c.root + "/system01.dbf", c.root + "/users01.dbf"});
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_TRUE(directory_entries(c.dir.path("out0")).count("SCOTT.EMP.csv"));
    // A dictionary none of whose database's data files is given.
    r = run_trevanix({"--unload", c.dir.path("out2"), "--quiet", "--dictionary", c.root + "/system01.dbf",
                      "--dictionary", c.pdb + "/system01.dbf", c.root + "/users01.dbf"});
    EXPECT_EQ(r.status, kIncomplete);
    EXPECT_NE(r.errors.find("trevanix: --dictionary " + c.pdb +
                            "/system01.dbf is of database TREVANIX (DBID 1592593420), of which no data file is given: "
                            "it is not read\n"),
              std::string::npos)
        << r.errors;
    // --dictionary auto beside a named one; --verify of two.
    r = run_trevanix({"--unload", c.dir.path("out3"), "--dictionary", "auto", "--dictionary", copy, copy});
    EXPECT_EQ(r.status, 2);
    r = run_trevanix({"--verify", "--dictionary", copy, "--dictionary", c.pdb + "/system01.dbf", copy});
    EXPECT_EQ(r.status, 2);
}

TEST(Containers, ListingAndSchemaGiveEachDatabaseUnderAHeading)
{
    Containers c;
    const RunResult listed = run_trevanix({"--list-tables", c.dir.path("oradata")});
    ASSERT_EQ(listed.status, 0) << listed.errors;
    const std::size_t root = listed.output.find("-- database TREVANIX (DBID 1592593163)\n");
    const std::size_t pdb = listed.output.find("-- database TREVANIX (DBID 1592593420)\n");
    ASSERT_NE(root, std::string::npos) << listed.output;
    ASSERT_NE(pdb, std::string::npos) << listed.output;
    EXPECT_LT(root, pdb);
    EXPECT_GT(listed.output.find("BONUS"), pdb) << "the dropped table, the pdb's alone";
    EXPECT_NE(listed.output.find("BONUS"), std::string::npos) << listed.output;

    const RunResult ddl = run_trevanix(
        {"--ddl", "--dictionary", c.root + "/system01.dbf", "--dictionary", c.pdb + "/system01.dbf"});
    ASSERT_EQ(ddl.status, 0) << ddl.errors;
    EXPECT_NE(ddl.output.find("-- database TREVANIX (DBID 1592593420)\n"), std::string::npos);
}

// A database name from a file header is the evidence's: its subdirectory
// stays inside DIR, and no byte of it reaches the terminal raw.
TEST(Containers, AHostileDatabaseNameStaysInsideTheUnloadAndOffTheTerminal)
{
    Containers c("../\x1b[2J");
    const std::string out = c.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", c.dir.path("oradata")});
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_EQ(r.errors.find('\x1b'), std::string::npos) << r.errors;
    const Json summary = parse_json(read_file(out + "/summary.json"));
    const std::string sub = summary["databases"].items[1]["directory"].text;
    EXPECT_EQ(sub.find('/'), std::string::npos) << sub;
    EXPECT_TRUE(directory_entries(out).count(sub)) << sub;
    EXPECT_TRUE(directory_entries(out + "/" + sub).count("SCOTT.EMP.csv"));
    EXPECT_EQ(summary["databases"].items[1]["database_hex"].text, "2E2E2F1B5B324A");
}

// A sharded run splits the files of one database: those of two are refused
// before anything is written.
TEST(Containers, ShardsTakeTheFilesOfOneDatabase)
{
    const Containers c;
    const std::string part = c.dir.path("part");
    const RunResult r = run_trevanix({"--unload", part, "--shard", "1/2", c.root, c.pdb});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("--shard and --merge split the files of one database"), std::string::npos) << r.errors;
    EXPECT_FALSE(std::filesystem::exists(part));
}

}  // namespace
