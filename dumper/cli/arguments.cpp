// The command line: turns the arguments into RunSettings.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "values/charsets.h"
#include "values/escaped_text.h"
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
    "       trevanix --inventory [--format jsonl] FILE_OR_DIRECTORY...\n"
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
    "                  instead of dumping it; exit status 4 when a block is damaged; with\n"
    "                  --dictionary also the tables' segments below their high water marks\n"
    "  --block-size N  block size: a power of two from 512 to 32768, or auto (found from the file)\n"
    "  --byte-order O  little (default), big (SPARC, POWER, Itanium servers) or auto\n"
    "  --charset NAME  convert CHAR, VARCHAR2 and LONG values from this database character set\n"
    "  --rows          whole rows instead of row pieces: chained and migrated rows followed\n"
    "                  through their pieces, cluster rows with their key columns (jsonl, csv)\n"
    "  --quiet         no progress line on a terminal (with --unload, no summary either)\n"
    "  --jobs N        workers reading the blocks (default: every processor for --unload, --verify,\n"
    "                  --rows, --ddl --infer, --list-tables and --format; 1 for the dumper's own\n"
    "                  output); the output is the same whatever N\n"
    "  --help          this help\n"
    "  --version       the version\n"
    "\n"
    "Tables (block size and byte order found from the files unless given):\n"
    "  --unload DIR    every table's rows as CSV files in DIR (created; one that is not empty only\n"
    "                  with --force), with scripts loading them into SQLite, PostgreSQL and\n"
    "                  Oracle, and summary.json; objects no schema describes typed by inference\n"
    "  --dictionary F  the SYSTEM data file, whose dictionary names the tables and columns; auto\n"
    "                  (the default without --schema) takes the one among the data files; once\n"
    "                  per database or container when the files are of several (database ids)\n"
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
    "  --force         with --unload or --merge, write into a directory that is not empty\n"
    "  --shard K/N     with --unload, unload only the K-th of N parts of the blocks into a part\n"
    "                  directory (every shard reads all the files; --merge joins the parts)\n"
    "  --merge OUT     join the part directories named after the options into OUT, as one\n"
    "                  unload of all the parts' blocks writes it\n"
    "  --lob-files     with --unload, write each CLOB, NCLOB and BLOB value to a file of its own\n"
    "                  under DIR/lobs/OWNER.TABLE/, its path in the CSV field\n"
    "  Directories among the data files are searched through; what in them is no data file is\n"
    "  left out, with a line saying so.\n"
    "\n"
    "Files:\n"
    "  --inventory     say what each file is (data file, redo log, control file, ...) and, for data\n"
    "                  files, what their headers say; then which files of each database are found\n"
    "\n"
    "Template keywords: NUMBER, FLOAT, VARCHAR2, CHAR, LONG, DATE, TIMESTAMP,\n"
    "TIMESTAMP WITH TIME ZONE, TIMESTAMP WITH LOCAL TIME ZONE, INTERVAL YEAR TO MONTH,\n"
    "INTERVAL DAY TO SECOND, BINARY_FLOAT, BINARY_DOUBLE, RAW, LONG RAW, NCHAR, NVARCHAR2,\n"
    "ROWID, UROWID, BOOLEAN, NOPRINT (leave the column out), UNKNOWN (hexadecimal).\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read, 2 a wrong command line,\n"
    "4 --verify found damaged blocks, or --unload completed with blocks damaged or lost,\n"
    "rows incomplete or values not decoded. Messages and warnings go to standard error\n"
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

// The most workers --jobs takes: more than any machine's processors, few
// enough that the ranges in flight stay within the memory bound.
constexpr unsigned kMostJobs = 256;

bool apply_jobs(const char* value, RunSettings& s, std::string& message)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long jobs = std::strtoul(value, &end, 10);
    if (*value < '0' || *value > '9' || *end != '\0' || errno != 0 || jobs == 0 || jobs > kMostJobs) {
        message = "trevanix: --jobs wants a number of workers from 1 to " + std::to_string(kMostJobs) + ", not '" +
                  terminal_text(value) + "'\n";
        return false;
    }
    s.jobs_given = static_cast<unsigned>(jobs);
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

// The most parts --shard cuts a run into.
constexpr unsigned long kMostShards = 100000;

// K/N, 1 <= K <= N.
bool apply_shard(const char* value, RunSettings& s, std::string& message)
{
    const std::string_view text(value);
    const std::size_t slash = text.find('/');
    auto number = [](std::string_view digits, unsigned long& n) {
        if (digits.empty() || digits.size() > 6) return false;
        n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            n = n * 10 + static_cast<unsigned long>(c - '0');
        }
        return true;
    };
    unsigned long k = 0;
    unsigned long n = 0;
    if (slash == std::string_view::npos || !number(text.substr(0, slash), k) || !number(text.substr(slash + 1), n) ||
        n == 0 || n > kMostShards || k == 0 || k > n) {
        message = "trevanix: --shard wants K/N, the part K of N parts (1 <= K <= N <= " + std::to_string(kMostShards) +
                  "), not '" + terminal_text(value) + "'\n";
        return false;
    }
    s.shard = static_cast<unsigned>(k);
    s.shards = static_cast<unsigned>(n);
    return true;
}

bool apply_merge(const char* value, RunSettings& s, std::string& message)
{
    if (*value == '\0') {
        message = "trevanix: --merge wants the directory to write the unload into, then the part directories\n";
        return false;
    }
    s.merge = true;
    s.merge_dir = value;
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

bool apply_lob_files(const char*, RunSettings& s, std::string&)
{
    s.lob_files = true;
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
    // A file named auto is ./auto.
    if (std::strcmp(value, "auto") == 0) {
        s.dictionary_auto = true;
        return true;
    }
    if (s.dictionary_files.empty()) s.dictionary_file = value;
    s.dictionary_files.emplace_back(value);
    return true;
}

bool apply_inventory(const char*, RunSettings& s, std::string&)
{
    s.inventory = true;
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
    {"--inventory", false, apply_inventory},
    {"--ddl", false, apply_ddl},
    {"--table", true, apply_table},
    {"--force", false, apply_force},
    {"--lob-files", false, apply_lob_files},
    {"--quiet", false, apply_quiet},
    {"--jobs", true, apply_jobs},
    {"--shard", true, apply_shard},
    {"--merge", true, apply_merge},
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
    if (s.merge) {
        if (s.unload || s.ddl || s.list_tables || s.inventory || s.names_dictionary() || s.schema_given || s.infer ||
            !s.tables.empty() || s.shards != 0 || s.verify || s.rows || s.format != OutputFormat::Text ||
            s.template_given || s.action != ACTION_NONE || s.data_file_given || !s.charset.empty())
            return "trevanix: --merge OUT PART_DIR... takes the rest from the parts: give it only --force, --quiet "
                   "and --jobs besides\n";
        if (s.more_files.empty()) return "trevanix: --merge OUT wants the part directories the shards wrote\n";
        return "";
    }
    if (s.shards != 0 && !s.unload) return "trevanix: --shard goes with --unload\n";
    const int modes = int{s.unload} + int{s.ddl} + int{s.list_tables};
    if (modes > 1)
        return "trevanix: --unload, --ddl and --list-tables do not go together: each is a run of its own\n";
    const bool dictionary = s.names_dictionary();
    // Without --dictionary the dictionary is taken from the SYSTEM file
    // among the data files, when there is one.
    const bool files = s.data_file_given || !s.more_files.empty();
    if (s.inventory) {
        if (modes > 0 || dictionary || s.schema_given || s.infer || !s.tables.empty() || s.force || s.lob_files ||
            s.verify || s.rows || s.template_given || s.action != ACTION_NONE)
            return "trevanix: --inventory looks at the files alone: leave out the other options but --format\n";
        if (s.format == OutputFormat::Csv) return "trevanix: --inventory writes text or jsonl, not csv\n";
        if (!files) return "trevanix: --inventory wants the files or directories to look at\n";
        return "";
    }
    if (modes == 0) {
        if (s.verify && s.dictionary_files.size() > 1)
            return "trevanix: --verify reads one dictionary: give the files of one database with its --dictionary\n";
        if (dictionary && !s.verify)
            return "trevanix: --dictionary is read by --unload, --ddl, --list-tables and --verify: add one of them\n";
        if (s.infer) return "trevanix: --infer goes with --ddl or --unload\n";
        if (s.schema_given) return "trevanix: --schema goes with --unload or --ddl\n";
        if (!s.tables.empty()) return "trevanix: --table goes with --unload or --ddl\n";
        if (s.force) return "trevanix: --force goes with --unload\n";
        if (s.lob_files) return "trevanix: --lob-files goes with --unload\n";
        return "";
    }
    if (dictionary && s.schema_given)
        return "trevanix: --dictionary and --schema are two sources of the schema: give one of them\n";
    if (s.dictionary_auto && !s.dictionary_files.empty())
        return "trevanix: --dictionary auto takes the SYSTEM file of each database among the data files: leave it "
               "out, or leave out --dictionary SYSTEM_FILE\n";
    if (s.force && !s.unload) return "trevanix: --force goes with --unload\n";
    if (s.lob_files && !s.unload) return "trevanix: --lob-files goes with --unload\n";
    if (s.list_tables) {
        if (!dictionary && !files)
            return "trevanix: --list-tables reads the data dictionary: add --dictionary SYSTEM_FILE\n";
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

// ---------------------------------------------------------------------------
// Warnings: what the literal command line ignores, or reads as other than it
// is written. They change nothing of the run; they only say it.

constexpr const char* kActionNames[] = {"", "DUMPALL", "SHOWDELETED", "DUMPNOTVIAOFFSETS", "SHOWDELETEDNOTVIAOFFSETS",
                                        "DUMPSCNS"};
constexpr char kActionLetters[] = "-ADOSC";

std::string lower_case(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool is_flag_letter(char c) { return c == 'h' || c == 'g' || c == 'v'; }
bool is_value_letter(char c) { return c != '\0' && std::strchr("fcnzobsa", c) != nullptr; }
bool is_number_option(char option) { return option == 'n' || option == 'z' || option == 'o' || option == 'b'; }

// An argument as a warning shows it: as it is when it is plain printable
// ASCII (unless `quote`), otherwise quoted, with every other byte as \xNN,
// so that no argument can drive the terminal the warning is read on.
std::string shown(std::string_view word, bool quote = false)
{
    const bool plain = !quote && !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7F && c != '\'' && c != '"' && c != '\\';
    });
    if (plain) return std::string(word);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "'";
    for (char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\'' && c != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 15];
        }
    }
    return text + "'";
}

// A word that names an option, or looks like a long one.
bool looks_like_option(const char* word)
{
    const char* inline_value = nullptr;
    return std::strcmp(word, "-h") == 0 || std::strcmp(word, "-g") == 0 || std::strcmp(word, "-v") == 0 ||
           find_value_option(word) != nullptr || find_long_option(word, inline_value) != nullptr ||
           (word[0] == '-' && word[1] == '-' && word[2] != '\0');
}

const char* value_meaning(char option)
{
    switch (option) {
    case 'f': return "the data file's name";
    case 'c': return "the template's name";
    case 'n': return "the number of blocks";
    case 'z': return "the block size";
    case 'o': return "the object ID";
    case 'b': return "the block number";
    case 's': return "the separator";
    default: return "the action";
    }
}

// What 0 means as the value of a number option.
std::string zero_meaning(char option)
{
    switch (option) {
    case 'n': return " (no limit)";
    case 'z': return " (the default block size, 8192)";
    case 'o': return " (no object filter)";
    default: return " (block 0)";
    }
}

// How a number option's value reads, as the rest of a sentence about it,
// or nothing when it reads as it is written.
std::string number_reading(char option, const char* text)
{
    const char* p = text;
    while (is_atol_space(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    std::uint64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (magnitude <= (std::uint64_t{1} << 33)) magnitude = magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
    const std::int32_t read = read_number(text);
    // -z is unsigned; the others are signed 32-bit numbers.
    bool fits = true;
    std::string value;
    if (option == 'z') {
        fits = magnitude == 0 || (!negative && magnitude <= UINT32_MAX);
        value = std::to_string(static_cast<std::uint32_t>(read));
    } else {
        fits = negative ? magnitude <= std::uint64_t{1} << 31 : magnitude <= INT32_MAX;
        value = std::to_string(read);
    }
    if (read == 0) value += zero_meaning(option);
    if (p == digits) return "is no number: read as " + value;
    if (!fits) return "is read as " + value + ": numbers wrap around in 32 bits";
    if (*p != '\0')
        return "is read as " + value + ": numbers are decimal and end at their first character that is not a digit";
    return "";
}

// The warning about an option's value, or nothing.
std::string value_warning(char option, const char* value)
{
    const std::string given = std::string("-") + option + " " + shown(value);
    std::string taken;
    if (looks_like_option(value))
        taken = std::string("-") + option + " " + shown(value) + ": " + shown(value) + " is taken as " +
                value_meaning(option) + ", not as an option";
    // How the value reads, as the rest of a sentence about it.
    std::string reading;
    if (is_number_option(option)) {
        reading = number_reading(option, value);
    } else if (option == 's') {
        if (value[0] == '\0')
            reading = "makes the separator a zero byte";
        else if (value[1] != '\0')
            reading = "is read as " + shown(std::string(1, value[0]), true) +
                      ": the separator is the first character alone";
    } else if (option == 'a' && value[0] != '\0' && value[1] != '\0') {
        const int action = action_from_letter(value[0]);
        reading = std::string("is read as -a ") + kActionLetters[action] + " (" + kActionNames[action] +
                  "): only its first letter counts";
        for (int other = DUMPALL; other <= DUMPSCNS; ++other)
            if (other != action && equals_ignoring_case(value, lower_case(kActionNames[other]).c_str()))
                reading += std::string("; ") + kActionNames[other] + " is -a " + kActionLetters[other];
    }
    if (taken.empty() && reading.empty()) return "";
    if (reading.empty()) return "trevanix: " + taken + "\n";
    if (taken.empty()) return "trevanix: " + given + " " + reading + "\n";
    return "trevanix: " + taken + "; it " + reading + "\n";
}

// "-gv" as "-g -v", "-b5" as "-b 5": the letters of an argument that runs
// options together, written apart; empty when the argument is no such run.
std::string options_apart(const char* arg)
{
    std::string apart;
    for (const char* p = arg + 1; *p != '\0'; ++p) {
        if (!is_flag_letter(*p) && !is_value_letter(*p)) return "";
        if (!apart.empty()) apart += ' ';
        apart += '-';
        apart += *p;
        if (is_value_letter(*p)) {
            if (p[1] != '\0') apart += " " + shown(p + 1);
            break;
        }
    }
    return apart;
}

// The warning about an argument that starts with one hyphen (or is empty)
// and names no option: it is ignored.
std::string ignored_argument_warning(const char* arg)
{
    if (arg[0] == '\0') return "trevanix: an empty argument ('') was ignored\n";
    const std::string word = shown(arg);
    if (std::strcmp(arg, "-") == 0)
        return "trevanix: - was ignored: trevanix reads no standard input (name the data file after -f)\n";
    if (std::strcmp(arg, "--") == 0) return "trevanix: -- was ignored\n";
    const char* inline_value = nullptr;
    const std::string doubled = std::string("-") + arg;
    if (find_long_option(doubled.c_str(), inline_value) != nullptr)
        return "trevanix: " + word + " was ignored: long options start with two hyphens: " + shown(doubled) + "\n";
    if (arg[1] != '\0' && arg[2] != '\0') {
        const std::string apart = options_apart(arg);
        const bool value = is_value_letter(arg[1]);
        const bool values = std::any_of(arg + 1, arg + std::strlen(arg), is_value_letter);
        if (!apart.empty())
            return "trevanix: " + word + " was ignored: " +
                   (value ? "an option and its value" : values ? "options and values" : "options") +
                   " are separate arguments (" + apart + ")\n";
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(arg[1])));
    if (arg[2] == '\0' && lower != arg[1] && (is_flag_letter(lower) || is_value_letter(lower)))
        return "trevanix: " + word + " was ignored: options are case-sensitive (-" + lower + " is one)\n";
    return "trevanix: " + word + " was ignored: it is no option (trevanix --help lists every option)\n";
}

// What the scan of the arguments saw that warnings are made of.
struct ScanNotes {
    struct Value {
        int at;
        char option;
        const char* value;
    };
    struct Word {
        int at;
        const char* word;
    };
    std::vector<Value> values;  // every single-letter option with its value
    std::vector<Word> words;    // the words that are no option
    std::vector<std::pair<int, std::string>> warnings;

    void warn(int at, std::string text)
    {
        if (!text.empty()) warnings.emplace_back(at, std::move(text));
    }
};

// Whether two values of one option set the same.
bool same_effect(char option, const char* a, const char* b)
{
    if (is_number_option(option)) return read_number(a) == read_number(b);
    if (option == 'a') return action_from_letter(a[0]) == action_from_letter(b[0]);
    if (option == 's') return a[0] == b[0];
    return std::strcmp(a, b) == 0;
}

// An option given again: the value the last one sets is the one that counts.
void warn_replaced(const RunSettings& s, ScanNotes& notes)
{
    for (std::size_t i = 0; i < notes.values.size(); ++i) {
        const ScanNotes::Value& earlier = notes.values[i];
        const ScanNotes::Value* last = nullptr;
        for (std::size_t j = i + 1; j < notes.values.size(); ++j)
            if (notes.values[j].option == earlier.option) last = &notes.values[j];
        if (last == nullptr || same_effect(earlier.option, earlier.value, last->value)) continue;
        std::string why = "a later option replaces an earlier one";
        if (earlier.option == 'f')
            why = s.reads_several_files() || s.list_tables
                      ? "name the other data files after the options, without -f"
                      : "the text output reads one data file (--format jsonl or csv and --verify read every data "
                        "file named after the options)";
        notes.warn(earlier.at, std::string("trevanix: -") + earlier.option + " " + shown(earlier.value) +
                                   " was replaced by the -" + earlier.option + " " + shown(last->value) +
                                   " after it: " + why + "\n");
    }
}

// -n before the last -b: -b reads its one block, and the count counts for nothing.
void warn_count_before_block(ScanNotes& notes)
{
    const ScanNotes::Value* count = nullptr;
    const ScanNotes::Value* block = nullptr;
    for (const ScanNotes::Value& v : notes.values) {
        if (v.option == 'n') count = &v;
        if (v.option == 'b') block = &v;
    }
    if (count == nullptr || block == nullptr || count->at > block->at) return;
    notes.warn(count->at, "trevanix: -n " + shown(count->value) + " has no effect: the -b " + shown(block->value) +
                              " after it reads one block alone (-b " + shown(block->value) + " -n " +
                              shown(count->value) + " reads " + std::to_string(read_number(count->value)) +
                              " blocks from block " + std::to_string(read_number(block->value)) + ")\n");
}

// The data files named that the run does not read.
void warn_unread_files(const RunSettings& s, ScanNotes& notes)
{
    if (s.inventory) return;  // every word names a file or directory to look at
    if (!s.reads_data_files() && !s.list_tables) {
        const std::string why = " was not read: --ddl without --infer reads no data file\n";
        for (const ScanNotes::Value& v : notes.values)
            if (v.option == 'f') notes.warn(v.at, "trevanix: -f " + shown(v.value) + why);
        for (const ScanNotes::Word& w : notes.words) notes.warn(w.at, "trevanix: " + shown(w.word) + why);
        return;
    }
    // The words after --merge's options are the parts it joins.
    if (s.reads_several_files() || s.list_tables || s.merge) return;
    for (const ScanNotes::Word& w : notes.words) {
        if (s.data_file_given)
            notes.warn(w.at, "trevanix: " + shown(w.word) +
                                 " was not read: the text output reads the -f file alone (--format jsonl or csv "
                                 "and --verify read every data file named)\n");
        else
            notes.warn(w.at, "trevanix: " + shown(w.word) + " was not read: the data file goes after -f, as in " +
                                 "trevanix -f " + shown(w.word) + "\n");
    }
}

// The warnings in the order of the arguments they are about.
std::vector<std::string> ordered_warnings(const RunSettings& s, ScanNotes& notes)
{
    warn_replaced(s, notes);
    warn_count_before_block(notes);
    warn_unread_files(s, notes);
    std::stable_sort(notes.warnings.begin(), notes.warnings.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> lines;
    for (auto& [at, text] : notes.warnings) lines.push_back(std::move(text));
    return lines;
}

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
    ScanNotes notes;
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
            const char letter = option->name[1];
            const char* value = argv[++i];
            if (!apply_value_option(letter, value, s, message)) {
                error.note(message, false);
                continue;
            }
            notes.values.push_back({i - 1, letter, value});
            notes.warn(i - 1, value_warning(letter, value));
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
            notes.words.push_back({i, arg});
        } else {
            notes.warn(i, ignored_argument_warning(arg));
        }
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
    if (!error.found()) {
        s.warnings = ordered_warnings(s, notes);
        return true;
    }
    (error.to_messages || s.format != OutputFormat::Text ? messages : out).text(error.message);
    return false;
}

