// The register's own table, ЗУРТ: its 26 columns and its two indexes, as the
// programs expect to find them, made through the engine like any table.
#pragma once

#include "jet/create.h"
#include "jet/database.h"

namespace reg {

jet::TableSpec register_table_spec();
// Adds the empty table ЗУРТ to the database, in a write group of its own.
void create_register_table(jet::Database& db);

}  // namespace reg
