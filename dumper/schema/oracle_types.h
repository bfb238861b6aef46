// What the unloader knows of Oracle's column types: their COL$ type codes,
// their SQL text both ways, the decoder of their values, and the character
// sets that text columns name by id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "values/column_types.h"
#include "schema/schema.h"
#include "schema/sql_tokens.h"

namespace schema {

// The type a COL$ row describes: its TYPE#, its CHARSETFORM (2 makes
// VARCHAR2, CHAR and CLOB national) and its SCALE (which tells FLOAT from
// NUMBER; a FLOAT keeps its PRECISION# in binary digits and no scale).
// Unknown for codes not listed.
OracleType type_from_code(std::uint32_t type_code, std::uint32_t charset_form,
                          std::optional<std::int32_t> scale = std::nullopt);
// The TYPE# of a type; none for Unknown.
std::optional<std::uint32_t> type_code_of(OracleType type);
// The character set a type's values are in.
CharsetForm charset_form_of(OracleType type);
// The type's name without sizes: "VARCHAR2", "TIMESTAMP WITH TIME ZONE",
// "UNKNOWN".
std::string_view type_name(OracleType type);

// The column's type as a DBA reads it: NUMBER(10,2), VARCHAR2(30 BYTE),
// NVARCHAR2(20), TIMESTAMP(6) WITH TIME ZONE, INTERVAL DAY(2) TO SECOND(6).
std::string sql_type_text(const Column& column);

// A column holding only what the type text says: type, type code, length,
// precision, scale, character length and semantics, character set form.
// Case does not matter; sizes may be left out; the synonyms INTEGER, INT,
// SMALLINT, DECIMAL, DEC, NUMERIC, VARCHAR, CHARACTER, REAL and DOUBLE
// PRECISION are read as the Oracle types they stand for. "UNKNOWN" is a
// column whose type is not known; any other name is an error.
Parsed<Column> parse_sql_type(std::string_view text);
// The same from the tokens of a statement, the cursor on the type's first
// word; throws SqlSyntaxError.
Column read_sql_type(TokenCursor& tokens);

// The most bytes a text column of `characters` characters takes when its
// character set is `charset_id` (0: not known).
std::uint32_t bytes_for_characters(OracleType type, std::uint32_t characters, std::uint32_t charset_id);

// The entry of the column type table that decodes the type's values (LOBs
// and BFILE, whose rows hold only locators, as hexadecimal).
const ColumnType& value_decoder(OracleType type);

// Character sets by COL$.CHARSETID: the name ("" when not known), and the id
// of a name in any case.
std::string_view charset_name(std::uint32_t id);
std::optional<std::uint32_t> charset_id(std::string_view name);
// The most bytes one character takes in the character set `id` of a column
// of form `form`.
std::uint32_t max_character_bytes(std::uint32_t id, CharsetForm form);

}  // namespace schema
