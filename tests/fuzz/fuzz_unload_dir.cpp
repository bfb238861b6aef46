// libFuzzer target over what --force reads of an earlier unload: its
// summary.json and loading scripts, and what it removes because of them.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_unload_dir_input(data, size));
    return 0;
}
