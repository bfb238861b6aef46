// The column template: one type keyword per line, line k + 1 typing column k
// of every row piece (or whole row). It is read once, before the first
// block, into a table of entries of the column type table; lines that name
// no type are kept with their text, so that the run can say why.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/records.h"
#include "values/column_types.h"

struct ColumnTemplate {
    bool opened = false;
    int open_error = 0;  // errno, when it could not be opened
    std::vector<const ColumnType*> types;  // types[k] is the type of column k
    // The type of every column a row can have: those of `types`, then
    // kUnlistedType.
    std::array<const ColumnType*, kMaxRowColumns> by_column{};
    // The lines that name no type: their number from 1, and their text.
    struct Unmatched {
        std::uint32_t line;
        std::string text;
    };
    std::vector<Unmatched> unmatched;

    // The type of column `index`; kUnlistedType past the most a row has
    // (pieces joined from damaged blocks can give more).
    const ColumnType& type(std::size_t index) const
    {
        return index < by_column.size() ? *by_column[index] : kUnlistedType;
    }
    // How many of the first `lines` lines export their column (all but
    // NOPRINT ones): kMaxColumns for pieces, kMaxRowColumns for rows.
    std::size_t exported_columns(std::size_t lines) const;
};

ColumnTemplate load_column_template(const std::string& path);

// Why a template line names no type, and how to mend it: "'NUMBR' names no
// type (did you mean NUMBER?)".
std::string unmatched_line_reason(std::string_view text);
