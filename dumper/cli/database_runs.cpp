#include "cli/database_runs.h"

#include <algorithm>
#include <map>
#include <set>

#include "cli/run_inputs.h"
#include "unload/databases_summary.h"
#include "unload/table_files.h"
#include "unload/table_names.h"
#include "values/escaped_text.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitArgumentError = 2;
constexpr int kExitIncomplete = 4;

void note(OutputSink& err, const std::string& text) { err.text("trevanix: " + terminal_text(text) + "\n"); }

std::string database_words(const DatabaseInputs& d)
{
    if (!d.database_id) return "the files whose header gives no database id";
    return "database " + d.name + " (DBID " + std::to_string(*d.database_id) + ")";
}

// A --dictionary given, and the database its header names.
struct GivenDictionary {
    std::string path;
    std::optional<std::uint32_t> database_id;
    std::string name;
};

std::vector<GivenDictionary> given_dictionaries(const RunSettings& s)
{
    std::vector<GivenDictionary> dictionaries;
    std::set<std::string> seen;
    for (const std::string& path : s.dictionary_files) {
        if (!seen.insert(path).second) continue;  // the same file named twice is one dictionary
        GivenDictionary d{path, std::nullopt, ""};
        if (const std::optional<FoundDataFile> found = look_at_data_file(path)) {
            d.database_id = found->database_id;
            d.name = found->database_name;
        }
        dictionaries.push_back(std::move(d));
    }
    return dictionaries;
}

// How many database ids the files and the dictionaries carry.
std::size_t database_ids(const std::vector<FoundDataFile>& files, const std::vector<GivenDictionary>& dictionaries)
{
    std::set<std::uint32_t> ids;
    for (const FoundDataFile& f : files)
        if (f.database_id) ids.insert(*f.database_id);
    for (const GivenDictionary& d : dictionaries)
        if (d.database_id) ids.insert(*d.database_id);
    return ids.size();
}

// One dictionary per database id: the files of a pluggable database carry
// its own id and its SYSTEM file holds its own dictionary (the multitenant
// layout as it is known), so the files of each id are one database of
// their own, read with the dictionary of that id. Files whose header gives
// no id are a group of their own. False, said, when a dictionary cannot
// be placed.
bool group_by_database_id(const std::vector<FoundDataFile>& files, const std::vector<GivenDictionary>& dictionaries,
                          std::vector<DatabaseInputs>& groups, OutputSink& err)
{
    std::map<std::optional<std::uint32_t>, DatabaseInputs> by_id;
    for (const FoundDataFile& f : files) {
        DatabaseInputs& group = by_id[f.database_id];
        group.database_id = f.database_id;
        if (group.name.empty()) group.name = f.database_name;
        group.data_files.push_back(f.path);
    }
    for (const GivenDictionary& d : dictionaries) {
        if (!d.database_id) {
            note(err, "--dictionary " + d.path +
                          ": its header gives no database id, so it cannot be told which of the databases given it "
                          "belongs to: give the files of that database alone with it");
            return false;
        }
        DatabaseInputs& group = by_id[d.database_id];
        if (!group.dictionary_file.empty()) {
            note(err, "--dictionary " + group.dictionary_file + " and --dictionary " + d.path + " are both of DBID " +
                          std::to_string(*d.database_id) + ": give one dictionary per database");
            return false;
        }
        group.database_id = d.database_id;
        if (group.name.empty()) group.name = d.name;
        group.dictionary_file = d.path;
    }
    for (auto& [id, group] : by_id) groups.push_back(std::move(group));
    return true;
}

// A database no --dictionary was given for reads the SYSTEM file among its
// own files, unless a schema file gives the schema.
void take_own_dictionaries(const RunSettings& s, const std::vector<FoundDataFile>& files,
                           std::vector<DatabaseInputs>& groups, OutputSink& err)
{
    if (s.schema_given) return;
    for (DatabaseInputs& group : groups) {
        if (!group.dictionary_file.empty() || !group.database_id) continue;
        for (const FoundDataFile& f : files) {
            if (!f.holds_dictionary || f.database_id != group.database_id) continue;
            if (group.dictionary_file.empty())
                group.dictionary_file = f.path;
            else
                note(err, f.path + " holds a root address too, of the same database: its dictionary is not read");
        }
        if (!s.dictionary_files.empty())
            note(err, "no --dictionary given is of " + database_words(group) +
                          (group.dictionary_file.empty() ? ": none of its files is a SYSTEM file, its tables are inferred"
                                                         : ": the dictionary of its SYSTEM file is read"));
    }
}

// A run of the settings over one database's share: its files named one by
// one, its dictionary or none.
RunSettings settings_for(const RunSettings& s, const DatabaseInputs& d, const std::string& unload_dir)
{
    RunSettings one = s;
    one.data_file_given = !d.data_files.empty();
    one.data_file = d.data_files.empty() ? "" : d.data_files.front();
    one.more_files.assign(d.data_files.begin() + (d.data_files.empty() ? 0 : 1), d.data_files.end());
    one.dictionary_file = d.dictionary_file;
    one.dictionary_files.clear();
    if (!d.dictionary_file.empty()) one.dictionary_files.push_back(d.dictionary_file);
    if (!unload_dir.empty()) one.unload_dir = unload_dir;
    return one;
}

// The subdirectory of an unload a database's tables go to: its name and
// id, as a file name may hold them.
std::string subdirectory_of(const DatabaseInputs& d)
{
    if (!d.database_id) return "no-database-id";
    return unload::file_name_of(d.name.empty() ? "database" : d.name) + "_" + std::to_string(*d.database_id);
}

// The exit status of the runs together: a failure, then anything lost.
int combined_status(const std::vector<int>& statuses)
{
    int status = 0;
    for (int s : statuses) {
        if (s == kExitFailure || s == kExitArgumentError) return kExitFailure;
        if (s != 0) status = kExitIncomplete;
    }
    return status;
}

int run_each(const RunSettings& s, const std::vector<DatabaseInputs>& groups, OutputSink& out, OutputSink& err,
             const RunOne& run_one)
{
    std::vector<unload::DatabaseUnload> written;
    std::vector<int> statuses;
    if (s.unload) {
        std::string message;
        bool refused = false, created = false;
        if (!unload::prepare_directory(s.unload_dir, s.force, message, refused, created)) {
            err.text(terminal_lines(message));
            return refused ? kExitArgumentError : kExitFailure;
        }
    }
    for (const DatabaseInputs& d : groups) {
        const std::string sub = s.unload ? subdirectory_of(d) : "";
        note(err, database_words(d) + ": " + std::to_string(d.data_files.size()) + " data file" +
                      (d.data_files.size() == 1 ? "" : "s") +
                      (d.dictionary_file.empty() ? "" : ", the dictionary of " + d.dictionary_file) +
                      (sub.empty() ? "" : ", into " + s.unload_dir + "/" + sub));
        if (d.data_files.empty() && s.reads_data_files() && !s.list_tables) {
            note(err, "--dictionary " + d.dictionary_file + " is of " + database_words(d) +
                          ", of which no data file is given: it is not read");
            statuses.push_back(kExitIncomplete);
            continue;
        }
        if (s.list_tables || s.ddl) {
            out.text("-- " + terminal_text(database_words(d)) + "\n");
        }
        const int status = run_one(settings_for(s, d, s.unload ? s.unload_dir + "/" + sub : ""));
        statuses.push_back(status);
        if (s.unload)
            written.push_back({d.database_id, d.name, sub, d.data_files, d.dictionary_file, status});
        if (status == kExitArgumentError) return status;
    }
    const int status = combined_status(statuses);
    if (s.unload) {
        std::string message;
        if (!unload::write_databases_summary(s.unload_dir, written, status, message)) {
            err.text("trevanix: " + terminal_text(message) + "\n");
            return kExitFailure;
        }
    }
    return status;
}

}  // namespace

int run_by_database(const RunSettings& s, OutputSink& out, OutputSink& err, const RunOne& run_one)
{
    const bool paths = s.data_file_given || !s.more_files.empty();
    std::vector<FoundDataFile> files;
    if (paths) {
        files = find_data_files(s, err);
        if (files.empty()) return kExitFailure;
    }
    const std::vector<GivenDictionary> dictionaries = given_dictionaries(s);
    if (database_ids(files, dictionaries) <= 1 && dictionaries.size() <= 1) {
        DatabaseInputs all;
        for (const FoundDataFile& f : files) all.data_files.push_back(f.path);
        all.dictionary_file = s.dictionary_file;
        return run_one(settings_for(s, all, ""));
    }
    if (s.sharded()) {
        err.text("trevanix: --shard and --merge split the files of one database: the files given are of several "
                 "(by the database id in their headers); shard each database's files apart\n");
        return kExitFailure;
    }
    std::vector<DatabaseInputs> groups;
    if (!group_by_database_id(files, dictionaries, groups, err)) return kExitFailure;
    note(err, "the files given are of " + std::to_string(groups.size()) +
                  " databases or containers (by the database id in their headers): each is read apart" +
                  (s.unload ? ", into a subdirectory of " + s.unload_dir + " of its own" : ""));
    take_own_dictionaries(s, files, groups, err);
    return run_each(s, groups, out, err, run_one);
}
