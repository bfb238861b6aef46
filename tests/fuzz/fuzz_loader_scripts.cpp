// libFuzzer target over the loader script writers: the input is a few
// tables of random names, columns and values, unloaded into CSV files,
// binary copies and the scripts that load them; each script is read as its
// interpreter reads it (see loader_harness.cpp).
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_loader_scripts_input(data, size));
    return 0;
}
