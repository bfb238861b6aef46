// Typed values: NUMBER decoding, DATE, and the column template end to end.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;
using datafile::RowPiece;

// The decoded text, or "declined".
std::string number(const Bytes& bytes)
{
    NumberText text;
    if (!decode_number(ByteView(bytes.data(), bytes.size()), text)) return "declined";
    return std::string(text.text, text.length);
}

// "0." then `zeros` zeros and `digits`.
std::string below_one(std::size_t zeros, const char* digits)
{
    std::string text = "0.";
    text.append(zeros, '0');
    return text.append(digits);
}

TEST(DecodeNumber, PositiveNumbers)
{
    EXPECT_EQ(number({0x80}), "0");
    EXPECT_EQ(number({0xC1, 0x02}), "1");
    EXPECT_EQ(number({0xC2, 0x02, 0x18}), "123");
    EXPECT_EQ(number({0xC1, 0x0D, 0x33}), "12.5");
    EXPECT_EQ(number({0xC0, 0x33}), "0.5");
    EXPECT_EQ(number({0xC0, 0x02}), "0.01");
    EXPECT_EQ(number({0xBF, 0x02}), "0.0001");
    EXPECT_EQ(number({0xC6, 0x02}), "10000000000");
    EXPECT_EQ(number({0xC2, 0x0B}), "1000");
    EXPECT_EQ(number({0xC5, 0x16, 0x30, 0x31, 0x25, 0x30}), "2147483647");
    EXPECT_EQ(number({0xC5, 0x16, 0x30, 0x31, 0x25, 0x31}), "2147483648");
    EXPECT_EQ(number({0xC1, 0x02, 0x01}), "1");  // a trailing zero digit
    EXPECT_EQ(number({0xC2, 0x01, 0x02}), "1");  // a leading zero digit
    EXPECT_EQ(number({0xFF, 0x02}), "1" + std::string(124, '0'));
    EXPECT_EQ(number({0x81, 0x02}), "0." + std::string(127, '0') + "1");
    EXPECT_EQ(number({0x80, 0x02}), below_one(129, "1"));  // the smallest exponent
    EXPECT_EQ(number({0x80, 0x0B, 0x64}), below_one(128, "1099"));
}

TEST(DecodeNumber, NegativeNumbers)
{
    EXPECT_EQ(number({0x3E, 0x64, 0x66}), "-1");
    EXPECT_EQ(number({0x3D, 0x64, 0x4E, 0x66}), "-123");
    EXPECT_EQ(number({0x3E, 0x59, 0x33, 0x66}), "-12.5");
    EXPECT_EQ(number({0x3F, 0x33, 0x66}), "-0.5");
    EXPECT_EQ(number({0x3E, 0x64}), "-1");  // without the terminator
    EXPECT_EQ(number({0x3E, 0x65, 0x66}), "0");  // a zero mantissa has no sign
}

TEST(DecodeNumber, InvalidBytesAreDeclined)
{
    EXPECT_EQ(number({}), "declined");
    EXPECT_EQ(number({0x00}), "declined");
    EXPECT_EQ(number({0xFF, 0x65}), "declined");
    EXPECT_EQ(number({0xC1, 0x00}), "declined");
    EXPECT_EQ(number({0xC1}), "declined");
    EXPECT_EQ(number({0x3E, 0x66}), "declined");
    EXPECT_EQ(number({0x3E, 0x01, 0x66}), "declined");
    EXPECT_EQ(number({0x3E, 0x66, 0x64}), "declined");
    EXPECT_EQ(number({0x80, 0x00}), "declined");
    Bytes too_long(22, 0x02);
    too_long[0] = 0xC1;
    EXPECT_EQ(number(too_long), "declined");
    too_long.pop_back();
    std::string twenty_digits = "1.";
    for (int i = 0; i < 19; ++i) twenty_digits += "01";
    EXPECT_EQ(number(too_long), twenty_digits);
}

TEST(DecodeNumber, AgreesWithTheBuildersEncoding)
{
    for (const char* text : {"7369", "-42.75", "1600.5", "0.000123", "-99999999999999999999", "100", "-0.01",
                             "123456789012345678.9"})
        EXPECT_EQ(number(datafile::number_value(text)), text);
    const std::string smallest = below_one(129, "123");  // the exponent byte 0x80
    EXPECT_EQ(datafile::number_value(smallest), (Bytes{0x80, 0x02, 0x18}));
    EXPECT_EQ(number(datafile::number_value(smallest)), smallest);
}

// A data file of one block whose rows are given bottom-up as they print.
class Template : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string path;
    void rows(std::vector<RowPiece> pieces)
    {
        Block b;
        b.rows = std::move(pieces);
        path = dir.write("rows.dbf", file_of({b}));
    }
    std::string run(const std::string& template_text, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"-f", path, "-c", dir.write("t.txt", template_text)};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_trevanix(args).output;
    }
    static RowPiece mixed_row()
    {
        return datafile::head_piece({Column::bytes({0xC2, 0x02, 0x18}), Column::text("ABC"),
                                     Column::bytes({0x77, 0xBC, 0x0C, 0x1F, 0x18, 0x3C, 0x3C})});
    }
};

TEST_F(Template, RendersNumberVarchar2AndDate)
{
    rows({mixed_row()});
    EXPECT_EQ(run("NUMBER\nVARCHAR2\nDATE\n"), kRule + "123\nABC\n1988/12/31 23:59:59\n" + kCompleted);
    EXPECT_EQ(run("NUMBER\nVARCHAR2\nDATE\n", {"-s", ","}), kRule + "123,ABC,1988/12/31 23:59:59," + kCompleted);
    // A template without a final newline still types its last line.
    EXPECT_EQ(run("NUMBER\nVARCHAR2\nDATE"), kRule + "123\nABC\n1988/12/31 23:59:59\n" + kCompleted);
}

TEST_F(Template, ColumnsWithoutAKnownTypeAreDumpedInHex)
{
    rows({mixed_row()});
    std::string date_hex = "7: 77 BC 0C 1F 18 3C 3C \n";
    EXPECT_EQ(run("NUMBER\nVARCHAR2\n"), kRule + "123\nABC\n" + date_hex + kCompleted);
    EXPECT_EQ(run("number\nVARCHAR2 \nUNKNOWN\n"),
              kRule + "3: C2 02 18 \n3: 41 42 43 \n" + date_hex + kCompleted);
    EXPECT_EQ(run("\nNOPRINT\nbogus\n"), kRule + "3: C2 02 18 \n" + date_hex + kCompleted);
    EXPECT_EQ(run(""), kRule + "3: C2 02 18 \n3: 41 42 43 \n" + date_hex + kCompleted);
}

TEST_F(Template, LineEndsZeroBytesAndLongLines)
{
    rows({mixed_row()});
    std::string typed = kRule + "123\nABC\n1988/12/31 23:59:59\n" + kCompleted;
    EXPECT_EQ(run("NUMBER\r\nVARCHAR2\r\nDATE\r\n"), typed);
    EXPECT_EQ(run(std::string("NUMBER\0junk\nVARCHAR2\0\nDATE\n", 26)), typed);
    // A line starting with a zero byte is empty; a 300-byte line is one line.
    EXPECT_EQ(run(std::string("\0NUMBER\n", 8) + std::string(300, 'x') + "\nDATE\n"),
              kRule + "3: C2 02 18 \n3: 41 42 43 \n1988/12/31 23:59:59\n" + kCompleted);
    EXPECT_EQ(run(std::string(255, 'y') + "\nVARCHAR2\nDATE\n"),
              kRule + "3: C2 02 18 \nABC\n1988/12/31 23:59:59\n" + kCompleted);
}

TEST_F(Template, NullAndZeroLengthValues)
{
    rows({datafile::head_piece({Column::null(), Column::null(), Column::null(), Column::null(), Column::null(),
                                Column::null()}),
          datafile::head_piece({Column::bytes({}), Column::bytes({}), Column::bytes({}), Column::bytes({}),
                                Column::bytes({}), Column::bytes({})})});
    const std::string tpl = "NUMBER\nVARCHAR2\nDATE\nCHAR\nNOPRINT\nUNKNOWN\n";
    // NULLs: typed ones print an empty field, NOPRINT and UNKNOWN nothing.
    // Zero-length values: the same, but UNKNOWN falls back to the hex dump.
    EXPECT_EQ(run(tpl, {"-s", "|"}), kRule + "||||" + kRule + "||||0: \n" + kCompleted);
    EXPECT_EQ(run(tpl, {"-s", "|", "-a", "O"}), kRule + "||||0: \n" + kRule + "||||" + kCompleted);
}

TEST_F(Template, ZeroCharAndInvalidValues)
{
    rows({datafile::head_piece({Column::bytes({0x80}), Column::bytes({0x00}), Column::bytes({0x78, 0x7A, 0x01}),
                                Column::text("fixed")})});
    // Zero takes the separator; a bad NUMBER and a short DATE go to hex.
    EXPECT_EQ(run("NUMBER\nNUMBER\nDATE\nCHAR\n", {"-s", ","}), kRule + "0,1: 00 \n3: 78 7A 01 \nfixed," + kCompleted);
}

TEST_F(Template, DateFieldsOutOfRangePrintAsTheyAre)
{
    // Hour byte 0 gives -1, printed with two digits after its sign; year bytes 0 give -10100.
    rows({datafile::head_piece({Column::bytes({0x78, 0x7A, 0x01, 0x02, 0x00, 0x01, 0x01, 0x55}),
                                Column::bytes({0x00, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01})})});
    EXPECT_EQ(run("DATE\nDATE\n"), kRule + "2022/01/02 -01:00:00\n-10100/01/01 00:00:00\n" + kCompleted);
}

TEST_F(Template, SeparatorMayBeTheZeroByte)
{
    rows({mixed_row()});
    EXPECT_EQ(run("NUMBER\nVARCHAR2\n", {"-s", ""}),
              kRule + std::string("123\0ABC\0", 8) + "7: 77 BC 0C 1F 18 3C 3C \n" + kCompleted);
}

TEST_F(Template, DeletedOnlyModesRenderOnlyDeletedRows)
{
    RowPiece gone = datafile::deleted_piece({Column::bytes({0xC2, 0x02, 0x18}), Column::text("OLD")});
    RowPiece orphan = datafile::deleted_piece({Column::bytes({0x3E, 0x64, 0x66}), Column::text("LOST")});
    orphan.in_directory = false;
    rows({datafile::head_piece({Column::bytes({0xC1, 0x02}), Column::text("NEW")}), gone, orphan});
    EXPECT_EQ(run("NUMBER\nVARCHAR2\n", {"-a", "D", "-s", ","}), kDeletedRule + "123,OLD," + kCompleted);
    EXPECT_EQ(run("NUMBER\nVARCHAR2\n", {"-a", "S", "-s", ","}),
              kDeletedRule + "-1,LOST," + kDeletedRule + "123,OLD," + kCompleted);
}

TEST_F(Template, MissingTemplateFallsBackToHexAndSaysSoWithVerbose)
{
    rows({datafile::head_piece({Column::bytes({0xC1, 0x02}), Column::null()})});
    std::string missing = dir.path("none.txt");
    EXPECT_EQ(run_trevanix({"-f", path, "-c", missing}).output, kRule + "2: C1 02 \n" + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-c", missing, "-g"}).output;
    EXPECT_NE(verbose.find(kRule + "Failed to open column template file.\n2: C1 02 \n"
                                   "Failed to open column template file.\n\n" + kCompleted),
              std::string::npos)
        << verbose;
}

}  // namespace
