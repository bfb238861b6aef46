#include <gtest/gtest.h>

#include "stampconv.h"

namespace {

struct StampRun {
    int status;
    std::string output;
    std::string errors;
};

StampRun run(std::vector<const char*> argv)
{
    std::string out;
    std::string err;
    int status = stampconv_main(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out, err};
}

TEST(Stampconv, DecodesTheCalendarOf31DayMonths)
{
    EXPECT_EQ(run({"stampconv", "0"}).output, "01/01/1988 00:00:00\n");
    EXPECT_EQ(run({"stampconv", "60"}).output, "01/01/1988 00:01:00\n");
    EXPECT_EQ(run({"stampconv", "86400"}).output, "02/01/1988 00:00:00\n");
    EXPECT_EQ(run({"stampconv", "2678400"}).output, "01/02/1988 00:00:00\n");  // 31 days
    EXPECT_EQ(run({"stampconv", "32140800"}).output, "01/01/1989 00:00:00\n");  // 12 x 31 days
    // 2000/07/15 13:45:30 packed field by field.
    std::uint32_t t = (((((2000 - 1988) * 12 + 6) * 31 + 14) * 24 + 13) * 60 + 45) * 60 + 30;
    EXPECT_EQ(run({"stampconv", std::to_string(t).c_str()}).output, "15/07/2000 13:45:30\n");
    EXPECT_EQ(run({"stampconv", "0"}).status, 0);
}

TEST(Stampconv, ReadsItsArgumentLikeAtol)
{
    EXPECT_EQ(run({"stampconv", " \t+60xyz"}).output, "01/01/1988 00:01:00\n");
    EXPECT_EQ(run({"stampconv", "\v\f\r\n-0"}).output, "01/01/1988 00:00:00\n");
    EXPECT_EQ(run({"stampconv", "0x10"}).output, "01/01/1988 00:00:00\n");
    EXPECT_EQ(run({"stampconv", "7 days"}).output, "01/01/1988 00:00:07\n");
    EXPECT_EQ(run({"stampconv", "-1"}).output, run({"stampconv", "4294967295"}).output);
    EXPECT_EQ(run({"stampconv", "4294967295"}).output, "18/08/2121 06:28:15\n");
    EXPECT_EQ(run({"stampconv", "4294967296"}).output, "01/01/1988 00:00:00\n");
    EXPECT_EQ(run({"stampconv", "60", "120"}).output, "01/01/1988 00:01:00\n");
    EXPECT_EQ(stamp_read_number("2147483648"), INT32_MIN);
}

// Text with no digit after the white space and the sign would read as 0:
// the program says so instead of printing the first second of 1988.
TEST(Stampconv, TextWithoutADigitIsRefused)
{
    for (const char* word : {"abc", "--help", "", " ", "+", "-", "- 5", "+-5", " \t x1"}) {
        const StampRun r = run({"stampconv", word});
        EXPECT_EQ(r.output, "") << word;
        EXPECT_EQ(r.status, 2) << word;
        EXPECT_EQ(r.errors.rfind("stampconv: '", 0), 0u) << word;
        EXPECT_NE(r.errors.find("' is not a number: stampconv takes a packed timestamp in decimal digits"),
                  std::string::npos)
            << word;
    }
    EXPECT_EQ(run({"stampconv", "--help"}).errors,
              "stampconv: '--help' is not a number: stampconv takes a packed timestamp in decimal digits, as in "
              "stampconv 446419845\n");
    // The word is shown with its control bytes spelled out.
    EXPECT_EQ(run({"stampconv", "\x1b[2Jx"}).errors.substr(0, 27), "stampconv: '\\x1B[2Jx' is no");
    EXPECT_FALSE(holds_stamp_number("abc"));
    EXPECT_TRUE(holds_stamp_number(" -9"));
    // Only the first argument counts, as before.
    EXPECT_EQ(run({"stampconv", "60", "abc"}).errors, "");
    EXPECT_EQ(run({"stampconv", "abc", "60"}).status, 2);
}

TEST(Stampconv, WithoutArgumentPrintsUsageAndExitsWithItsLength)
{
    StampRun r = run({"stampconv"});
    EXPECT_EQ(r.output, "stampconv timestamp\n");
    EXPECT_EQ(r.status, 20);
    r = run({"/usr/local/bin/stampconv"});
    EXPECT_EQ(r.output, "/usr/local/bin/stampconv timestamp\n");
    EXPECT_EQ(r.status, 35);
}

}  // namespace
