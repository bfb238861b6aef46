// A small but complete database: a SYSTEM data file (relative file 1)
// holding the data dictionary (BOOTSTRAP$ with real statements, OBJ$, the
// clusters C_OBJ# with TAB$ and COL$, and C_USER# with USER$) and a USERS
// data file holding the rows of the users' tables. Both are generated from
// one plain description of the users' schema, which tests compare a
// dictionary reader's result with.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafile_builder.h"
#include "file_structures.h"
#include "lob_locators.h"
#include "row_layout.h"

namespace datafile {

// ---------------------------------------------------------------------------
// BOOTSTRAP$

// The BOOTSTRAP$ rows of an 11.2 database, as it wrote them: one
// "LINE#<TAB>OBJ#<TAB>SQL_TEXT" line each.
std::string_view bootstrap_11_2_text();

struct BootstrapLine {
    std::int64_t line = 0;
    std::int64_t object = 0;
    std::string sql;
};
std::vector<BootstrapLine> bootstrap_lines(std::string_view text = bootstrap_11_2_text());

// ---------------------------------------------------------------------------
// The schema

// A column as COL$ describes it.
struct ColumnDef {
    std::string name;
    std::uint16_t type = 2;                 // TYPE# (dictionary_format.h)
    std::uint32_t length = 22;              // LENGTH, in bytes
    std::optional<std::int32_t> precision;  // PRECISION#
    std::optional<std::int32_t> scale;      // SCALE
    bool nullable = true;                   // NULL$ 0
    std::uint16_t charset_id = 0;           // CHARSETID: 0 for a column without text
    std::uint8_t charset_form = 0;          // CHARSETFORM: 1 database, 2 national
    std::uint32_t property = 0;             // PROPERTY bits
    std::optional<std::uint32_t> char_length;  // characters, for character-length semantics

    bool stored() const;  // not virtual: it has a SEGCOL#
    bool hidden() const;  // no COL#
};

// Where a column sits: COL# (0 when hidden), SEGCOL# (0 when not stored)
// and INTCOL#.
struct ColumnNumbers {
    std::uint32_t col = 0;
    std::uint32_t segcol = 0;
    std::uint32_t intcol = 0;

    friend bool operator==(const ColumnNumbers&, const ColumnNumbers&) = default;
};

struct UserDef {
    std::uint32_t id = 0;
    std::string name;
    std::uint16_t type = 1;  // USER$.TYPE#: 1 user, 0 role
    bool dropped = false;    // its USER$ row marked deleted (DROP USER)
};

struct ClusterDef {
    std::string owner;
    std::string name;
    std::uint32_t object_id = 0;
    std::uint32_t data_object_id = 0;
    std::vector<ColumnDef> key;       // the key columns
    std::uint8_t table_count = 2;     // in its blocks' table directory: the key table and its tables
};

// A clustered table's cluster and its table number in it; its first
// columns are the cluster key's.
struct ClusterPlace {
    std::uint32_t cluster_object = 0;
    std::uint8_t table = 1;
};

struct PartitionDef {
    std::string name;  // OBJ$.SUBNAME
    std::uint32_t object_id = 0;
    std::uint32_t data_object_id = 0;
    std::vector<LogicalRow> rows;
    bool dropped = false;  // its OBJ$ row marked deleted (ALTER TABLE ... DROP PARTITION), its blocks left
};

// The rows an earlier generation of a table (before a truncate or move)
// left in its blocks under its old data object number.
struct OlderGeneration {
    std::uint32_t data_object_id = 0;
    std::vector<LogicalRow> rows;
};

// A LOB value stored apart from its row: its pages written into its
// column's LOB segment, one block a page, and its row given the locator
// that names them.
struct LobValueDef {
    std::size_t row = 0;  // of the table's rows (a partitioned table's: of its partition's)
    LobId id{};
    Bytes data;  // as stored: a CLOB's text in 2-byte Unicode or its single-byte set
    // The pages whose blocks are written all zeros instead.
    std::vector<std::uint32_t> zeroed_pages;
    // Pages written twice, the older copy first: the newer holds the data.
    std::vector<std::uint32_t> old_copies;
    // Pages past the locator's list whose LOB index entry is left out.
    std::vector<std::uint32_t> unindexed_pages{};
    // Pages written once more after their block, '?' in a later version
    // (a later SCN) that the index does not name: only the index tells
    // the page's block.
    std::vector<std::uint32_t> stray_copies{};
    std::size_t partition = 0;  // a partitioned table's: the partition whose row it is
};

// How a LOB column's index is written.
enum class LobIndexState : std::uint8_t {
    Whole,       // a leaf entry for every page past the locators' lists
    LeafZeroed,  // its leaf blocks written all zeros
    NoIndexRow,  // no IND$ row names it
};

// A LOB column's LOB$ row and LOB segment (in the USERS file, its blocks
// taken in turn: a chunk of CHUNK pages lies in consecutive blocks).
struct LobDef {
    std::string column;
    std::uint32_t lob_object = 0;  // LOBJ#, its segment's object and data object number
    std::uint32_t chunk = 1;
    std::uint32_t flags = 0;
    std::uint32_t property = 0x02;  // a user LOB with row data
    std::vector<LobValueDef> values;
    // SecureFile values, whose locators list the extents of their blocks;
    // else BasicFile ones, in pages.
    bool secure_file = false;
    // Its LOB$ row names no segment (FILE# and BLOCK# 0) and marks it
    // partitioned, as a partitioned table's row does, whose segments
    // LOBFRAG$ names; the segment is written all the same.
    bool segment_by_partition = false;
    // A partitioned table's: each partition's LOB segment (its object and
    // data object; OBJ$ TYPE# kObjectTypeLobPartition), in the order of the
    // partitions, which hold the values; SYS.LOBFRAG$ names them unless
    // `fragments_listed` is false (LOBFRAG$ without their rows).
    std::vector<std::uint32_t> fragment_objects{};
    bool fragments_listed = true;
    // Its LOB index (OBJ$ SYS_IL..., object lob_object + 1), with an IND$
    // row and a segment of leaf blocks, an entry each chunk address of up
    // to eight pages past a locator's list.
    LobIndexState index = LobIndexState::Whole;
};

struct TableDef {
    std::string owner;  // a user's name
    std::string name;
    std::uint32_t object_id = 0;
    std::uint32_t data_object_id = 0;  // 0 for a partitioned table, which has none
    // In INTCOL# order, which is also the storage order of the stored ones:
    // a clustered table's key columns first, a LONG column last.
    std::vector<ColumnDef> columns;
    // The values of the stored columns, in storage order.
    std::vector<LogicalRow> rows;
    std::map<std::size_t, RowShape> shapes;  // rows laid out otherwise than as ordinary rows
    std::optional<ClusterPlace> cluster;
    std::vector<PartitionDef> partitions;
    std::optional<OlderGeneration> older;
    // Dropped with PURGE: its OBJ$, TAB$ and COL$ rows (and its
    // partitions') marked deleted, its blocks left as they were.
    bool dropped = false;
    // Columns a later ALTER TABLE ... DROP COLUMN removed: their COL$ rows
    // marked deleted, numbered after the table's columns; no row stores them.
    std::vector<ColumnDef> removed_columns;
    // Names it had before a DDL rewrote its OBJ$ row: rows of its object
    // and data object numbers marked deleted.
    std::vector<std::string> former_names;
    // Its LOB columns' LOB$ rows and segments (a heap or partitioned
    // table's), written with SYS.LOB$ in the cluster C_OBJ#.
    std::vector<LobDef> lobs;

    std::vector<ColumnNumbers> numbers() const;
    std::vector<ColumnNumbers> removed_numbers() const;  // of removed_columns, after the others'
    std::size_t stored_count() const;
};

// A segment header's map as a hostile hand rewrote it: its extents listed
// `repeats` times over, then `extra` ones, all in the header's own map.
struct RewrittenMap {
    std::uint32_t repeats = 1;
    std::vector<Extent> extra;
};

// How the SYSTEM file's segments are laid out; the defaults give the
// sample database.
struct SystemLayout {
    std::uint32_t extent_blocks = 4;
    // The extents a segment header's own map holds before the map goes on
    // in extent map blocks (0: the classic limit of the block size), and
    // each map block (0: as many as it has room for). A map block is the
    // first block of the first extent it lists.
    std::uint32_t header_extents = 0;
    std::uint32_t map_block_extents = 0;
    // OBJ$'s and BOOTSTRAP$'s rows written in turn, so that their extents
    // alternate in the file.
    bool interleaved = false;
    std::map<std::string, RewrittenMap> rewritten;  // by segment name: "SYS.OBJ$"
    // The blocks the SYSTEM file's header counts, and the file is written
    // as long as (never-used blocks after those written); 0: those written.
    std::uint32_t file_blocks = 0;
    // The SYSTEM file is only written to disk, sparse, the blocks between
    // those written left as holes: a file of millions of blocks in little
    // memory. BuiltDatabase::system then holds no blocks.
    bool sparse = false;
};

struct Database {
    std::string name = "TREVANIX";
    std::uint32_t id = 0x5EED0B0B;
    std::uint32_t block_size = 8192;
    ByteOrder byte_order = ByteOrder::Little;
    std::uint16_t charset_id = 873;            // the database character set, AL32UTF8
    std::uint16_t national_charset_id = 2000;  // AL16UTF16
    std::uint16_t users_file = 4;              // relative file number of the USERS data file
    std::uint32_t users_tablespace = 4;
    std::vector<UserDef> users;        // SYS (0) and SYSTEM (5) among them
    std::vector<ClusterDef> clusters;  // the users' clusters
    std::vector<TableDef> tables;      // the users' tables
    SystemLayout system_layout;
    // BOOTSTRAP$ lines an upgrade replaced: written before the others,
    // marked deleted.
    std::vector<BootstrapLine> replaced_bootstrap_lines;
    // The rows of BOOTSTRAP$, whose statements say where the dictionary's
    // own tables lie and how they store their rows; empty: the 11.2 ones.
    std::vector<BootstrapLine> bootstrap;
    // The SYSTEM file's relative file number: 1, or kBigfileRelativeFile
    // for a bigfile SYSTEM tablespace, whose block addresses are plain
    // block numbers.
    std::uint16_t system_file = 1;
    // How long both files' headers (block 1) are, which tells their
    // release; 0: no longer than the fields written.
    std::uint32_t header_size = 0;
    // Values every row of a dictionary table ("OBJ$") gets in the columns
    // named, where the builder writes none of its own: the columns later
    // releases add.
    std::map<std::string, std::map<std::string, Value>> dictionary_values;
};

// Users SYS, PUBLIC, SYSTEM, SCOTT and HR, and tables of every column type
// the tool decodes, a clustered pair, more than 255 columns, hidden, unused
// and virtual columns, a partitioned table, a truncated one, text in
// another character set than the database's, and chained, migrated,
// deleted and stale rows.
Database sample_database(std::uint32_t block_size = 8192, ByteOrder order = ByteOrder::Little);

// A database whose dictionary an attacker wrote: owners, tables, columns
// and partitions named with each byte 0x00 to 0x1F and 0x7F and with
// " ' \ ; -- */, each followed by a command for the sqlite3 shell and one
// for psql; names that collide once escaped, shortened or read in any case;
// names too long for a file or PostgreSQL, or not UTF-8; values holding
// the line that ends psql's \copy. Every table has an ID column first
// whose value is one number per table and kind of rows.
struct HostileDatabase {
    Database database;
    // "ID ROWS" for each table a loader makes: its rows' ID and their count.
    std::vector<std::string> loaded_tables;
};
HostileDatabase hostile_database();

// The sample database with rows of its dictionary that DDL marked deleted:
// SCOTT.BONUS dropped with PURGE (a deleted row and an unused column among
// its rows), SCOTT.TEMP dropped and created again with other columns,
// OLDAPP.LOG dropped with its owner, a partition of SCOTT.SALES dropped,
// and HR.LOCATIONS renamed from SITES with a column dropped: the old OBJ$
// and COL$ rows of each still in their blocks, marked deleted; and an old
// BOOTSTRAP$ line of OBJ$, deleted, naming C_USER#'s segment.
Database history_database(std::uint32_t block_size = 8192, ByteOrder order = ByteOrder::Little);

// What a value of a generated table is to become: its field in the CSV
// file, and what a loaded table is to give back.
struct ExpectedValue {
    std::string table;  // OWNER.TABLE
    std::string rows;   // the kind of its row: rows, deleted, stale
    std::uint64_t record = 0;  // its row's record in its file, from 1
    std::int64_t id = 0;       // its row's ID, the table's first column
    std::string column;
    // number, moment, zoned (with a time zone), interval_ym, interval_ds,
    // text, raw, undecoded, null
    std::string kind;
    std::string csv;    // its field (a zoned value's first)
    // A number's decimal, a text; RAW and undecoded bytes in hexadecimal;
    // an interval's months or microseconds (none where PostgreSQL holds
    // none of it).
    std::string value;
    // A moment's Julian day number, time and fraction (nine digits, and
    // rounded to six); a zoned value's in UTC.
    std::int64_t day_number = 0;
    std::string time;
    std::string fraction;
    std::string microseconds;
    std::optional<std::string> zone;  // a zoned value's zone field: its offset, or its region's name
    std::string sqlite_class;         // a number's storage class in SQLite
    // Whether SQLite and PostgreSQL keep its text beside it ($text), and
    // whether the summary counts it as kept as text there.
    bool text_sqlite = false;
    bool text_postgres = false;
    bool kept_sqlite = false;
    bool kept_postgres = false;
};

// Tables of EXACT, in a database of 16K big-endian blocks: numbers of 38
// digits and at the edges of 64-bit integers, dates before 1582 and before
// year 1, timestamps with nanoseconds, offsets and regions, intervals
// beyond PostgreSQL's, values no type decodes, text that looks like bytes;
// live, deleted and stale rows.
struct ExactDatabase {
    Database database;
    std::vector<ExpectedValue> expected;  // every value of every row
};
ExactDatabase exact_database();
// The expectations as CSV, a line each (no field holds a comma).
std::string expected_values_csv(const ExactDatabase& exact);

// A LOB column's in-row bytes: a locator. Only a stand-in for one
// (assumed): readers show them as hexadecimal.
Bytes lob_locator_value(std::uint32_t lob_id);

// ---------------------------------------------------------------------------
// Building

// Damage to plant in the SYSTEM file, for a reader's negative tests.
enum class SystemDamage {
    None,
    ClearedRoot,             // block 1 names no root
    UnparsableBootstrapRow,  // OBJ$'s statement cut short
    ObjSegmentHeader,        // OBJ$'s segment header overwritten: its blocks are found by their object number
    ColBlock,                // a block of C_OBJ# holding COL$ rows overwritten
};

// A segment as written: its header block and extents.
struct SegmentTruth {
    std::string name;  // OWNER.NAME, a partition's OWNER.NAME:PARTITION
    std::uint32_t data_object = 0;
    BlockAddress header;
    std::vector<Extent> extents;
    bool space_managed = false;  // a type 0x23 header, bitmap blocks first
    std::vector<std::uint32_t> map_blocks;  // its extent map blocks, in the header's file, in chain order
    std::uint32_t high_water_mark = 0;      // the first block above the mark, when its header gives one
};

// The rows written for one table, partition or older generation.
struct TableRows {
    std::string owner;
    std::string table;
    std::string partition;  // empty for a whole table
    std::uint32_t data_object = 0;
    std::vector<RowTruth> rows;
};

struct BuiltDatabase {
    File system;  // no blocks when SystemLayout::sparse
    File users;
    std::shared_ptr<const FileSet> sparse_system;  // the SYSTEM file's blocks, when SystemLayout::sparse
    // SYS.OBJ$, TAB$, COL$, USER$ and BOOTSTRAP$, with the rows written.
    std::vector<TableDef> dictionary;
    std::vector<TableRows> rows;  // every table's (the dictionary's too)
    std::vector<SegmentTruth> segments;
    BlockAddress root;                        // BOOTSTRAP$'s segment header
    std::optional<BlockAddress> damaged_block;  // with ObjSegmentHeader or ColBlock
    std::uint32_t system_file_blocks = 0;       // how many blocks the SYSTEM file is written with

    const TableRows& rows_of(std::string_view owner, std::string_view table, std::string_view partition = "") const;
};

BuiltDatabase build_database(const Database& database, SystemDamage damage = SystemDamage::None);
// Writes DIRECTORY/system01.dbf and DIRECTORY/users01.dbf.
void write_database(const BuiltDatabase& built, const std::string& directory);

}  // namespace datafile
