#include "dataaccess/odbc/OdbcDriver.h"

#include "dataaccess/odbc/OdbcQuery.h"
#include "dataaccess/odbc/OdbcSession.h"
#include "dataaccess/odbc/OdbcTableSource.h"
#include "dataaccess/odbc/OdbcTypes.h"

#include <QHash>
#include <QRegularExpression>

#include <optional>

namespace {

// Where a listed table is, as the catalog functions name it.
struct TablePlace {
  QString Catalog, Schema, Table;
};

// A catalog function's result, read column by column with SQLGetData (they are small).
class CatalogReader {
public:
  CatalogReader(OdbcSession& session, SQLHSTMT statement, QString purpose)
      : FSession(session), FStatement(statement), FPurpose(std::move(purpose))
  {
  }
  bool next() { return FSession.run(FPurpose, FStatement, [this] { return SQLFetch(FStatement); }, DBErrorCode::Table) != SQL_NO_DATA; }
  std::optional<QString> text(SQLUSMALLINT column)
  {
    SQLWCHAR buffer[512] = {};
    SQLLEN indicator = 0;
    odbcCheck(SQLGetData(FStatement, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator), FPurpose, DBErrorCode::Table,
              SQL_HANDLE_STMT, FStatement);
    if (indicator == SQL_NULL_DATA)
      return std::nullopt;
    return odbcString(buffer);
  }
  std::optional<int64_t> number(SQLUSMALLINT column)
  {
    int64_t v = 0;
    SQLLEN indicator = 0;
    odbcCheck(SQLGetData(FStatement, column, SQL_C_SBIGINT, &v, 0, &indicator), FPurpose, DBErrorCode::Table, SQL_HANDLE_STMT,
              FStatement);
    if (indicator == SQL_NULL_DATA)
      return std::nullopt;
    return v;
  }

private:
  OdbcSession& FSession;
  SQLHSTMT FStatement;
  QString FPurpose;
};

// Text for a catalog function's argument: null (any) when absent.
struct CatalogArg {
  explicit CatalogArg(const QString& value) : Present(!value.isNull()), Text(odbcText(value)) {}
  SQLWCHAR* get() { return Present ? Text.data() : nullptr; }
  SQLSMALLINT length() const { return Present ? SQL_NTS : 0; }
  bool Present;
  std::vector<SQLWCHAR> Text;
};

struct Described {
  QString Name;
  TTableDescription Description;
  std::vector<OdbcColumnType> Types;
  QString Quoted;
};

class OdbcConnection : public TDriverConnection {
public:
  OdbcConnection(const TAliasConfig& alias, const QString& user, const QString& password)
      : FAlias(alias.Name), FSession(alias, user, password)
  {
    FSession.OnConnectionState = [this](bool lost) {
      if (ConnectionStateChanged)
        ConnectionStateChanged(lost);
    };
  }

  QStringList tableNames(const QString& pattern, bool systemTables) override
  {
    const QString purpose = QStringLiteral("Cannot list the tables of alias '%1'.").arg(FAlias);
    OdbcHandle st = FSession.newStatement(purpose);
    SQLHSTMT h = st.get();
    std::vector<SQLWCHAR> types = odbcText(systemTables ? QStringLiteral("TABLE,VIEW,SYSTEM TABLE") : QStringLiteral("TABLE,VIEW"));
    // The tables of the database the connection is in, where the data source has several (MariaDB
    // lists every database's otherwise); none named: the data source's own choice.
    CatalogArg catalog(currentCatalog());
    FSession.run(purpose, h, [&] {
      return SQLTablesW(h, catalog.get(), catalog.length(), nullptr, 0, nullptr, 0, types.data(), SQL_NTS);
    }, DBErrorCode::Database);
    QRegularExpression filter;
    if (!pattern.isEmpty())
      filter = QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern), QRegularExpression::CaseInsensitiveOption);
    CatalogReader rows(FSession, h, purpose);
    QStringList names;
    FPlaces.clear();
    while (rows.next()) {
      TablePlace place{rows.text(1).value_or(QString()), rows.text(2).value_or(QString()), rows.text(3).value_or(QString())};
      // Tables of a data source with schemas are named with theirs.
      const QString name = place.Schema.isEmpty() ? place.Table : place.Schema + QLatin1Char('.') + place.Table;
      if (!pattern.isEmpty() && !filter.match(name).hasMatch())
        continue;
      names << name;
      FPlaces.insert(name, place);
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
    Described d = FLast && FLast->Name == tableName ? std::move(*FLast) : describe(tableName);
    FLast.reset();
    std::vector<OdbcColumnType> types;
    QStringList names;
    bool keyed = false;
    for (const TColumnInfo& c : description.Columns) {
      size_t i = 0;
      while (i < d.Description.Columns.size() && d.Description.Columns[i].Name != c.Name)
        ++i;
      if (i == d.Description.Columns.size())
        throw EDBEngineError(QStringLiteral("Cannot open table '%1'.").arg(tableName), QStringLiteral("It has no column '%1'.").arg(c.Name));
      types.push_back(d.Types[i]);
      names << FSession.quoteIdentifier(c.Name);
      keyed = keyed || c.KeyPosition > 0;
    }
    if (keyed)
      return openOdbcTable(FSession, tableName, d.Quoted, description, std::move(types));
    return openOdbcQueryRows(FSession, QStringLiteral("SELECT ") + names.join(QLatin1Char(',')) + QStringLiteral(" FROM ") + d.Quoted,
                             description.Columns, QStringLiteral("Cannot read the rows of table '%1'.").arg(tableName),
                             noKeyReason(tableName));
  }

  TExecResult execute(const QString& sql) override { return executeOdbc(FSession, sql); }

private:
  QString currentCatalog() const
  {
    SQLWCHAR name[256] = {};
    SQLINTEGER length = 0;
    if (!SQL_SUCCEEDED(SQLGetConnectAttrW(FSession.connection(), SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length)))
      return QString();
    const QString catalog = odbcString(name);
    return catalog.isEmpty() ? QString() : catalog;
  }

  TablePlace placeOf(const QString& tableName) const
  {
    if (const auto it = FPlaces.constFind(tableName); it != FPlaces.cend())
      return *it;
    const qsizetype dot = tableName.indexOf(QLatin1Char('.'));
    return dot < 0 ? TablePlace{QString(), QString(), tableName} : TablePlace{QString(), tableName.left(dot), tableName.mid(dot + 1)};
  }

  Described describe(const QString& tableName)
  {
    const QString purpose = QStringLiteral("Cannot read the structure of table '%1'.").arg(tableName);
    const TablePlace place = placeOf(tableName);
    Described d;
    d.Name = tableName;
    for (const QString& part : {place.Catalog, place.Schema})
      if (!part.isEmpty())
        d.Quoted += FSession.quoteIdentifier(part) + QLatin1Char('.');
    d.Quoted += FSession.quoteIdentifier(place.Table);
    {
      OdbcHandle st = FSession.newStatement(purpose);
      SQLHSTMT h = st.get();
      CatalogArg catalog(place.Catalog.isEmpty() ? QString() : place.Catalog);
      CatalogArg schema(place.Schema.isEmpty() ? QString() : place.Schema);
      CatalogArg table(place.Table);
      // Names are taken as they are, not as search patterns: an "_" in them is no wildcard.
      SQLSetStmtAttr(h, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_FALSE), 0);
      FSession.run(purpose, h, [&] {
        return SQLColumnsW(h, catalog.get(), catalog.length(), schema.get(), schema.length(), table.get(), table.length(), nullptr, 0);
      }, DBErrorCode::Table);
      CatalogReader rows(FSession, h, purpose);
      while (rows.next()) {
        OdbcColumnType type;
        TColumnInfo c;
        c.Name = rows.text(4).value_or(QString());
        type.SqlType = SQLSMALLINT(rows.number(5).value_or(SQL_UNKNOWN_TYPE));
        type.TypeName = rows.text(6).value_or(QString());
        type.Size = SQLULEN(std::max<int64_t>(rows.number(7).value_or(0), 0));
        type.Digits = SQLSMALLINT(rows.number(9).value_or(0));
        c.Required = rows.number(11).value_or(SQL_NULLABLE) == SQL_NO_NULLS;
        const OdbcFieldType f = odbcFieldType(type);
        c.DataType = f.DataType;
        c.Size = f.Size;
        c.Precision = f.Precision;
        c.DeclaredType = type.TypeName;
        d.Description.Columns.push_back(c);
        d.Types.push_back(type);
      }
    }
    if (d.Description.Columns.empty())
      throw EDBEngineError(std::vector<TDBError>{{purpose, DBErrorCode::Table, 0},
                                                 {QStringLiteral("There is no table or view named '%1'.").arg(tableName), DBErrorCode::Database, 0}});
    markNumberedColumns(d, purpose);
    OdbcHandle st = FSession.newStatement(purpose);
    SQLHSTMT h = st.get();
    CatalogArg catalog(place.Catalog.isEmpty() ? QString() : place.Catalog);
    CatalogArg schema(place.Schema.isEmpty() ? QString() : place.Schema);
    CatalogArg table(place.Table);
    FSession.run(purpose, h, [&] {
      return SQLPrimaryKeysW(h, catalog.get(), catalog.length(), schema.get(), schema.length(), table.get(), table.length());
    }, DBErrorCode::Table);
    CatalogReader keys(FSession, h, purpose);
    while (keys.next()) {
      const QString column = keys.text(4).value_or(QString());
      const int position = int(keys.number(5).value_or(0));
      for (TColumnInfo& c : d.Description.Columns)
        if (c.Name == column)
          c.KeyPosition = position;
    }
    return d;
  }

  // The catalog functions do not say which columns the data source numbers: an empty result of the
  // table's columns does (SQL_DESC_AUTO_UNIQUE_VALUE).
  void markNumberedColumns(Described& d, const QString& purpose)
  {
    QStringList names;
    for (const TColumnInfo& c : d.Description.Columns)
      names << FSession.quoteIdentifier(c.Name);
    OdbcHandle st = FSession.newStatement(purpose);
    SQLHSTMT h = st.get();
    const std::vector<SQLWCHAR> text =
        odbcText(QStringLiteral("SELECT %1 FROM %2 WHERE 1 = 0").arg(names.join(QLatin1Char(',')), d.Quoted));
    FSession.run(purpose, h, [&] { return SQLExecDirectW(h, const_cast<SQLWCHAR*>(text.data()), SQL_NTS); }, DBErrorCode::Table);
    for (size_t i = 0; i < d.Types.size(); ++i) {
      SQLLEN numbered = SQL_FALSE;
      SQLColAttributeW(h, SQLUSMALLINT(i + 1), SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &numbered);
      d.Types[i].AutoIncrement = numbered == SQL_TRUE;
      d.Description.Columns[i].DataType = odbcFieldType(d.Types[i]).DataType;
    }
  }

  QString FAlias;
  OdbcSession FSession;
  QHash<QString, TablePlace> FPlaces;  // the tables last listed, by the names they were listed as
  std::optional<Described> FLast;
};

class OdbcDriver : public TDriver {
public:
  QString name() const override { return QStringLiteral("ODBC"); }
  std::unique_ptr<TDriverConnection> connect(const TAliasConfig& alias, const QString& user, const QString& password) override
  {
    return std::make_unique<OdbcConnection>(alias, user, password);
  }
};

}  // namespace

std::unique_ptr<TDriver> createOdbcDriver()
{
  return std::make_unique<OdbcDriver>();
}
