// Writes synthetic data files: the sample shipped with the project, or a
// large file of full data blocks for the benchmark.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "datafile_builder.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: make_datafile sample|types DATAFILE [TEMPLATE]\n"
                 "  writes the sample data file, or one of rows of the other column types\n"
                 "  (and the column template that matches it)\n"
                 "       make_datafile bench|varied|damaged|timestamps DATAFILE SIZE_MIB [TEMPLATE]\n"
                 "  writes SIZE_MIB MiB of 8192-byte blocks full of rows (and their template):\n"
                 "  bench rows of mostly whole numbers, varied rows of negative and fractional\n"
                 "  numbers and text of every length, damaged the bench rows with a few bytes\n"
                 "  of every block overwritten, timestamps rows of timestamps, timestamps with\n"
                 "  time zones and binary doubles\n");
    return 2;
}

void write_text(const char* path, const std::string& text)
{
    datafile::write_file(path, datafile::Bytes(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return usage();
    std::string what = argv[1];
    try {
        if (what == "sample" || what == "types") {
            const bool sample = what == "sample";
            datafile::write_file(argv[2], datafile::build_file(sample ? datafile::sample_file() : datafile::types_file()));
            if (argc > 3) write_text(argv[3], sample ? datafile::sample_template() : datafile::types_template());
            return 0;
        }
        const bool varied = what == "varied";
        const bool timestamps = what == "timestamps";
        if ((what == "bench" || varied || what == "damaged" || timestamps) && argc >= 4) {
            char* end = nullptr;
            unsigned long long mib = std::strtoull(argv[3], &end, 10);
            if (end == argv[3] || *end != '\0' || mib == 0 || mib > (1ull << 24)) return usage();
            constexpr std::uint32_t kBlockSize = 8192;
            const datafile::BenchData data = varied              ? datafile::BenchData::Varied
                                             : what == "damaged" ? datafile::BenchData::Damaged
                                             : timestamps        ? datafile::BenchData::Timestamps
                                                                 : datafile::BenchData::Rows;
            datafile::write_bench_file(argv[2], mib * (1u << 20) / kBlockSize, kBlockSize, data);
            if (argc > 4)
                write_text(argv[4], varied       ? datafile::varied_template()
                                    : timestamps ? datafile::timestamps_template()
                                                 : datafile::bench_template());
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_datafile: %s\n", e.what());
        return 1;
    }
    return usage();
}
