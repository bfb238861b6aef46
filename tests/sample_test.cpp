// The sample data file in examples/ is what the builder makes (what runs
// over it print is in tests/golden).
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

}  // namespace
