#pragma once

#include "dataaccess/Driver.h"

// The embedded driver. Alias settings: Database (the database file; relative paths are taken from the
// alias file's folder). The file is opened read-write and never created.
std::unique_ptr<TDriver> createSqliteDriver();
