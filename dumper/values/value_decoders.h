// The decoders of the column type table, by the file that holds them, and
// the small formatters they share. Each decoder reads only the value's bytes
// (and the options) and writes only at `out`; see ColumnType::decode.
#pragma once

#include <cstring>
#include <string_view>

#include "values/column_types.h"
#include "values/text_writers.h"

// datetime_values.cpp: TIMESTAMP and TIMESTAMP WITH LOCAL TIME ZONE,
// TIMESTAMP WITH TIME ZONE, and the two intervals.
char* decode_timestamp_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_timestamp_tz_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_interval_ym_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_interval_ds_value(ByteView value, char* out, const DecodeOptions& options);
// The most text they write: a time zone region's name is the longest part.
constexpr std::uint16_t kDateTimeRoom = 96;
constexpr std::uint16_t kIntervalRoom = 32;

// binary_values.cpp
char* decode_binary_float_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_binary_double_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_raw_value(ByteView value, char* out, const DecodeOptions& options);  // two digits a byte
char* decode_rowid_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_urowid_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_boolean_value(ByteView value, char* out, const DecodeOptions& options);
constexpr std::uint16_t kBinaryFloatRoom = 32;  // "-2.2250738585072014e-308"
constexpr std::uint16_t kRowidRoom = 18;
constexpr std::uint16_t kBooleanRoom = 5;

// text_values.cpp: VARCHAR2, CHAR and LONG through the run's character set
// (three bytes of UTF-8 at most for each byte), NCHAR and NVARCHAR2 from
// UTF-16 (at most two for each byte).
char* decode_text_value(ByteView value, char* out, const DecodeOptions& options);
char* decode_national_text_value(ByteView value, char* out, const DecodeOptions& options);
constexpr std::uint8_t kTextRoomPerByte = 3;
constexpr std::uint8_t kNationalTextRoomPerByte = 2;
