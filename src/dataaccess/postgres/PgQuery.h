#pragma once

#include "dataaccess/Driver.h"

class PgSession;
typedef struct pg_result PGresult;

// Carries out SQL text: every statement in order, the last one's rows and count are the result. Rows
// of a last statement that a cursor can hold are read from the cursor on demand.
TExecResult executePostgres(PgSession& session, const QString& sql);

// Rows of a query read on demand through a cursor, in the order the query gives them; used for tables
// and views without a primary key. Nothing is asked of the server before the first read.
std::unique_ptr<TRowSource> openPgCursorRows(PgSession& session, const QByteArray& query,
                                             std::vector<TColumnInfo> columns, const QString& purpose,
                                             const QString& readOnlyReason);

// Columns of a result as field definitions.
std::vector<TColumnInfo> describePgResult(PgSession& session, const PGresult* result);
