#pragma once

// One test, three databases: the same tables on a SQLite file, on the PostgreSQL test server and,
// through ODBC, on the MariaDB test server, reached through an alias, with a second session on each
// for checking what was stored.
#include "MariaTestServer.h"
#include "PgTestServer.h"
#include "TestSupport.h"

#include <QString>
#include <QtTest>

#include <memory>

#include <sqlite3.h>

namespace test_backends {

// The same content on either kind of database, reached through an alias, and a second session on it.
class Backend {
public:
  virtual ~Backend() = default;
  virtual QByteArray aliasSection(const QString& name) = 0;
  virtual void exec(const QString& sql) = 0;
  virtual QString scalar(const QString& sql) = 0;
  virtual QString user() const = 0;
  virtual QString password() const = 0;
  // A table name as the tree lists it.
  virtual QString listed(const QString& table) const = 0;
};

class SqliteBackend : public Backend {
public:
  SqliteBackend(TestFolder& folder, const QString& sql) : FFile(folder.createDatabase(QStringLiteral("both.db"), sql)) {}
  QByteArray aliasSection(const QString& name) override { return "[" + name.toUtf8() + "]\nDriver=SQLite\nDatabase=both.db\n"; }
  void exec(const QString& sql) override { executeSql(FFile, sql); }
  QString scalar(const QString& sql) override
  {
    sqlite3* db = nullptr;
    sqlite3_open(FFile.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    QString r = st && sqlite3_step(st) == SQLITE_ROW ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                                                     : QStringLiteral("<none>");
    sqlite3_finalize(st);
    sqlite3_close(db);
    return r;
  }
  QString user() const override { return QStringLiteral("someone"); }
  QString password() const override { return QStringLiteral("anything"); }
  QString listed(const QString& table) const override { return table; }

private:
  QString FFile;
};

class PgBackend : public Backend {
public:
  explicit PgBackend(const QString& sql) : FDb(QStringLiteral("both")) { FDb.exec(sql); }
  QByteArray aliasSection(const QString& name) override { return FDb.aliasSection(name); }
  void exec(const QString& sql) override { FDb.exec(sql); }
  QString scalar(const QString& sql) override { return FDb.scalar(sql); }
  QString user() const override { return QString::fromUtf8(pg_test::server().User); }
  QString password() const override { return QString::fromUtf8(pg_test::server().Password); }
  QString listed(const QString& table) const override
  {
    const bool plain = table == table.toLower() && !table.contains(QLatin1Char(' '));
    return plain ? table : QLatin1Char('"') + table + QLatin1Char('"');
  }

private:
  pg_test::TempDatabase FDb;
};

// The login of the second MariaDB user: an alias with a connection string takes any character but '}'.
class MariaBackend : public Backend {
public:
  explicit MariaBackend(const QString& sql) : FDb(QStringLiteral("both")) { FDb.exec(sql); }
  QByteArray aliasSection(const QString& name) override { return FDb.aliasSection(name); }
  void exec(const QString& sql) override { FDb.exec(sql); }
  QString scalar(const QString& sql) override { return FDb.scalar(sql); }
  QString user() const override { return QString::fromUtf8(maria_test::server().User2); }
  QString password() const override { return QString::fromUtf8(maria_test::server().Password2); }
  QString listed(const QString& table) const override { return table; }

private:
  maria_test::TempDatabase FDb;
};

// One row per driver, for initTestCase_data: every test of the program then runs on each.
inline void addDriverRows()
{
  QTest::addColumn<QString>("driver");
  QTest::newRow("SQLite") << "SQLite";
  QTest::newRow("PostgreSQL") << "PostgreSQL";
  QTest::newRow("ODBC") << "ODBC";
}

inline bool onPostgres()
{
  QFETCH_GLOBAL(QString, driver);
  return driver == QLatin1String("PostgreSQL");
}

inline bool onOdbc()
{
  QFETCH_GLOBAL(QString, driver);
  return driver == QLatin1String("ODBC");
}

// The running row's database with the schema laid out (on a server, check for it first).
inline std::unique_ptr<Backend> makeBackend(TestFolder& folder, const QString& schema)
{
  if (onPostgres())
    return std::make_unique<PgBackend>(schema);
  if (onOdbc())
    return std::make_unique<MariaBackend>(schema);
  return std::make_unique<SqliteBackend>(folder, schema);
}

}  // namespace test_backends
