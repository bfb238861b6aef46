// Whole rows (--rows): chained, migrated, wide and clustered rows, written
// by the data file builder with the truth of what was written, read back
// and compared value by value; broken chains, orphans and stale copies;
// rows across two files; and the row reader called directly.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "row_layout.h"
#include "rows/row_reader.h"
#include "test_support.h"

namespace {

using datafile::BlockAddress;
using datafile::Bytes;
using datafile::LogicalRow;
using datafile::RowTruth;
using datafile::Value;

Value text(const std::string& s) { return Bytes(s.begin(), s.end()); }
LogicalRow row_of(std::vector<Value> values, bool deleted = false) { return {std::move(values), deleted}; }
Value counting(std::size_t n, std::uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return b;
}

// What a row record says of a value without a template: null, or its
// bytes in hexadecimal.
std::string value_text(const Json& value) { return value.kind == Json::Null ? "null" : value["hex"].text; }
std::string value_text(const Value& value) { return value ? hex_of(*value) : "null"; }

std::string pieces_text(const Json& pieces)
{
    std::string s;
    for (const Json& p : pieces.items)
        s += p["file"].text + "." + p["block"].text + "." + (p["slot"].kind == Json::Null ? "-" : p["slot"].text) + " ";
    return s;
}
std::string pieces_text(const RowTruth& truth)
{
    std::string s;
    for (const datafile::PieceAddress& p : truth.pieces)
        s += std::to_string(p.file) + "." + std::to_string(p.block) + "." + (p.slot ? std::to_string(*p.slot) : "-") + " ";
    return s;
}

// The records of a --rows run by where their head (or orphan piece) lies.
std::map<std::string, Json> rows_by_place(const std::string& output)
{
    std::map<std::string, Json> rows;
    for (const Json& row : parse_json_lines(output)) {
        const std::string pieces = pieces_text(row["pieces"]);
        rows[pieces.substr(0, pieces.find(' '))] = row;
    }
    return rows;
}

void expect_row(const std::map<std::string, Json>& rows, const RowTruth& truth, const std::string& what)
{
    SCOPED_TRACE(what);
    const std::string place = pieces_text(truth).substr(0, pieces_text(truth).find(' '));
    const auto found = rows.find(place);
    ASSERT_NE(found, rows.end()) << "no record for " << place;
    const Json& row = found->second;
    EXPECT_EQ(row["chain"].text, std::string(datafile::chain_field(truth.chain)));
    EXPECT_EQ(pieces_text(row["pieces"]), pieces_text(truth));
    EXPECT_EQ(row["deleted"].boolean, truth.deleted);
    EXPECT_EQ(row["complete"].boolean,
              truth.chain == datafile::Chain::Single || truth.chain == datafile::Chain::Complete);
    EXPECT_EQ(row["rowid"].kind == Json::Null, !truth.head);
    if (truth.cluster_table)
        EXPECT_EQ(row["cluster_table"].text, std::to_string(*truth.cluster_table));
    else
        EXPECT_EQ(row["cluster_table"].kind, Json::Null);
    ASSERT_EQ(row["columns"].items.size(), truth.values.size());
    for (std::size_t i = 0; i < truth.values.size(); ++i)
        EXPECT_EQ(value_text(row["columns"].items[i]), value_text(truth.values[i])) << "column " << i + 1;
}

// Two files of 4096-byte blocks (relative files 4 and 5) holding a row of
// every shape, and the truth of each.
struct Shapes {
    datafile::FileSet files{4096};
    std::vector<std::pair<std::string, RowTruth>> truths;

    Shapes()
    {
        datafile::RowWriter writer(files, {700});
        truths.push_back({"ordinary", writer.ordinary({4, 1}, row_of({text("A"), std::nullopt, text("B")}))});
        truths.push_back({"deleted", writer.ordinary({4, 1}, row_of({text("gone")}, true))});
        truths.push_back(
            {"chained, a value cut", writer.chained({{4, 2}, {4, 3}}, row_of({text("k"), counting(6000, 1), text("z")}))});
        truths.push_back({"chained over three blocks and two files",
                          writer.chained({{4, 4}, {5, 2}, {4, 5}}, row_of({counting(10000, 2), text("end")}))});
        truths.push_back({"migrated", writer.migrated({4, 1}, {{4, 6}}, row_of({text("moved"), text("away")}))});
        truths.push_back({"migrated twice", writer.migrated_twice({4, 1}, {4, 6}, {4, 7}, row_of({text("twice")}))});
        truths.push_back({"migrated and chained",
                          writer.migrated({4, 1}, {{4, 8}, {4, 9}}, row_of({counting(6000, 3), text("tail")}))});
        std::vector<Value> wide(300, std::nullopt);
        for (std::size_t i = 0; i < 290; i += 3) wide[i] = text(std::to_string(i));
        truths.push_back({"300 columns", writer.wide({{4, 10}}, row_of(wide))});
        std::vector<Value> wider(1000, std::nullopt);
        for (std::size_t i = 0; i < 990; ++i) wider[i] = Bytes{static_cast<std::uint8_t>(i)};
        truths.push_back({"1000 columns", writer.wide({{4, 11}, {4, 12}, {4, 13}, {4, 14}}, row_of(wider))});
        const LogicalRow broken = row_of({counting(800, 4), counting(800, 5)});
        truths.push_back({"missing block", writer.broken({4, 15}, {4, 4000}, datafile::Break::MissingBlock, broken)});
        truths.push_back({"missing file", writer.broken({4, 40}, {9, 3}, datafile::Break::MissingFile, broken)});
        truths.push_back({"emptied slot", writer.broken({4, 16}, {4, 17}, datafile::Break::EmptySlot, broken)});
        truths.push_back({"loop", writer.broken({4, 18}, {4, 19}, datafile::Break::Loop, broken)});
        truths.push_back({"stale copy", writer.stale_copy({4, 20}, row_of({text("old"), text("copy")}))});
        truths.push_back({"orphan", writer.orphan_copy({4, 41}, {4, 1, 0}, row_of({text("lost"), text("head")}))});
        std::uint32_t next = 21;
        const std::vector<RowTruth> members = writer.cluster([&] { return BlockAddress{4, next++}; }, 3,
            {{{text("10")}, {{1, row_of({text("ACCOUNTING")})}, {2, row_of({text("CLARK")})}}},
             {{text("20")}, {{2, row_of({text("SMITH"), std::nullopt})}, {2, row_of({text("KING")}, true)}}}});
        for (const RowTruth& m : members) truths.push_back({"cluster member", m});
    }
};

TEST(Rows, EveryShapeOfRowReadsBackValueByValue)
{
    ScratchDir dir;
    const Shapes shapes;
    const std::string f4 = dir.write("f4.dbf", datafile::build_file(shapes.files.file(4)));
    const std::string f5 = dir.write("f5.dbf", datafile::build_file(shapes.files.file(5)));
    const RunResult r = run_trevanix({"--rows", "--format", "jsonl", "-a", "O", "--block-size", "4096", "-f", f4, f5});
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::map<std::string, Json> rows = rows_by_place(r.output);
    for (const auto& [what, truth] : shapes.truths) expect_row(rows, truth, what);
    // Nothing but the rows written: no piece of a row is an orphan of its own.
    std::set<std::string> written;
    for (const auto& [what, truth] : shapes.truths) written.insert(pieces_text(truth).substr(0, pieces_text(truth).find(' ')));
    for (const auto& [place, row] : rows) EXPECT_TRUE(written.count(place)) << place << " " << row["chain"].text;
}

TEST(Rows, TheDirectoryWalkGivesRowidsAndLeavesOutWhatOnlyTheHeapHolds)
{
    ScratchDir dir;
    const Shapes shapes;
    const std::string f4 = dir.write("f4.dbf", datafile::build_file(shapes.files.file(4)));
    const std::string f5 = dir.write("f5.dbf", datafile::build_file(shapes.files.file(5)));
    const RunResult r = run_trevanix({"--rows", "--format=jsonl", "--block-size=4096", "-f", f4, f5});
    const std::map<std::string, Json> rows = rows_by_place(r.output);
    EXPECT_EQ(rows.size(), shapes.truths.size() - 2);  // the stale copy and the orphan have no slot
    const Json& ordinary = rows.at("4.1.0");
    // Data object 700, file 4, block 1, slot 0.
    EXPECT_EQ(ordinary["rowid"].text, "AAAAK8AAEAAAAABAAA");
    EXPECT_EQ(ordinary["file"].text, "4");
    // Deleted rows only.
    const RunResult deleted = run_trevanix({"--rows", "--format=jsonl", "--block-size=4096", "-a", "D", "-f", f4, f5});
    std::vector<std::string> places;
    for (const Json& row : parse_json_lines(deleted.output)) {
        EXPECT_TRUE(row["deleted"].boolean);
        places.push_back(row["pieces"].items[0]["block"].text);
    }
    EXPECT_EQ(places.size(), 2u);  // the deleted row and a cluster member
    // A file not given: the chain into it is missing.
    const std::map<std::string, Json> alone = rows_by_place(run_trevanix({"--rows", "--format=jsonl", "--block-size=4096", "-f", f4}).output);
    EXPECT_EQ(alone.at("4.4.0")["chain"].text, "missing piece");
    EXPECT_FALSE(alone.at("4.4.0")["complete"].boolean);
}

TEST(SeveralFiles, TheModesThatReadSeveralFilesTakeThemAfterTheOptionsWithoutDashF)
{
    ScratchDir dir;
    const Shapes shapes;
    const std::string f4 = dir.write("f4.dbf", datafile::build_file(shapes.files.file(4)));
    const std::string f5 = dir.write("f5.dbf", datafile::build_file(shapes.files.file(5)));
    const std::vector<std::vector<std::string>> modes = {
        {"--rows", "--format=jsonl"}, {"--format", "csv"}, {"--format=jsonl", "-a", "O"}, {"--verify"}};
    for (const std::vector<std::string>& mode : modes) {
        std::vector<std::string> with_f = mode, without_f = mode, first_only = mode;
        with_f.insert(with_f.end(), {"--block-size=4096", "-f", f4, f5});
        without_f.insert(without_f.end(), {"--block-size=4096", f4, f5});
        first_only.insert(first_only.end(), {"--block-size=4096", f4});
        const RunResult a = run_trevanix(with_f);
        const RunResult b = run_trevanix(without_f);
        EXPECT_EQ(b.status, a.status) << mode[0];
        EXPECT_EQ(b.output, a.output) << mode[0];
        // Both files were read.
        EXPECT_GT(b.output.size(), run_trevanix(first_only).output.size()) << mode[0];
    }
}

TEST(Rows, TheRowsAccountForTheSameColumnBytesAsThePieces)
{
    ScratchDir dir;
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {701});
    std::uint32_t next = 1;
    datafile::HeapInserter inserter(writer, [&] { return BlockAddress{4, next++}; });
    for (int i = 0; i < 300; ++i) {
        const datafile::RowShape shape = i % 17 == 3   ? datafile::RowShape::Chained
                                         : i % 23 == 5 ? datafile::RowShape::Migrated
                                         : i % 29 == 7 ? datafile::RowShape::StaleCopy
                                                       : datafile::RowShape::Ordinary;
        const std::size_t size = shape == datafile::RowShape::Chained ? 2500u : 40u + static_cast<std::size_t>(i % 60);
        inserter.insert(row_of({text(std::to_string(i)), counting(size, static_cast<std::uint8_t>(i))}, i % 11 == 0),
                        shape);
    }
    const std::string path = dir.write("heap.dbf", datafile::build_file(files.file(4)));
    auto value_bytes = [](const std::vector<Json>& records) {
        std::size_t bytes = 0;
        for (const Json& record : records)
            for (const Json& value : record["columns"].items)
                if (value.kind != Json::Null) bytes += value["hex"].text.size() / 2;
        return bytes;
    };
    for (const char* action : {"A", "O"}) {
        const std::vector<Json> pieces = parse_json_lines(run_trevanix({"-f", path, "--format", "jsonl", "-z", "2048", "-a", action}).output);
        const std::vector<Json> rows =
            parse_json_lines(run_trevanix({"-f", path, "--format", "jsonl", "-z", "2048", "--rows", "-a", action}).output);
        EXPECT_EQ(value_bytes(rows), value_bytes(pieces)) << action;
        EXPECT_LT(rows.size(), pieces.size()) << action;
    }
}

TEST(Rows, CsvLinesAreAsWideAsTheWidestRowAndSayWhereTheirPiecesLie)
{
    ScratchDir dir;
    const Shapes shapes;
    const std::string f4 = dir.write("f4.dbf", datafile::build_file(shapes.files.file(4)));
    const std::string f5 = dir.write("f5.dbf", datafile::build_file(shapes.files.file(5)));
    const RunResult r = run_trevanix({"--rows", "--format", "csv", "--block-size", "4096", "-f", f4, f5});
    ASSERT_EQ(r.status, 0);
    const std::string header = r.output.substr(0, r.output.find("\r\n"));
    EXPECT_EQ(header.rfind("rowid,object_id,cluster_table,block,file,slot,scn,deleted,pieces,chain,complete,col1,col2,", 0), 0u);
    EXPECT_NE(header.find(",col990"), std::string::npos);
    EXPECT_EQ(header.find(",col991"), std::string::npos);
    EXPECT_NE(r.output.find(",4.4.0 5.2.0 4.5.0,complete,true,"), std::string::npos);
}

TEST(Rows, RefusedWithTheTextOutputTheScnListingAndVerify)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-f", "x", "--rows"}, "--rows writes JSON Lines or CSV: add --format jsonl or --format csv"},
        {{"-f", "x", "--rows", "--format=csv", "-a", "C"}, "--rows lists rows and -a C lists blocks: leave one of them out"},
        {{"-f", "x", "--rows", "--format=jsonl", "--verify"},
         "--rows and --verify do not go together: --verify checks blocks, not rows"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.errors, "trevanix: " + message + "\n");
        EXPECT_EQ(r.status, 2);
    }
}

// The library called directly: the reader follows a chain from a head the
// walk found, across files, keeping the blocks alive.
TEST(RowReader, FollowsAChainAcrossFilesFromAHeadTheWalkFound)
{
    const Shapes shapes;
    DataFileSet set;
    for (const std::uint16_t rel : {std::uint16_t{4}, std::uint16_t{5}}) {
        auto file = DataFile::from_bytes(datafile::build_file(shapes.files.file(rel)));
        file->set_geometry({4096, ByteOrder::Little});
        set.add(std::move(file));
    }
    Block block;
    ASSERT_EQ(set[0].read(4, block), ReadStatus::Ok);
    DecodedBlock decoded = decode_block_headers(block);
    decode_data_layer(decoded, false);
    DirectoryWalkCarry carry;
    PieceWalk walk(decoded, carry, PieceReading::ByFlagBits);
    ASSERT_EQ(walk.next(), PieceWalk::Step::Piece);
    ASSERT_TRUE(starts_row(walk.piece()));
    RowReader reader(set);
    Row row;
    reader.read(decoded, walk.piece(), walk.columns(), row);
    EXPECT_EQ(row.chain, Chain::Complete);
    ASSERT_EQ(row.pieces.size(), 3u);
    EXPECT_EQ(row.pieces[1].file, 5u);
    ASSERT_EQ(row.values.size(), 2u);
    EXPECT_EQ(row.values[0].bytes.size(), 10000u);
    EXPECT_EQ(hex_of(Bytes(row.values[0].bytes.data(), row.values[0].bytes.data() + 10000)),
              hex_of(*counting(10000, 2)));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(row.values[1].bytes.data()), 3), "end");
    ReachedPieces reached;
    reached.add(row);
    EXPECT_TRUE(reached.contains(5, 2, 0));
    EXPECT_FALSE(reached.contains(4, 4, 0));  // the head is no piece a row reaches
}

}  // namespace
