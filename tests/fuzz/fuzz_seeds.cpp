// Seed inputs for the fuzz targets, built with the data file builder: blocks
// with every class of row piece, typed values, deleted and orphaned rows,
// heaps that stall a careless walk, tiny and truncated blocks, and the
// shipped sample file.
#include <stdexcept>

#include "datafile_builder.h"
#include "file_structures.h"
#include "format/rowid.h"
#include "row_layout.h"
#include "fuzz_harness.h"
#include "test_support.h"

namespace fuzz {

namespace {

using datafile::Block;
using datafile::Column;
using datafile::RowPiece;

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

RowPiece raw_piece(const Bytes& bytes)
{
    RowPiece p = datafile::head_piece({Column::raw(Bytes(bytes.begin() + 3, bytes.end()))});
    p.flags = bytes[0];
    p.lock = bytes[1];
    p.column_count = bytes[2];
    return p;
}

// One piece of every class the decoder knows, each with one column.
std::vector<RowPiece> every_piece_class()
{
    const Bytes hrid = datafile::rowid(4, 0x11, 2);
    const Bytes nrid = datafile::rowid(0x100, 0x102, 5);
    const Bytes one{0x01, 0x01};
    return {
        datafile::cluster_key_piece(0x0102, 0x0A0B, datafile::rowid(1, 2, 3), datafile::rowid(4, 5, 6),
                                    {Column::bytes({0x01})}),
        raw_piece(concat({{0x3C, 0x00, 0x01}, one})),
        raw_piece(concat({{0x2C, 0x00, 0x01}, one})),
        datafile::cluster_member_piece({Column::bytes({0x01})}),
        datafile::piece_with_rowid(0x4C, hrid, {Column::bytes({0x01})}),
        datafile::piece_with_rowid(0x0C, hrid, {Column::bytes({0x01})}),
        datafile::piece_with_rowid(0x20, nrid, {Column::bytes({0x01})}),
        datafile::piece_with_rowid(0x60, nrid, {Column::bytes({0x01})}),
        datafile::piece_with_rowid(0x01, nrid, {Column::bytes({0x01})}),
        raw_piece(concat({{0x04, 0x00, 0x01}, one})),
        raw_piece(concat({{0x06, 0x00, 0x01}, one})),
        datafile::piece_with_rowid(0x28, nrid, {Column::bytes({0x01})}),
        raw_piece(concat({{0x14, 0x00, 0x01}, one})),
        raw_piece({0x10, 0x00, 0x01, 0x00}),
        datafile::first_data_piece(hrid, nrid, {Column::bytes({0x01})}),
        raw_piece({0x00, 0x00, 0x01}),
        raw_piece({0x48, 0x00, 0x01}),
    };
}

std::vector<Column> typed_row(const char* number, int year, const char* text)
{
    return {Column::bytes(datafile::number_value(number)), Column::text(text),
            Column::bytes(datafile::date_value(year, 6, 15, 12, 30, 45)), Column::null(),
            Column::bytes(datafile::number_value("-0.25"))};
}

Block data_block(std::uint32_t object_id, std::vector<RowPiece> rows)
{
    Block b;
    b.object_id = object_id;
    b.scn = 0x1000 + object_id;
    b.rows = std::move(rows);
    return b;
}


// Pieces that stall a walk that trusts them: empty flags, pieces of no
// class that leave the header length alone, an HDFL whose column count
// looks like a flag, a deleted piece, a piece without columns.
Block stalling_heap()
{
    RowPiece hdfl_flag = raw_piece({0x3C, 0x00, 0x2C});
    RowPiece hdfl_flag2 = raw_piece({0x3C, 0x00, 0x3C});
    return data_block(7, {datafile::head_piece({Column::bytes({0x07})}), raw_piece({0x00, 0x00, 0x00}),
                          raw_piece({0x48, 0x00, 0x00}), hdfl_flag, hdfl_flag2, raw_piece({0x10, 0x00, 0x00, 0x00}),
                          datafile::head_piece({}), raw_piece({0x00, 0x00, 0x00}), raw_piece({0x44, 0x00, 0x05})});
}

}  // namespace

std::vector<Seed> datafile_seeds()
{
    std::vector<Seed> seeds;
    auto add = [&](const std::string& name, std::uint8_t flags, std::uint8_t range, const datafile::File& file) {
        seeds.push_back({name, datafile_input(flags, range, file.block_size, datafile::build_file(file))});
    };
    const std::uint8_t template_flags = kWithTemplate;  // template 0
    const datafile::File sample = datafile::sample_file();
    add("sample", 0, 0, sample);
    add("sample-g-template", kWithVerbose | template_flags, 0, sample);
    add("sample-v-csv-filter", kWithLocation | template_flags | kSeparatorComma | kWithObjectFilter, 0, sample);
    add("sample-b1", kWithLocation, 4, sample);

    datafile::File classes = file_of({data_block(1, every_piece_class())}, 1024);
    add("piece-classes", kWithVerbose, 0, classes);
    add("piece-classes-v", kWithLocation, 0, classes);

    std::vector<RowPiece> typed = {datafile::head_piece(typed_row("7369", 1980, "SMITH")),
                                   datafile::deleted_piece(typed_row("-42.75", 2024, "GONE")),
                                   datafile::head_piece(typed_row("12345678901234567890", 1900, ""))};
    typed[1].in_directory = false;
    add("typed-rows", template_flags, 0, file_of({data_block(2, typed)}, 512));
    add("typed-rows-date-template", kWithTemplate | (1 << 3) | kSeparatorOther, 0, file_of({data_block(2, typed)}, 512));
    add("typed-rows-number-template", kWithTemplate | (2 << 3) | kWithVerbose, 6, file_of({data_block(2, typed)}, 512));

    Block long_columns = data_block(3, {datafile::head_piece({Column::bytes(Bytes(300, 0x41)), Column::null(),
                                                              Column::long_form({0x42}), Column::bytes({})})});
    add("long-columns", 0, 0, file_of({long_columns}, 1024));

    add("stalling-heap", kWithVerbose, 0, file_of({stalling_heap()}, 256));
    add("stalling-heap-8192", 0, 0, file_of({stalling_heap()}, 8192));

    Block mismatch = data_block(4, {datafile::head_piece({Column::bytes({0x01})})});
    mismatch.second_row_count = 9;
    mismatch.directory = std::vector<std::uint16_t>{0xFFFF, 1, 0x3000};
    Block index = data_block(5, {});
    index.layer_type = 2;
    Block header = data_block(0, {});
    header.block_type = 11;
    header.layer_type = 0;
    Block many_itl = data_block(6, {datafile::head_piece({Column::bytes({0x02})})});
    many_itl.itl_slots = 8;
    many_itl.segment_space_extension = true;
    add("mixed-blocks", kWithVerbose, 0, file_of({header, mismatch, index, many_itl}, 512));
    add("mixed-blocks-range", kWithObjectFilter, 5, file_of({mismatch, index, mismatch, many_itl}, 512));

    Block crowded = data_block(8, {});
    crowded.row_count = 5000;
    add("crowded-directory", 0, 0, file_of({crowded, data_block(8, {datafile::head_piece({Column::bytes({7})})})}, 512));

    // A piece whose column runs past the block end, found by the heap walk.
    Block past_end = data_block(9, {});
    past_end.free_space_end = static_cast<std::uint16_t>(500 - 92);
    past_end.patches = {{500, Bytes{0x2C, 0x00, 0x02, 0x0A, 1, 2, 3, 4, 5, 6, 7, 8}}};
    add("past-block-end", kWithVerbose, 0, file_of({past_end}, 512));

    // Headers that do not fit, and blocks too small to hold them.
    Bytes too_many_itl(512, 0);
    too_many_itl[20] = 1;
    too_many_itl[36] = 20;
    seeds.push_back({"itl-out-of-bounds", datafile_input(kWithVerbose, 0, 512, too_many_itl)});
    Bytes tiny(25, 0);
    tiny[0] = 6;
    seeds.push_back({"tiny-blocks", datafile_input(kWithVerbose, 0, 10, tiny)});
    Bytes tiny_data(120, 0);
    tiny_data[20] = 1;
    tiny_data[80] = 1;
    seeds.push_back({"tiny-data-blocks", datafile_input(0, 0, 60, tiny_data)});
    // A segment whose map goes on in two extent map blocks, one listing an
    // extent twice, beside a data block of its object; in a smallfile
    // tablespace's file and in a bigfile one's, whose addresses are block
    // numbers.
    for (const std::uint16_t relative_file : {std::uint16_t{1}, std::uint16_t{kBigfileRelativeFile}}) {
        datafile::FileSet segment(2048);
        datafile::FileHeader file_header;
        file_header.block_count = 8;
        file_header.relative_file = relative_file;
        segment.put_image({relative_file, 1}, datafile::file_header_block(file_header, 2048, ByteOrder::Little));
        datafile::ExtentMap map{{{2, 2}, {4, 1}, {5, 2}, {5, 2}}, {4, 5}, 1, 2, datafile::block_address(relative_file, 4)};
        const std::vector<Bytes> map_blocks =
            datafile::segment_map_blocks(false, relative_file, 2, 11, map, 2048, ByteOrder::Little);
        for (std::size_t i = 0; i < map_blocks.size(); ++i)
            segment.put_image({relative_file, i == 0 ? 2u : map.map_blocks[i - 1]}, map_blocks[i]);
        Block segment_rows = data_block(11, {datafile::head_piece({Column::bytes({0x0B})})});
        segment.block({relative_file, 3}) = segment_rows;
        add(relative_file == 1 ? "segment-map-blocks" : "segment-map-blocks-bigfile", 0, 0, segment.file(relative_file, 8));
    }
    datafile::File partial = file_of({data_block(10, {datafile::head_piece({Column::bytes({1})})})}, 256);
    partial.trailing_bytes = 100;
    add("partial-block", 0, 0, partial);
    return seeds;
}

std::vector<Seed> template_seeds()
{
    auto value = [](Bytes v) {
        TemplateColumn c;
        c.value = std::move(v);
        return c;
    };
    TemplateColumn null;
    null.null = true;
    TemplateColumn long_value = value(Bytes(20, 0x5A));
    long_value.long_prefix = true;
    const std::vector<TemplateColumn> mixed = {
        value(datafile::number_value("123")), value({'A', 'B', 'C'}),
        value(datafile::date_value(1988, 12, 31, 23, 59, 59)), null, value({}), value({0x80}), value({0x78, 0x7A, 0x01}),
        long_value};
    return {
        {"typed", template_input(0, '\n', mixed, "NUMBER\nVARCHAR2\nDATE\nNUMBER\nVARCHAR2\nNUMBER\nDATE\nCHAR\n")},
        {"csv-deleted-heap", template_input(kTemplateDeleted | kTemplateHeapWalk | kTemplateSeparator, ',', mixed,
                                            "NUMBER\r\nVARCHAR2\r\nDATE\r\nNOPRINT\r\nUNKNOWN\r\nbogus\r\n")},
        {"zero-bytes-and-long-lines",
         template_input(kTemplateVerbose, '\n', mixed,
                        std::string("NUMBER\0junk\n\0VARCHAR2\n", 22) + std::string(300, 'x') + "\nDATE")},
        {"no-template", template_input(kTemplateSeparator, '\0', mixed, "")},
    };
}

std::vector<Seed> value_seeds()
{
    std::vector<Seed> seeds;
    for (const char* n : {"0", "1", "123", "12.5", "0.5", "-1", "-123", "-12.5", "-0.01", "10000000000",
                          "99999999999999999999999999999999999999", "-99999999999999999999",
                          "0.000000000000000000000000000000000000000001"})
        seeds.push_back({std::string("number_") + n, value_input(0, datafile::number_value(n))});
    seeds.push_back({"date", value_input(kSeparatorComma, datafile::date_value(1988, 12, 31, 23, 59, 59))});
    seeds.push_back({"date-out-of-range", value_input(0, {0x00, 0x00, 0x01, 0x01, 0x00, 0x01, 0x01, 0x55})});
    seeds.push_back({"short", value_input(kSeparatorOther, {0x78, 0x7A, 0x01})});
    seeds.push_back({"empty", value_input(kSeparatorComma | kSeparatorOther, {})});
    // Values of the other types, each a valid value of one of them.
    using namespace datafile;
    const std::pair<const char*, Bytes> typed[] = {
        {"timestamp", timestamp_value(2012, 4, 1, 12, 34, 56, 123456789)},
        {"timestamp-bc", timestamp_value(-4712, 2, 29, 0, 0, 0)},
        {"timestamp-offset", timestamp_tz_value(1582, 10, 4, 23, 30, 0, 5, 90)},
        {"timestamp-region", timestamp_region_value(2012, 4, 1, 16, 4, 56, 0, 615)},
        {"timestamp-utc", timestamp_tz_value(1, 1, 1, 0, 0, 0, 999999999, 0)},
        {"interval-ym", interval_ym_value(-2, -11)},
        {"interval-ds", interval_ds_value(3, 4, 5, 6, 7)},
        {"binary-float", binary_float_value(134.45f)},
        {"binary-double", binary_double_value(-1e-300)},
        {"nchar", nchar_value("Zo\u00EB \U0001F600")},
        {"rowid", rowid_value(55177, 6, 226, 22)},
        {"urowid", {0x01, 0x00, 0x00, 0xD7, 0x89, 0x00, 0x06, 0x00, 0x00, 0x00, 0xE2, 0x00, 0x16}},
        {"gbk-text", {0xB0, 0xA1, 'x', 0x80}},
    };
    for (const auto& [name, value] : typed) seeds.push_back({name, value_input(0, value)});
    return seeds;
}

std::vector<Seed> arguments_seeds()
{
    auto word = [](const std::string& w) {
        for (std::size_t i = 0; i < kArgumentWords.size(); ++i)
            if (kArgumentWords[i] == w) return std::string(1, '@').append(std::to_string(i));
        throw std::invalid_argument("no argument word " + w);
    };
    const std::string f = word("-f"), data = word("@data");
    return {
        {"dump", arguments_input({f, data})},
        {"typed-deleted-csv", arguments_input({f, data, word("-c"), word("@template"), word("-a"), word("S"),
                                               word("-s"), word(","), word("-o"), word("74570")})},
        {"single-block-verbose", arguments_input({f, data, word("-b"), word("1"), word("-g"), word("-v")})},
        {"range", arguments_input({f, data, word("-b"), word("1"), word("-n"), word("2"), word("-a"), word("C")})},
        {"tiny-blocks", arguments_input({f, data, word("-z"), word("512"), word("-a"), word("O")})},
        {"errors", arguments_input({f, data, word("-a"), word("x")})},
        {"missing-value", arguments_input({f})},
        {"help", arguments_input({word("-h"), f, data})},
        {"no-file", arguments_input({word("-g")})},
        {"bad-files", arguments_input({f, word("@missing"), word("-c"), word("@dir")})},
        {"directory", arguments_input({f, word("@dir")})},
        {"negative-block", arguments_input({f, data, word("-b"), word("-1")})},
        {"raw-words", arguments_input({"-f", "x", "-z", "99999999999", "--", "-"})},
        {"jsonl", arguments_input({word("--format"), word("jsonl"), f, data, word("-c"), word("@template")})},
        {"csv-scns", arguments_input({f, data, word("--format=csv"), word("-a"), word("C")})},
        {"export-errors", arguments_input({word("--format=jsonl"), word("-a"), word("x"), word("--format=")})},
        {"export-no-file", arguments_input({word("--format=csv"), word("-g")})},
        {"charset", arguments_input({f, data, word("-c"), word("@template"), word("--charset"), word("ZHS16GBK")})},
        {"charset-unknown", arguments_input({word("--charset"), word("EBCDIC"), f, data})},
        {"export-missing", arguments_input({word("--format=jsonl"), f, word("@missing")})},
        {"verify", arguments_input({f, data, word("--verify"), word("-b"), word("1")})},
        {"layout-auto", arguments_input({f, data, word("--block-size=auto"), word("--byte-order"), word("auto")})},
        {"layout-empty", arguments_input({f, word("@empty"), word("--block-size=auto")})},
        {"big-32k", arguments_input({f, data, word("--block-size"), word("32768"), word("--byte-order"), word("big")})},
        {"dictionary", arguments_input({word("--dictionary"), data, word("--list-tables"), data})},
        {"dictionary-refused", arguments_input({word("--ddl"), word("--format=jsonl"), word("--dictionary")})},
        {"ignored-and-misread",
         arguments_input({f, data, word("-gv"), word("-b"), word("abc"), word("-z"), word("0x10"), word("-F"),
                          word("-verify"), data, word("-s"), word(", "), word("-a"), word("DUMPSCNS"), f, data})},
        {"file-without-f", arguments_input({data, word("-a"), word("C")})},
        {"export-no-file-warnings", arguments_input({word("--format=csv"), word("-b5"), word("-"), word("--")})},
    };
}

}  // namespace fuzz
