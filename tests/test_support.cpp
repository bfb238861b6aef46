#include "test_support.h"

#include <cstdio>
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
    OutputSink errors;
    int status = run_dump(static_cast<int>(args.size() + 1), argv.data(), out, errors);
    return {status, out.captured(), errors.captured()};
}

ScratchDir::ScratchDir()
{
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / "trevanix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

ScratchDir::~ScratchDir() { remove(); }

void ScratchDir::remove()
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

std::string spaced_hex(const std::uint8_t* bytes, std::size_t count)
{
    std::string s;
    char pair[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%.2X ", bytes[i]);
        s += pair;
    }
    return s;
}

std::string hex_line(std::size_t announced, const std::uint8_t* bytes, std::size_t count)
{
    return std::to_string(announced) + ": " + spaced_hex(bytes, count) + "\n";
}

std::string hex_line(const datafile::Bytes& value) { return hex_line(value.size(), value.data(), value.size()); }

std::string scn_line(std::int64_t block, std::uint32_t object_id, std::uint64_t scn)
{
    return "Block ID: " + std::to_string(block) + ", Object ID: " + std::to_string(object_id) +
           ", SCN: " + std::to_string(scn) + "\n";
}
