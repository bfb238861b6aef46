#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

const std::string kRule = "\n----------------------------------------------------------\n";
const std::string kDeletedRule = "\n+---------------------------------------------------------\n";
const std::string kCompleted = "\n\nCompleted.\n\n";

RunResult run_trevanix(const std::vector<std::string>& args)
{
    std::vector<const char*> argv{"trevanix"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    OutputSink out;
    int status = run_dump(static_cast<int>(args.size() + 1), argv.data(), out);
    return {status, out.captured()};
}

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "trevanix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string ScratchDir::path(const std::string& name) const { return root_ + "/" + name; }

std::string ScratchDir::write(const std::string& name, const datafile::Bytes& bytes) const
{
    datafile::write_file(path(name), bytes);
    return path(name);
}

std::string ScratchDir::write(const std::string& name, const std::string& text) const
{
    return write(name, datafile::Bytes(text.begin(), text.end()));
}

std::string ScratchDir::write(const std::string& name, const datafile::File& file) const
{
    return write(name, datafile::build_file(file));
}

datafile::File file_of(std::vector<datafile::Block> blocks, std::uint32_t block_size)
{
    datafile::File file;
    file.block_size = block_size;
    file.blocks = std::move(blocks);
    return file;
}
