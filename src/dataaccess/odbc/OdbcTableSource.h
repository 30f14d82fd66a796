#pragma once

#include "dataaccess/Driver.h"
#include "dataaccess/odbc/OdbcTypes.h"

class OdbcSession;

// A table's rows in primary key order, read by key ranges: the rows after (or before) a row are one
// query that the key's index answers, limited by SQL_ATTR_MAX_ROWS, whatever the depth. Rows are
// written back with bound parameters, found by key with every comparable value as read, so a row
// another session changed or removed meanwhile is noticed and nothing is written.
std::unique_ptr<TRowSource> openOdbcTable(OdbcSession& session, const QString& tableName, const QString& quotedTable,
                                          const TTableDescription& description, std::vector<OdbcColumnType> types);
