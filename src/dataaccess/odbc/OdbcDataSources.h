#pragma once

#include <QStringList>

// The names of the ODBC data sources the driver manager knows (the user's and the system's
// odbc.ini), as SQLDataSources lists them; empty when there are none or the manager cannot tell.
QStringList odbcDataSourceNames();
