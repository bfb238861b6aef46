// libFuzzer target over whole data files: the input becomes a small data
// file, run with every action, with and without -g, -v, a template, a
// separator, an object filter and a block range.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_datafile_input(data, size));
    return 0;
}
