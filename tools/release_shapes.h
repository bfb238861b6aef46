// The data dictionary as other releases than 11.2 lay it out, for SYSTEM
// files the builder writes: BOOTSTRAP$ statements whose column lists grow
// by release (FORMATS.md's lists, in storage order), identifiers of 128
// bytes, and an upgraded database's renumbered core objects, new
// segments, kept LINE#s and upgraded table numbers in C_OBJ#. No real
// statement of these releases is at hand: the texts follow the 11.2 ones
// (the 11.2 shape gives them back exactly, which a test checks), so only
// what a reader must not depend on is varied.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system_file.h"

namespace datafile {

enum class DictionaryShape {
    Release10g,  // 11.2's statements (10g's own lists are not known here) in a file header of 10g's length
    Release11_2,
    Release12_1,         // created in 12.1: OBJ$ of 25 columns, USER$ of 30, names of 128 bytes
    Release19c,          // created in 19c: the lists of 12.2 and later, OBJ$ of 37 columns
    Release19cUpgraded,  // 19c upgraded from 11.2 (below)
};
// In an upgraded database (FORMATS.md section 8.1) the core objects have
// new object numbers, above the users' objects of the sample, and new
// segments; their lines keep their old LINE#; COL$ is table 1 of C_OBJ#
// and TAB$ table 3; BOOTSTRAP$ lies elsewhere; the index lines are in
// lower case and its lines are in the order they were written, not by
// LINE#.

// "10g", "11.2", "12.1", "19c", "19c-upgraded": the names make_datafile
// takes.
std::string shape_name(DictionaryShape shape);
const std::vector<DictionaryShape>& all_shapes();

// A column as a statement declares it.
struct DeclaredColumn {
    std::string name;
    std::string type;  // "NUMBER", "VARCHAR2(30)", "TIMESTAMP(6)", "LONG"
    bool not_null = false;

    bool operator==(const DeclaredColumn&) const = default;
};

// The columns in the order BOOTSTRAP$ lists them, which rows store them
// in: a LONG column goes last and the column declared last takes its
// place (assumed for the lists after 11.2, whose COL$ shows it).
std::vector<DeclaredColumn> storage_order(std::vector<DeclaredColumn> declared);

// The columns of OBJ$, USER$, COL$ and TAB$ as the shape's release
// declares them.
std::vector<DeclaredColumn> declared_columns(DictionaryShape shape, const std::string& table);

// The rows of BOOTSTRAP$ of the shape, their segments in relative file
// `system_file` (1, or kBigfileRelativeFile for a bigfile SYSTEM
// tablespace). `bootstrap_block` moves BOOTSTRAP$'s segment header of an
// upgraded database (0: where the shape puts it).
std::vector<BootstrapLine> shape_bootstrap_lines(DictionaryShape shape, std::uint16_t system_file = 1,
                                                 std::uint32_t bootstrap_block = 0);

// The sample database with the dictionary of `shape`: its BOOTSTRAP$, the
// header length of its release, values in the columns its release adds,
// and from 12.1 on a user, tables and a column whose names take all 128
// bytes. With `bigfile_system` the SYSTEM tablespace is a bigfile one and
// the SYSTEM file sparse, an upgraded database's BOOTSTRAP$ at a block
// number a smallfile address would read as one of file 1.
Database release_database(DictionaryShape shape, std::uint32_t block_size = 8192, ByteOrder order = ByteOrder::Little,
                          bool bigfile_system = false);

// The block of the bigfile upgraded database's BOOTSTRAP$ segment header.
constexpr std::uint32_t kFarBootstrapBlock = (1u << 22) + 64;

}  // namespace datafile
