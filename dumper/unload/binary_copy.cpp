#include "unload/binary_copy.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace unload {

namespace {

constexpr std::string_view kEndLines[] = {"\n\\.\n", "\n\\.\r\n"};
// The signature, the flags (none) and the length of the header's extension (none).
constexpr char kCopyHeader[] = "PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0";
constexpr std::size_t kCopyHeaderSize = 19;
constexpr std::size_t kReadSize = 1 << 16;

void put_big_endian(std::string& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}

// Reads the CSV the writer writes (RFC 4180, lines ending in CR LF) a byte
// at a time, and writes each record after the first as a tuple.
class CsvRecords {
public:
    explicit CsvRecords(OpenFile& out) : out_(out) {}

    void take(char c)
    {
        switch (state_) {
        case State::FieldStart:
            if (c == '"') {
                state_ = State::Quoted;
                quoted_ = true;
                return;
            }
            state_ = State::Unquoted;
            [[fallthrough]];
        case State::Unquoted: return take_unquoted(c);
        case State::Quoted:
            if (c == '"')
                state_ = State::AfterQuote;
            else
                field_ += c;
            return;
        case State::AfterQuote:
            if (c == '"') {
                field_ += c;
                state_ = State::Quoted;
                return;
            }
            return take_unquoted(c);
        }
    }

    // A record the file ends inside of.
    void finish()
    {
        if (state_ != State::FieldStart || !fields_.empty()) end_record();
    }

private:
    enum class State { FieldStart, Unquoted, Quoted, AfterQuote };

    void take_unquoted(char c)
    {
        if (carriage_return_) {
            carriage_return_ = false;
            if (c == '\n') return end_record();
            field_ += '\r';
        }
        if (c == ',') return end_field();
        if (c == '\r') {
            carriage_return_ = true;
            return;
        }
        field_ += c;
    }

    void end_field()
    {
        const bool null = !quoted_ && field_.empty();
        fields_.push_back({std::move(field_), null});
        field_.clear();
        quoted_ = false;
        state_ = State::FieldStart;
    }

    void end_record()
    {
        end_field();
        if (header_read_) write_tuple();
        header_read_ = true;
        fields_.clear();
    }

    void write_tuple()
    {
        std::string tuple;
        put_big_endian(tuple, static_cast<std::uint32_t>(fields_.size()), 2);
        out_.text(tuple);
        for (const Field& field : fields_) {
            tuple.clear();
            put_big_endian(tuple, field.null ? 0xFFFFFFFFu : static_cast<std::uint32_t>(field.text.size()), 4);
            out_.text(tuple);
            out_.text(field.text);
        }
    }

    struct Field {
        std::string text;
        bool null;
    };
    OpenFile& out_;
    State state_ = State::FieldStart;
    bool quoted_ = false;
    bool carriage_return_ = false;
    bool header_read_ = false;
    std::string field_;
    std::vector<Field> fields_;
};

}  // namespace

bool holds_copy_end_line(std::string_view field)
{
    for (std::string_view line : kEndLines)
        if (field.find(line) != std::string_view::npos) return true;
    return false;
}

bool write_binary_copy(const std::string& csv_path, OpenFile& out, std::string& failure)
{
    const int fd = ::open(csv_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failure = "cannot open " + csv_path + ": " + std::strerror(errno);
        return false;
    }
    out.text(std::string_view(kCopyHeader, kCopyHeaderSize));
    CsvRecords records(out);
    std::vector<char> buffer(kReadSize);
    while (true) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            failure = "cannot read " + csv_path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        for (ssize_t i = 0; i < n; ++i) records.take(buffer[static_cast<std::size_t>(i)]);
    }
    ::close(fd);
    records.finish();
    out.text(std::string_view("\377\377", 2));  // the trailer: a field count of -1
    return true;
}

}  // namespace unload
