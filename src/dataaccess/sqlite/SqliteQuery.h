#pragma once

#include "dataaccess/Driver.h"

struct sqlite3;

// Carries out SQL text on the connection: every statement in order; the last one gives the result.
TExecResult executeSqlite(sqlite3* db, const QString& sql);
