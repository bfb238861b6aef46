// What the data dictionary in a SYSTEM data file holds that a reader and
// the data file builder must agree on: the object numbers of a fresh
// database, where the clustered dictionary tables sit in their clusters,
// and the codes and flag bits of OBJ$, TAB$ and COL$. The column lists,
// object numbers and table numbers the reader uses come from the
// BOOTSTRAP$ statements. Values marked "assumed" are our own reading, kept
// here only so that one change mends them everywhere.
#pragma once

#include <cstdint>

namespace dictionary {

// The core objects' numbers in every database created from 10g on. An
// upgrade (to 11.2 and later) gives some of them new numbers and new
// segments, so the reader takes them from BOOTSTRAP$ and uses none of these.
constexpr std::uint32_t kObjClusterObject = 2;    // C_OBJ#, key OBJ#
constexpr std::uint32_t kTabObject = 4;           // TAB$
constexpr std::uint32_t kTsClusterObject = 6;     // C_TS#
constexpr std::uint32_t kUserClusterObject = 10;  // C_USER#, key USER#
constexpr std::uint32_t kTsObject = 16;           // TS$
constexpr std::uint32_t kObjObject = 18;          // OBJ$, a heap table
constexpr std::uint32_t kIndObject = 19;          // IND$
constexpr std::uint32_t kIcolObject = 20;         // ICOL$
constexpr std::uint32_t kColObject = 21;          // COL$
constexpr std::uint32_t kUserObject = 22;         // USER$

// BOOTSTRAP$: the one table whose columns no statement gives, since the
// statements are its rows. An ordinary heap table whose root address block 1
// of the SYSTEM file holds; its rows are LINE# NUMBER, OBJ# NUMBER,
// SQL_TEXT VARCHAR2, in that order. Line -1 holds the version, not a
// statement.
constexpr std::uint32_t kBootstrapLineColumn = 0;
constexpr std::uint32_t kBootstrapObjectColumn = 1;
constexpr std::uint32_t kBootstrapSqlColumn = 2;
constexpr std::int64_t kBootstrapVersionLine = -1;
constexpr std::int64_t kBootstrapFirstStatementLine = 0;

// Table numbers within their clusters, in a database created fresh.
constexpr std::uint8_t kTabClusterTable = 1;   // TAB$ in C_OBJ#
constexpr std::uint8_t kIndClusterTable = 3;   // IND$ in C_OBJ#
constexpr std::uint8_t kIcolClusterTable = 4;  // ICOL$ in C_OBJ#
constexpr std::uint8_t kColClusterTable = 5;   // COL$ in C_OBJ#
constexpr std::uint8_t kLobClusterTable = 6;   // LOB$ in C_OBJ#
constexpr std::uint8_t kUserClusterTable = 1;  // USER$ in C_USER#
// After an upgrade to 12.2 or later, whose script creates COL$, CLU$,
// TAB$, IND$, ICOL$ and LOB$ in that order (assumed, as no upgraded
// listing has been seen: the builder's upgraded databases only).
constexpr std::uint8_t kUpgradedColClusterTable = 1;
constexpr std::uint8_t kUpgradedTabClusterTable = 3;

// The owner of the dictionary's own objects.
constexpr std::uint32_t kSysUser = 0;

// OBJ$.TYPE#.
constexpr std::uint16_t kObjectTypeIndex = 1;
constexpr std::uint16_t kObjectTypeTable = 2;
constexpr std::uint16_t kObjectTypeCluster = 3;
constexpr std::uint16_t kObjectTypeTablePartition = 19;
constexpr std::uint16_t kObjectTypeTableSubpartition = 34;
constexpr std::uint16_t kObjectTypeLob = 21;  // a LOB segment
constexpr std::uint16_t kObjectTypeLobPartition = 35;  // a LOB's segment of one partition (assumed)

// OBJ$.NAMESPACE of tables, indexes and clusters (assumed).
constexpr std::uint16_t kNamespaceTable = 1;
constexpr std::uint16_t kNamespaceIndex = 4;
constexpr std::uint16_t kNamespaceCluster = 5;

// USER$.TYPE#.
constexpr std::uint16_t kUserTypeRole = 0;
constexpr std::uint16_t kUserTypeUser = 1;

// COL$.TYPE#: the internal data type codes.
constexpr std::uint16_t kTypeVarchar2 = 1;  // NVARCHAR2 with CHARSETFORM 2
constexpr std::uint16_t kTypeNumber = 2;    // FLOAT too
constexpr std::uint16_t kTypeLong = 8;
constexpr std::uint16_t kTypeDate = 12;
constexpr std::uint16_t kTypeRaw = 23;
constexpr std::uint16_t kTypeLongRaw = 24;
constexpr std::uint16_t kTypeRowid = 69;
constexpr std::uint16_t kTypeChar = 96;  // NCHAR with CHARSETFORM 2
constexpr std::uint16_t kTypeBinaryFloat = 100;
constexpr std::uint16_t kTypeBinaryDouble = 101;
constexpr std::uint16_t kTypeClob = 112;  // NCLOB with CHARSETFORM 2
constexpr std::uint16_t kTypeBlob = 113;
constexpr std::uint16_t kTypeBfile = 114;
constexpr std::uint16_t kTypeTimestamp = 180;
constexpr std::uint16_t kTypeTimestampTz = 181;
constexpr std::uint16_t kTypeIntervalYm = 182;
constexpr std::uint16_t kTypeIntervalDs = 183;
constexpr std::uint16_t kTypeUrowid = 208;
constexpr std::uint16_t kTypeTimestampLtz = 231;
constexpr std::uint16_t kTypeBoolean = 252;

// COL$.SCALE of a FLOAT column, whose PRECISION# is its binary precision
// (assumed).
constexpr std::int32_t kFloatScale = -127;

// COL$.CHARSETFORM.
constexpr std::uint8_t kCharsetFormNone = 0;
constexpr std::uint8_t kCharsetFormDatabase = 1;
constexpr std::uint8_t kCharsetFormNational = 2;

// COL$.CHARSETID and the database's character sets.
constexpr std::uint16_t kCharsetUs7Ascii = 1;
constexpr std::uint16_t kCharsetWe8Iso8859P1 = 31;
constexpr std::uint16_t kCharsetWe8MsWin1252 = 178;
constexpr std::uint16_t kCharsetUtf8 = 871;
constexpr std::uint16_t kCharsetAl32Utf8 = 873;
constexpr std::uint16_t kCharsetAl16Utf16 = 2000;

// COL$.PROPERTY bits (assumed).
constexpr std::uint32_t kColumnSystemVirtual = 0x8;         // virtual: not stored
constexpr std::uint32_t kColumnHidden = 0x20;
constexpr std::uint32_t kColumnUnused = 0x8000;
constexpr std::uint32_t kColumnVirtual = 0x10000;           // a user's virtual column
constexpr std::uint32_t kColumnCharLength = 0x800000;       // length given in characters
// A user's virtual column carries both virtual bits (assumed).
constexpr std::uint32_t kColumnUserVirtual = kColumnVirtual | kColumnSystemVirtual;
// COL$.SPARE3 holds a character-length column's length in characters
// (assumed).
constexpr const char* kCharLengthColumn = "SPARE3";

// TAB$.PROPERTY bits (assumed).
constexpr std::uint32_t kTablePartitioned = 0x20;
constexpr std::uint32_t kTableClustered = 0x400;

}  // namespace dictionary
