#include "dataaccess/odbc/OdbcSession.h"

#include "dataaccess/EngineWait.h"

#include <QElapsedTimer>

#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A login value in braces. ODBC doubles a closing brace inside them, but some drivers end the value
// at the first one whatever follows; so a value with one is refused rather than risk that the rest
// of it becomes settings of its own.
QString braced(const QString& alias, const QString& what, const QString& value)
{
  if (value.contains(QLatin1Char('}')) || value.contains(QChar(0)))
    throw EDBEngineError(std::vector<TDBError>{
        {QStringLiteral("Cannot connect to alias '%1'.").arg(alias), DBErrorCode::Connection, 0},
        {QStringLiteral("The %1 contains a closing brace '}', which a driver connection string cannot carry safely to "
                        "every driver. Connect through a data source of odbc.ini (DSN=) instead: it takes any character.")
             .arg(what),
         DBErrorCode::Connection, 0}});
  return QLatin1Char('{') + value + QLatin1Char('}');
}

}  // namespace

OdbcSession::OdbcSession(const TAliasConfig& alias, const QString& user, const QString& password)
{
  const QString purpose = QStringLiteral("Cannot connect to alias '%1'.").arg(alias.Name);
  const std::optional<QString> dsn = alias.value(QStringLiteral("DSN"));
  const std::optional<QString> connectionString = alias.value(QStringLiteral("ConnectionString"));
  if (bool(dsn && !dsn->isEmpty()) == bool(connectionString && !connectionString->isEmpty()))
    throw EDBEngineError(std::vector<TDBError>{
        {purpose, DBErrorCode::Configuration, 0},
        {QStringLiteral("%1: an ODBC alias needs either a 'DSN' or a 'ConnectionString' setting, not both.").arg(alias.where(alias.Line)),
         DBErrorCode::Configuration, 0}});
  // Checked before anything is opened: a refused login value costs nothing.
  QString fullConnectionString;
  if (connectionString) {
    fullConnectionString = *connectionString;
    if (!fullConnectionString.isEmpty() && !fullConnectionString.endsWith(QLatin1Char(';')))
      fullConnectionString += QLatin1Char(';');
    if (!user.isEmpty())
      fullConnectionString += QStringLiteral("UID=") + braced(alias.Name, QStringLiteral("user name"), user) + QLatin1Char(';');
    if (!password.isEmpty())
      fullConnectionString += QStringLiteral("PWD=") + braced(alias.Name, QStringLiteral("password"), password) + QLatin1Char(';');
  }
  FEnvironment = OdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, purpose);
  odbcCheck(SQLSetEnvAttr(FEnvironment.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), purpose,
            DBErrorCode::Connection, SQL_HANDLE_ENV, FEnvironment.get());
  FWorker = std::make_unique<OdbcWorker>();
  FDsn = dsn.value_or(QString());
  FConnectionString = fullConnectionString;
  FUser = user;
  FPassword = password;
  FTimeout = std::max(alias.value(QStringLiteral("ConnectTimeout")).value_or(QStringLiteral("15")).toInt(), 0);
  FReconnectWords = QStringLiteral("Cannot connect again to alias '%1'.").arg(alias.Name);
  connectNow(purpose);
  FTextAsUtf8 = charactersComeAsUtf8();
  SQLHDBC dbc = FConnection.get();
  SQLWCHAR quote[8] = {};
  SQLSMALLINT length = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length)))
    FQuote = odbcString(quote).trimmed();
  // ODBC has no call for the number a new row was given: each data source has a function of its own.
  SQLWCHAR dbms[128] = {};
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &length))) {
    const QString name = odbcString(dbms);
    const std::pair<const char*, const char*> known[] = {{"MariaDB", "SELECT LAST_INSERT_ID()"}, {"MySQL", "SELECT LAST_INSERT_ID()"},
                                                         {"Microsoft SQL Server", "SELECT @@IDENTITY"},
                                                         {"PostgreSQL", "SELECT lastval()"}, {"SQLite", "SELECT last_insert_rowid()"}};
    for (const auto& [dbmsName, query] : known)
      if (name.startsWith(QLatin1String(dbmsName), Qt::CaseInsensitive))
        FLastNumberQuery = QLatin1String(query);
    SQLUINTEGER staticCursor = 0, getData = 0;
    FRefetchesRows = (name.startsWith(QLatin1String("MariaDB"), Qt::CaseInsensitive) ||
                      name.startsWith(QLatin1String("MySQL"), Qt::CaseInsensitive)) &&
                     SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_STATIC_CURSOR_ATTRIBUTES1, &staticCursor, sizeof staticCursor, nullptr)) &&
                     SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_GETDATA_EXTENSIONS, &getData, sizeof getData, nullptr)) &&
                     (staticCursor & SQL_CA1_ABSOLUTE) && (getData & SQL_GD_BOUND);
  }
}

void OdbcSession::prepareQuery(SQLHSTMT statement) const
{
  if (FRefetchesRows)
    SQLSetStmtAttr(statement, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_CURSOR_STATIC)), 0);
}

// A connection attempt runs on a thread of its own, since ODBC cannot interrupt one: an attempt the
// user gives up on is left to end there, and its handle is freed when it does.
struct OdbcSession::ConnectAttempt {
  OdbcHandle Connection;
  std::function<SQLRETURN(SQLHDBC)> Call;
  std::mutex Mutex;
  bool Done = false;
  bool Abandoned = false;
  SQLRETURN Result = SQL_ERROR;
  int Signal = -1;  // an eventfd: readable once the attempt has ended
  ~ConnectAttempt()
  {
    if (Signal >= 0)
      ::close(Signal);
  }
};

void OdbcSession::connectNow(const QString& purpose)
{
  TEngineWait::checkIdle();
  auto attempt = std::make_shared<ConnectAttempt>();
  attempt->Connection = OdbcHandle(SQL_HANDLE_DBC, FEnvironment.get(), purpose);
  SQLSetConnectAttr(attempt->Connection.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(FTimeout)), 0);
  attempt->Signal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (attempt->Signal < 0)
    throw EDBEngineError(purpose, QStringLiteral("The system has no event descriptor left."));
  if (!FDsn.isEmpty()) {
    attempt->Call = [name = odbcText(FDsn), uid = odbcText(FUser), pwd = odbcText(FPassword)](SQLHDBC dbc) mutable {
      return SQLConnectW(dbc, name.data(), SQL_NTS, uid.data(), SQL_NTS, pwd.data(), SQL_NTS);
    };
  } else {
    attempt->Call = [text = odbcText(FConnectionString)](SQLHDBC dbc) mutable {
      return SQLDriverConnectW(dbc, nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    };
  }
  std::thread([attempt] {
    const SQLRETURN r = attempt->Call(attempt->Connection.get());
    {
      std::lock_guard lock(attempt->Mutex);
      attempt->Result = r;
      attempt->Done = true;
      if (attempt->Abandoned) {
        if (SQL_SUCCEEDED(r))
          SQLDisconnect(attempt->Connection.get());
        attempt->Connection = OdbcHandle();
      }
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(attempt->Signal, &one, sizeof one);
  }).detach();
  bool cancelled = false;
  const auto done = [&attempt] {
    std::lock_guard lock(attempt->Mutex);
    return attempt->Done;
  };
  const auto abandonUnlessDone = [&attempt] {
    std::lock_guard lock(attempt->Mutex);
    attempt->Abandoned = !attempt->Done;
    return attempt->Abandoned;
  };
  // The login timeout is kept here too: MariaDB's driver waits without end for a server that takes
  // the connection but never greets.
  QElapsedTimer clock;
  clock.start();
  const auto timedOut = [&] { return FTimeout > 0 && clock.elapsed() > qint64(FTimeout) * 1000; };
  TEngineWait::Request request;
  request.Socket = attempt->Signal;
  request.Ready = [&] { return cancelled || timedOut() || done(); };
  request.Cancel = [&] { cancelled = true; };
  request.What = QStringLiteral("Connecting…");
  try {
    TEngineWait::wait(request);
  } catch (...) {
    abandonUnlessDone();
    throw;
  }
  if (abandonUnlessDone())
    throw EDBEngineError(purpose, cancelled ? QStringLiteral("Connecting was cancelled.")
                                            : QStringLiteral("The data source did not answer within %1 s (ConnectTimeout).").arg(FTimeout));
  if (!SQL_SUCCEEDED(attempt->Result))
    odbcRaise(purpose, DBErrorCode::Connection, SQL_HANDLE_DBC, attempt->Connection.get(), attempt->Result);
  // A broken connection stays allocated until the end: statements of row sources still refer to it.
  if (FConnection.get() != SQL_NULL_HANDLE)
    FBroken.push_back(std::move(FConnection));
  FConnection = std::move(attempt->Connection);
}

bool OdbcSession::charactersComeAsUtf8()
{
  // Characters of one, two, three and four bytes, and a quote doubled. A data source that cannot
  // run the query, or carries any of them otherwise (another code page, '?' for what it lacks), has
  // its text fetched as UTF-16.
  const QString sample = QStringLiteral("a\u00e9\u5c71\U0001F985''z");
  const QByteArray expected = QStringLiteral("a\u00e9\u5c71\U0001F985'z").toUtf8();
  try {
    OdbcHandle st(SQL_HANDLE_STMT, FConnection.get(), QString());
    SQLHSTMT h = st.get();
    const std::vector<SQLWCHAR> text = odbcText(QStringLiteral("SELECT '") + sample + QLatin1Char('\''));
    char got[64] = {};
    SQLLEN indicator = 0;
    const SQLRETURN r = FWorker->run(QString(), h, [&] {
      SQLRETURN step = SQLExecDirectW(h, const_cast<SQLWCHAR*>(text.data()), SQL_NTS);
      if (SQL_SUCCEEDED(step))
        step = SQLFetch(h);
      if (SQL_SUCCEEDED(step))
        step = SQLGetData(h, 1, SQL_C_CHAR, got, sizeof got, &indicator);
      return step;
    });
    return r == SQL_SUCCESS && indicator == expected.size() && QByteArray(got, qsizetype(indicator)) == expected;
  } catch (const EDBEngineError&) {
    return false;
  }
}

OdbcSession::~OdbcSession()
{
  for (const OdbcHandle& connection : FBroken)
    SQLDisconnect(connection.get());
  if (FConnection.get() != SQL_NULL_HANDLE)
    SQLDisconnect(FConnection.get());
}

OdbcHandle OdbcSession::newStatement(const QString& purpose)
{
  if (FLost) {
    connectNow(FReconnectWords);
    FLost = false;
    if (OnConnectionState)
      OnConnectionState(false);
  }
  return OdbcHandle(SQL_HANDLE_STMT, FConnection.get(), purpose);
}

SQLRETURN OdbcSession::run(const QString& purpose, SQLHSTMT statement, const std::function<SQLRETURN()>& call, int category)
{
  const SQLRETURN r = FWorker->run(QString(), statement, call);
  if (SQL_SUCCEEDED(r) || r == SQL_NO_DATA)
    return r;
  if (FWorker->cancelled()) {
    std::vector<TDBError> entries{{purpose, category, 0}, {statementCancelledText(), DBErrorCode::Database, 0}};
    throw EDBEngineError(std::move(entries));
  }
  std::vector<TDBError> entries{{purpose, category, 0}};
  const std::vector<TDBError> records = odbcDiagnostics(SQL_HANDLE_STMT, statement);
  if (records.empty())
    odbcRaise(purpose, category, SQL_HANDLE_STMT, statement, r);
  entries.insert(entries.end(), records.begin(), records.end());
  // The link to the data source is broken: SQLSTATE class 08, or the driver says so when asked (some,
  // MariaDB's among them, report a broken pipe as a general error). The next command connects again.
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (!FLost && (records.front().Message.startsWith(QLatin1String("SQLSTATE 08")) ||
                 (SQL_SUCCEEDED(SQLGetConnectAttrW(FConnection.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
                  dead == SQL_CD_TRUE))) {
    FLost = true;
    entries.push_back({QStringLiteral("The connection to the server was lost. The next command connects again."),
                       DBErrorCode::Connection, 0});
    if (OnConnectionState)
      OnConnectionState(true);
  }
  throw EDBEngineError(std::move(entries));
}

QString OdbcSession::quoteIdentifier(const QString& name) const
{
  if (FQuote.isEmpty())
    return name;
  QString doubled = name;
  doubled.replace(FQuote, FQuote + FQuote);
  return FQuote + doubled + FQuote;
}
