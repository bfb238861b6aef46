// A database of LOB values of every kind the unload reads: held in the row
// (BasicFile and SecureFile, one in little-endian 2-byte Unicode), stored
// apart in one page, in many pages past the locator's address list, which
// the LOB indexes name (a page among them written twice, the older copy
// first; an index entry left out), in chunks of two
// blocks, with a page zeroed, with every page lost, a CLOB whose
// character is split between two pages, an NCLOB, BLOBs of 0x00 and 0xFF
// runs, an empty LOB, a compressed SecureFile that cannot be read, and
// SecureFiles in the blocks their locators' extent lists name (one of
// them zeroed, one list naming a block of something else); with their
// LOB$ rows and LOB segments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system_file.h"

namespace datafile {

// What a value of HR.LOBS is to become.
struct LobExpected {
    std::int64_t id = 0;  // its row's ID
    std::string column;
    // text: `value` is its UTF-8; bytes: `value` its bytes; null: an empty
    // field and NULL; undecoded: counted as not decoded, NULL when loaded.
    std::string kind;
    std::string value;
    // Pages missing: pages_found of pages_expected.
    bool incomplete = false;
    std::uint64_t pages_found = 0;
    std::uint64_t pages_expected = 0;
};

struct LobCases {
    Database database;
    std::vector<LobExpected> expected;  // every value of every row
};
// With `large_mib`, a fifth row whose DOC is a CLOB of that many MiB of
// 2-byte Unicode, for measuring (its value is not among `expected`).
LobCases lob_database(std::uint32_t block_size = 8192, ByteOrder order = ByteOrder::Little, std::uint32_t large_mib = 0);

// A partitioned table HR.PLOBS (ID, DOC CLOB) of two partitions, P1 and
// P2, each with its own LOB segment of DOC, which LOBFRAG$ names (unless
// `fragments_listed` is false): two rows each whose text takes more pages
// than a locator lists, one a page. `expected` holds every DOC value.
LobCases partitioned_lob_database(std::uint32_t block_size = 8192, ByteOrder order = ByteOrder::Little,
                                  bool fragments_listed = true);

// The same table with names an attacker chose: its owner, its name and
// two of its LOB columns (DOC, PIC) hold quotes, backslashes, commas, '/'
// and "..", and line breaks followed by commands for the sqlite3 shell
// and psql (".shell touch MARKER", "\! touch MARKER"). The expectations
// keep the columns' own names.
void give_hostile_names(LobCases& cases);
// The names give_hostile_names() gives DOC and PIC.
extern const std::string kHostileDocColumn;
extern const std::string kHostilePicColumn;

// The expectations as CSV, a line each: ID, column, kind, the value in
// hexadecimal, pages found and expected when incomplete (else empty).
std::string expected_lobs_csv(const LobCases& cases);

}  // namespace datafile
