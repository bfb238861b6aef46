// libFuzzer target over NUMBER and DATE values alone: decode_number, and
// the value rendered as NUMBER, DATE and VARCHAR2 through a template.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_value_input(data, size));
    return 0;
}
