// libFuzzer target over single values: each type of the table decodes the
// value as the harness's own checks say, and a template of every keyword
// renders it through run_dump.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_value_input(data, size));
    return 0;
}
