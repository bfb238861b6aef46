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

std::string big_endian(std::uint32_t value, int bytes)
{
    std::string out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
    return out;
}

// Reads the CSV the writer writes (RFC 4180, lines ending in CR LF) a byte
// at a time, and writes each record after the first as a tuple, each field
// as it comes: its length and the tuple's field count are written when
// known, over the room left for them, so that a field of any size (a LOB's
// text) costs no memory.
class CsvRecords {
public:
    explicit CsvRecords(OpenFile& out) : out_(out) {}

    void take(char c)
    {
        if (state_ == State::RecordStart) begin_record();
        switch (state_) {
        case State::RecordStart:
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
                put(c);
            return;
        case State::AfterQuote:
            if (c == '"') {
                put(c);
                state_ = State::Quoted;
                return;
            }
            return take_unquoted(c);
        }
    }

    // A record the file ends inside of.
    void finish()
    {
        if (state_ != State::RecordStart) end_record();
    }

private:
    enum class State { RecordStart, FieldStart, Unquoted, Quoted, AfterQuote };
    static constexpr std::uint32_t kNull = 0xFFFFFFFFu;

    void begin_record()
    {
        fields_ = 0;
        if (header_read_) {
            count_at_ = out_.position();
            out_.text(big_endian(0, 2));
        }
        begin_field();
    }
    void begin_field()
    {
        state_ = State::FieldStart;
        quoted_ = false;
        size_ = 0;
        if (header_read_) {
            length_at_ = out_.position();
            out_.text(big_endian(0, 4));
        }
    }
    void put(char c)
    {
        ++size_;
        if (header_read_) out_.text(std::string_view(&c, 1));
    }

    void take_unquoted(char c)
    {
        if (carriage_return_) {
            carriage_return_ = false;
            if (c == '\n') return end_record();
            put('\r');
        }
        if (c == ',') {
            end_field();
            return begin_field();
        }
        if (c == '\r') {
            carriage_return_ = true;
            return;
        }
        put(c);
    }

    void end_field()
    {
        ++fields_;
        if (!header_read_) return;
        const bool null = !quoted_ && size_ == 0;
        out_.patch(length_at_, big_endian(null ? kNull : static_cast<std::uint32_t>(size_), 4));
    }

    void end_record()
    {
        end_field();
        if (header_read_) out_.patch(count_at_, big_endian(static_cast<std::uint32_t>(fields_), 2));
        header_read_ = true;
        state_ = State::RecordStart;
    }

    OpenFile& out_;
    State state_ = State::RecordStart;
    bool quoted_ = false;
    bool carriage_return_ = false;
    bool header_read_ = false;
    std::uint64_t size_ = 0;  // of the field
    std::uint32_t fields_ = 0;
    std::uint64_t count_at_ = 0;   // where the tuple's field count goes
    std::uint64_t length_at_ = 0;  // where the field's length goes
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
