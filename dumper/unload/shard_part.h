// The parts of a sharded unload (--shard K/N) and their joining (--merge).
// A part directory holds the table files of the shard's own ranges of
// blocks, as an unload writes them, and a record of what the merge needs:
// which run it is a part of (its command without what may differ between shards,
// the data files with their sizes and hashes, N), which part (K), and what
// its ranges counted and wrote of each table. The merge writes the
// loading scripts and the summary itself, from the whole run's plan.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "unload/lob_files.h"
#include "unload/summary.h"
#include "unload/unload_plan.h"
#include "unload/unload_writer.h"

namespace unload {

// The record of a part directory, written last: a directory that has it
// holds a complete part.
constexpr std::string_view kShardPartFile = "shard-part.txt";

// A file the run read: its path, and the size and SHA-256 of what the
// shard hashed (a data file is hashed by the shard that holds its first
// range; the others record neither).
struct ShardFile {
    std::string path;
    std::optional<std::uint64_t> size;
    std::string sha256;  // hexadecimal; empty when not hashed
};

struct ShardPart {
    unsigned shard = 0;   // K, from 1
    unsigned shards = 0;  // N
    std::vector<std::string> command;  // shard_command()
    std::vector<ShardFile> files;      // the data files read, in order
    std::size_t tables = 0;            // of the run's plan
    // What its own ranges counted: the tables' counts, the data objects',
    // and the blocks read, damaged and encrypted.
    UnloadSummary counts;
    WrittenFiles written;  // by table
    // The bytes of each file written, by table: each kind of rows, then
    // the values not decoded.
    std::vector<std::array<std::uint64_t, kRowKinds + 1>> sizes;

    // Of the same run as `other`: the same command, files and N.
    bool same_run(const ShardPart& other) const
    {
        const auto same_path = [](const ShardFile& a, const ShardFile& b) { return a.path == b.path; };
        return shards == other.shards && command == other.command && tables == other.tables &&
               std::equal(files.begin(), files.end(), other.files.begin(), other.files.end(), same_path);
    }
};

// The command a part records: `arguments` after the program's name,
// without --shard, --unload and --jobs and their values, --quiet and --force.
std::vector<std::string> shard_command(const std::vector<std::string>& arguments);

// The record's text, and the record read back from a part directory
// (bounded: a record that is not one gives a message naming what is wrong).
std::string shard_part_text(const ShardPart& part);
bool read_shard_part(const std::string& directory, ShardPart& part, std::string& error);

// Appends the files a part wrote of table `table` to those `writer` writes
// (each after its header; the records of the values not decoded numbered
// after those written before, which `summary` counts), and takes what the
// part noted of the table's values. The part's counts are the caller's to
// add, after every table of the part. False with `error` when a file of the
// part is missing, is not what its record says, or cannot be written.
// With `lob_files`, the part's LOB files of the table go into the merged
// directory under their own names.
bool append_part_table(UnloadWriter& writer, const UnloadPlan& plan, const UnloadSummary& summary,
                       const std::string& directory, const ShardPart& part, std::size_t table,
                       LobFileWriter* lob_files, std::string& error);

}  // namespace unload
