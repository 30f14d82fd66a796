#include "dataaccess/odbc/OdbcTableSource.h"

#include "dataaccess/odbc/OdbcParams.h"
#include "dataaccess/odbc/OdbcRowset.h"
#include "dataaccess/odbc/OdbcSession.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <unordered_map>

namespace {

constexpr int largestChunk = 16384;  // how far a walk through the table reads ahead, in rows
constexpr int64_t markEvery = 2048;  // rows between the keys noted while counting

class OdbcTableSource : public TRowSource {
public:
  OdbcTableSource(OdbcSession& session, const QString& tableName, const QString& quotedTable,
                  const TTableDescription& description, std::vector<OdbcColumnType> types)
      : FSession(session), FTable(tableName), FQuoted(quotedTable), FColumns(description.Columns), FTypes(std::move(types))
  {
    for (const TColumnInfo& c : FColumns)
      FNames << session.quoteIdentifier(c.Name);
    const QStringList& names = FNames;
    std::vector<std::pair<int, int>> key;  // place in the key, column index
    for (size_t i = 0; i < FColumns.size(); ++i)
      if (FColumns[i].KeyPosition > 0)
        key.emplace_back(FColumns[i].KeyPosition, int(i));
    std::sort(key.begin(), key.end());
    QStringList ascending, descending;
    for (const auto& k : key) {
      FKey.push_back(k.second);
      FKeyNames << names[k.second];
      ascending << names[k.second];
      descending << names[k.second] + QStringLiteral(" DESC");
    }
    FSelect = QStringLiteral("SELECT ") + names.join(QLatin1Char(',')) + QStringLiteral(" FROM ") + FQuoted;
    // Rows are read again by key when a long value did not fit: only with a key that fits whole.
    const bool longKey = std::any_of(FKey.begin(), FKey.end(), [&](int k) { return odbcFetchedInPieces(FColumns[size_t(k)].DataType); });
    FLongValues = FKey.empty() || longKey ? OdbcLongValues::InPieces : OdbcLongValues::Prefixed;
    FOrderAsc = QStringLiteral(" ORDER BY ") + ascending.join(QLatin1Char(','));
    FOrderDesc = QStringLiteral(" ORDER BY ") + descending.join(QLatin1Char(','));
  }

  const std::vector<TColumnInfo>& columns() const override { return FColumns; }
  void refresh() override
  {
    FCount = -1;
    FMarks.clear();
    forgetAhead();
  }

  int64_t count() override
  {
    if (FCount < 0 && markable()) {
      countByKey();
    } else if (FCount < 0) {
      OdbcParams none;
      OdbcHandle st = run(QStringLiteral("SELECT COUNT(*) FROM ") + FQuoted, none, 0, words("count the rows of"));
      SQLHSTMT h = st.get();
      int64_t n = 0;
      SQLLEN indicator = 0;
      if (FSession.run(words("count the rows of"), h, [&] { return SQLFetch(h); }) != SQL_NO_DATA)
        odbcCheck(SQLGetData(h, 1, SQL_C_SBIGINT, &n, 0, &indicator), words("count the rows of"), DBErrorCode::Table,
                  SQL_HANDLE_STMT, h);
      FCount = n;
    }
    return FCount;
  }

  // From the key noted at the nearest place before the row while counting; else, without a position
  // in the key, the rows are stepped over from the nearer end.
  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (n <= 0 || offset < 0)
      return;
    if (const size_t mark = size_t(offset / markEvery); mark < FMarks.size()) {
      OdbcParams params;
      const QString from = beyond(FMarks[mark], QStringLiteral("<"), params);
      const int64_t past = offset - int64_t(mark) * markEvery;
      readRows(FSelect + QStringLiteral(" WHERE NOT ") + from + FOrderAsc, params, past + n, past, out);
      return;
    }
    OdbcParams none;
    if (FCount >= 0 && offset > FCount / 2) {
      const int64_t fromEnd = FCount - offset;  // rows from the one asked for to the end
      if (fromEnd <= 0)
        return;
      readRows(FSelect + FOrderDesc, none, fromEnd, std::max<int64_t>(0, fromEnd - n), out, true);
      std::reverse(out.begin(), out.end());
      return;
    }
    readRows(FSelect + FOrderAsc, none, offset + n, offset, out);
  }

  // A walk (each reading going on after the last row handed out) is served from rows read ahead in
  // chunks that grow to largestChunk: fewer queries, each still answered by the key's index.
  bool readAfter(const TRow& row, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (!keyUsable(row))
      return false;
    const bool walking = !FAheadFollows.empty() && sameKey(row, FAheadFollows);
    if (!walking) {
      forgetAhead();
      FChunk = n;
    }
    while (FAhead.size() - FAheadNext < size_t(n) && !FAheadComplete) {
      FAhead.erase(FAhead.begin(), FAhead.begin() + qsizetype(FAheadNext));
      FAheadNext = 0;
      if (walking)
        FChunk = std::min(FChunk * 2, largestChunk);
      const int limit = std::max(n, FChunk);
      OdbcParams params;
      const QString where = beyond(FAhead.empty() ? row : FAhead.back(), QStringLiteral(">"), params);
      FAheadComplete = readRows(FSelect + QStringLiteral(" WHERE ") + where + FOrderAsc, params, limit, 0, FAhead) < size_t(limit);
    }
    const size_t take = std::min(FAhead.size() - FAheadNext, size_t(n));
    std::move(FAhead.begin() + qsizetype(FAheadNext), FAhead.begin() + qsizetype(FAheadNext + take), std::back_inserter(out));
    FAheadNext += take;
    FAheadFollows = out.empty() ? row : out.back();
    return true;
  }

  bool readBefore(const TRow& row, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (!keyUsable(row))
      return false;
    OdbcParams params;
    const QString where = beyond(row, QStringLiteral("<"), params);
    readRows(FSelect + QStringLiteral(" WHERE ") + where + FOrderDesc, params, n, 0, out, true);
    std::reverse(out.begin(), out.end());
    return true;
  }

  int64_t positionOf(const TRow& row) override
  {
    if (!keyUsable(row))
      return -1;
    OdbcParams params;
    const QString before = beyond(row, QStringLiteral("<"), params);
    QStringList same;
    for (size_t i = 0; i < FKey.size(); ++i) {
      same << FKeyNames[qsizetype(i)] + QStringLiteral(" = ?");
      params.add(row[size_t(FKey[i])], FTypes[size_t(FKey[i])]);
    }
    const QString purpose = words("find a row of");
    OdbcHandle st = run(QStringLiteral("SELECT (SELECT COUNT(*) FROM %1 WHERE %2), (SELECT COUNT(*) FROM %1 WHERE %3)")
                            .arg(FQuoted, before, same.join(QStringLiteral(" AND "))),
                        params, 0, purpose);
    SQLHSTMT h = st.get();
    int64_t position = -1, found = 0;
    SQLLEN indicator = 0;
    if (FSession.run(purpose, h, [&] { return SQLFetch(h); }) == SQL_NO_DATA)
      return -1;
    odbcCheck(SQLGetData(h, 1, SQL_C_SBIGINT, &position, 0, &indicator), purpose, DBErrorCode::Table, SQL_HANDLE_STMT, h);
    odbcCheck(SQLGetData(h, 2, SQL_C_SBIGINT, &found, 0, &indicator), purpose, DBErrorCode::Table, SQL_HANDLE_STMT, h);
    return found > 0 ? position : -1;
  }

  bool canModify(QString* reason) const override
  {
    if (!FKey.empty())
      return true;
    if (reason)
      *reason = noKeyReason(FTable);
    return false;
  }

  void updateRow(const TRow& original, const TRow& changed) override
  {
    requireModifiable();
    QStringList sets;
    OdbcParams params;
    std::vector<bool> written(FColumns.size(), false);  // the columns set
    for (size_t i = 0; i < FColumns.size() && i < changed.size(); ++i)
      if (!FColumns[i].ReadOnly && !(changed[i] == original[i])) {
        sets << FNames[qsizetype(i)] + QStringLiteral(" = ?");
        params.add(changed[i], FTypes[i]);
        written[i] = true;
      }
    if (sets.isEmpty())
      return;
    const QString where = unchangedCondition(original, params);
    const QString purpose = words("save the row of");
    if (write(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(FQuoted, sets.join(QStringLiteral(", ")), where), params, purpose) > 0)
      return;
    // Some data sources (MariaDB) count only rows whose values changed: a row that holds what was
    // written, and is as it was read otherwise, was matched all the same. The data source compares.
    TRow expected = original;
    for (size_t i = 0; i < FColumns.size() && i < changed.size(); ++i)
      if (written[i])
        expected[i] = changed[i];
    OdbcParams same;
    const QString asWritten = unchangedCondition(expected, same);
    if (countWhere(asWritten, same, purpose) > 0)
      return;
    const std::optional<TRow> now = lookUp(original);
    throw EDBEngineError(std::vector<TDBError>{{purpose, DBErrorCode::Table, 0},
                                               {unmatchedRowReason(true, now ? &*now : nullptr, original), DBErrorCode::Table, 0}});
  }

  TRow insertRow(const TRow& values) override
  {
    requireModifiable();
    QStringList names, marks;
    OdbcParams params;
    for (size_t i = 0; i < FColumns.size() && i < values.size(); ++i)
      if (!values[i].isNull() && !FColumns[i].ReadOnly) {  // columns left empty get their defaults
        names << FNames[qsizetype(i)];
        marks << QStringLiteral("?");
        params.add(values[i], FTypes[i]);
      }
    if (names.isEmpty())
      throw EDBEngineError(words("add a row to"), QStringLiteral("Give the row at least one value."));
    write(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(FQuoted, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
          params, words("add a row to"));
    if (FCount >= 0)
      ++FCount;
    FMarks.clear();  // the places after the new row moved on by one
    // The row as stored, with its defaults, read back by its key: as given, or numbered by the data
    // source. Without either (a data source whose numbering is not known) it is shown as typed.
    TRow key = values;
    key.resize(FColumns.size());
    if (!keyUsable(key) && FKey.size() == 1 && FTypes[size_t(FKey[0])].AutoIncrement && !FSession.lastNumberQuery().isEmpty()) {
      OdbcParams none;
      OdbcHandle st = run(FSession.lastNumberQuery(), none, 0, words("add a row to"));
      std::vector<TRow> number;
      TColumnInfo generated;
      generated.DataType = ftLargeint;
      OdbcRowset(FSession, st.get(), {generated}, words("add a row to")).fetch(number);
      if (!number.empty())
        key[size_t(FKey[0])] = number.front().front();
    }
    if (keyUsable(key))
      if (const std::optional<TRow> stored = lookUp(key))
        return *stored;
    return values;
  }

  void deleteRow(const TRow& original) override
  {
    requireModifiable();
    OdbcParams params;
    const QString where = unchangedCondition(original, params);
    const QString purpose = words("delete the row of");
    if (write(QStringLiteral("DELETE FROM %1 WHERE %2").arg(FQuoted, where), params, purpose) == 0) {
      const std::optional<TRow> now = lookUp(original);
      throw EDBEngineError(std::vector<TDBError>{{purpose, DBErrorCode::Table, 0},
                                                 {unmatchedRowReason(true, now ? &*now : nullptr, original), DBErrorCode::Table, 0}});
    }
    if (FCount > 0)
      --FCount;
    FMarks.clear();
  }

private:
  QString words(const char* action) const { return QStringLiteral("Cannot %1 table '%2'.").arg(QLatin1String(action), FTable); }

  bool keyUsable(const TRow& row) const { return keyComplete(row, FKey); }

  // Keys that compare exactly, and come whole with a rowset, can mark places.
  bool markable() const
  {
    return !FKey.empty() && FLongValues == OdbcLongValues::Prefixed &&
           std::all_of(FKey.begin(), FKey.end(), [&](int k) { return comparable(size_t(k)); });
  }

  // Counts by walking the key, noting it at every markEvery-th place: a jump to any depth then reads
  // on from the nearest note, where ODBC has no portable way to skip rows.
  void countByKey()
  {
    const QString purpose = words("count the rows of");
    std::vector<TColumnInfo> keyColumns;
    for (int k : FKey)
      keyColumns.push_back(FColumns[size_t(k)]);
    OdbcParams none;
    OdbcHandle st = run(QStringLiteral("SELECT ") + FKeyNames.join(QLatin1Char(',')) + QStringLiteral(" FROM ") + FQuoted + FOrderAsc,
                        none, 0, purpose);
    OdbcRowset rowset(FSession, st.get(), keyColumns, purpose);
    std::vector<TRow> keys, marks;
    int64_t walked = 0;
    while (rowset.fetch(keys) > 0) {
      for (TRow& key : keys) {
        if (walked++ % markEvery != 0)
          continue;
        TRow mark(FColumns.size());
        for (size_t i = 0; i < FKey.size(); ++i)
          mark[size_t(FKey[i])] = std::move(key[i]);
        marks.push_back(std::move(mark));
      }
      keys.clear();
    }
    FMarks = std::move(marks);
    FCount = walked;
  }

  // Rows whose key comes after (">") or before ("<") the row's, without row values, which not
  // every data source has: k1 > ? OR (k1 = ? AND (k2 > ? OR ...)).
  QString beyond(const TRow& row, const QString& direction, OdbcParams& params) const
  {
    QString condition;
    for (size_t i = FKey.size(); i-- > 0;) {
      const QString name = FKeyNames[qsizetype(i)];
      if (condition.isEmpty()) {
        condition = name + QLatin1Char(' ') + direction + QStringLiteral(" ?");
        continue;
      }
      condition = QStringLiteral("%1 %2 ? OR (%1 = ? AND (%3))").arg(name, direction, condition);
    }
    // The marks stand in the order: k1, k1, k2, k2, ..., kn.
    for (size_t i = 0; i < FKey.size(); ++i) {
      const TValue& v = row[size_t(FKey[i])];
      params.add(v, FTypes[size_t(FKey[i])]);
      if (i + 1 < FKey.size())
        params.add(v, FTypes[size_t(FKey[i])]);
    }
    return QLatin1Char('(') + condition + QLatin1Char(')');
  }

  // Values that an equality finds again exactly: not binary floating point, since a FLOAT column
  // read as a double is not equal to that double.
  bool comparable(size_t column) const { return !isFloatType(FColumns[column].DataType); }

  // The row by its key, with every comparable column as it was read: a row another session changed
  // or removed meanwhile no longer matches.
  QString unchangedCondition(const TRow& original, OdbcParams& params) const
  {
    QStringList parts;
    for (size_t i = 0; i < FColumns.size(); ++i) {
      if (FColumns[i].KeyPosition == 0 && !comparable(i))
        continue;
      if (original[i].isNull()) {
        parts << FNames[qsizetype(i)] + QStringLiteral(" IS NULL");
        continue;
      }
      parts << FNames[qsizetype(i)] + QStringLiteral(" = ?");
      params.add(original[i], FTypes[i]);
    }
    return parts.join(QStringLiteral(" AND "));
  }

  int64_t countWhere(const QString& condition, OdbcParams& params, const QString& purpose)
  {
    OdbcHandle st = run(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(FQuoted, condition), params, 0, purpose);
    SQLHSTMT h = st.get();
    int64_t n = 0;
    SQLLEN indicator = 0;
    if (FSession.run(purpose, h, [&] { return SQLFetch(h); }) != SQL_NO_DATA)
      odbcCheck(SQLGetData(h, 1, SQL_C_SBIGINT, &n, 0, &indicator), purpose, DBErrorCode::Table, SQL_HANDLE_STMT, h);
    return n;
  }

  // The row with the key of the given one as it is stored now; nullopt when there is none.
  std::optional<TRow> lookUp(const TRow& row)
  {
    OdbcParams params;
    QStringList same;
    for (size_t i = 0; i < FKey.size(); ++i) {
      same << FKeyNames[qsizetype(i)] + QStringLiteral(" = ?");
      params.add(row[size_t(FKey[i])], FTypes[size_t(FKey[i])]);
    }
    std::vector<TRow> found;
    readRows(FSelect + QStringLiteral(" WHERE ") + same.join(QStringLiteral(" AND ")), params, 1, 0, found);
    return found.empty() ? std::nullopt : std::optional<TRow>(std::move(found.front()));
  }

  // Carries out a change (committed as it returns, the connection being in autocommit) and returns
  // the rows it touched.
  int64_t write(const QString& sql, OdbcParams& params, const QString& purpose)
  {
    forgetAhead();
    OdbcHandle st = run(sql, params, 0, purpose);
    SQLLEN rows = -1;
    odbcCheck(SQLRowCount(st.get(), &rows), purpose, DBErrorCode::Table, SQL_HANDLE_STMT, st.get());
    return rows;
  }

  OdbcHandle run(const QString& sql, OdbcParams& params, int64_t maxRows, const QString& purpose)
  {
    OdbcHandle st = FSession.newStatement(purpose);
    SQLHSTMT h = st.get();
    params.bind(h, purpose);
    if (maxRows > 0)
      SQLSetStmtAttr(h, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(SQLULEN(maxRows)), 0);
    const std::vector<SQLWCHAR> text = odbcText(sql);
    FSession.run(purpose, h, [&] { return SQLExecDirectW(h, const_cast<SQLWCHAR*>(text.data()), SQL_NTS); }, DBErrorCode::Table);
    return st;
  }

  // Appends at most limit rows of the query, the first skip of them stepped over; returns how many
  // the data source gave (a row another session removed meanwhile may then be left out). In key
  // order, ascending or (descending) not.
  size_t readRows(const QString& sql, OdbcParams& params, int64_t limit, int64_t skip, std::vector<TRow>& out,
                  bool descending = false)
  {
    const QString purpose = words("read the rows of");
    const size_t start = out.size(), wanted = size_t(limit - skip);
    std::vector<size_t> cut;
    {
      OdbcHandle st = run(sql, params, limit, purpose);
      OdbcRowset rowset(FSession, st.get(), FColumns, purpose, FLongValues);
      if (skip > 0)
        rowset.skip(skip);
      while (out.size() - start < wanted && rowset.fetch(out) > 0) {
      }
      if (out.size() - start > wanted)
        out.resize(start + wanted);
      for (size_t place : rowset.cutRows())
        if (place < out.size())
          cut.push_back(place);
    }
    const size_t given = out.size() - start;
    if (!cut.empty())
      readWhole(out, cut, descending);
    return given;
  }

  // Long values come in their first part with the rest of a row, so that hundreds of rows come in a
  // fetch; the rows whose long values were cut short are read again whole, by key, once the reading
  // is over (not every data source runs two statements at once on a connection). A row no longer
  // there is left out, as a later reading would leave it.
  void readWhole(std::vector<TRow>& rows, const std::vector<size_t>& cut, bool descending)
  {
    const TRow& low = rows[descending ? cut.back() : cut.front()];
    const TRow& high = rows[descending ? cut.front() : cut.back()];
    OdbcParams params;
    const QString from = beyond(low, QStringLiteral("<"), params);
    const QString to = beyond(high, QStringLiteral(">"), params);
    const QString purpose = words("read the rows of");
    OdbcHandle st = run(FSelect + QStringLiteral(" WHERE NOT ") + from + QStringLiteral(" AND NOT ") + to + FOrderAsc, params, 0, purpose);
    OdbcRowset rowset(FSession, st.get(), FColumns, purpose, OdbcLongValues::InPieces);
    std::unordered_map<QByteArray, TRow> whole;
    std::vector<TRow> some;
    while (rowset.fetch(some) > 0) {
      for (TRow& row : some)
        whole.emplace(keyBytes(row), std::move(row));
      some.clear();
    }
    std::vector<bool> gone(rows.size(), false);
    bool anyGone = false;
    for (size_t place : cut) {
      const auto found = whole.find(keyBytes(rows[place]));
      if (found == whole.end()) {
        gone[place] = anyGone = true;
        continue;
      }
      rows[place] = std::move(found->second);
    }
    if (!anyGone)
      return;
    size_t kept = 0;
    for (size_t i = 0; i < rows.size(); ++i)
      if (!gone[i])
        rows[kept++] = std::move(rows[i]);
    rows.resize(kept);
  }

  // A row's key as bytes that tell every key apart.
  QByteArray keyBytes(const TRow& row) const
  {
    QByteArray bytes;
    for (int k : FKey) {
      const TValue& v = row[size_t(k)];
      bytes += char('0' + int(v.kind()));
      if (v.kind() == TValue::Integer)
        bytes += QByteArray::number(qlonglong(v.asInteger()));
      else if (v.kind() == TValue::Float)
        bytes += QByteArray::number(v.asFloat(), 'g', 17);
      else
        bytes += QByteArray::number(v.rawBytes().size()) + ':' + v.rawBytes();
      bytes += '|';
    }
    return bytes;
  }

  void forgetAhead()
  {
    FAhead.clear();
    FAheadNext = 0;
    FAheadFollows.clear();
    FAheadComplete = false;
  }

  bool sameKey(const TRow& a, const TRow& b) const
  {
    for (int k : FKey)
      if (!(a[size_t(k)] == b[size_t(k)]))
        return false;
    return true;
  }

  OdbcSession& FSession;
  QString FTable;
  QString FQuoted;
  std::vector<TColumnInfo> FColumns;
  std::vector<OdbcColumnType> FTypes;
  QStringList FNames;     // quoted column names
  std::vector<int> FKey;  // column indexes in key order
  QStringList FKeyNames;
  QString FSelect, FOrderAsc, FOrderDesc;
  OdbcLongValues FLongValues = OdbcLongValues::InPieces;
  int64_t FCount = -1;
  std::vector<TRow> FMarks;  // the key at every markEvery-th place, noted while counting
  // Rows read ahead of a walk: FAhead[FAheadNext...] follow the row FAheadFollows.
  std::vector<TRow> FAhead;
  size_t FAheadNext = 0;
  TRow FAheadFollows;
  bool FAheadComplete = false;  // the table ends after them
  int FChunk = 0;
};

}  // namespace

std::unique_ptr<TRowSource> openOdbcTable(OdbcSession& session, const QString& tableName, const QString& quotedTable,
                                          const TTableDescription& description, std::vector<OdbcColumnType> types)
{
  return std::make_unique<OdbcTableSource>(session, tableName, quotedTable, description, std::move(types));
}
