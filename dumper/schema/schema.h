// The schema of a database as the unloader needs it: tables, where their
// rows are stored, and their columns in the order a row stores them. It is
// filled from the data dictionary, from a schema file, or by inference, and
// written back as a schema file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace schema {

enum class OracleType : std::uint8_t {
    Unknown,
    Varchar2,
    Nvarchar2,
    Number,
    Float,
    Long,
    Date,
    Raw,
    LongRaw,
    Rowid,
    Char,
    Nchar,
    BinaryFloat,
    BinaryDouble,
    Clob,
    Nclob,
    Blob,
    Bfile,
    Timestamp,
    TimestampTz,
    TimestampLtz,
    IntervalYm,
    IntervalDs,
    Urowid,
    Boolean,
};

// Which character set a text column's bytes are in (COL$.CHARSETFORM).
enum class CharsetForm : std::uint8_t {
    None = 0,      // not text, or not known
    Database = 1,  // the database character set
    National = 2,  // the national one (NCHAR, NVARCHAR2, NCLOB)
};

// LOB$.FLAGS and PROPERTY bits the reading of a LOB's values depends on.
namespace lob_bits {
constexpr std::uint32_t kEncrypted = 0x1000;
constexpr std::uint32_t kCompressed = 0x2000 | 0x4000 | 0x8000;  // low, medium, high
constexpr std::uint32_t kDeduplicated = 0x10000 | 0x20000;
constexpr std::uint32_t kLittleEndian = 0x0200;  // PROPERTY: 2-byte Unicode text stored little-endian
constexpr std::uint32_t kPartitioned = 0x04;     // PROPERTY: a segment a partition, which LOB$ does not name
}  // namespace lob_bits

// A partition's LOB segment, from its LOBFRAG$ row: its data object (the
// fragment's OBJ$ DATAOBJ#, else its FRAGOBJ#) and segment header.
struct LobFragment {
    std::uint32_t data_object = 0;
    std::uint32_t file = 0;
    std::uint32_t block = 0;

    bool operator==(const LobFragment&) const = default;
};

// Where a LOB column's values lie when the row does not hold them, and
// how they are stored (LOB$): its LOB segment's header and data object
// number (which its data blocks carry), CHUNK, FLAGS and PROPERTY.
struct LobStorage {
    std::uint32_t lob_object = 0;   // LOBJ#
    std::uint32_t data_object = 0;  // its OBJ$ row's DATAOBJ#; 0 when not known
    std::uint32_t file = 0;         // its segment header, FILE# and BLOCK#; file 0 when it has none
    std::uint32_t block = 0;
    std::uint32_t chunk = 0;
    std::uint32_t flags = 0;
    std::uint32_t property = 0;
    // Its LOB index: IND#, and from the index's IND$ row its data object
    // and segment header (index_file 0 when IND$ gives none).
    std::uint32_t index_object = 0;
    std::uint32_t index_data_object = 0;
    std::uint32_t index_file = 0;
    std::uint32_t index_block = 0;
    // A partitioned LOB's segments (LOB$ naming none), one a partition, as
    // LOBFRAG$ gives them; empty when it gives none.
    std::vector<LobFragment> fragments{};

    // Whether each partition has a segment of its own, which LOB$ does not name.
    bool partitioned() const { return file == 0 && (property & lob_bits::kPartitioned) != 0; }

    // Whether a page of data object `object` may be one of this LOB's: its
    // own data object's, or any of its fragments' (0 or a partitioned LOB's
    // fragments not known: any).
    bool holds_data_object(std::uint32_t object) const
    {
        if (partitioned() && fragments.empty()) return true;
        if (fragments.empty()) return data_object == 0 || object == data_object;
        if (data_object != 0 && object == data_object) return true;
        for (const LobFragment& f : fragments)
            if (f.data_object == object) return true;
        return false;
    }

    bool operator==(const LobStorage&) const = default;
};


struct Column {
    std::string name;
    OracleType type = OracleType::Unknown;
    std::optional<std::uint32_t> type_code;  // COL$.TYPE#, when known
    std::uint32_t length = 0;                // the most bytes a value takes
    // NUMBER(p,s); FLOAT(p), p in binary digits; TIMESTAMP(scale: fractional
    // digits); INTERVAL YEAR(precision) TO MONTH; INTERVAL DAY(precision) TO
    // SECOND(scale). Absent where the type has none.
    std::optional<std::int32_t> precision;
    std::optional<std::int32_t> scale;
    // Declared in characters: VARCHAR2 and CHAR with CHAR, and always the
    // national types. char_length is then the declared length, 0 otherwise.
    bool char_semantics = false;
    std::uint32_t char_length = 0;
    bool nullable = true;
    std::uint32_t column_number = 0;     // COL#: position as created; 0 for hidden and unused columns
    std::uint32_t segment_column = 0;    // SEGCOL#: position in the stored row; 0 when not stored
    std::uint32_t internal_column = 0;   // INTCOL#
    bool hidden = false;
    bool is_virtual = false;
    bool unused = false;
    // False for a stored column the source does not describe, only its
    // place in the row: named COL<n> (n its SEGCOL#), and typed UNKNOWN
    // until inference types it from the rows.
    bool described = true;
    std::uint32_t charset_id = 0;  // COL$.CHARSETID; 0 when not known or not text
    CharsetForm charset_form = CharsetForm::None;
    std::string comment;  // free text, such as the evidence of an inferred type
    std::optional<LobStorage> lob;  // a LOB column's, when the dictionary gives it

    bool operator==(const Column&) const = default;
};

// A table stored in a cluster is table `table_number` of the cluster's blocks;
// its rows start with the cluster's `key_columns` key columns.
struct ClusterPlacement {
    std::uint32_t cluster_object = 0;  // the cluster's object number; 0 when not known
    std::uint32_t table_number = 0;
    std::uint32_t key_columns = 0;

    bool operator==(const ClusterPlacement&) const = default;
};

// Where a segment's header block lies: the relative file number and the
// block (TAB$ and TABPART$ FILE#, BLOCK#).
struct SegmentHeader {
    std::uint32_t file = 0;
    std::uint32_t block = 0;

    bool operator==(const SegmentHeader&) const = default;
};

struct Partition {
    std::string name;
    std::uint32_t data_object = 0;
    std::uint32_t object_number = 0;        // 0 when not known
    std::optional<SegmentHeader> segment{};  // when known

    bool operator==(const Partition&) const = default;
};

struct Table {
    std::string owner;  // empty when not known
    std::string name;
    std::uint32_t object_number = 0;  // 0 when not known
    // The number its blocks carry; none for a partitioned table (its
    // partitions carry theirs) or a table without a segment.
    std::optional<std::uint32_t> data_object;
    std::optional<ClusterPlacement> cluster;
    // The stored columns in SEGCOL# order, then any that are not stored.
    std::vector<Column> columns;
    std::vector<Partition> partitions;  // empty when not partitioned
    std::string note;                   // free text, lines apart by '\n'; empty when none
    // Its segment's header, when known: a clustered table's is its
    // cluster's; a partitioned table has none (its partitions have theirs).
    std::optional<SegmentHeader> segment{};
    // Described only by dictionary rows marked deleted: a table dropped
    // whose blocks may still hold its rows.
    bool dropped = false;
    // The source tells that it lacks some of the table's stored columns
    // (COL$ rows lost: fewer than TAB$ counts, numbers missing), beyond
    // those it gives as columns not described.
    bool columns_missing = false;

    bool operator==(const Table&) const = default;
};

struct Schema {
    std::optional<std::string> database_charset;
    std::optional<std::string> national_charset;
    std::vector<Table> tables;

    bool operator==(const Schema&) const = default;
};

// What reading a text gives: a value, or why it could not be read.
template <typename T>
struct Parsed {
    T value{};
    std::string error;  // empty when the text was read

    bool ok() const { return error.empty(); }
};

// The columns an unload writes, in COL# order: hidden and unused ones left out.
std::vector<const Column*> unload_columns(const Table& table);

// The stored columns that are hidden or unused, in storage order: an
// unload writes them to a file of their own.
std::vector<const Column*> hidden_columns(const Table& table);

// The name of a stored column no source describes: COL<n>, n its SEGCOL#.
std::string undescribed_column_name(std::uint32_t segment_column);

// How many values of a row the table's columns account for, those not
// described included: the highest SEGCOL#.
std::uint32_t stored_width(const Table& table);

// Gives the table a column for every place of its rows up to `widest`
// values: each place no column describes (or only one not described and of
// no type) becomes the column not described that `inferred` gives for it
// (one for each place, in order, as inference types them), named COL<n>,
// else one of type UNKNOWN. Its columns are then in storage order.
void complete_columns(Table& table, std::uint32_t widest, const std::vector<Column>& inferred);

// Whether the table's stored columns are known to be not all described:
// it has none, or some are not described, or its source says so. (Rows
// wider than stored_width tell it too, but only when read.)
bool short_of_columns(const Table& table);

// The data object numbers the table's rows are stored under: its
// partitions', or its own; none for a table without a segment.
std::vector<std::uint32_t> data_object_numbers(const Table& table);

}  // namespace schema
