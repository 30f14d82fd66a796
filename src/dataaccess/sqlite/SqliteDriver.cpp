#include "dataaccess/sqlite/SqliteDriver.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/sqlite/SqliteTypeMapping.h"

#include <QDir>
#include <QRegularExpression>

#include <cstring>

#include <sqlite3.h>

namespace {

QString quoteIdentifier(const QString& name)
{
  QString q = name;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

[[noreturn]] void raise(sqlite3* db, const QString& engineMessage)
{
  const int code = db ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  const QString dbMessage = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
  throw EDBEngineError(std::vector<TDBError>{{engineMessage, DBErrorCode::Statement, 0},
                                             {dbMessage, DBErrorCode::Database, code}});
}

// A prepared statement that finalizes itself.
class Statement {
public:
  Statement(sqlite3* db, const QString& sql, const QString& purpose) : FDb(db)
  {
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &FStmt, nullptr) != SQLITE_OK)
      raise(db, purpose);
    FPurpose = purpose;
  }
  ~Statement() { sqlite3_finalize(FStmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void bindText(int index, const QString& value)
  {
    const QByteArray text = value.toUtf8();
    sqlite3_bind_text(FStmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
  }
  bool step()
  {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW)
      return true;
    if (rc == SQLITE_DONE)
      return false;
    raise(FDb, FPurpose);
  }
  QString text(int column) const
  {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, column));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(FStmt, column)) : QString();
  }
  int64_t integer(int column) const { return sqlite3_column_int64(FStmt, column); }
  TValue value(int column) const
  {
    switch (sqlite3_column_type(FStmt, column)) {
    case SQLITE_INTEGER: return TValue::integer(sqlite3_column_int64(FStmt, column));
    case SQLITE_FLOAT: return TValue::real(sqlite3_column_double(FStmt, column));
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, column));
      return TValue::text(QByteArray(p, sqlite3_column_bytes(FStmt, column)));
    }
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(FStmt, column));
      return TValue::bytes(QByteArray(p, sqlite3_column_bytes(FStmt, column)));
    }
    default: return TValue();
    }
  }
  int columnCount() const { return sqlite3_column_count(FStmt); }

private:
  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
  QString FPurpose;
};

class SqliteCursor : public TDriverCursor {
public:
  SqliteCursor(sqlite3* db, const QString& sql, std::vector<TColumnInfo> columns, const QString& purpose)
      : FStatement(db, sql, purpose), FColumns(std::move(columns))
  {
  }
  const std::vector<TColumnInfo>& columns() const override { return FColumns; }
  bool fetch(TRow& row) override
  {
    if (FDone || !FStatement.step()) {
      FDone = true;
      return false;
    }
    const int n = FStatement.columnCount();
    row.resize(size_t(n));
    for (int i = 0; i < n; ++i)
      row[size_t(i)] = FStatement.value(i);
    return true;
  }

private:
  Statement FStatement;
  std::vector<TColumnInfo> FColumns;
  bool FDone = false;
};

class SqliteConnection : public TDriverConnection {
public:
  SqliteConnection(const TAliasConfig& alias)
  {
    FFileName = alias.path(QStringLiteral("Database"));
    const QString engineMessage = QStringLiteral("Cannot open the database file %1 of alias '%2'.")
                                      .arg(QDir::toNativeSeparators(FFileName), alias.Name);
    // Never SQLITE_OPEN_CREATE: an alias that points nowhere must not leave an empty database behind.
    const int rc = sqlite3_open_v2(FFileName.toUtf8().constData(), &FDb, SQLITE_OPEN_READWRITE, nullptr);
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
    sqlite3_busy_timeout(FDb, 5000);
    try {
      // Opening is lazy in SQLite: read the schema now so that a file that is not a database is refused here.
      Statement check(FDb, QStringLiteral("SELECT count(*) FROM sqlite_schema"), engineMessage);
      check.step();
    } catch (...) {
      sqlite3_close(FDb);
      FDb = nullptr;
      throw;
    }
  }
  ~SqliteConnection() override { sqlite3_close_v2(FDb); }

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
      if (c.KeyPosition > 0)
        ++keyColumns;
      d.Columns.push_back(c);
    }
    for (TColumnInfo& c : d.Columns) {
      const bool rowIdAlias = d.HasRowId && keyColumns == 1 && c.KeyPosition == 1 && !keyHasOwnIndex &&
                              c.DeclaredType.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
      const TSqliteFieldType t = sqliteFieldType(c.DeclaredType, rowIdAlias);
      c.DataType = t.DataType;
      c.Size = t.Size;
      c.Precision = t.Precision;
    }
    return d;
  }

  std::unique_ptr<TDriverCursor> openTableRows(const QString& tableName, const TTableDescription& description) override
  {
    QStringList columns;
    std::vector<const TColumnInfo*> key;
    for (const TColumnInfo& c : description.Columns) {
      columns << quoteIdentifier(c.Name);
      if (c.KeyPosition > 0)
        key.push_back(&c);
    }
    std::sort(key.begin(), key.end(), [](auto* a, auto* b) { return a->KeyPosition < b->KeyPosition; });
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QLatin1Char(',')), quoteIdentifier(tableName));
    if (!key.empty()) {
      QStringList order;
      for (const TColumnInfo* c : key)
        order << quoteIdentifier(c->Name);
      sql += QStringLiteral(" ORDER BY ") + order.join(QLatin1Char(','));
    }
    return std::make_unique<SqliteCursor>(FDb, sql, description.Columns,
                                          QStringLiteral("Cannot read the rows of table '%1'.").arg(tableName));
  }

  int64_t tableRowCount(const QString& tableName) override
  {
    Statement st(FDb, QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdentifier(tableName)),
                 QStringLiteral("Cannot count the rows of table '%1'.").arg(tableName));
    return st.step() ? st.integer(0) : 0;
  }

private:
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
