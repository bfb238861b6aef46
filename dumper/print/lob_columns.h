// What the export formats read LOB values through where a template types a
// column CLOB, NCLOB or BLOB: the run's reader of their locators and pages
// (the printer is handed each piece as it is read, and reads no file
// itself), the set CLOB text is stored in, and what could not be read
// wholly, counted and said a line each on the message sink.
#pragma once

#include <cstdint>
#include <string>

#include "print/output_sink.h"
#include "rows/row_reader.h"
#include "unload/lob_value.h"
#include "values/charsets.h"

// The most values not read wholly said a line each; the rest are counted.
constexpr std::uint64_t kLobProblemsSaid = 100;

struct LobColumns {
    LobColumns(unload::LobValueReader& values, OutputSink& messages) : reader(values), err(messages) {}

    // Says why the value of column `column` (from 1) of the row or piece
    // at `head` (at `row_offset` in its block) is not read wholly.
    void say(const PieceAt& head, std::uint32_t row_offset, std::size_t column, const std::string& why);
    // The line said at the run's end when any value was not read wholly.
    std::string tally() const;
    bool any_problem() const { return not_read + incomplete > 0; }

    unload::LobValueReader& reader;
    OutputSink& err;
    const Charset* clob_charset = nullptr;  // a single-byte set; nullptr: 2-byte Unicode
    std::uint64_t not_read = 0;    // written as their locators
    std::uint64_t incomplete = 0;  // written with the pages found
    std::uint64_t said = 0;
};
