// The samples in examples/ are what the builder makes (what runs over the
// data file print is in tests/golden).
#include <gtest/gtest.h>

#include "system_file.h"
#include "test_support.h"

namespace {

std::string source_path(const std::string& relative) { return std::string(TREVANIX_SOURCE_DIR) + "/" + relative; }

TEST(Sample, ShippedFilesAreWhatTheBuilderMakes)
{
    datafile::Bytes built = datafile::build_file(datafile::sample_file());
    EXPECT_EQ(read_file(source_path("examples/sample.dbf")), std::string(built.begin(), built.end()));
    EXPECT_EQ(read_file(source_path("examples/sample.template")), datafile::sample_template());
}

TEST(Sample, ShippedDatabaseIsWhatTheBuilderMakes)
{
    const datafile::BuiltDatabase built = datafile::build_database(datafile::sample_database());
    const auto text = [](const datafile::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    EXPECT_EQ(read_file(source_path("examples/database/system01.dbf")), text(datafile::build_file(built.system)));
    EXPECT_EQ(read_file(source_path("examples/database/users01.dbf")), text(datafile::build_file(built.users)));
}

}  // namespace
