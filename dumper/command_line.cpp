// Command line and run driver: turns the arguments into RunSettings and hands
// one block after another to process_block.
#include <cstring>
#include <string>

#include "charsets.h"
#include "trevanix.h"

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

namespace {

constexpr int kExitArgumentError = 2;
constexpr int kExitFailure = 1;
constexpr int kExitProblems = 4;  // --verify found damaged blocks

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

// Long options: new behaviour, spelled --name value or --name=value. Their
// messages always go to standard error.
bool apply_format(const char* value, RunSettings& s, std::string& message)
{
    if (std::strcmp(value, "text") == 0) {
        s.format = OutputFormat::Text;
    } else if (std::strcmp(value, "jsonl") == 0) {
        s.format = OutputFormat::Jsonl;
    } else if (std::strcmp(value, "csv") == 0) {
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

bool apply_block_size(const char* value, RunSettings& s, std::string& message)
{
    if (std::strcmp(value, "auto") == 0) {
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
    s.byte_order_auto = std::strcmp(value, "auto") == 0;
    if (std::strcmp(value, "little") == 0 || s.byte_order_auto) {
        s.byte_order = ByteOrder::Little;
    } else if (std::strcmp(value, "big") == 0) {
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
};

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
        }
        // Anything else is ignored.
    }
    if (!error.found() && s.verify && s.format == OutputFormat::Csv)
        error.note("trevanix: --verify writes its report as text or jsonl, not csv\n", true);
    if (!error.found()) return true;
    (error.to_messages || s.format != OutputFormat::Text ? messages : out).text(error.message);
    return false;
}

namespace {

// Ends the run: the printer's last words, and the exit status, which is
// kExitProblems when a verify run that read its blocks found anything wrong.
int end_run(DumpContext& ctx, bool completed, int status)
{
    if (ctx.settings.verify) end_verify(ctx);
    ctx.printer->run_end(ctx, completed);
    if (status == 0 && ctx.settings.verify && ctx.verify.tally.problems() > 0) return kExitProblems;
    return status;
}

}  // namespace

std::unique_ptr<RecordPrinter> make_printer(const RunSettings& settings)
{
    if (settings.verify)
        return settings.format == OutputFormat::Text ? make_verify_text_printer() : make_verify_jsonl_printer();
    switch (settings.format) {
    case OutputFormat::Jsonl: return make_jsonl_printer();
    case OutputFormat::Csv: return make_csv_printer();
    case OutputFormat::Text: break;
    }
    return make_text_printer();
}

int run_dump(int argc, const char* const* argv, OutputSink& out, OutputSink& messages)
{
    // On the heap: the context's place then does not depend on how much of
    // the stack the program's arguments and environment take.
    auto ctx = std::make_unique<DumpContext>(out, messages);
    RunSettings& s = ctx->settings;
    if (!parse_arguments(argc, argv, s, out, messages)) return kExitArgumentError;
    if (s.help) {
        out.text(kHelpText);
        out.byte('\n');
        return 0;
    }
    if (!s.data_file_given) {
        static constexpr char kNeedFile[] = "Need name of data file.\n";
        (s.format == OutputFormat::Text ? out : messages).text(kNeedFile);
        return static_cast<int>(sizeof kNeedFile - 1);
    }
    if (s.block_size == 0) s.block_size = 8192;
    if (!s.charset.empty()) {
        std::string message;
        ctx->charset = make_charset(s.charset, message);
        if (ctx->charset == nullptr) {
            messages.text(message);
            return kExitArgumentError;
        }
        ctx->decode_options.charset = ctx->charset.get();
    }
    if (s.long_block_size != 0) s.block_size = s.long_block_size;
    if ((s.block_size_auto || s.byte_order_auto) && find_block_layout(*ctx) != BLOCK_OK) return kExitFailure;
    ctx->printer = make_printer(s);
    // The export formats say which directory entry points at each piece,
    // in the heap walk too.
    ctx->find_slots = s.format != OutputFormat::Text;
    ctx->printer->run_start(*ctx);

    std::int64_t handled = 0;
    for (;;) {
        const int status = s.verify ? verify_block(*ctx) : process_block(*ctx);
        if (out.failed()) return kExitFailure;
        if (status != BLOCK_OK) return end_run(*ctx, true, status == BLOCK_END_OF_FILE ? 0 : kExitFailure);
        if (s.single_block) break;
        ++handled;
        // Block numbers wrap like the 32-bit counter they are.
        s.block_number = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.block_number) + 1u);
        if (s.count > 0 && handled == s.count) break;
    }
    return end_run(*ctx, false, 0);
}

int run_dump(int argc, const char* const* argv, OutputSink& out)
{
    OutputSink messages;
    return run_dump(argc, argv, out, messages);
}
