// libFuzzer target over the schema readers: the input is read as a
// statement of BOOTSTRAP$ and as a schema file; what either reads goes
// round trip through the schema file writer.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::report(fuzz::run_schema_input(data, size));
    return 0;
}
