// libFuzzer target over the command line: arguments built from the input
// go through parse_arguments and run_dump.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_arguments_input(data, size));
    return 0;
}
