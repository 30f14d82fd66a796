#pragma once

#include "dataaccess/Driver.h"

class OdbcSession;

// Carries out one statement as one call of the data source; text with several is refused before
// anything is sent. Rows of a query (text that starts with
// SELECT) are read on demand through a forward cursor: a reading behind it runs the query again and
// steps forward, which a query may. Rows of anything else are read at once and kept, since running
// it again would do it again.
TExecResult executeOdbc(OdbcSession& session, const QString& sql);

// Rows of the driver's own query over a table without a key, read on demand in the query's order.
std::unique_ptr<TRowSource> openOdbcQueryRows(OdbcSession& session, const QString& query, std::vector<TColumnInfo> columns,
                                              const QString& purpose, const QString& readOnlyReason);
