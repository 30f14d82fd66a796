#pragma once

#include "dataaccess/Driver.h"

// The PostgreSQL driver, over libpq. Alias settings: Database (required), Host, Port, SSLMode,
// SSLRootCert, SSLCert, SSLKey (paths relative to the alias file), ConnectTimeout (seconds, 15 when
// absent), ApplicationName ("Kestrel" when absent). The login's user name and password become libpq's
// user and password. Each goes to libpq as its own keyword and value, never into a connection string.
std::unique_ptr<TDriver> createPostgresDriver();
