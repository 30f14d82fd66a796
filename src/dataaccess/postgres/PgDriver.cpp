#include "dataaccess/postgres/PgDriver.h"

#include "dataaccess/EngineWait.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/postgres/PgQuery.h"
#include "dataaccess/postgres/PgSession.h"
#include "dataaccess/postgres/PgTableSource.h"

#include <QRegularExpression>

#include <optional>

#include <libpq-fe.h>

namespace {

void ignoreNotice(void*, const char*) {}

// Session settings the value conversions rely on: ISO dates, times in UTC (as the engine reads zoned
// times), floats with every digit, bytea in hex, money without local symbols.
const char* const sessionSettings =
    "SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET extra_float_digits = 3;"
    " SET bytea_output = 'hex'; SET TimeZone = 'UTC'; SET lc_monetary = 'C'";

// Connects without freezing the window (see pgAwaitConnection).
PGconn* connectWaiting(const char* const* keywords, const char* const* values, int timeoutSeconds, QString* stopped)
{
  PGconn* conn = PQconnectStartParams(keywords, values, 0);
  if (!conn || PQstatus(conn) == CONNECTION_BAD)
    return conn;
  *stopped = pgAwaitConnection(conn, false, timeoutSeconds);
  return conn;
}

struct Described {
  QString Name;
  TTableDescription Description;
  PgTableInfo Info;
};

class PgConnection : public TDriverConnection {
public:
  PgConnection(const TAliasConfig& alias, const QString& user, const QString& password) : FAlias(alias.Name)
  {
    std::vector<std::pair<const char*, QByteArray>> settings;
    auto add = [&](const char* keyword, const std::optional<QString>& value) {
      if (value && !value->isEmpty())
        settings.emplace_back(keyword, value->toUtf8());
    };
    // A service (libpq's service file) may name the database; otherwise the alias must.
    const std::optional<QString> service = alias.value(QStringLiteral("Service"));
    const QString database = service && !alias.value(QStringLiteral("Database"))
                                 ? QStringLiteral("of service %1").arg(*service)
                                 : alias.required(QStringLiteral("Database"));
    add("service", service);
    add("host", alias.value(QStringLiteral("Host")));
    add("port", alias.value(QStringLiteral("Port")));
    add("dbname", alias.value(QStringLiteral("Database")));
    add("user", user);
    // No password typed: libpq looks in its password file (PGPASSFILE, ~/.pgpass).
    add("password", password);
    // Several hosts and ports ("a,b", "5432,5433") are tried in turn for a session of this kind.
    add("target_session_attrs", alias.value(QStringLiteral("TargetSessionAttrs")));
    add("sslmode", alias.value(QStringLiteral("SSLMode")));
    for (const auto& [key, keyword] : {std::pair{"SSLRootCert", "sslrootcert"}, std::pair{"SSLCert", "sslcert"},
                                       std::pair{"SSLKey", "sslkey"}})
      if (alias.value(QLatin1String(key)))
        add(keyword, alias.path(QLatin1String(key)));
    add("connect_timeout", alias.value(QStringLiteral("ConnectTimeout")).value_or(QStringLiteral("15")));
    add("application_name", alias.value(QStringLiteral("ApplicationName")).value_or(QStringLiteral("Kestrel")));
    add("client_encoding", QStringLiteral("UTF8"));
    std::vector<const char*> keywords, values;
    for (const auto& s : settings) {
      keywords.push_back(s.first);
      values.push_back(s.second.constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    // expand_dbname 0: no value is ever read as a connection string, so none can add a setting.
    QString stopped;
    const int timeout = alias.value(QStringLiteral("ConnectTimeout")).value_or(QStringLiteral("15")).toInt();
    PGconn* conn = connectWaiting(keywords.data(), values.data(), timeout, &stopped);
    const QString host = alias.value(QStringLiteral("Host"))
                             .value_or(service ? QStringLiteral("the host of service %1").arg(*service) : QStringLiteral("the local socket"));
    const QString engineMessage = QStringLiteral("Cannot connect to alias '%1' (PostgreSQL database %2 on %3).")
                                      .arg(alias.Name, database, host);
    if (!conn || PQstatus(conn) != CONNECTION_OK || !stopped.isEmpty()) {
      QString message = !stopped.isEmpty() ? stopped
                        : conn            ? QString::fromUtf8(PQerrorMessage(conn)).trimmed()
                                          : QStringLiteral("Out of memory.");
      PQfinish(conn);
      // libpq never repeats a password; should a server ever do so, it goes no further. Short ones
      // would blank out ordinary words.
      if (password.size() >= 4)
        message.replace(password, QStringLiteral("********"));
      std::vector<TDBError> entries{{engineMessage, DBErrorCode::Connection, 0}};
      for (const QString& line : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        entries.push_back({line.trimmed(), DBErrorCode::Database, 0});
      throw EDBEngineError(std::move(entries));
    }
    // Notices would go to stderr: the program keeps no log.
    PQsetNoticeProcessor(conn, ignoreNotice, nullptr);
    FSession = std::make_unique<PgSession>(conn);
    FSession->exec(sessionSettings, engineMessage, DBErrorCode::Connection);
    FSession->setReconnect(QStringLiteral("Cannot connect again to alias '%1'.").arg(alias.Name), timeout, [this, engineMessage] {
      FSession->exec(sessionSettings, engineMessage, DBErrorCode::Connection);
    });
    FSession->OnConnectionState = [this](bool lost) {
      if (ConnectionStateChanged)
        ConnectionStateChanged(lost);
    };
  }

  QStringList tableNames(const QString& pattern, bool systemTables) override
  {
    // Unqualified where the search path finds the table (the server's own test, shadowing included),
    // each part quoted where SQL needs it; other sessions' temporary tables and TOAST are never listed.
    const QByteArray sql = QByteArray(
        "SELECT CASE WHEN pg_catalog.pg_table_is_visible(c.oid) THEN pg_catalog.quote_ident(c.relname)"
        " ELSE pg_catalog.quote_ident(n.nspname) || '.' || pg_catalog.quote_ident(c.relname) END"
        " FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
        " WHERE c.relkind IN ('r', 'v', 'm', 'f', 'p')"
        " AND n.nspname NOT LIKE 'pg\\_toast%'"
        " AND (n.nspname NOT LIKE 'pg\\_temp\\_%' OR n.oid = pg_catalog.pg_my_temp_schema())") +
        (systemTables ? "" : " AND n.nspname NOT IN ('pg_catalog', 'information_schema')") + " ORDER BY 1";
    const PgResult r = FSession->exec(sql, QStringLiteral("Cannot list the tables of alias '%1'.").arg(FAlias),
                                      DBErrorCode::Database);
    QRegularExpression filter;
    if (!pattern.isEmpty())
      filter = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                  QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (int i = 0; i < r.rows(); ++i) {
      const QString name = r.text(i, 0);
      if (pattern.isEmpty() || filter.match(name).hasMatch())
        names << name;
    }
    return names;
  }

  TTableDescription describeTable(const QString& tableName) override
  {
    FLast = describe(tableName);
    return FLast->Description;
  }

  std::unique_ptr<TRowSource> openTable(const QString& tableName, const TTableDescription& description) override
  {
    // Opening follows describing; the catalog is asked again only for another table.
    Described d = FLast && FLast->Name == tableName ? std::move(*FLast) : describe(tableName);
    FLast.reset();
    PgTableInfo info;
    info.QualifiedName = d.Info.QualifiedName;
    QList<QByteArray> names;
    bool keyed = false;
    for (const TColumnInfo& c : description.Columns) {
      size_t i = 0;
      while (i < d.Description.Columns.size() && d.Description.Columns[i].Name != c.Name)
        ++i;
      if (i == d.Description.Columns.size())
        throw EDBEngineError(QStringLiteral("Cannot open table '%1'.").arg(tableName),
                             QStringLiteral("It has no column '%1'.").arg(c.Name));
      info.TypeOids.push_back(d.Info.TypeOids[i]);
      info.BaseOids.push_back(d.Info.BaseOids[i]);
      names << FSession->quoteIdentifier(c.Name);
      keyed = keyed || c.KeyPosition > 0;
    }
    if (keyed)
      return openPgTable(*FSession, tableName, description, std::move(info));
    // Without a key rows come in the server's order through a cursor, and stay read-only.
    return openPgCursorRows(*FSession, "SELECT " + names.join(',') + " FROM " + info.QualifiedName, description.Columns,
                            QStringLiteral("Cannot read the rows of table '%1'.").arg(tableName),
                            noKeyReason(tableName));
  }

  TExecResult execute(const QString& sql) override
  {
    return executePostgres(*FSession, sql);
  }

private:
  Described describe(const QString& tableName)
  {
    const QString purpose = QStringLiteral("Cannot read the structure of table '%1'.").arg(tableName);
    PgParam nameParam;
    nameParam.Null = false;
    nameParam.Data = tableName.toUtf8();
    // The server reads the name as SQL does: quotes, schema qualification and the search path.
    const PgResult rel = FSession->execParams(
        "SELECT c.oid, c.relkind, n.nspname, c.relname FROM pg_catalog.pg_class c"
        " JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace"
        " WHERE c.oid = pg_catalog.to_regclass($1) AND c.relkind IN ('r', 'v', 'm', 'f', 'p')",
        {nameParam}, purpose, DBErrorCode::Table);
    if (rel.rows() == 0)
      throw EDBEngineError(std::vector<TDBError>{
          {purpose, DBErrorCode::Table, 0},
          {QStringLiteral("There is no table or view named '%1'.").arg(tableName), DBErrorCode::Database, 0}});
    Described d;
    d.Name = tableName;
    d.Info.QualifiedName = FSession->quoteIdentifier(rel.text(0, 2)) + "." + FSession->quoteIdentifier(rel.text(0, 3));
    PgParam oid;
    oid.Null = false;
    oid.Data = rel.text(0, 0).toUtf8();
    oid.Type = PgOid::Oid;
    const int version = PQserverVersion(FSession->handle());
    const QByteArray identity = version >= 100000 ? "a.attidentity" : "''::\"char\"";
    const QByteArray generated = version >= 120000 ? "a.attgenerated" : "''::\"char\"";
    const PgResult r = FSession->execParams(
        "SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull, " + identity + ", " + generated + ","
        " pg_catalog.pg_get_expr(d.adbin, d.adrelid), pg_catalog.format_type(a.atttypid, a.atttypmod),"
        " (SELECT k.n FROM pg_catalog.pg_index i CROSS JOIN LATERAL unnest(i.indkey) WITH ORDINALITY AS k(att, n)"
        "   WHERE i.indrelid = a.attrelid AND i.indisprimary AND k.att = a.attnum)"
        " FROM pg_catalog.pg_attribute a"
        " LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum"
        " WHERE a.attrelid = $1 AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
        {oid}, purpose, DBErrorCode::Table);
    std::vector<unsigned> types;
    for (int i = 0; i < r.rows(); ++i)
      types.push_back(unsigned(r.integer(i, 1)));
    FSession->learnTypes(types);
    for (int i = 0; i < r.rows(); ++i) {
      TColumnInfo c;
      c.Name = r.text(i, 0);
      const QString identityKind = r.text(i, 4), generatedKind = r.text(i, 5);
      const bool numbered = !identityKind.isEmpty() || r.text(i, 6).startsWith(QLatin1String("nextval("));
      const PgTypeFacts facts = FSession->typeFacts(types[size_t(i)], int(r.integer(i, 2)));
      const PgFieldType t = pgFieldType(facts, numbered);
      c.DataType = t.DataType;
      c.Size = t.Size;
      c.Precision = t.Precision;
      c.Required = r.text(i, 3) == QLatin1String("t") || facts.NotNull;  // NOT NULL of the column or of its domain
      c.KeyPosition = r.isNull(i, 8) ? 0 : int(r.integer(i, 8));
      // Computed by the server: generated columns and identities that refuse a given value.
      c.ReadOnly = generatedKind == QLatin1String("s") || identityKind == QLatin1String("a");
      c.DeclaredType = r.text(i, 7);
      d.Description.Columns.push_back(c);
      d.Info.TypeOids.push_back(types[size_t(i)]);
      d.Info.BaseOids.push_back(facts.BaseOid);
    }
    return d;
  }

  QString FAlias;
  std::unique_ptr<PgSession> FSession;
  std::optional<Described> FLast;
};

class PgDriver : public TDriver {
public:
  QString name() const override { return QStringLiteral("PostgreSQL"); }
  std::unique_ptr<TDriverConnection> connect(const TAliasConfig& alias, const QString& user, const QString& password) override
  {
    return std::make_unique<PgConnection>(alias, user, password);
  }
};

}  // namespace

std::unique_ptr<TDriver> createPostgresDriver()
{
  return std::make_unique<PgDriver>();
}
