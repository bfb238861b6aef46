// --inventory over a directory of evidence: the files of two databases (one
// SYSTEM file, a bigfile tablespace's file, a file cut short), other files
// of a database (a redo log, a control file, an ASM disk, a parameter
// file), an empty file, text, a link loop and a dangling link. And the
// tables' modes over the same directory: the files that are no data files
// left out with a line each, the dictionary taken from the SYSTEM file
// among them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "file_structures.h"
#include "format/file_format.h"
#include "system_file.h"
#include "test_support.h"

namespace {

using datafile::Bytes;

constexpr std::uint32_t kOtherDbid = 0x0A0B0C0D;

// Block 0 and a header block of `type` at 512 bytes: the shape of a redo
// log's or a control file's first blocks.
Bytes header_blocks(std::uint8_t type)
{
    Bytes bytes = datafile::os_header_block(512, 4, ByteOrder::Little);
    const Bytes header = datafile::empty_typed_block(type, 0, 1, 512, ByteOrder::Little);
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.resize(4 * 512, 0);
    return bytes;
}

// A data file of another database: its header and one data block, its
// header's length that of a 12c release.
Bytes other_database_file(std::uint16_t absolute, std::uint16_t relative, const std::string& tablespace,
                          std::optional<std::uint32_t> root = std::nullopt)
{
    datafile::FileHeader header;
    header.database_id = kOtherDbid;
    header.database_name = "OTHERDB";
    header.absolute_file = absolute;
    header.relative_file = relative;
    header.tablespace_name = tablespace;
    header.tablespace_number = 9;
    header.block_count = 3;
    header.root_address = root;
    Bytes bytes = datafile::os_header_block(8192, 3, ByteOrder::Big);
    Bytes block_one = datafile::file_header_block(header, 8192, ByteOrder::Big);
    block_one[1100] = 0x01;  // the header reaches past 11g's 860 bytes
    datafile::seal_block(block_one, ByteOrder::Big);
    bytes.insert(bytes.end(), block_one.begin(), block_one.end());
    datafile::Block data;
    data.rows = {datafile::head_piece({datafile::Column::text("x")})};
    const Bytes block = datafile::build_block(data, 8192, 2, nullptr, ByteOrder::Big, relative);
    bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

struct Evidence {
    ScratchDir dir;
    std::string root = dir.path("oradata");

    Evidence()
    {
        namespace fs = std::filesystem;
        fs::create_directories(root + "/db/logs");
        fs::create_directories(root + "/other");
        datafile::write_database(datafile::build_database(datafile::sample_database()), root + "/db");
        dir.write("oradata/db/logs/redo01.log", header_blocks(file_format::kBlockTypeRedoLogHeader));
        dir.write("oradata/db/control01.ctl", header_blocks(file_format::kBlockTypeControlFileHeader));
        Bytes asm_disk(4096, 0);
        const std::string name = "ORCLDISK";
        std::copy(name.begin(), name.end(), asm_disk.begin() + 32);
        dir.write("oradata/asm_disk1", asm_disk);
        dir.write("oradata/db/spfileORCL.ora", std::string("*.db_name='TREVANIX'\n*.db_block_size=8192\n"));
        dir.write("oradata/empty.dbf", Bytes());
        dir.write("oradata/notes.txt", std::string("what the police found\n"));
        dir.write("oradata/other/big01.dbf", other_database_file(3, 1024, "BIG"));
        const std::string users = read_file(root + "/db/users01.dbf");
        dir.write("oradata/other/users_cut.dbf", users.substr(0, users.size() - 3 * 8192));
        fs::create_symlink("..", root + "/other/loop");
        fs::create_symlink(root + "/nowhere", root + "/dangling");
    }
};

TEST(Inventory, EveryFileSaysWhatItIsAndEachDatabaseItsFiles)
{
    Evidence e;
    const RunResult r = run_trevanix({"--inventory", e.root});
    EXPECT_EQ(r.status, 4);  // a dangling link, a link loop, a file cut short
    const std::string& o = r.output;
    const std::string& p = e.root;
    const std::vector<std::string> lines = {
        p + "/asm_disk1: probably an ASM disk (block 0 names ORCLDISK)\n",
        p + "/db/control01.ctl: probably a control file (block 1 is a control file's header block); blocks of 512, "
            "little-endian, 4 in the file\n",
        p + "/db/logs/redo01.log: probably a redo log (block 1 is a redo log's header block (online or archived)); "
            "blocks of 512, little-endian, 4 in the file\n",
        p + "/db/spfileORCL.ora: probably a parameter file (it sets db_name)\n",
        p + "/empty.dbf: empty (no bytes)\n",
        p + "/notes.txt: unknown (no Oracle block header at any block size)\n",
        p + "/other/big01.dbf: data file (block 1 is a data file header); database OTHERDB (DBID 168496141); "
            "tablespace BIG (9); file 3, relative 1024, bigfile; blocks of 8192, big-endian, 3 in the file, 3 in the "
            "header; release probably 12c or later; checkpoint SCN 1000000, creation SCN 4660\n",
        "database OTHERDB (DBID 168496141): 1 data file (absolute file 3); not found: files 1, 2 (missing, or "
        "dropped from the database)\n",
        "database TREVANIX (DBID 1592593163): 3 data files (absolute files 1, 4, 4); not found: files 2, 3 (missing, "
        "or dropped from the database)\n",
    };
    for (const std::string& line : lines) EXPECT_NE(o.find(line), std::string::npos) << line << "\n" << o;
    EXPECT_NE(o.find(p + "/db/system01.dbf: data file (block 1 is a data file header); database TREVANIX (DBID "
                         "1592593163); tablespace SYSTEM (0); file 1, relative 1;"),
              std::string::npos)
        << o;
    EXPECT_NE(o.find("; SYSTEM file, holds the dictionary\n"), std::string::npos) << o;
    EXPECT_NE(o.find(" in the file, 103 in the header (cut short); release unknown;"), std::string::npos) << o;
    EXPECT_NE(r.errors.find("trevanix: " + p + "/dangling: cannot be read (No such file or directory): left out\n"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("trevanix: " + p + "/other/loop: a directory already searched (a link loop?): left out\n"),
              std::string::npos)
        << r.errors;

    // The same as JSON Lines: a record per file, then one per database.
    const RunResult j = run_trevanix({"--inventory", "--format", "jsonl", e.root});
    std::map<std::string, const Json*> files;
    std::vector<const Json*> databases;
    const std::vector<Json> records = parse_json_lines(j.output);
    for (const Json& record : records) {
        if (record["record"].text == "file") files[record["path"].text] = &record;
        else databases.push_back(&record);
    }
    ASSERT_EQ(files.size(), 10u);
    const Json& big = *files.at(p + "/other/big01.dbf");
    EXPECT_EQ(big["kind"].text, "data file");
    EXPECT_TRUE(big["bigfile"].boolean);
    EXPECT_EQ(big["byte_order"].text, "big");
    EXPECT_EQ(big["release"].text, "probably 12c or later");
    const Json& cut = *files.at(p + "/other/users_cut.dbf");
    EXPECT_TRUE(cut["cut_short"].boolean);
    EXPECT_EQ(cut["blocks_in_file"].text, "101");
    EXPECT_EQ((*files.at(p + "/db/system01.dbf"))["holds_dictionary"].kind, Json::Bool);
    EXPECT_TRUE((*files.at(p + "/db/system01.dbf"))["holds_dictionary"].boolean);
    EXPECT_EQ((*files.at(p + "/db/logs/redo01.log"))["sure"].boolean, false);
    EXPECT_EQ((*files.at(p + "/notes.txt"))["database_id"].kind, Json::Null);
    ASSERT_EQ(databases.size(), 2u);
    EXPECT_EQ((*databases[1])["not_found"].items.size(), 2u);

    const RunResult csv = run_trevanix({"--inventory", "--format", "csv", e.root});
    EXPECT_EQ(csv.status, 2);
    EXPECT_EQ(csv.errors, "trevanix: --inventory writes text or jsonl, not csv\n");
    EXPECT_EQ(run_trevanix({"--inventory"}).errors, "trevanix: --inventory wants the files or directories to look at\n");
}

TEST(Inventory, TheTablesModesTakeADirectoryAndItsSystemFile)
{
    Evidence e;
    std::filesystem::remove(e.root + "/other/users_cut.dbf");
    std::filesystem::remove(e.root + "/other/loop");
    std::filesystem::remove(e.root + "/dangling");
    const std::string out = e.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, e.root});
    EXPECT_EQ(r.status, 4) << r.errors;  // HR.ALL_TYPES's LOB locators are not decoded
    const std::string& p = e.root;
    for (const std::string& line :
         {"trevanix: " + p + "/asm_disk1: probably an ASM disk, not a data file (not read)\n",
          "trevanix: " + p + "/db/logs/redo01.log: probably a redo log, not a data file (not read)\n",
          "trevanix: " + p + "/notes.txt: not recognised as an Oracle file (not read)\n",
          "trevanix: " + p + "/empty.dbf: an empty file (not read)\n",
          // The bigfile tablespace's file is of another database: read apart.
          "trevanix: the files given are of 2 databases or containers (by the database id in their headers): each "
          "is read apart, into a subdirectory of " + out + " of its own\n",
          "trevanix: database TREVANIX (DBID 1592593163): 2 data files, the dictionary of " + p +
              "/db/system01.dbf, into " + out + "/TREVANIX_1592593163\n"})
        EXPECT_NE(r.errors.find(line), std::string::npos) << line << r.errors;
    // The tables of the dictionary, named, from the directory alone.
    const std::string trevanix = out + "/TREVANIX_1592593163";
    EXPECT_NE(read_file(trevanix + "/SCOTT.EMP.csv").find("\r\n10,7839,KING,PRESIDENT,5000,"), std::string::npos);
    EXPECT_FALSE(read_file(trevanix + "/SYS.OBJ$.csv").empty());
    EXPECT_TRUE(directory_entries(out + "/OTHERDB_168496141").count("summary.json"));

    const RunResult listed = run_trevanix({"--list-tables", e.root + "/db"});
    EXPECT_EQ(listed.status, 0) << listed.errors;
    EXPECT_NE(listed.output.find("\nSCOTT  EMP "), std::string::npos) << listed.output;

    // --dictionary auto insists on a SYSTEM file; two databases' need naming.
    const RunResult none = run_trevanix({"--unload", e.dir.path("none"), "--dictionary", "auto", e.root + "/other"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.errors.find("--dictionary auto finds no SYSTEM data file"), std::string::npos) << none.errors;
    // Two databases' SYSTEM files: each database read with its own.
    e.dir.write("oradata/other/system01.dbf", other_database_file(1, 1, "SYSTEM", 0x00400010));
    const RunResult two = run_trevanix({"--unload", e.dir.path("two"), e.root});
    EXPECT_EQ(two.status, 4) << two.errors;
    EXPECT_NE(two.errors.find("trevanix: database OTHERDB (DBID 168496141): 2 data files, the dictionary of " + p +
                              "/other/system01.dbf, into "),
              std::string::npos)
        << two.errors;
    EXPECT_NE(read_file(e.dir.path("two") + "/TREVANIX_1592593163/SCOTT.EMP.csv").find("\r\n10,7839,KING,"),
              std::string::npos);
}

}  // namespace
