#include "unload/evidence.h"

#include <ctime>

#include "values/escaped_text.h"

namespace unload {

namespace {

std::string text_field(std::string_view name, std::string_view text) { return json_string(name) + ": " + json_string(text); }

// The text, and its bytes when the text is not all of them.
std::string exact_text_fields(std::string_view name, std::string_view text)
{
    std::string json = text_field(name, text);
    if (!is_plain_text(text)) json += ", " + text_field(std::string(name) + "_hex", hex_text(text));
    return json;
}

std::string number_field(std::string_view name, std::uint64_t value)
{
    return json_string(name) + ": " + std::to_string(value);
}

std::string header_fields(const InputEvidence& input)
{
    if (!input.header) return "";
    const FileHeaderFacts& h = *input.header;
    if (!h.file_header) return ", \"header\": null";
    return ", \"header\": {" + exact_text_fields("database", h.database_name) + ", " +
           number_field("database_id", h.database_id) + ", " + number_field("absolute_file", h.absolute_file) + ", " +
           number_field("relative_file", h.relative_file) + ", " + exact_text_fields("tablespace", h.tablespace) +
           ", " + number_field("block_size", input.geometry.block_size) + ", " +
           text_field("byte_order", input.geometry.order == ByteOrder::Little ? "little" : "big") + "}";
}

std::string input_json(const InputEvidence& input)
{
    std::string json = "{";
    json += exact_text_fields("path", input.path);
    json += ", " + text_field("role", input.role) + ", ";
    if (input.sha256)
        json += number_field("size", input.size.value_or(0)) + ", " + text_field("sha256", sha256_hex(*input.sha256));
    else
        json += "\"size\": null, \"sha256\": null";
    return json + header_fields(input) + "}";
}

}  // namespace

InputEvidence data_file_evidence(DataFile& file, std::string role, std::uint64_t& read_again)
{
    InputEvidence input;
    input.path = file.path();
    input.role = std::move(role);
    if (const auto hashed = file.finish_hash(read_again)) {
        input.size = hashed->size;
        input.sha256 = hashed->digest;
    }
    input.header = file.header_facts();
    input.geometry = file.geometry();
    return input;
}

std::string utc_text(std::chrono::system_clock::time_point moment)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm utc{};
    char text[32];
    if (gmtime_r(&seconds, &utc) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
        return "";
    return text;
}

std::string evidence_json(const RunEvidence& evidence)
{
    std::string arguments, hex;
    bool all_plain = true;
    for (const std::string& argument : evidence.command_line) {
        arguments += (arguments.empty() ? "" : ", ") + json_string(argument);
        hex += (hex.empty() ? "" : ", ") + json_string(hex_text(argument));
        all_plain = all_plain && is_plain_text(argument);
    }
    std::string json = "  \"run\": {\"tool\": \"trevanix\", " + text_field("version", TREVANIX_VERSION) +
                       ", \"command_line\": [" + arguments + "]";
    if (!all_plain) json += ", \"command_line_hex\": [" + hex + "]";
    json += ", " + text_field("started", utc_text(evidence.started)) + ", " +
            text_field("ended", utc_text(evidence.ended)) + ", \"workers\": " + std::to_string(evidence.workers) +
            "},\n";
    json += "  \"inputs\": [";
    for (std::size_t i = 0; i < evidence.inputs.size(); ++i)
        json += (i == 0 ? "\n    " : ",\n    ") + input_json(evidence.inputs[i]);
    return json + (evidence.inputs.empty() ? "],\n" : "\n  ],\n");
}

std::string evidence_lines(const RunEvidence& evidence)
{
    std::string text = "SHA-256 of the files read, as sha256sum prints them:\n";
    for (const InputEvidence& input : evidence.inputs)
        text += (input.sha256 ? sha256_hex(*input.sha256) : std::string("(not hashed: not read to its end)")) + "  " +
                terminal_text(input.path) + "\n";
    return text;
}

}  // namespace unload
