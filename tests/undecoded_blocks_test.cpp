// What the tool does not decode is said, never misread: a compressed block
// (two tables, symbols and rows, which are no cluster's), the blocks of
// hybrid columnar compression units (magic in either byte order), a block
// of an encrypted tablespace, and a column of a type number no release the
// tool knows gives. The unload leaves their rows out and counts them,
// --verify and --rows say what the blocks are, and the run ends with 4.
#include <gtest/gtest.h>

#include "row_layout.h"
#include "system_file.h"
#include "test_support.h"

namespace {

using datafile::Bytes;
using datafile::Value;

constexpr std::uint32_t kObject = 910;
constexpr std::uint32_t kBlockSize = 8192;

Value text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A value of `size` bytes that starts with a columnar unit's header.
Value unit_value(ByteOrder order, std::size_t size)
{
    Bytes value = datafile::columnar_unit_header(order);
    for (std::size_t i = value.size(); i < size; ++i) value.push_back(static_cast<std::uint8_t>('a' + i % 26));
    return value;
}

// Relative file 4: block 1 an ordinary row, block 2 a compressed block,
// blocks 3 to 5 and 6 to 8 two columnar units (big- and little-endian
// magic), block 9 a block of an encrypted tablespace.
struct UndecodedFile {
    ScratchDir dir;
    std::string path;
    std::string schema;

    UndecodedFile()
    {
        datafile::FileSet files(kBlockSize);
        datafile::RowWriter writer(files, {kObject});
        writer.ordinary({4, 1}, {{text("live"), text("row")}});
        files.block({4, 2}) = datafile::compressed_block(
            kObject, {"repeated text"}, {{{0, ""}, {std::nullopt, "abc"}}, {{0, ""}, {std::nullopt, "de"}}});
        writer.chained({{4, 3}, {4, 4}, {4, 5}}, {{unit_value(ByteOrder::Big, 20000)}});
        writer.chained({{4, 6}, {4, 7}, {4, 8}}, {{unit_value(ByteOrder::Little, 20000)}});
        // Past its header's first bytes, an encrypted block is noise; its
        // checksum and tail are sound.
        datafile::Block& encrypted = files.block({4, 9});
        encrypted = datafile::Block();
        encrypted.layer_type = 0x9C;
        Bytes noise(kBlockSize - 21 - 4);
        std::uint32_t x = 0x12345678;
        for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        encrypted.patches = {{21, noise}};
        path = dir.write("f4.dbf", datafile::build_file(files.file(4)));
        schema = dir.write("t.sql", std::string("-- data object 910\nCREATE TABLE \"T\" (\"A\" VARCHAR2(4000), "
                                                "\"B\" VARCHAR2(20));\n"));
    }
};

TEST(UndecodedBlocks, TheUnloadLeavesTheirRowsOutAndCountsThem)
{
    UndecodedFile f;
    const std::string out = f.dir.path("out");
    const RunResult r = run_trevanix(
        {"--unload", out, "--block-size", "8192", "--byte-order", "little", "--schema", f.schema, f.path});
    EXPECT_EQ(r.status, 4) << r.errors;
    EXPECT_EQ(read_file(out + "/T.csv"), "A,B,ROWID\r\nlive,row,AAAAOOAAEAAAAABAAA\r\n");
    EXPECT_NE(r.errors.find("\nT: 7 compressed blocks, not decoded (their rows are not unloaded)\n"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("\n1 block probably of an encrypted tablespace, not decoded (their data objects cannot be "
                            "told)\n"),
              std::string::npos)
        << r.errors;
    EXPECT_EQ(r.errors.find("data objects no schema entry describes"), std::string::npos) << r.errors;
    const Json summary = parse_json(read_file(out + "/summary.json"));
    const Json& t = summary["tables"].items[0];
    EXPECT_EQ(t["rows"].text, "1");
    EXPECT_EQ(t["compressed_blocks"].text, "7");
    EXPECT_EQ(summary["orphans"].text, "0");  // the units' pieces are theirs
    EXPECT_EQ(summary["blocks_encrypted"].text, "1");
    EXPECT_EQ(summary["blocks_damaged"].text, "0");
    EXPECT_TRUE(summary["unknown_objects"].items.empty());
}

TEST(UndecodedBlocks, VerifyAndRowsSayWhatTheyAre)
{
    UndecodedFile f;
    const RunResult v = run_trevanix({"--verify", "-f", f.path});
    EXPECT_EQ(v.status, 0) << v.output;
    for (const char* line : {"Block ID: 2, compressed (BASIC or OLTP): its rows are not decoded\n",
                                    "Block ID: 3, a hybrid columnar compression unit: its rows are not decoded\n",
                                    "Block ID: 6, a hybrid columnar compression unit: its rows are not decoded\n",
                                    "Block ID: 9, probably of an encrypted tablespace: its rows are not decoded\n",
                                    "Damaged data layers: 0\n",
                                    "Blocks not decoded: 4 (compressed: 1, columnar units: 2, probably encrypted: 1)\n"})
        EXPECT_NE(v.output.find(line), std::string::npos) << line << v.output;
    const std::vector<Json> checks = parse_json_lines(run_trevanix({"--verify", "--format", "jsonl", "-f", f.path}).output);
    ASSERT_GE(checks.size(), 10u);
    EXPECT_EQ(checks[2]["data_layer"].text, "compressed");
    EXPECT_EQ(checks[3]["data_layer"].text, "columnar unit");
    EXPECT_EQ(checks[9]["data_layer"].text, "probably encrypted");

    const RunResult rows = run_trevanix({"--rows", "--format", "jsonl", "-f", f.path});
    const std::vector<Json> records = parse_json_lines(rows.output);
    ASSERT_EQ(records.size(), 1u) << rows.output;
    EXPECT_EQ(records[0]["rowid"].text, "AAAAOOAAEAAAAABAAA");
    EXPECT_NE(rows.errors.find("Block ID: 2, compressed (BASIC or OLTP): its rows are not decoded\n"), std::string::npos)
        << rows.errors;
}

TEST(UndecodedTypes, AColumnOfATypeNotDecodedIsCountedWithItsNumber)
{
    datafile::Database database = datafile::sample_database();
    datafile::TableDef vectors;
    vectors.owner = "SCOTT";
    vectors.name = "VECTORS";
    vectors.object_id = vectors.data_object_id = 87190;
    datafile::ColumnDef id;
    id.name = "ID";
    datafile::ColumnDef embedding;
    embedding.name = "EMBEDDING";
    embedding.type = 127;  // 23ai's VECTOR, say: no type this tool decodes
    embedding.length = 8200;
    vectors.columns = {id, embedding};
    vectors.rows = {{{datafile::number_value("1"), Bytes{0x01, 0x02, 0x03}}},
                    {{datafile::number_value("2"), Bytes{0x04}}}};
    database.tables.push_back(vectors);
    ScratchDir dir;
    datafile::write_database(datafile::build_database(database), dir.root());
    const std::string out = dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--table", "SCOTT.VECTORS", "--dictionary",
                                      dir.path("system01.dbf"), dir.path("users01.dbf")});
    EXPECT_EQ(r.status, 4) << r.errors;
    const std::string csv = read_file(out + "/SCOTT.VECTORS.csv");
    EXPECT_TRUE(csv.starts_with("ID,EMBEDDING,ROWID\r\n1,0x010203,")) << csv;
    EXPECT_NE(csv.find("\r\n2,0x04,"), std::string::npos) << csv;
    EXPECT_NE(r.errors.find("SCOTT.VECTORS.EMBEDDING: type 127, which this tool does not decode: its values are "
                            "written as hexadecimal\n"),
              std::string::npos)
        << r.errors;
    const Json summary = parse_json(read_file(out + "/summary.json"));
    const Json& t = summary["tables"].items[0];
    EXPECT_EQ(t["not_decoded"].text, "2");
    ASSERT_EQ(t["types_not_decoded"].items.size(), 1u);
    EXPECT_EQ(t["types_not_decoded"].items[0]["column"].text, "EMBEDDING");
    EXPECT_EQ(t["types_not_decoded"].items[0]["type"].text, "127");
}

}  // namespace
