#include "cli/run_schema.h"

#include "cli/schema_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

bool read_schema_file(const std::string& path, schema::Schema& schema, OutputSink& err)
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
    schema::Parsed<schema::Schema> parsed = schema::parse_schema_file(text);
    if (!parsed.ok()) {
        err.text("trevanix: " + terminal_text(path) + ", " + terminal_text(parsed.error) + "\n");
        return false;
    }
    schema = std::move(parsed.value);
    return true;
}

}  // namespace

bool load_run_schema(const RunSettings& settings, const std::string& system_file, schema::Schema& schema,
                     OutputSink& err, bool& lost)
{
    schema = {};
    lost = false;
    if (!system_file.empty()) {
        // The SYSTEM file is read for its dictionary here; it is unloaded
        // too only when it is also among the data files.
        DataFileSet system;
        bool opened = false;
        if (load_schema(settings, system_file, system, schema, err, &opened)) return true;
        // What the data files hold is not lost with the dictionary.
        if (!settings.unload || !opened) return false;
        err.text("trevanix: unloading without the dictionary: every data object is typed by inference and "
                 "named OBJ_<n>\n");
        schema = {};
        lost = true;
        return true;
    }
    return !settings.schema_given || read_schema_file(settings.schema_file, schema, err);
}
