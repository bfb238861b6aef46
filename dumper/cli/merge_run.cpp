#include "cli/merge_run.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "unload/shard_part.h"
#include "values/escaped_text.h"

namespace {

bool refuse(OutputSink& err, const std::string& message)
{
    err.text("trevanix: " + terminal_text(message) + "\n");
    return false;
}

}  // namespace

bool merge_settings(const RunSettings& given, RunSettings& merged, OutputSink& out, OutputSink& err)
{
    std::vector<unload::ShardPart> parts;
    for (const std::string& directory : given.more_files) {
        std::string error;
        if (!unload::read_shard_part(directory, parts.emplace_back(), error))
            return refuse(err, "--merge: " + directory + ": " + error +
                                   "; give the directories the shards wrote, each run to its end");
    }
    for (const std::string& directory : given.more_files) {
        std::error_code error;
        if (std::filesystem::equivalent(directory, given.merge_dir, error))
            return refuse(err, "--merge: " + directory + " is a part and the directory to write into: give OUT a "
                                   "directory of its own");
    }
    const unload::ShardPart& first = parts.front();
    std::map<unsigned, std::string> by_shard;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string& directory = given.more_files[i];
        if (!parts[i].same_run(first))
            return refuse(err, "--merge: " + directory + " is a part of another run than " + given.more_files[0] +
                                   " (another command, other data files or another number of parts): give the "
                                   "parts of one run");
        const auto [at, added] = by_shard.emplace(parts[i].shard, directory);
        if (!added)
            return refuse(err, "--merge: " + at->second + " and " + directory + " are both part " +
                                   std::to_string(parts[i].shard) + " of " + std::to_string(first.shards) +
                                   ": give each part once");
    }
    for (unsigned k = 1; k <= first.shards; ++k)
        if (!by_shard.contains(k))
            return refuse(err, "--merge: part " + std::to_string(k) + " of " + std::to_string(first.shards) +
                                   " is missing: give the directories of all " + std::to_string(first.shards) +
                                   " parts");
    // The shards' command, into OUT.
    std::vector<std::string> words{"trevanix", "--unload", given.merge_dir};
    words.insert(words.end(), first.command.begin(), first.command.end());
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    if (!parse_arguments(static_cast<int>(argv.size()), argv.data(), merged, out, err) || !merged.unload ||
        merged.shards != 0 || merged.merge)
        return refuse(err, "--merge: the command the parts record is not an unload this program reads");
    merged.force = given.force;
    merged.quiet = given.quiet;
    merged.jobs_given = given.jobs_given;
    merged.shards = first.shards;
    merged.shard = 0;
    merged.merge = true;
    merged.merge_dir = given.merge_dir;
    merged.warnings.clear();
    for (const auto& [shard, directory] : by_shard) merged.merge_parts.push_back(directory);
    return true;
}
