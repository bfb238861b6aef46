// Helpers for end-to-end tests: a scratch directory for data files built in
// the test, and a runner that calls the dumper's entry point and captures
// what it prints.
#pragma once

#include <string>
#include <vector>

#include "datafile_builder.h"
#include "trevanix.h"

struct RunResult {
    int status;
    std::string output;
};

// Runs trevanix with `args` (without the program name).
RunResult run_trevanix(const std::vector<std::string>& args);

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& name) const;
    std::string write(const std::string& name, const datafile::Bytes& bytes) const;
    std::string write(const std::string& name, const std::string& text) const;
    std::string write(const std::string& name, const datafile::File& file) const;

private:
    std::string root_;
};

// A file of blocks with `block_size` bytes each.
datafile::File file_of(std::vector<datafile::Block> blocks, std::uint32_t block_size = 8192);

// The rule line that opens every shown piece outside the deleted-only modes.
extern const std::string kRule;
// The rule line of the deleted-only modes.
extern const std::string kDeletedRule;
extern const std::string kCompleted;
