#pragma once

// One ODBC connection: the environment and connection handles, the thread its waiting calls run on,
// and the data source's identifier quote.
#include "dataaccess/Driver.h"
#include "dataaccess/odbc/OdbcApi.h"
#include "dataaccess/odbc/OdbcWorker.h"

#include <functional>
#include <memory>

class OdbcSession {
public:
  // Connects with the alias's DSN (SQLConnect: user and password go as values of their own) or its
  // ConnectionString (SQLDriverConnect, user and password added braced). Raises EDBEngineError with
  // every diagnostic record of the driver manager and the driver.
  OdbcSession(const TAliasConfig& alias, const QString& user, const QString& password);
  ~OdbcSession();
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;

  SQLHDBC connection() const { return FConnection.get(); }
  // A new statement handle; freed when the handle goes. After the link to the data source was found
  // broken, it first connects again with the same settings (raising in the engine's words when it
  // cannot) and says so.
  OdbcHandle newStatement(const QString& purpose);
  // Told when a call finds the link broken (true), and when a later command has made it again (false).
  std::function<void(bool lost)> OnConnectionState;
  // Runs a call that may wait for the data source on the worker (see OdbcWorker) and raises the
  // statement's diagnostics, after purpose, when it fails. Returns SQL_NO_DATA as it is. A call the
  // user cancelled raises in the engine's words for a cancelled statement.
  SQLRETURN run(const QString& purpose, SQLHSTMT statement, const std::function<SQLRETURN()>& call,
                int category = DBErrorCode::Statement);

  QString quoteIdentifier(const QString& name) const;
  // Whether the data source hands out character data (SQL_C_CHAR) as UTF-8, as it was seen to on
  // connecting: then text is fetched so, without a conversion to UTF-16 and back for every value.
  bool textAsUtf8() const { return FTextAsUtf8; }
  // Whether a query is best read through a static cursor, whose rows cut short can be fetched again
  // alone: where the driver holds a whole result in the client anyway (MariaDB's, MySQL's) and can
  // fetch a row by its place and read a bound column with SQLGetData.
  bool refetchesRows() const { return FRefetchesRows; }
  // Asks for that cursor on a statement about to run a query.
  void prepareQuery(SQLHSTMT statement) const;
  // The query that gives the number the data source gave the last row this connection added to a
  // table that numbers its rows; empty for a data source whose way is not known.
  const QString& lastNumberQuery() const { return FLastNumberQuery; }

private:
  // Makes the connection with the alias's settings and the login; raises in the given words, and
  // when the user cancels the attempt.
  void connectNow(const QString& purpose);
  struct ConnectAttempt;
  // Reads text of every width of UTF-8 back as character data: true when it comes back unchanged.
  bool charactersComeAsUtf8();

  OdbcHandle FEnvironment;
  OdbcHandle FConnection;
  std::vector<OdbcHandle> FBroken;  // connections found broken, kept for the statements on them
  std::unique_ptr<OdbcWorker> FWorker;
  QString FDsn, FConnectionString, FUser, FPassword, FReconnectWords;
  int FTimeout = 15;
  bool FLost = false;
  bool FTextAsUtf8 = false;
  bool FRefetchesRows = false;
  QString FQuote;  // empty when the data source has none
  QString FLastNumberQuery;
};
