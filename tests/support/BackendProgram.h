#pragma once

// The program's windows over an alias on the running row's database (see addDriverRows): the
// steps every window test that runs on both drivers begins and ends with.
#include "AppFixture.h"
#include "Backends.h"

namespace test_backends {

// Lays out the schema on the row's database and starts the program over an alias to it. On
// PostgreSQL, call PG_REQUIRE_SERVER() first, on ODBC MARIA_REQUIRE_SERVER(): it must end the test
// function itself.
inline std::unique_ptr<Backend> startProgramOn(TestFolder& folder, const QString& schema, const QString& alias)
{
  auto backend = makeBackend(folder, schema);
  app_fixture::startProgram(folder, backend->aliasSection(alias));
  return backend;
}

// Logs in as the backend's user and connects by double-clicking the alias in the tree.
inline void connectThroughTheTree(const Backend& backend, const QString& alias)
{
  app_fixture::loginWith(backend.user(), backend.password());
  app_fixture::doubleClick(app_fixture::child(app_fixture::root(), alias));
  QVERIFY(fmMain->Database.Connected());
}

// Closes the windows, drops the database and the folder, and checks every modal was answered.
inline void stopProgramOn(std::unique_ptr<Backend>& backend, std::unique_ptr<TestFolder>& folder)
{
  if (fmMain)
    app_fixture::stopProgram();
  backend.reset();
  folder.reset();
  QVERIFY(allModalsAnswered());
}

}  // namespace test_backends
