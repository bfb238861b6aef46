// Files of bigfile tablespaces: their block addresses are 32-bit block
// numbers. Chained and migrated rows whose pieces lie at block numbers that
// use the bits a smallfile address keeps for the file are followed in their
// own file, beside a smallfile file whose blocks such a misreading would
// reach, and beside a second bigfile file (both say relative file 1024);
// their rowids are printed as the database prints them for bigfile
// tablespaces. The files are sparse: 2 GiB of 512-byte blocks on little disk.
#include <gtest/gtest.h>

#include <map>

#include "file_structures.h"
#include "format/rowid.h"
#include "row_layout.h"
#include "test_support.h"
#include "values/text_writers.h"

namespace {

using datafile::BlockAddress;
using datafile::Bytes;
using datafile::LogicalRow;
using datafile::RowTruth;
using datafile::Value;

using Record = std::vector<std::string>;

constexpr std::uint32_t kBlockSize = 512;
constexpr std::uint16_t kBig = kBigfileRelativeFile;
// Block 2^22 + 5: read as a smallfile address, file 1 block 5.
constexpr std::uint32_t kHigh = (1u << 22) + 5;
constexpr std::uint32_t kObject = 900;

Value text(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string letters(std::size_t n, char first)
{
    std::string s(n, first);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(static_cast<unsigned char>(first) + i % 20);
    return s;
}

// Block 0 and the data file header of a bigfile tablespace's file.
void add_headers(datafile::FileSet& files, std::uint16_t absolute, const std::string& tablespace,
                 std::uint32_t tablespace_number, std::uint32_t block_count)
{
    files.put_image({kBig, 0}, datafile::os_header_block(kBlockSize, block_count, ByteOrder::Little));
    datafile::FileHeader header;
    header.relative_file = kBig;
    header.absolute_file = absolute;
    header.tablespace_name = tablespace;
    header.tablespace_number = tablespace_number;
    header.block_count = block_count;
    files.put_image({kBig, 1}, datafile::file_header_block(header, kBlockSize, ByteOrder::Little));
}

// CSV records of RFC 4180 without quotes in them: enough for these values.
std::vector<Record> csv_records(const std::string& text)
{
    std::vector<Record> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        Record record;
        const std::string line = text.substr(start, end - start);
        std::size_t from = 0;
        for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1)
            record.push_back(line.substr(from, comma - from));
        record.push_back(line.substr(from));
        records.push_back(record);
    }
    return records;
}

std::string rowid_of(const datafile::RowAddress& at)
{
    char out[kRowidTextSize];
    put_rowid_text(out, kObject, {at.file, at.block, at.slot, layout_of_relative_file(at.file)});
    return {out, kRowidTextSize};
}

struct BigfileFiles {
    ScratchDir dir;
    std::string big;     // chains to block kHigh and on
    std::string other;   // a second bigfile file, small
    std::string trap;    // smallfile file 1
    std::string schema;
    std::map<std::string, std::string> expected;  // the first column's value: the rowid

    BigfileFiles()
    {
        datafile::FileSet big_set(kBlockSize);
        add_headers(big_set, 7, "BIGDATA", 7, kHigh + 8);
        datafile::RowWriter big_writer(big_set, {kObject, 2, true});
        note(big_writer.ordinary({kBig, 2}, {{text("plain"), text("p")}}));
        note(big_writer.chained({{kBig, 3}, {kBig, kHigh}, {kBig, kHigh + 1}},
                                {{text("chained"), text(letters(900, 'a'))}}));
        note(big_writer.migrated({kBig, 2}, {{kBig, kHigh + 2}}, {{text("migrated"), text(letters(300, 'k'))}}));
        note(big_writer.ordinary({kBig, kHigh + 3}, {{text("high"), text("h")}}));
        // The same places as the second file's chained row.
        note(big_writer.chained({{kBig, 4}, {kBig, 5}}, {{text("near"), text(letters(700, 'A'))}}));
        big = dir.path("big.dbf");
        big_set.write_sparse(big, kBig, kHigh + 8);

        datafile::FileSet other_set(kBlockSize);
        add_headers(other_set, 8, "MOREDATA", 8, 8);
        datafile::RowWriter other_writer(other_set, {kObject, 2, true});
        note(other_writer.chained({{kBig, 4}, {kBig, 5}}, {{text("other"), text(letters(700, 'K'))}}));
        other = dir.path("other.dbf");
        other_set.write_sparse(other, kBig, 8);

        // What reading the big file's addresses as smallfile ones reaches:
        // file 1's blocks 5 to 7, holding the last pieces of chains of the
        // same data object.
        datafile::FileSet trap_set(kBlockSize);
        datafile::RowWriter trap_writer(trap_set, {kObject, 2, true});
        note(trap_writer.chained({{1, 2}, {1, 5}}, {{text("trap5"), text(letters(700, 'b'))}}));
        note(trap_writer.chained({{1, 3}, {1, 6}}, {{text("trap6"), text(letters(700, 'c'))}}));
        note(trap_writer.chained({{1, 4}, {1, 7}}, {{text("trap7"), text(letters(700, 'd'))}}));
        trap = dir.write("trap.dbf", datafile::build_file(trap_set.file(1)));
        schema = dir.write("t.sql", std::string("-- data object 900\nCREATE TABLE \"T\" (\"A\" VARCHAR2(20), \"B\" "
                                                "VARCHAR2(4000));\n"));
    }

    void note(const RowTruth& truth)
    {
        std::string first(truth.values.at(0)->begin(), truth.values.at(0)->end());
        expected[first + "," + std::string(truth.values.at(1)->begin(), truth.values.at(1)->end())] =
            rowid_of(*truth.head);
    }
};

TEST(Bigfile, ChainedAndMigratedRowsAreFollowedInTheirOwnFile)
{
    BigfileFiles files;
    const std::string out = files.dir.path("out");
    const RunResult r = run_trevanix(
        {"--unload", out, "--quiet", "--block-size", "512", "--schema", files.schema, files.trap, files.big, files.other});
    ASSERT_EQ(r.status, 0) << r.errors;
    std::map<std::string, std::string> unloaded;
    const std::vector<Record> records = csv_records(read_file(out + "/T.csv"));
    ASSERT_FALSE(records.empty());
    for (std::size_t i = 1; i < records.size(); ++i) {
        ASSERT_EQ(records[i].size(), 3u);
        unloaded[records[i][0] + "," + records[i][1]] = records[i][2];
    }
    EXPECT_EQ(unloaded, files.expected);
    // Block 2^22 + 8 of data object 900, slot 0, as the database prints it.
    EXPECT_EQ(unloaded.at("high,h"), "AAAAOEAAAAAQAAIAAA");
    const Json summary = parse_json(read_file(out + "/summary.json"));
    const Json& t = summary["tables"].items[0];
    EXPECT_EQ(t["rows"].text, std::to_string(files.expected.size()));
    EXPECT_EQ(t["reassembled"].text, "7");
    EXPECT_EQ(t["incomplete"].text, "0");
    EXPECT_EQ(summary["orphans"].text, "0");
}

TEST(Bigfile, RowRecordsAndPieceRecordsGiveTheirAddressesWhole)
{
    BigfileFiles files;
    const RunResult rows = run_trevanix({"--rows", "--format", "jsonl", "--quiet", "--block-size", "512", "-f",
                                         files.big, files.other});
    ASSERT_EQ(rows.status, 0) << rows.errors;
    std::map<std::string, const Json*> by_rowid;
    const std::vector<Json> records = parse_json_lines(rows.output);
    for (const Json& record : records)
        if (record["rowid"].kind == Json::String) by_rowid[record["rowid"].text] = &record;
    const Json& chained = *by_rowid.at(files.expected.at("chained," + letters(900, 'a')));
    EXPECT_EQ(chained["chain"].text, "complete");
    EXPECT_EQ(chained["file"].text, "1024");
    ASSERT_EQ(chained["pieces"].items.size(), 3u);
    EXPECT_EQ(chained["pieces"].items[1]["block"].text, std::to_string(kHigh));
    const Json& migrated = *by_rowid.at(files.expected.at("migrated," + letters(300, 'k')));
    EXPECT_EQ(migrated["chain"].text, "complete");
    EXPECT_EQ(migrated["pieces"].items[1]["block"].text, std::to_string(kHigh + 2));

    // A piece's NRID: the whole block number, in the bigfile file's number.
    const RunResult pieces =
        run_trevanix({"--format", "jsonl", "--quiet", "--block-size", "512", "-b", "3", "-f", files.big});
    ASSERT_EQ(pieces.status, 0) << pieces.errors;
    bool seen = false;
    for (const Json& piece : parse_json_lines(pieces.output)) {
        if (piece["nrid"].kind != Json::Object) continue;
        EXPECT_EQ(piece["nrid"]["block"].text, std::to_string(kHigh));
        EXPECT_EQ(piece["nrid"]["file"].text, "1024");
        seen = true;
    }
    EXPECT_TRUE(seen);
}

}  // namespace
