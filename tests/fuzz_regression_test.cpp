// The fuzz harness in the ordinary test run: every seed keeps the promises
// the fuzzers check, and every input a fuzzer found is replayed here.
#include <gtest/gtest.h>

#include "fuzz_harness.h"
#include "test_support.h"

namespace {

using fuzz::Bytes;

TEST(FuzzSeeds, EverySeedKeepsThePromises)
{
    const std::pair<const char*, std::vector<fuzz::Seed> (*)()> lists[] = {
        {"datafile", fuzz::datafile_seeds},
        {"template", fuzz::template_seeds},
        {"values", fuzz::value_seeds},
        {"arguments", fuzz::arguments_seeds},
        {"schema", fuzz::schema_seeds},
    };
    std::string (*const runners[])(const Bytes&) = {fuzz::run_datafile_input, fuzz::run_template_input,
                                                     fuzz::run_value_input, fuzz::run_arguments_input,
                                                     fuzz::run_schema_input};
    for (std::size_t i = 0; i < std::size(runners); ++i) {
        std::vector<fuzz::Seed> seeds = lists[i].second();
        EXPECT_FALSE(seeds.empty()) << lists[i].first;
        for (const fuzz::Seed& seed : seeds) EXPECT_EQ(runners[i](seed.input), "") << lists[i].first << "/" << seed.name;
    }
}

// Inputs the fuzzers reported. Both were false alarms of the harness's own
// predictions, corrected in the harness; they stay here so that it keeps
// telling right from wrong on them, and so does the dumper.

TEST(FuzzFindings, NumberBelowTheSmallestExponentIsPrintedExactly)
{
    // From fuzz_values: 7F 65 34 34 34 is a negative NUMBER whose first digit
    // is zero, so its value lies one power of 100 below what an exponent byte
    // can express, and no encoding of its text exists to compare with.
    const Bytes value{0x7F, 0x65, 0x34, 0x34, 0x34};
    EXPECT_EQ(fuzz::run_value_input(fuzz::value_input(0x29, value)), "");
    NumberText text;
    ASSERT_TRUE(decode_number(ByteView(value.data(), value.size()), text));
    EXPECT_EQ(std::string(text.text, text.length), "-0." + std::string(130, '0') + "494949");
}

TEST(FuzzFindings, HeapWalkGoesOnIntoAPieceTakenAsNoRow)
{
    // From fuzz_template: a deleted HDFL piece whose column count (0x2C)
    // looks like a flag byte is taken as no row. The directory walk shows
    // nothing; the heap walk moves two bytes on, into the piece's own bytes,
    // and decodes what it finds there as pieces.
    std::vector<fuzz::TemplateColumn> columns(0x2C);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        columns[i].null = i < 3;
        if (i >= 3) columns[i].value = {0x06, 0x01};
    }
    const std::uint8_t flags = fuzz::kTemplateDeleted | fuzz::kTemplateHeapWalk | fuzz::kTemplateVerbose;
    EXPECT_EQ(fuzz::run_template_input(fuzz::template_input(flags, ',', columns, "NUMBER\r\nVARCHAR2\r\n")), "");

    datafile::RowPiece piece = datafile::deleted_piece({});
    for (std::size_t i = 0; i < columns.size(); ++i)
        piece.columns.push_back(i < 3 ? datafile::Column::null() : datafile::Column::bytes({0x06, 0x01}));
    datafile::Block block;
    block.rows = {piece};
    ScratchDir dir;
    std::string path = dir.write("no-row.dbf", file_of({block}));
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "D"}).output, kCompleted);
    // Two bytes on, the column count 2C reads as the flag byte of an ordinary
    // row whose lock byte and column count are two NULL markers (FF FF); its
    // columns start at the third NULL marker.
    const std::string start = kRule + "1: FF\n2: 06 01 \n2: 06 01 \n";
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "O"}).output.substr(0, start.size()), start);
}

}  // namespace
