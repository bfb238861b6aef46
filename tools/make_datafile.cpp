// Writes synthetic data files: the sample shipped with the project, or a
// large file of full data blocks for the benchmark.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "datafile_builder.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: make_datafile sample DATAFILE [TEMPLATE]\n"
                 "  writes the sample data file (and the column template that matches it)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return usage();
    std::string what = argv[1];
    try {
        if (what == "sample") {
            datafile::write_file(argv[2], datafile::build_file(datafile::sample_file()));
            if (argc > 3) {
                std::string t = datafile::sample_template();
                datafile::write_file(argv[3], datafile::Bytes(t.begin(), t.end()));
            }
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_datafile: %s\n", e.what());
        return 1;
    }
    return usage();
}
