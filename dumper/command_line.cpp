// Command line and run driver: turns the arguments into RunSettings and hands
// one block after another to process_block.
#include <cstring>

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

// Applies one option that takes a value. Returns false (after printing its
// message) when the value is not acceptable.
bool apply_value_option(char option, const char* value, RunSettings& s, OutputSink& out)
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
            out.text("Invalid action.");
            return false;
        }
        s.action = action;
        break;
    }
    default: break;
    }
    return true;
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

bool parse_arguments(int argc, const char* const* argv, RunSettings& s, OutputSink& out)
{
    if (argc <= 1) {
        s.help = true;
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0) {
            s.help = true;
        } else if (std::strcmp(arg, "-g") == 0) {
            s.verbose = true;
        } else if (std::strcmp(arg, "-v") == 0) {
            s.show_location = true;
        } else if (const ValueOption* option = find_value_option(arg)) {
            if (i + 1 >= argc) {
                out.text(option->missing_message);
                return false;
            }
            if (!apply_value_option(option->name[1], argv[++i], s, out)) return false;
        }
        // Anything else is ignored.
    }
    return true;
}

int run_dump(int argc, const char* const* argv, OutputSink& out, OutputSink& messages)
{
    // On the heap: the context's place then does not depend on how much of
    // the stack the program's arguments and environment take.
    auto ctx = std::make_unique<DumpContext>(out, messages);
    RunSettings& s = ctx->settings;
    if (!parse_arguments(argc, argv, s, out)) return kExitArgumentError;
    if (s.help) {
        out.text(kHelpText);
        out.byte('\n');
        return 0;
    }
    if (!s.data_file_given) {
        static constexpr char kNeedFile[] = "Need name of data file.\n";
        out.text(kNeedFile);
        return static_cast<int>(sizeof kNeedFile - 1);
    }
    if (s.block_size == 0) s.block_size = 8192;
    ctx->printer = make_text_printer();

    std::int64_t handled = 0;
    for (;;) {
        const int status = process_block(*ctx);
        if (out.failed()) return kExitFailure;
        if (status != BLOCK_OK) {
            ctx->printer->run_end(*ctx, true);
            return status == BLOCK_END_OF_FILE ? 0 : kExitFailure;
        }
        if (s.single_block) break;
        ++handled;
        // Block numbers wrap like the 32-bit counter they are.
        s.block_number = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.block_number) + 1u);
        if (s.count > 0 && handled == s.count) break;
    }
    ctx->printer->run_end(*ctx, false);
    return 0;
}

int run_dump(int argc, const char* const* argv, OutputSink& out)
{
    OutputSink messages;
    return run_dump(argc, argv, out, messages);
}
