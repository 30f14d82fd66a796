#pragma once

#include "dataaccess/Driver.h"

class PgSession;

// Where a table is and what types its columns have, as the catalog says.
struct PgTableInfo {
  QByteArray QualifiedName;         // "schema"."table", each part quoted by libpq
  std::vector<unsigned> TypeOids;   // per column of the description, its declared type (a domain stays one)
  std::vector<unsigned> BaseOids;   // the same, domains followed to their base type
};

// A table's rows in primary key order, read by key ranges: any block costs an index seek whatever
// its depth, and a walk reads ahead in growing chunks. Rows are written back with bound parameters
// and found by key with every column as read, so a row another session changed is noticed.
std::unique_ptr<TRowSource> openPgTable(PgSession& session, const QString& tableName,
                                        const TTableDescription& description, PgTableInfo info);
