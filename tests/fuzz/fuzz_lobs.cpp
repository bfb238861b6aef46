// libFuzzer target over LOB values stored apart from their rows: a locator
// and the blocks it names (lob_harness.cpp).
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_lobs_input(data, size));
    return 0;
}
