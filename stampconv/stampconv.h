// Converts a packed timestamp (seconds in a calendar of 31-day months and
// 12-month years counted from the start of 1988) into a date and time.
#pragma once

#include <cstdint>
#include <string>

// The C library's atol, wrapping in 32 bits.
std::int32_t stamp_read_number(const char* text);

// Whether atol would find a number in `text`: a decimal digit after the
// white space and the one sign it skips.
bool holds_stamp_number(const char* text);

// "DD/MM/YYYY hh:mm:ss\n" for a packed timestamp.
std::string format_timestamp(std::uint32_t stamp);

// The whole program: appends what it prints to `out` (standard output) and
// `err` (standard error) and returns the exit status.
int stampconv_main(int argc, const char* const* argv, std::string& out, std::string& err);
