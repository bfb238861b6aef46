// How each column of a row piece is exported, decided in one place for both
// export formats: a NOPRINT column is left out; a NULL is null; a value cut
// short by the block end, or that its type declines, is its bytes in
// hexadecimal; text that is the value's own bytes is written as it is
// (where the format can hold it); anything else is the text its type's
// decoder gives. A column the template types CLOB, NCLOB or BLOB is the
// LOB's value, read from its locator and pages a piece at a time (its text
// in UTF-8, a BLOB's bytes in hexadecimal), or its locator's bytes when
// the value cannot be read wholly (said, and counted). A Spelling type
// writes each of these in its format.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "print/lob_columns.h"
#include "print/output_sink.h"
#include "read/column_template.h"
#include "values/column_types.h"
#include "values/lob_text.h"

// Where the columns written lie, for what is said of a LOB value; and
// whether its locator's fields are written beside it (the piece export).
struct ColumnsAt {
    PieceAt head;
    std::uint32_t row_offset = 0;
    bool lob_fields = false;
};

// How many of the first `count` columns a template exports (all of them
// without one).
inline std::size_t exported_columns(const ColumnTemplate* column_template, std::size_t count)
{
    if (column_template == nullptr) return count;
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) n += column_template->type(i).role != TypeRole::Suppressed;
    return n;
}

class ColumnExporter {
public:
    ColumnExporter(const ColumnTemplate* column_template, const DecodeOptions& options, LobColumns* lobs)
        : template_(column_template), options_(options), lobs_(lobs), scratch_(kMaxValueText)
    {
    }

    // Writes the values of a piece's or a row's columns to `sink`; returns
    // how many were written.
    template <class Spelling>
    std::size_t put(OutputSink& sink, std::span<const ColumnValue> values, const ColumnsAt& at)
    {
        std::size_t written = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const ColumnValue& value = values[i];
            const ColumnType& type = template_ != nullptr ? template_->type(i) : kUnlistedType;
            if (type.role == TypeRole::Suppressed) continue;
            Spelling::separator(sink, written++ == 0);
            if (value.null) {
                Spelling::null(sink);
                continue;
            }
            if (type.lob != LobType::None && lobs_ != nullptr) {
                put_lob<Spelling>(sink, type.lob, value, i + 1, at);
                continue;
            }
            const bool decoded = !value.truncated() && type.role == TypeRole::Decoded;
            if (decoded && type.plain_text) {
                // Text that needs no quotes or escapes is decoded straight into the output.
                if (!Spelling::plain(sink, type, value.bytes, options_)) Spelling::hex(sink, value);
            } else if (decoded && type.text_bytes && options_.charset == nullptr) {
                // The text is the value's own bytes, where they lie.
                if (!Spelling::raw_text(sink, value)) Spelling::hex(sink, value);
            } else if (char* end = decoded ? type.decode(value.bytes, scratch_.data(), options_) : nullptr) {
                Spelling::text(sink, scratch_.data(), static_cast<std::size_t>(end - scratch_.data()));
            } else {
                Spelling::hex(sink, value);
            }
        }
        return written;
    }

    // The same for the columns of a piece, in the block they lie in.
    template <class Spelling>
    std::size_t put(OutputSink& sink, const BlockView& block, std::span<const ColumnRecord> columns,
                    const ColumnsAt& at)
    {
        for (std::size_t i = 0; i < columns.size(); ++i) values_[i] = ColumnValue::of(block, columns[i]);
        return put<Spelling>(sink, std::span<const ColumnValue>(values_.data(), columns.size()), at);
    }

private:
    // A LOB value, or its locator's bytes, said, when it cannot be read wholly.
    template <class Spelling>
    void put_lob(OutputSink& sink, LobType type, const ColumnValue& value, std::size_t column, const ColumnsAt& at)
    {
        unload::LobValueReader& reader = lobs_->reader;
        const unload::LobValue lob =
            value.truncated() ? unload::LobValue{} : reader.find(value.bytes, nullptr, at.head);
        const bool has_fields = at.lob_fields && lob.status != unload::LobValue::Status::Unreadable;
        const unload::LobValue* fields = has_fields ? &lob : nullptr;
        const auto pieces = [&reader](std::size_t i) { return reader.piece(i); };
        if (!lob.readable()) {
            lobs_->say(at.head, at.row_offset, column, lob_problem(lob, value));
            ++lobs_->not_read;
            Spelling::lob_locator(sink, value, fields);
            return;
        }
        bool quoted = lob.status == unload::LobValue::Status::Empty;
        if (type == LobType::Blob) {
            Spelling::lob_begin(sink, fields, quoted);
            for (std::size_t i = 0; i < lob.pieces(); ++i) Spelling::lob_hex(sink, reader.piece(i));
        } else {
            // The text is weighed first: written only when it is text throughout.
            const Charset* charset = type == LobType::Clob ? lobs_->clob_charset : nullptr;
            const bool little = charset == nullptr && lob.pieces() > 0 && guess_lob_text_little_endian(reader.piece(0));
            LobTextDecoder weigh(charset, little);
            std::size_t length = 0;
            const bool text = convert_lob_pieces(weigh, text_, lob.pieces(), pieces, [&](std::string_view t) {
                quoted = quoted || Spelling::lob_special(t);
                length += t.size();
                return true;
            });
            if (!text) {
                lobs_->say(at.head, at.row_offset, column,
                           "the LOB (LobId " + lob_id_hex(lob) + ") is no text of its form: its locator is written "
                           "in hexadecimal");
                ++lobs_->not_read;
                Spelling::lob_locator(sink, value, fields);
                return;
            }
            quoted = quoted || length == 0;
            Spelling::lob_begin(sink, fields, quoted);
            LobTextDecoder decoder(charset, little);
            convert_lob_pieces(decoder, text_, lob.pieces(), pieces, [&](std::string_view t) {
                Spelling::lob_text(sink, t, quoted);
                return true;
            });
        }
        Spelling::lob_end(sink, fields, quoted);
        if (lob.incomplete()) {
            lobs_->say(at.head, at.row_offset, column,
                       "the LOB (LobId " + lob_id_hex(lob) + ") has " + std::to_string(lob.found.found) + " of its " +
                           std::to_string(lob.found.expected) + " pages: written with those found");
            ++lobs_->incomplete;
        }
    }

    static std::string lob_id_hex(const unload::LobValue& lob)
    {
        char digits[2 * sizeof lob.locator.lob_id];
        return std::string(digits, put_hex_digits(digits, lob.locator.lob_id.data(), lob.locator.lob_id.size()));
    }

    // Why a LOB value is written as its locator.
    static std::string lob_problem(const unload::LobValue& lob, const ColumnValue& value)
    {
        using Status = unload::LobValue::Status;
        const std::string id = "the LOB (LobId " + lob_id_hex(lob) + ")";
        const std::string tail = ": its locator is written in hexadecimal";
        if (value.truncated()) return "its locator is cut short by its block's end: written in hexadecimal";
        switch (lob.status) {
        case Status::NoLayout: return id + " has a length that does not fit its pages as they are read" + tail;
        case Status::Lost: return "none of the pages of " + id + " was found" + tail;
        case Status::SecureLayout:
            return id + " is a SecureFile stored apart whose extent list or blocks are not of the layout read" + tail;
        case Status::NotRead: return id + " is stored apart from the row, with no files to read it through" + tail;
        case Status::Stored:
            return id + " is a SecureFile stored compressed, deduplicated or encrypted, which is not read" + tail;
        case Status::Unreadable: return "its bytes are no LOB locator of a known form: written in hexadecimal";
        case Status::Held:
        case Status::Empty:
        case Status::Pages: break;
        }
        return "";
    }

    const ColumnTemplate* template_;
    DecodeOptions options_;
    LobColumns* lobs_;
    std::vector<char> scratch_;
    std::vector<char> text_;  // a LOB piece's text, converted
    std::array<ColumnValue, kMaxColumns> values_;
};
