// How each column of a row piece is exported, decided in one place for both
// export formats: a NOPRINT column is left out; a NULL is null; a value cut
// short by the block end, or that its type declines, is its bytes in
// hexadecimal; text that is the value's own bytes is written as it is
// (where the format can hold it); anything else is the text its type's
// decoder gives. A Spelling type writes each of these in its format.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "print/output_sink.h"
#include "read/column_template.h"
#include "values/column_types.h"

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
    ColumnExporter(const ColumnTemplate* column_template, const DecodeOptions& options)
        : template_(column_template), options_(options), scratch_(kMaxValueText)
    {
    }

    // Writes the values of a piece's or a row's columns to `sink`; returns
    // how many were written.
    template <class Spelling>
    std::size_t put(OutputSink& sink, std::span<const ColumnValue> values)
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
    std::size_t put(OutputSink& sink, const BlockView& block, std::span<const ColumnRecord> columns)
    {
        for (std::size_t i = 0; i < columns.size(); ++i) values_[i] = ColumnValue::of(block, columns[i]);
        return put<Spelling>(sink, std::span<const ColumnValue>(values_.data(), columns.size()));
    }

private:
    const ColumnTemplate* template_;
    DecodeOptions options_;
    std::vector<char> scratch_;
    std::array<ColumnValue, kMaxColumns> values_;
};
