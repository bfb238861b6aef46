// The fuzz harness in the ordinary test run: every seed keeps the promises
// the fuzzers check, and every input a fuzzer found is replayed here.
#include <gtest/gtest.h>

#include "fuzz_harness.h"

namespace {

using fuzz::Bytes;

TEST(FuzzSeeds, EverySeedKeepsThePromises)
{
    const std::pair<const char*, std::vector<fuzz::Seed> (*)()> lists[] = {
        {"datafile", fuzz::datafile_seeds},
        {"template", fuzz::template_seeds},
        {"values", fuzz::value_seeds},
        {"arguments", fuzz::arguments_seeds},
    };
    std::string (*const runners[])(const Bytes&) = {fuzz::run_datafile_input, fuzz::run_template_input,
                                                     fuzz::run_value_input, fuzz::run_arguments_input};
    for (std::size_t i = 0; i < 4; ++i) {
        std::vector<fuzz::Seed> seeds = lists[i].second();
        EXPECT_FALSE(seeds.empty()) << lists[i].first;
        for (const fuzz::Seed& seed : seeds) EXPECT_EQ(runners[i](seed.input), "") << lists[i].first << "/" << seed.name;
    }
}

}  // namespace
