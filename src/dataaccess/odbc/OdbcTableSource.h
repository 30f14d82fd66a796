#pragma once

#include "dataaccess/Driver.h"
#include "dataaccess/odbc/OdbcTypes.h"

class OdbcSession;

// A table's rows in primary key order, read by key ranges: the rows after (or before) a row are one
// query that the key's index answers, limited by SQL_ATTR_MAX_ROWS, whatever the depth. The table
// is read-only for now: rows are not written back through ODBC yet.
std::unique_ptr<TRowSource> openOdbcTable(OdbcSession& session, const QString& tableName, const QString& quotedTable,
                                          const TTableDescription& description, std::vector<OdbcColumnType> types);
