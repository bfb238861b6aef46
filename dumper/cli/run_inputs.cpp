#include "cli/run_inputs.h"

#include <map>
#include <memory>
#include <sys/stat.h>

#include "cli/run_notes.h"
#include "print/inventory_printer.h"
#include "values/escaped_text.h"
#include "read/data_file.h"
#include "read/file_kind.h"
#include "read/input_paths.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitProblems = 4;

void note(OutputSink& err, const std::string& text) { err.text("trevanix: " + terminal_text(text) + "\n"); }

// What a path found names, or nothing when it cannot be opened or is no
// regular file (a pipe is read once, by the run, not looked at before).
struct LookedAt {
    bool opened = false;
    int error = 0;
    bool identified = false;
    FileIdentity identity;
};

LookedAt look_at(const std::string& path)
{
    LookedAt looked;
    // Opening a FIFO, even to look, would take a writer's data or leave it
    // without a reader: only regular files and disks are looked at.
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        looked.opened = true;
        return looked;
    }
    std::unique_ptr<DataFile> file = DataFile::open(path, looked.error);
    if (!file) return looked;
    looked.opened = true;
    looked.identity = identify_file(*file);
    looked.identified = true;
    return looked;
}

// Why a file found in a directory is not read: "probably a redo log, not
// a data file", "an empty file".
std::string why_not_read(const FileIdentity& id)
{
    if (id.kind == FileKind::Empty) return "an empty file";
    if (id.kind == FileKind::Unknown) return "not recognised as an Oracle file";
    const std::string_view name = kind_name(id.kind);
    const std::string article = name.front() == 'A' ? "an " : "a ";
    return (id.sure ? "" : "probably ") + article + std::string(name) + ", not a data file";
}

FoundDataFile found_file(const std::string& path, const LookedAt& looked)
{
    FoundDataFile file{path, std::nullopt, "", false};
    if (!looked.identified || !looked.identity.facts.file_header) return file;
    file.database_id = looked.identity.facts.database_id;
    file.database_name = looked.identity.facts.database_name;
    file.holds_dictionary = looked.identity.holds_dictionary();
    return file;
}

// The SYSTEM files among the data files, by database id.
using SystemFiles = std::map<std::uint32_t, std::vector<std::string>>;

bool choose_dictionary(const RunSettings& s, const SystemFiles& systems, RunInputs& inputs, OutputSink& err)
{
    if (!s.dictionary_file.empty()) {
        inputs.dictionary_file = s.dictionary_file;
        return true;
    }
    // A schema file gives the schema; without one the dictionary is looked
    // for among the data files, and only --dictionary auto insists on it.
    if (s.schema_given || (!s.dictionary_auto && systems.empty())) return true;
    if (systems.empty()) {
        err.text("trevanix: --dictionary auto finds no SYSTEM data file (one whose header holds the root address) "
                 "among the data files: name it with --dictionary SYSTEM_FILE\n");
        return false;
    }
    // Files of several databases are read one database at a time, each
    // with its own SYSTEM file: here they are of one.
    const std::vector<std::string>& paths = systems.begin()->second;
    inputs.dictionary_file = paths.front();
    note(err, "reading the dictionary of " + paths.front() + ", the SYSTEM data file among the data files" +
                  (s.dictionary_auto ? "" : " (--schema FILE gives another schema)"));
    for (std::size_t i = 1; i < paths.size(); ++i)
        note(err, paths[i] + " holds a root address too, of the same database: its dictionary is not read");
    return true;
}

}  // namespace

std::vector<std::string> given_paths(const RunSettings& s)
{
    std::vector<std::string> paths;
    if (s.data_file_given) paths.push_back(s.data_file);
    paths.insert(paths.end(), s.more_files.begin(), s.more_files.end());
    return paths;
}

std::vector<FoundDataFile> find_data_files(const RunSettings& s, OutputSink& err)
{
    const InputPaths expanded = expand_input_paths(given_paths(s));
    for (const std::string& line : expanded.notes) note(err, line + " (not read)");
    std::vector<FoundDataFile> found;
    for (std::size_t i = 0; i < expanded.files.size(); ++i) {
        const std::string& path = expanded.files[i];
        const LookedAt looked = look_at(path);
        if (expanded.found_in_directory[i] && !(looked.identified && looked.identity.is_data_file())) {
            if (!looked.opened)
                print_failure_reason(err, "cannot open " + terminal_text(path) + " (not read)", looked.error);
            else
                note(err, path + ": " + why_not_read(looked.identity) + " (not read)");
            continue;
        }
        found.push_back(found_file(path, looked));
    }
    if (found.empty()) err.text("trevanix: no data file among the files given: nothing to read\n");
    return found;
}

std::optional<FoundDataFile> look_at_data_file(const std::string& path)
{
    const LookedAt looked = look_at(path);
    if (!looked.identified || !looked.identity.facts.file_header) return std::nullopt;
    return found_file(path, looked);
}

bool resolve_run_inputs(const RunSettings& s, RunInputs& inputs, OutputSink& err)
{
    SystemFiles systems;
    for (const FoundDataFile& file : find_data_files(s, err)) {
        inputs.data_files.push_back(file.path);
        if (file.holds_dictionary) systems[*file.database_id].push_back(file.path);
    }
    if (inputs.data_files.empty()) return false;
    return !s.reads_schema() || choose_dictionary(s, systems, inputs, err);
}

int run_inventory(const RunSettings& s, OutputSink& out, OutputSink& err)
{
    const InputPaths expanded = expand_input_paths(given_paths(s));
    bool problems = !expanded.notes.empty();
    for (const std::string& line : expanded.notes) note(err, line);
    std::vector<InventoryEntry> entries;
    std::vector<FileIdentity> identities;
    for (const std::string& path : expanded.files) {
        const LookedAt looked = look_at(path);
        if (!looked.opened) {
            print_failure_reason(err, "cannot open " + terminal_text(path), looked.error);
            problems = true;
            continue;
        }
        if (!looked.identified) {
            note(err, path + ": neither a regular file nor a disk: not looked at");
            problems = true;
            continue;
        }
        problems = problems || looked.identity.cut_short();
        entries.push_back({path, looked.identity});
        identities.push_back(looked.identity);
    }
    if (entries.empty()) {
        err.text("trevanix: no file could be looked at\n");
        return kExitFailure;
    }
    write_inventory(out, entries, group_by_database(identities), s.format);
    if (out.failed()) return kExitFailure;
    return problems ? kExitProblems : 0;
}
