// The users' schema of a generated database as the unloader's schema model
// holds it: what a reader of its dictionary should find, and what a schema
// file written from it (make_datafile database) tells an unload.
#pragma once

#include "schema/schema.h"
#include "system_file.h"

namespace datafile {

// The users' tables of `database` (not the dictionary's own), each with
// its data object (its cluster's, for a clustered table, placed as its
// table number with the cluster's key columns) or its partitions, and its
// columns with their COL#, SEGCOL# and INTCOL#; the database's character
// sets by name. With the database `built`, each table's segment header
// (its cluster's for a clustered table, its partitions' for a partitioned
// one) too, as a dictionary names them. Tables dropped are marked so, and a
// table's partitions dropped are a dropped table of their own after it.
schema::Schema schema_of(const Database& database, const BuiltDatabase* built = nullptr);

}  // namespace datafile
