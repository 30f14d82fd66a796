#pragma once

#include "dataaccess/Driver.h"

// The ODBC driver, over unixODBC's driver manager. Alias settings: either DSN (a data source of the
// system's or the user's odbc.ini) or ConnectionString (a driver connection string without user and
// password); ConnectTimeout (seconds, 15 when absent). The login's user name and password go to
// SQLConnect as values of their own with a DSN, or braced into the connection string.
std::unique_ptr<TDriver> createOdbcDriver();
