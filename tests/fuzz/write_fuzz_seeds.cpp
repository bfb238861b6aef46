// Writes the seed corpus of every fuzz target: DIR/TARGET/NAME for each seed.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "datafile_builder.h"
#include "fuzz_harness.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_fuzz_seeds DIR\n");
        return 2;
    }
    try {
        const std::pair<const char*, std::vector<fuzz::Seed> (*)()> targets[] = {
            {"datafile", fuzz::datafile_seeds},
            {"template", fuzz::template_seeds},
            {"values", fuzz::value_seeds},
            {"arguments", fuzz::arguments_seeds},
            {"schema", fuzz::schema_seeds},
            {"loader_scripts", fuzz::loader_scripts_seeds},
            {"unload_dir", fuzz::unload_dir_seeds},
            {"lobs", fuzz::lobs_seeds},
        };
        std::size_t written = 0;
        for (const auto& [target, seeds] : targets) {
            std::filesystem::path dir = std::filesystem::path(argv[1]) / target;
            std::filesystem::create_directories(dir);
            for (const fuzz::Seed& seed : seeds()) {
                datafile::write_file((dir / seed.name).string(), seed.input);
                ++written;
            }
        }
        std::printf("wrote %zu seeds under %s\n", written, argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "write_fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
