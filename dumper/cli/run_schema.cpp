#include "cli/run_schema.h"

#include "cli/schema_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>

#include "schema/ddl_parser.h"
#include "values/escaped_text.h"

namespace {

// Far more than the statements of any database's tables take: a longer
// file (or one without end, such as /dev/zero) is no schema file.
constexpr std::size_t kMaxSchemaBytes = std::size_t{256} << 20;

// The whole file; false, with errno, when it cannot be read, and with
// `too_long` when it holds more than kMaxSchemaBytes.
bool read_whole_file(const std::string& path, std::string& text, bool& too_long)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
        if (text.size() + n > kMaxSchemaBytes) {
            too_long = true;
            return false;
        }
        text.append(buffer, n);
    }
    return std::ferror(file.get()) == 0;
}

bool read_schema_file(const std::string& path, schema::Schema& schema, OutputSink& err,
                      std::vector<unload::InputEvidence>* evidence)
{
    std::string text;
    bool too_long = false;
    if (!read_whole_file(path, text, too_long)) {
        err.text("trevanix: cannot read the schema file " + terminal_text(path) + ": " +
                 (too_long ? std::string("it is longer than 256 MiB, more than the statements of any schema")
                           : std::string(std::strerror(errno))) +
                 "\n");
        return false;
    }
    if (evidence != nullptr) {
        Sha256 hash;
        hash.update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        evidence->push_back({path, "schema file", text.size(), hash.finish(), std::nullopt, {}});
    }
    schema::Parsed<schema::Schema> parsed = schema::parse_schema_file(text);
    if (!parsed.ok()) {
        err.text("trevanix: " + terminal_text(path) + ", " + terminal_text(parsed.error) + "\n");
        return false;
    }
    schema = std::move(parsed.value);
    return true;
}

}  // namespace

bool load_run_schema(const RunSettings& settings, const RunInputs& inputs, schema::Schema& schema, OutputSink& err,
                     bool& lost, std::vector<unload::InputEvidence>* evidence)
{
    schema = {};
    lost = false;
    const std::string& system_file = inputs.dictionary_file;
    if (!system_file.empty()) {
        // The SYSTEM file is read for its dictionary here; it is unloaded
        // too only when it is also among the data files.
        DataFileSet system;
        bool opened = false;
        const bool loaded = load_schema(settings, system_file, system, schema, err, &opened);
        const bool among_data_files = std::find(inputs.data_files.begin(), inputs.data_files.end(), system_file) !=
                                      inputs.data_files.end();
        if (evidence != nullptr && opened && !among_data_files) {
            // The dictionary's segments are read here and there: the file
            // is read once more, whole, for its hash.
            system[0].hash_contents();
            std::uint64_t read_again = 0;
            evidence->push_back(unload::data_file_evidence(system[0], "dictionary", read_again));
        }
        if (loaded) return true;
        // What the data files hold is not lost with the dictionary.
        if (!settings.unload || !opened) return false;
        err.text("trevanix: unloading without the dictionary: every data object is typed by inference and "
                 "named OBJ_<n>\n");
        schema = {};
        lost = true;
        return true;
    }
    return !settings.schema_given || read_schema_file(settings.schema_file, schema, err, evidence);
}
