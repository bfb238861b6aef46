// The sample data file in examples/: it is what the builder makes, and the
// README's main command prints what tests/golden holds.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

std::string source_path(const std::string& relative) { return std::string(TREVANIX_SOURCE_DIR) + "/" + relative; }

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Sample, ShippedFilesAreWhatTheBuilderMakes)
{
    datafile::Bytes built = datafile::build_file(datafile::sample_file());
    EXPECT_EQ(read_file(source_path("examples/sample.dbf")), std::string(built.begin(), built.end()));
    EXPECT_EQ(read_file(source_path("examples/sample.template")), datafile::sample_template());
}

TEST(Sample, VerboseTypedDumpMatchesTheGoldenOutput)
{
    RunResult r = run_trevanix({"-g", "-f", source_path("examples/sample.dbf"), "-c",
                                source_path("examples/sample.template")});
    EXPECT_EQ(r.output, read_file(source_path("tests/golden/sample-g-template.txt")));
    EXPECT_EQ(r.status, 0);
}

TEST(Sample, DeletedRowsAsCsv)
{
    RunResult r = run_trevanix({"-f", source_path("examples/sample.dbf"), "-c",
                                source_path("examples/sample.template"), "-o", "74570", "-a", "S", "-s", ","});
    EXPECT_EQ(r.output, kDeletedRule + "7698,BLAKE,MANAGER,1981/05/01 08:00:00,2850," + kDeletedRule +
                            "7654,MARTIN,SALESMAN,1981/09/28 23:59:59,-42.75," + kDeletedRule +
                            "7521,WARD,SALESMAN,1981/02/22 14:05:59,1250," + kCompleted);
}

}  // namespace
