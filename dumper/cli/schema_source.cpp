#include "cli/schema_source.h"

#include "cli/run_notes.h"
#include "dictionary/dictionary.h"
#include "read/geometry.h"
#include "values/escaped_text.h"

namespace {

// A line of its own; what it names from the files (or the paths given)
// as a terminal may show it.
void note(OutputSink& err, const std::string& text)
{
    err.text("trevanix: ");
    err.text(terminal_text(text));
    err.byte('\n');
}

}  // namespace

GeometryChoice geometry_choice(const RunSettings& s)
{
    GeometryChoice choice;
    const std::uint32_t size = s.long_block_size != 0 ? s.long_block_size : s.block_size;
    choice.given = {size != 0 ? size : Geometry().block_size, s.byte_order};
    choice.find_size = s.block_size_auto || size == 0;
    choice.find_order = s.byte_order_auto || !s.byte_order_given;
    return choice;
}

bool find_data_file_geometry(DataFile& file, const RunSettings& s, OutputSink& err)
{
    const GeometryChoice choice = geometry_choice(s);
    file.set_geometry(choice.given);
    LayoutFound found;
    std::string message;
    if (!(choice.find_size || choice.find_order) || find_geometry(file, choice, found, message)) return true;
    // One at a time, each what the file tells or, when it was not asked
    // for, the default.
    Geometry geometry = choice.given;
    if (choice.find_size) {
        const ByteOrder other = choice.given.order == ByteOrder::Little ? ByteOrder::Big : ByteOrder::Little;
        if (find_geometry(file, {choice.given, true, false}, found, message) ||
            (choice.find_order && find_geometry(file, {{choice.given.block_size, other}, true, false}, found, message))) {
            geometry.block_size = found.block_size;
        } else if (s.block_size_auto) {
            note(err, message);
            return false;
        } else {
            note(err, "cannot tell the block size of " + file.path() + ": reading it in blocks of " +
                          std::to_string(geometry.block_size) + " bytes (--block-size gives another size)");
        }
    }
    if (choice.find_order) {
        if (find_geometry(file, {geometry, false, true}, found, message)) {
            geometry.order = found.order;
        } else if (s.byte_order_auto) {
            note(err, message);
            return false;
        } else {
            note(err, "cannot tell the byte order of " + file.path() +
                          ": reading it little-endian (--byte-order big reads it the other way)");
        }
    }
    file.set_geometry(geometry);
    return true;
}

DataFile* open_data_file(const std::string& path, const RunSettings& settings, DataFileSet& files, OutputSink& err)
{
    int error = 0;
    std::unique_ptr<DataFile> file = DataFile::open(path, error);
    if (!file) {
        print_failure_reason(err, "cannot open " + path, error);
        return nullptr;
    }
    if (!find_data_file_geometry(*file, settings, err)) return nullptr;
    file->relative_file();
    DataFile* opened = file.get();
    files.add(std::move(file));
    return opened;
}

bool load_schema(const RunSettings& settings, const std::string& system_file, DataFileSet& files,
                 schema::Schema& schema, OutputSink& err, bool* opened, dictionary::Release* release)
{
    DataFile* system = open_data_file(system_file, settings, files, err);
    if (opened != nullptr) *opened = system != nullptr;
    if (system == nullptr) return false;
    dictionary::Dictionary read;
    dictionary::LoadNotes notes;
    std::string error;
    const bool loaded = dictionary::load_dictionary(files, *system, read, notes, error);
    for (const std::string& warning : notes.warnings) note(err, warning);
    if (!loaded) {
        note(err, "cannot read the data dictionary: " + error);
        return false;
    }
    schema = std::move(read.schema);
    if (release != nullptr) *release = std::move(read.release);
    return true;
}
