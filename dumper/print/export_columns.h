// How each column of a row piece is exported, decided in one place for both
// export formats: a NOPRINT column is left out; a NULL is null; a value cut
// short by the block end, or that its type declines, is its bytes in
// hexadecimal; text that is the value's own bytes is written as it is
// (where the format can hold it); anything else is the text its type's
// decoder gives. A Spelling type writes each of these in its format.
#pragma once

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

    // Writes the piece's columns to `sink`; returns how many were written.
    template <class Spelling>
    std::size_t put(OutputSink& sink, const BlockView& block, std::span<const ColumnRecord> columns)
    {
        std::size_t written = 0;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const ColumnRecord& column = columns[i];
            const ColumnType& type = template_ != nullptr ? template_->type(i) : kUnlistedType;
            if (type.role == TypeRole::Suppressed) continue;
            Spelling::separator(sink, written++ == 0);
            if (column.is_null()) {
                Spelling::null(sink);
                continue;
            }
            const ByteView bytes = column.value(block);
            const bool decoded = !column.truncated() && type.role == TypeRole::Decoded;
            if (decoded && type.plain_text) {
                // Text that needs no quotes or escapes is decoded straight into the output.
                if (!Spelling::plain(sink, type, bytes, options_)) Spelling::hex(sink, bytes, column);
            } else if (decoded && type.text_bytes && options_.charset == nullptr) {
                // The text is the value's own bytes, where they lie in the block.
                if (!Spelling::raw_text(sink, block, column)) Spelling::hex(sink, bytes, column);
            } else if (char* end = decoded ? type.decode(bytes, scratch_.data(), options_) : nullptr) {
                Spelling::text(sink, scratch_.data(), static_cast<std::size_t>(end - scratch_.data()));
            } else {
                Spelling::hex(sink, bytes, column);
            }
        }
        return written;
    }

private:
    const ColumnTemplate* template_;
    DecodeOptions options_;
    std::vector<char> scratch_;
};
