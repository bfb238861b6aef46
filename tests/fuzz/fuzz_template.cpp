// libFuzzer target over column templates and the values they type: the
// input becomes a template and one row piece, rendered through the real
// entry point and compared with what the template says.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_template_input(data, size));
    return 0;
}
