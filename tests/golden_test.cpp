// Whole-output cases kept as data: each tests/golden/NAME.args holds the
// arguments of one run, one per line (an argument starting with @ is a path
// under the source tree), and NAME.out what it prints on standard output;
// NAME.err, when there is one, what it prints on standard error, and
// NAME.status its exit status (0 when there is none).
//
// TREVANIX_UPDATE_GOLDEN=1 rewrites the expected files from what the runs
// print, for a change that means to alter them; review the diff.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = fs::path(TREVANIX_SOURCE_DIR) / "tests" / "golden";

bool read_file(const fs::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

void write_file(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> golden_arguments(const fs::path& args_file)
{
    std::vector<std::string> args;
    std::ifstream in(args_file);
    for (std::string line; std::getline(in, line);)
        args.push_back(line.size() > 1 && line[0] == '@' ? std::string(TREVANIX_SOURCE_DIR) + "/" + line.substr(1)
                                                         : line);
    return args;
}

std::vector<std::string> golden_names()
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(kGoldenDir))
        if (entry.path().extension() == ".args") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Golden, EveryCasePrintsWhatItsFilesHold)
{
    const bool update = std::getenv("TREVANIX_UPDATE_GOLDEN") != nullptr;
    const std::vector<std::string> names = golden_names();
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names) {
        const fs::path base = kGoldenDir / name;
        const RunResult r = run_trevanix(golden_arguments(base.string() + ".args"));
        std::string out, err, status = "0\n";
        if (update) {
            write_file(base.string() + ".out", r.output);
            if (!r.errors.empty()) write_file(base.string() + ".err", r.errors);
            if (r.status != 0) write_file(base.string() + ".status", std::to_string(r.status) + "\n");
            continue;
        }
        ASSERT_TRUE(read_file(base.string() + ".out", out)) << name << ".out is missing";
        read_file(base.string() + ".err", err);
        read_file(base.string() + ".status", status);
        EXPECT_EQ(r.output, out) << name;
        EXPECT_EQ(r.errors, err) << name;
        EXPECT_EQ(std::to_string(r.status) + "\n", status) << name;
    }
}

}  // namespace
