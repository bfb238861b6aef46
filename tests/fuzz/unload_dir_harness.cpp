// What --force removes from an unload directory, under the fuzzer: the
// input stands as an earlier unload's summary.json, sqlite.sql and
// postgres.sql at once, in a directory that also holds files no unload
// writes, beside a file outside it and a directory inside it. Whatever the
// input names, only plain names of the forms an unload gives are removed,
// and under lobs/ the LOB files' names: the other files, and everything
// outside the directory, stay. It stands as a shard's record
// (shard-part.txt) too: read without a crash, and a record read back is
// the record written.
#include <sys/stat.h>

#include "fuzz_harness.h"
#include "test_support.h"
#include "unload/earlier_unload.h"
#include "unload/shard_part.h"
#include "unload/table_files.h"

namespace fuzz {

namespace {

// Longer inputs are cut: the readers are linear, the fuzzer needs no more.
constexpr std::size_t kMaxUnloadDirInput = 1 << 16;

// Files no unload writes, in the directory and around it, and among the
// LOB files (--lob-files), those of no name they are given; and LOB files.
constexpr const char* kKept[] = {"keep.txt", "notes.part", "sub/inside.csv", "../outside.csv", "sqlite.sql.bak",
                                 "lobs/S.T/notes.txt", "lobs/S.T/rows.1.2.3.4.c5.txt.bak", "sub/rows.1.2.3.4.c5.bin"};
constexpr const char* kLobFiles[] = {"lobs/S.T/rows.1.2.3.4.c5.txt", "lobs/S.T/stale.1.2.3.o40.c1.bin.part",
                                     "lobs/X/deleted.9.9.9.9.c9.bin"};

bool exists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

bool is_plain_unload_name(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return false;
    std::string stem = name.ends_with(".part") ? name.substr(0, name.size() - 5) : name;
    for (const char* suffix : {".csv", ".pgcopy", ".ctl"})
        if (stem.size() > std::string_view(suffix).size() && stem.ends_with(suffix)) return true;
    return stem == "sqlite.sql" || stem == "postgres.sql" || stem == "summary.json" || stem == "sqlite-blobs.tmp" ||
           stem == "shard-part.txt";
}

}  // namespace

std::string run_unload_dir_input(const std::uint8_t* data, std::size_t size)
{
    static ScratchDir scratch;
    size = std::min(size, kMaxUnloadDirInput);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string dir = scratch.path("out");
    ::mkdir(dir.c_str(), 0755);
    ::mkdir((dir + "/sub").c_str(), 0755);
    for (const char* sub : {"/lobs", "/lobs/S.T", "/lobs/X"}) ::mkdir((dir + sub).c_str(), 0755);
    for (const char* name : {"summary.json", "sqlite.sql", "postgres.sql"}) scratch.write(std::string("out/") + name, text);
    for (const char* name : kKept) scratch.write(std::string("out/") + name, std::string("mine"));
    for (const char* name : kLobFiles) scratch.write(std::string("out/") + name, std::string("a value"));

    scratch.write("out/shard-part.txt", text);
    unload::ShardPart part;
    std::string error;
    if (unload::read_shard_part(dir, part, error)) {
        const std::string written = unload::shard_part_text(part);
        scratch.write("out/shard-part.txt", written);
        unload::ShardPart again;
        if (!unload::read_shard_part(dir, again, error)) return "a shard record written is not read back: " + error;
        if (unload::shard_part_text(again) != written) return "a shard record read back differs from the one written";
    }

    const std::vector<std::string> names = unload::earlier_unload_files(dir);
    for (const std::string& name : names)
        if (!is_plain_unload_name(name)) return "an earlier unload's file named " + name;
    std::string message;
    bool refused = false, created = false;
    if (!unload::prepare_directory(dir, true, message, refused, created)) return "--force failed: " + message;
    for (const char* name : kKept)
        if (!exists(dir + "/" + name)) return std::string("--force removed ") + name;
    for (const char* name : {"summary.json", "sqlite.sql", "postgres.sql"})
        if (exists(dir + "/" + name)) return std::string("--force left ") + name;
    for (const char* name : kLobFiles)
        if (exists(dir + "/" + name)) return std::string("--force left ") + name;
    // A table's directory of LOB files goes once empty; one that holds another's file stays.
    if (exists(dir + "/lobs/X") || !exists(dir + "/lobs/S.T")) return "--force took the LOB files' directories wrongly";
    return "";
}

std::vector<Seed> unload_dir_seeds()
{
    auto seed = [](std::string name, std::string_view text) { return Seed{std::move(name), Bytes(text.begin(), text.end())}; };
    return {
        seed("summary", R"({"tables": [{"owner": "S", "table": "T", "rows": 1, "files": {"rows": "S.T.csv", )"
                        R"("control": "S.T.ctl", "deleted": "S.T\u0041.deleted.csv"}, "binary_copies": {"rows": )"
                        R"("S.T.pgcopy"}}], "unknown_objects": [], "blocks_read": 3, "cut_short_files": []})"),
        seed("hostile", R"({"files": {"a": "../outside.csv", "b": "sub/inside.csv", "c": "keep.txt", )"
                        R"("d": "\ud83d\ude00.csv", "e": "x\u0000.csv", "f": "..", "g": "notes.part"}})"),
        seed("scripts", ".import --csv --skip 1 \"Q \\\"1\\\".csv\" \"Q\"\n"
                        "\\copy \"t\" FROM 'it''s.csv' WITH (FORMAT csv, HEADER)\n"
                        "\\copy \"t\" FROM '../outside.csv' WITH (FORMAT binary)\n"),
        seed("cut", R"({"tables": [{"files": {"rows": "S.T.c)"),
        seed("shard", "trevanix shard part 1\nshard 2 3\narg 74726576616e6978\narg 2f646174612e646266\n"
                      "file 2f646174612e646266 - -\nblocks 64 1 0\nobject 74570 64 1 300 2 1 0\ntables 1\n"
                      "table 0 297 2 1 3 0 1 0 0 0 0 0\nlob 0 41414141 444f43 1 3\n"
                      "written 0 1100 0000 1 1000 200 0 0 90\ncolumn 0 3 0\ncolumn 0 1 1\nhidden 0 0 0\nend\n"),
    };
}

}  // namespace fuzz
