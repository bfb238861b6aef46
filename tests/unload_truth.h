// What an unload of a database the builder wrote must give, from the
// builder's truth: the text of each value, each row's rowid, the records of
// each file of a table; and the database written into a scratch directory.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "system_file.h"
#include "test_support.h"

// A value as the loading text of its column's type writes it.
std::string expected_text(const datafile::ColumnDef& def, const datafile::Value& value);

// A row's rowid as the unload writes it.
std::string rowid_text(std::uint32_t data_object, const datafile::RowAddress& at);

// The records the truth says each file of the table holds, by the file's
// name after OWNER.TABLE: ".csv", ".deleted.csv", ".stale.csv", and for a
// table dropped (or its partitions dropped) ".dropped.csv" and so on. Its
// hidden and unused columns are left out (they have a file of their own).
std::map<std::string, std::vector<CsvRecord>> expected_records(const datafile::BuiltDatabase& built,
                                                               const datafile::TableDef& table);

// The exit status of an unload that completed with something damaged,
// lost, incomplete or not decoded: the sample's LOB locators are not.
constexpr int kIncomplete = 4;

// A database in a scratch directory, with the schema file of its users' tables.
struct WrittenDatabase {
    explicit WrittenDatabase(datafile::Database description = datafile::sample_database(),
                             datafile::SystemDamage damage = datafile::SystemDamage::None);

    ScratchDir dir;
    datafile::Database database;
    datafile::BuiltDatabase built;
    std::string system;
    std::string users;
    std::string schema_file;
};
