// The command line: turns the arguments into RunSettings.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "values/charsets.h"
#include "values/spelling.h"

const char* const kHelpText =
    "\n\nTrevanix v1.00 [beta]\n\n"
    "-h (show help)\n"
    "-f data_file (required)\n"
    "-c column_template\n"
    "-z block_size (default 8192)\n"
    "-o object_id\n"
    "-b block_number\n"
    "-s seperator (default newline)\n"
    "-a action\n"
    "\n"
    "Actions are:\n"
    "A DUMPALL\n"
    "D SHOWDELETED\n"
    "O DUMPNOTVIAOFFSETS\n"
    "S SHOWDELETEDNOTVIAOFFSETS\n"
    "C DUMPSCNS\n"
    "\n";

// Every option, for --help; -h keeps the short text above.
const char* const kLongHelpText =
    "Usage: trevanix -f DATA_FILE [options]\n"
    "       trevanix --format jsonl|csv [options] DATA_FILE...\n"
    "       trevanix --unload DIR [--dictionary SYSTEM_FILE | --schema FILE] [options] DATA_FILE...\n"
    "       trevanix --dictionary SYSTEM_FILE --list-tables [options] [DATA_FILE...]\n"
    "       trevanix --ddl --dictionary SYSTEM_FILE | --schema FILE | --infer [options] [DATA_FILE...]\n"
    "Reads the data blocks of Oracle data files offline: prints what they hold, or gives\n"
    "back the tables, named and typed, with their deleted rows.\n"
    "\n"
    "Options of the dumper's own output:\n"
    "  -f FILE         the data file to read (required, unless the data files follow the options\n"
    "                  with --format jsonl|csv or --verify)\n"
    "  -c FILE         column template: one type keyword per line, line k+1 types column k\n"
    "  -z N            block size in bytes (default 8192, at most 16000; see --block-size)\n"
    "  -o ID           decode only the blocks of this object ID\n"
    "  -b N            read only block N (with -n: start at block N)\n"
    "  -n N            stop after N blocks\n"
    "  -s C            separator printed after each typed value (default newline)\n"
    "  -a X            action: A DUMPALL (default), D SHOWDELETED, O DUMPNOTVIAOFFSETS (walk the\n"
    "                  row heap), S SHOWDELETEDNOTVIAOFFSETS, C DUMPSCNS (list blocks and SCNs)\n"
    "  -g              print block, data header and row piece diagnostics\n"
    "  -v              print a location line before each row piece\n"
    "  -h              the short help\n"
    "\n"
    "Long options (--name VALUE or --name=VALUE):\n"
    "  --format F      text (default), jsonl (one JSON object per row piece) or csv\n"
    "  --verify        check every block (checksum, tail, format byte, address, data layer)\n"
    "                  instead of dumping it; exit status 4 when a block is damaged\n"
    "  --block-size N  block size: a power of two from 512 to 32768, or auto (found from the file)\n"
    "  --byte-order O  little (default), big (SPARC, POWER, Itanium servers) or auto\n"
    "  --charset NAME  convert CHAR, VARCHAR2 and LONG values from this database character set\n"
    "  --rows          whole rows instead of row pieces: chained and migrated rows followed\n"
    "                  through their pieces, cluster rows with their key columns (jsonl, csv)\n"
    "  --quiet         no progress line on a terminal (with --unload, no summary either)\n"
    "  --help          this help\n"
    "  --version       the version\n"
    "\n"
    "Tables (block size and byte order found from the files unless given):\n"
    "  --unload DIR    every table's rows as CSV files in DIR (created; one that is not empty only\n"
    "                  with --force), with scripts loading them into SQLite, PostgreSQL and\n"
    "                  Oracle, and summary.json; objects no schema describes typed by inference\n"
    "  --dictionary F  the SYSTEM data file, whose dictionary names the tables and columns\n"
    "  --schema FILE   the tables' columns and data objects from a schema file (what --ddl writes),\n"
    "                  when no SYSTEM data file survives\n"
    "  --infer         infer the columns of the data objects no schema describes from their rows\n"
    "  --list-tables   list every table of the dictionary (text, or jsonl with --format);\n"
    "                  with data files after the options, the blocks and rows they hold\n"
    "                  of each, and the data objects no table has\n"
    "  --ddl           write the schema (of --dictionary or --schema, and with --infer the\n"
    "                  inferred tables) as a schema file: CREATE TABLE statements with each\n"
    "                  column's type, in storage order\n"
    "  --table NAME    unload only this table, OWNER.TABLE or TABLE (repeatable)\n"
    "  --force         with --unload, write into a directory that is not empty\n"
    "\n"
    "Template keywords: NUMBER, FLOAT, VARCHAR2, CHAR, LONG, DATE, TIMESTAMP,\n"
    "TIMESTAMP WITH TIME ZONE, TIMESTAMP WITH LOCAL TIME ZONE, INTERVAL YEAR TO MONTH,\n"
    "INTERVAL DAY TO SECOND, BINARY_FLOAT, BINARY_DOUBLE, RAW, LONG RAW, NCHAR, NVARCHAR2,\n"
    "ROWID, UROWID, BOOLEAN, NOPRINT (leave the column out), UNKNOWN (hexadecimal).\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read, 2 a wrong command line,\n"
    "4 --verify found damaged blocks. Messages and warnings go to standard error\n"
    "(the dumper's own messages with the text format stay on standard output).\n"
    "The manual page trevanix(1) says more.\n";

namespace {


bool is_atol_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Maps the first letter of an -a value to its action, or -1.
int action_from_letter(char letter)
{
    switch (letter) {
    case 'A': case 'a': return DUMPALL;
    case 'D': case 'd': return SHOWDELETED;
    case 'O': case 'o': return DUMPNOTVIAOFFSETS;
    case 'S': case 's': return SHOWDELETEDNOTVIAOFFSETS;
    case 'C': case 'c': return DUMPSCNS;
    default: return -1;
    }
}

struct ValueOption {
    const char* name;
    const char* missing_message;
};

constexpr ValueOption kValueOptions[] = {
    {"-f", "Missing data file argument\n"},
    {"-c", "Missing column template file argument\n"},
    {"-n", "Missing number of blocks argument\n"},
    {"-z", "Missing block size argument\n"},
    {"-o", "Missing object ID argument\n"},
    {"-b", "Missing block number argument\n"},
    {"-s", "Missing separator argument\n"},
    {"-a", "Missing action argument\n"},
};

const ValueOption* find_value_option(const char* arg)
{
    for (const ValueOption& option : kValueOptions)
        if (std::strcmp(arg, option.name) == 0) return &option;
    return nullptr;
}

// Applies one option that takes a value. Returns false, with its message,
// when the value is not acceptable.
bool apply_value_option(char option, const char* value, RunSettings& s, std::string& message)
{
    switch (option) {
    case 'f': s.data_file = value; s.data_file_given = true; break;
    case 'c': s.template_file = value; s.template_given = true; break;
    case 'n': s.single_block = false; s.count = read_number(value); break;
    case 'z': s.block_size = static_cast<std::uint32_t>(read_number(value)); break;
    case 'o': s.object_filter = read_number(value); break;
    case 'b': s.block_number = read_number(value); s.single_block = true; break;
    case 's': s.separator = value[0]; break;
    case 'a': {
        int action = action_from_letter(value[0]);
        if (action < 0) {
            message = "Invalid action.";
            return false;
        }
        s.action = action;
        break;
    }
    default: break;
    }
    return true;
}

bool equals_ignoring_case(const char* text, const char* lower)
{
    for (; *text != '\0' && *lower != '\0'; ++text, ++lower)
        if (std::tolower(static_cast<unsigned char>(*text)) != *lower) return false;
    return *text == *lower;
}

// Long options: new behaviour, spelled --name value or --name=value. Their
// messages always go to standard error.
bool apply_format(const char* value, RunSettings& s, std::string& message)
{
    if (equals_ignoring_case(value, "text")) {
        s.format = OutputFormat::Text;
    } else if (equals_ignoring_case(value, "jsonl")) {
        s.format = OutputFormat::Jsonl;
    } else if (equals_ignoring_case(value, "csv")) {
        s.format = OutputFormat::Csv;
    } else {
        message = std::string("trevanix: --format wants text, jsonl or csv, not '") + value + "'\n";
        return false;
    }
    return true;
}

bool apply_verify(const char*, RunSettings& s, std::string&)
{
    s.verify = true;
    return true;
}

bool apply_help(const char*, RunSettings& s, std::string&)
{
    s.long_help = true;
    return true;
}

bool apply_version(const char*, RunSettings& s, std::string&)
{
    s.version = true;
    return true;
}

bool apply_quiet(const char*, RunSettings& s, std::string&)
{
    s.quiet = true;
    return true;
}

bool apply_rows(const char*, RunSettings& s, std::string&)
{
    s.rows = true;
    return true;
}

bool apply_unload(const char* value, RunSettings& s, std::string&)
{
    s.unload = true;
    s.unload_dir = value;
    return true;
}

bool apply_ddl(const char*, RunSettings& s, std::string&)
{
    s.ddl = true;
    return true;
}

bool apply_schema(const char* value, RunSettings& s, std::string&)
{
    s.schema_given = true;
    s.schema_file = value;
    return true;
}

bool apply_infer(const char*, RunSettings& s, std::string&)
{
    s.infer = true;
    return true;
}

bool apply_table(const char* value, RunSettings& s, std::string& message)
{
    if (*value == '\0') {
        message = "trevanix: --table wants a table's name, OWNER.TABLE or TABLE\n";
        return false;
    }
    s.tables.push_back(value);
    return true;
}

bool apply_force(const char*, RunSettings& s, std::string&)
{
    s.force = true;
    return true;
}

bool apply_block_size(const char* value, RunSettings& s, std::string& message)
{
    if (equals_ignoring_case(value, "auto")) {
        s.block_size_auto = true;
        s.long_block_size = 0;
        return true;
    }
    std::uint64_t size = 0;
    const char* p = value;
    for (; *p >= '0' && *p <= '9' && size <= 32768; ++p) size = size * 10 + static_cast<std::uint64_t>(*p - '0');
    if (*p != '\0' || p == value || size < 512 || size > 32768 || (size & (size - 1)) != 0) {
        message = std::string("trevanix: --block-size wants a power of two from 512 to 32768, or auto, not '") +
                  value + "'\n";
        return false;
    }
    s.block_size_auto = false;
    s.long_block_size = static_cast<std::uint32_t>(size);
    return true;
}

bool apply_byte_order(const char* value, RunSettings& s, std::string& message)
{
    s.byte_order_auto = equals_ignoring_case(value, "auto");
    s.byte_order_given = !s.byte_order_auto;
    if (equals_ignoring_case(value, "little") || s.byte_order_auto) {
        s.byte_order = ByteOrder::Little;
    } else if (equals_ignoring_case(value, "big")) {
        s.byte_order = ByteOrder::Big;
    } else {
        message = std::string("trevanix: --byte-order wants big, little or auto, not '") + value + "'\n";
        return false;
    }
    return true;
}

bool apply_charset(const char* value, RunSettings& s, std::string& message)
{
    if (!is_charset_name(value)) {
        message = unknown_charset_message(value);
        return false;
    }
    s.charset = value;
    return true;
}

bool apply_dictionary(const char* value, RunSettings& s, std::string& message)
{
    if (*value == '\0') {
        message = "trevanix: --dictionary wants the path of the SYSTEM data file\n";
        return false;
    }
    s.dictionary_file = value;
    return true;
}

bool apply_list_tables(const char*, RunSettings& s, std::string&)
{
    s.list_tables = true;
    return true;
}

struct LongOption {
    const char* name;
    bool takes_value;
    bool (*apply)(const char* value, RunSettings& s, std::string& message);
};

constexpr LongOption kLongOptions[] = {
    {"--format", true, apply_format},
    {"--verify", false, apply_verify},
    {"--block-size", true, apply_block_size},
    {"--byte-order", true, apply_byte_order},
    {"--charset", true, apply_charset},
    {"--rows", false, apply_rows},
    {"--unload", true, apply_unload},
    {"--dictionary", true, apply_dictionary},
    {"--schema", true, apply_schema},
    {"--infer", false, apply_infer},
    {"--list-tables", false, apply_list_tables},
    {"--ddl", false, apply_ddl},
    {"--table", true, apply_table},
    {"--force", false, apply_force},
    {"--quiet", false, apply_quiet},
    {"--help", false, apply_help},
    {"--version", false, apply_version},
};

// "Unknown option --verfy (did you mean --verify?)": the nearest long
// option is named when a typo or two away, or when the word starts it.
std::string unknown_option_message(std::string_view word)
{
    const std::string_view name = word.substr(0, word.find('='));
    const LongOption* nearest = nullptr;
    std::size_t best = 3;
    for (const LongOption& option : kLongOptions) {
        const std::string_view candidate = option.name;
        std::size_t distance = edit_distance(name, candidate);
        if (name.size() > 3 && candidate.starts_with(name)) distance = std::min<std::size_t>(distance, 1);
        if (distance < best) {
            best = distance;
            nearest = &option;
        }
    }
    std::string message = "trevanix: Unknown option " + std::string(name);
    if (nearest != nullptr) message += std::string(" (did you mean ") + nearest->name + "?)";
    return message + "; trevanix --help lists every option\n";
}

// The long option `arg` names (before any '='), or nullptr.
const LongOption* find_long_option(const char* arg, const char*& inline_value)
{
    const char* equals = std::strchr(arg, '=');
    const std::size_t length = equals ? static_cast<std::size_t>(equals - arg) : std::strlen(arg);
    for (const LongOption& option : kLongOptions) {
        if (std::strlen(option.name) == length && std::strncmp(arg, option.name, length) == 0) {
            inline_value = equals ? equals + 1 : nullptr;
            return &option;
        }
    }
    return nullptr;
}

// What the options of the tables' and the schema's modes (--unload, --ddl,
// --list-tables) and of the schema's sources (--dictionary, --schema,
// --infer) do not go with; empty when nothing.
std::string table_option_conflict(const RunSettings& s)
{
    const int modes = int{s.unload} + int{s.ddl} + int{s.list_tables};
    if (modes > 1)
        return "trevanix: --unload, --ddl and --list-tables do not go together: each is a run of its own\n";
    const bool dictionary = !s.dictionary_file.empty();
    if (modes == 0) {
        if (dictionary) return "trevanix: --dictionary is read by --unload, --ddl and --list-tables: add one of them\n";
        if (s.infer) return "trevanix: --infer goes with --ddl or --unload\n";
        if (s.schema_given) return "trevanix: --schema goes with --unload or --ddl\n";
        if (!s.tables.empty()) return "trevanix: --table goes with --unload or --ddl\n";
        if (s.force) return "trevanix: --force goes with --unload\n";
        return "";
    }
    if (dictionary && s.schema_given)
        return "trevanix: --dictionary and --schema are two sources of the schema: give one of them\n";
    if (s.force && !s.unload) return "trevanix: --force goes with --unload\n";
    if (s.list_tables) {
        if (!dictionary) return "trevanix: --list-tables reads the data dictionary: add --dictionary SYSTEM_FILE\n";
        if (s.schema_given || s.infer || !s.tables.empty())
            return "trevanix: --list-tables lists the dictionary's tables: leave out --schema, --infer and --table\n";
        if (s.verify || s.rows || s.template_given || s.action == DUMPSCNS)
            return "trevanix: --list-tables writes its own list: leave out --rows, --verify, -c and -a C\n";
        if (s.format == OutputFormat::Csv) return "trevanix: --list-tables writes text or jsonl, not csv\n";
        return "";
    }
    if (s.verify || s.rows || s.format != OutputFormat::Text || s.template_given || s.action == DUMPSCNS)
        return "trevanix: --unload and --ddl type the columns from the schema and write their own files: leave "
               "out --format, --rows, --verify, -c and -a C\n";
    if (s.ddl && !dictionary && !s.schema_given && !s.infer)
        return "trevanix: --ddl prints the schema of --dictionary SYSTEM_FILE or --schema FILE, or with --infer the "
               "one the data files' rows suggest\n";
    return "";
}

// The first argument error of a command line, and where it is printed.
struct ArgumentError {
    std::string message;
    bool to_messages = false;  // always for long options
    bool found() const { return !message.empty(); }
    void note(std::string text, bool long_option)
    {
        if (found()) return;
        message = std::move(text);
        to_messages = long_option;
    }
};

}  // namespace

std::int32_t read_number(const char* text)
{
    const char* p = text;
    while (is_atol_space(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<std::uint32_t>(*p - '0');
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

bool parse_arguments(int argc, const char* const* argv, RunSettings& s, OutputSink& out, OutputSink& messages)
{
    if (argc <= 1) {
        s.help = true;
        return true;
    }
    // After an error the scan goes on, changing nothing that matters, only
    // to learn the output format: its message goes to standard error when
    // standard output is to hold records only.
    ArgumentError error;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* inline_value = nullptr;
        if (std::strcmp(arg, "-h") == 0) {
            s.help = true;
        } else if (std::strcmp(arg, "-g") == 0) {
            s.verbose = true;
        } else if (std::strcmp(arg, "-v") == 0) {
            s.show_location = true;
        } else if (const ValueOption* option = find_value_option(arg)) {
            if (i + 1 >= argc) {
                error.note(option->missing_message, false);
                break;
            }
            std::string message;
            if (!apply_value_option(option->name[1], argv[++i], s, message)) error.note(message, false);
        } else if (const LongOption* long_option = find_long_option(arg, inline_value)) {
            const char* value = inline_value;
            if (long_option->takes_value && value == nullptr) {
                if (i + 1 >= argc) {
                    error.note(std::string("trevanix: ") + long_option->name + " needs a value\n", true);
                    break;
                }
                value = argv[++i];
            } else if (!long_option->takes_value && value != nullptr) {
                error.note(std::string("trevanix: ") + long_option->name + " takes no value\n", true);
                continue;
            }
            std::string message;
            if (!long_option->apply(value, s, message)) error.note(message, true);
        } else if (arg[0] == '-' && arg[1] == '-' && arg[2] != '\0') {
            error.note(unknown_option_message(arg), true);
        } else if (arg[0] != '-' && arg[0] != '\0') {
            s.more_files.push_back(arg);
        }
        // Anything else is ignored.
    }
    // The tables' modes first: their message names everything they leave out.
    if (!error.found()) error.note(table_option_conflict(s), true);
    if (!error.found() && s.verify && s.format == OutputFormat::Csv)
        error.note("trevanix: --verify writes its report as text or jsonl, not csv\n", true);
    if (!error.found() && s.rows && s.format == OutputFormat::Text)
        error.note("trevanix: --rows writes JSON Lines or CSV: add --format jsonl or --format csv\n", true);
    if (!error.found() && s.rows && s.verify)
        error.note("trevanix: --rows and --verify do not go together: --verify checks blocks, not rows\n", true);
    if (!error.found() && s.rows && s.action == DUMPSCNS)
        error.note("trevanix: --rows lists rows and -a C lists blocks: leave one of them out\n", true);
    // The modes that read several data files take them after the options,
    // -f or not; the literal text output reads -f alone.
    if (s.reads_several_files() && !s.data_file_given && !s.more_files.empty()) {
        s.data_file = s.more_files.front();
        s.data_file_given = true;
        s.more_files.erase(s.more_files.begin());
    }
    if (!error.found()) return true;
    (error.to_messages || s.format != OutputFormat::Text ? messages : out).text(error.message);
    return false;
}

