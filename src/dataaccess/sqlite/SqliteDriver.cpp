#include "dataaccess/sqlite/SqliteDriver.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/sqlite/SqliteQuery.h"
#include "dataaccess/sqlite/SqliteStatement.h"
#include "dataaccess/sqlite/SqliteTableSource.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"
#include "dataaccess/sqlite/SqliteWork.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdint>
#include <cstring>

#include <sqlite3.h>

namespace {

using Statement = SqliteStatement;

class SqliteConnection : public TDriverConnection {
public:
  SqliteConnection(const TAliasConfig& alias)
  {
    FFileName = alias.path(QStringLiteral("Database"));
    const QString engineMessage = QStringLiteral("Cannot open the database file %1 of alias '%2'.")
                                      .arg(QDir::toNativeSeparators(FFileName), alias.Name);
    // SQLite takes an empty file, /dev/null or /dev/zero for an empty database and reports success:
    // only an existing regular file is a database here.
    if (const QFileInfo info(FFileName); info.exists() && !info.isFile())
      throw EDBEngineError(engineMessage, info.isDir() ? QStringLiteral("It is a folder, not a database file.")
                                                       : QStringLiteral("It is a device or a pipe, not a database file."));
    // Never SQLITE_OPEN_CREATE: an alias that points nowhere must not leave an empty database behind.
    // One thread uses a connection, so SQLite need not lock around every call.
    const int rc = sqlite3_open_v2(FFileName.toUtf8().constData(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      QString dbMessage = FDb ? QString::fromUtf8(sqlite3_errmsg(FDb)) : QString::fromUtf8(sqlite3_errstr(rc));
      // SQLite's "unable to open database file" does not say why; the system does.
      if (const int systemError = FDb ? sqlite3_system_errno(FDb) : 0)
        dbMessage += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(systemError)));
      sqlite3_close(FDb);
      FDb = nullptr;
      throw EDBEngineError(engineMessage, dbMessage, rc);
    }
    sqlite3_extended_result_codes(FDb, 1);
    SqliteWork::attach(FDb);  // waits for locks and long steps keep the window alive and can be cancelled
    registerSqliteRowMarks(FDb);
    try {
      // Opening is lazy in SQLite: read the schema now so that a file that is not a database is refused here.
      Statement check(FDb, QStringLiteral("SELECT count(*) FROM sqlite_schema"), engineMessage);
      check.step();
    } catch (...) {
      SqliteWork::detach(FDb);
      sqlite3_close(FDb);
      FDb = nullptr;
      throw;
    }
  }
  ~SqliteConnection() override
  {
    SqliteWork::detach(FDb);
    sqlite3_close_v2(FDb);
  }

  QStringList tableNames(const QString& pattern, bool systemTables) override
  {
    QString sql = QStringLiteral("SELECT name FROM sqlite_schema WHERE type IN ('table','view')");
    if (!systemTables)
      sql += QStringLiteral(" AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    Statement st(FDb, sql, QStringLiteral("Cannot list the tables of %1.").arg(QDir::toNativeSeparators(FFileName)));
    QRegularExpression filter;
    if (!pattern.isEmpty())
      filter = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                  QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    while (st.step()) {
      const QString name = st.text(0);
      if (pattern.isEmpty() || filter.match(name).hasMatch())
        names << name;
    }
    return names;
  }

  TTableDescription describeTable(const QString& tableName) override
  {
    const QString purpose = QStringLiteral("Cannot read the structure of table '%1'.").arg(tableName);
    TTableDescription d;
    QString kind;
    bool withoutRowId = false;
    {
      Statement st(FDb, QStringLiteral("SELECT type, wr FROM pragma_table_list WHERE schema = 'main' AND name = ?1"), purpose);
      st.bindText(1, tableName);
      if (!st.step())
        throw EDBEngineError(std::vector<TDBError>{
            {purpose, DBErrorCode::Table, 0},
            {QStringLiteral("There is no table or view named '%1'.").arg(tableName), DBErrorCode::Database, 0}});
      kind = st.text(0);
      withoutRowId = st.integer(1) != 0;
    }
    d.HasRowId = kind == QLatin1String("table") && !withoutRowId;
    // An automatic "pk" index means the key is not the row id itself.
    bool keyHasOwnIndex = false;
    {
      Statement st(FDb, QStringLiteral("SELECT 1 FROM pragma_index_list(?1) WHERE origin = 'pk'"), purpose);
      st.bindText(1, tableName);
      keyHasOwnIndex = st.step();
    }
    Statement st(FDb, QStringLiteral("SELECT name, type, \"notnull\", pk, hidden FROM pragma_table_xinfo(?1) ORDER BY cid"), purpose);
    st.bindText(1, tableName);
    int keyColumns = 0;
    while (st.step()) {
      if (st.integer(4) == 1)
        continue;  // hidden columns of virtual tables are not part of the record
      TColumnInfo c;
      c.Name = st.text(0);
      c.DeclaredType = st.text(1);
      c.Required = st.integer(2) != 0;
      c.KeyPosition = int(st.integer(3));
      c.ReadOnly = st.integer(4) >= 2;  // generated columns
      if (c.KeyPosition > 0)
        ++keyColumns;
      d.Columns.push_back(c);
    }
    for (TColumnInfo& c : d.Columns) {
      const bool rowIdAlias = d.HasRowId && keyColumns == 1 && c.KeyPosition == 1 && !keyHasOwnIndex &&
                              c.DeclaredType.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
      const TSqliteFieldType t = sqliteFieldType(c.DeclaredType, rowIdAlias && rowIdsFit32Bits(tableName, c.Name, purpose));
      c.DataType = t.DataType;
      c.Size = t.Size;
      c.Precision = t.Precision;
    }
    return d;
  }

  std::unique_ptr<TRowSource> openTable(const QString& tableName, const TTableDescription& description) override
  {
    return openSqliteTable(FDb, tableName, description);
  }

  TExecResult execute(const QString& sql) override
  {
    return executeSqlite(FDb, sql);
  }

private:
  // The row id is an auto-increment field only while it holds 32-bit numbers; SQLite hands out
  // 64-bit ones once a row was given a large id. The ends of the table's b-tree tell, in O(log n).
  bool rowIdsFit32Bits(const QString& tableName, const QString& keyColumn, const QString& purpose)
  {
    const QString key = SqlText::quoteIdentifier(keyColumn);
    const QString table = SqlText::quoteIdentifier(tableName);
    Statement st(FDb, QStringLiteral("SELECT (SELECT min(%1) FROM %2), (SELECT max(%1) FROM %2)").arg(key, table), purpose);
    if (!st.step())
      return true;
    // An empty table has no ids yet (NULL ends): its first ones are small.
    const auto fits = [](const TValue& v) {
      return v.kind() != TValue::Integer || (v.asInteger() >= INT32_MIN && v.asInteger() <= INT32_MAX);
    };
    return fits(st.value(0)) && fits(st.value(1));
  }

  sqlite3* FDb = nullptr;
  QString FFileName;
};

class SqliteDriver : public TDriver {
public:
  QString name() const override { return QStringLiteral("SQLite"); }
  std::unique_ptr<TDriverConnection> connect(const TAliasConfig& alias, const QString&, const QString&) override
  {
    // SQLite has no users: the login's user name and password are accepted and not used.
    return std::make_unique<SqliteConnection>(alias);
  }
};

}  // namespace

std::unique_ptr<TDriver> createSqliteDriver()
{
  return std::make_unique<SqliteDriver>();
}
