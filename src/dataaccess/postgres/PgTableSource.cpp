#include "dataaccess/postgres/PgTableSource.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/postgres/PgSession.h"

#include <algorithm>
#include <iterator>

#include <libpq-fe.h>

namespace {

constexpr int largestChunk = 16384;  // how far a walk through the table reads ahead, in rows

class PgTableSource : public TRowSource {
public:
  PgTableSource(PgSession& session, const QString& tableName, const TTableDescription& description, PgTableInfo info)
      : FSession(session), FTable(tableName), FInfo(std::move(info)), FColumns(description.Columns), FReader(FInfo.BaseOids)
  {
    for (const TColumnInfo& c : FColumns)
      FNames.push_back(session.quoteIdentifier(c.Name));
    std::vector<std::pair<int, int>> key;  // place in the key, column index
    for (size_t i = 0; i < FColumns.size(); ++i)
      if (FColumns[i].KeyPosition > 0)
        key.emplace_back(FColumns[i].KeyPosition, int(i));
    std::sort(key.begin(), key.end());
    QList<QByteArray> keyNames, descending, marks;
    for (const auto& k : key) {
      FKey.push_back(k.second);
      keyNames << FNames[size_t(k.second)];
      descending << FNames[size_t(k.second)] + " DESC";
      marks << "$" + QByteArray::number(marks.size() + 1);
    }
    FSelect = QList<QByteArray>(FNames.begin(), FNames.end()).join(',');
    FKeyTuple = "(" + keyNames.join(',') + ")";
    FKeyMarks = "(" + marks.join(',') + ")";
    FOrderAsc = " ORDER BY " + keyNames.join(',');
    FOrderDesc = " ORDER BY " + descending.join(',');
  }

  ~PgTableSource() override { FSession.dropAhead(this); }

  const std::vector<TColumnInfo>& columns() const override { return FColumns; }

  void refresh() override { FCount = -1; }

  int64_t count() override
  {
    if (FCount < 0) {
      const PgResult r = FSession.exec("SELECT count(*) FROM " + FInfo.QualifiedName, words("count the rows of"));
      FCount = r.integer(0, 0);
    }
    return FCount;
  }

  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    forgetAhead();
    if (n <= 0 || offset < 0)
      return;
    // Deep in the second half, counting back from the end is the shorter walk.
    if (FCount >= 0 && offset > FCount / 2) {
      const int64_t wanted = std::min<int64_t>(n, FCount - offset);
      if (wanted <= 0)
        return;
      readRows("SELECT " + FSelect + " FROM " + FInfo.QualifiedName + FOrderDesc + " LIMIT $1 OFFSET $2",
               {number(wanted), number(std::max<int64_t>(0, FCount - offset - n))}, out);
      std::reverse(out.begin(), out.end());
      return;
    }
    readRows("SELECT " + FSelect + " FROM " + FInfo.QualifiedName + FOrderAsc + " LIMIT $1 OFFSET $2",
             {number(n), number(offset)}, out);
  }

  // A walk (each reading going on after the last row handed out) is served from rows read ahead in
  // growing chunks; the next chunk is asked for before this one is converted, so the server
  // produces it meanwhile.
  bool readAfter(const TRow& row, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (!keyUsable(row))
      return false;
    const TRow key = keyOf(row);
    const bool walking = !FAheadFollows.empty() && key == FAheadFollows;
    if (!walking) {
      forgetAhead();
      FChunk = n;
    }
    while (FAhead.size() - FAheadNext < size_t(n) && !FAheadComplete) {
      FAhead.erase(FAhead.begin(), FAhead.begin() + qsizetype(FAheadNext));
      FAheadNext = 0;
      const TRow after = FAhead.empty() ? key : keyOf(FAhead.back());
      PgResult r;
      int limit = FRequestedLimit;
      if (FRequested && FRequestedAfter == after)
        r = FSession.takeAhead(this);
      else if (FRequested)
        FSession.dropAhead(this);
      FRequested = false;
      if (!r.get() || PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        limit = std::max(n, FChunk);
        r = FSession.execParams(rowsAfter(), withLimit(keyValueParams(after), limit), words("read the rows of"));
      }
      const int got = r.rows();
      FAheadComplete = got < limit;
      if (walking && !FAheadComplete && got > 0) {
        TRow last;
        FReader.read(r.get(), got - 1, last);
        FChunk = std::min(FChunk * 2, largestChunk);
        FRequestedAfter = keyOf(last);
        FRequestedLimit = FChunk;
        FSession.sendAhead(this, rowsAfter(), withLimit(keyValueParams(FRequestedAfter), FChunk));
        FRequested = true;
      }
      FReader.readAll(r.get(), FAhead);
    }
    const size_t take = std::min(FAhead.size() - FAheadNext, size_t(n));
    out.reserve(take);
    std::move(FAhead.begin() + qsizetype(FAheadNext), FAhead.begin() + qsizetype(FAheadNext + take), std::back_inserter(out));
    FAheadNext += take;
    FAheadFollows = out.empty() ? key : keyOf(out.back());
    return true;
  }

  bool readBefore(const TRow& row, int n, std::vector<TRow>& out) override
  {
    out.clear();
    if (!keyUsable(row))
      return false;
    forgetAhead();
    std::vector<PgParam> params = keyParams(row);
    params.push_back(number(n));
    readRows("SELECT " + FSelect + " FROM " + FInfo.QualifiedName + " WHERE " + FKeyTuple + " < " + FKeyMarks + FOrderDesc +
                 " LIMIT $" + QByteArray::number(params.size()),
             params, out);
    std::reverse(out.begin(), out.end());
    return true;
  }

  int64_t positionOf(const TRow& row) override
  {
    forgetAhead();
    if (!keyUsable(row))
      return -1;
    const PgResult r = FSession.execParams("SELECT (SELECT count(*) FROM " + FInfo.QualifiedName + " WHERE " + FKeyTuple + " < " +
                                               FKeyMarks + "), EXISTS (SELECT 1 FROM " + FInfo.QualifiedName + " WHERE " +
                                               FKeyTuple + " = " + FKeyMarks + ")",
                                           keyParams(row), words("find a row of"));
    return r.text(0, 1) == QLatin1String("t") ? r.integer(0, 0) : -1;
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
    QList<QByteArray> sets;
    std::vector<PgParam> params;
    for (size_t i = 0; i < FColumns.size() && i < changed.size(); ++i)
      if (!FColumns[i].ReadOnly && !(changed[i] == original[i])) {
        params.push_back(pgParam(changed[i], FInfo.TypeOids[i]));
        sets << FNames[i] + " = $" + QByteArray::number(params.size());
      }
    if (sets.isEmpty())
      return;
    const QByteArray where = unchangedCondition(original, params);
    write("UPDATE " + FInfo.QualifiedName + " SET " + sets.join(", ") + " WHERE " + where, params, "save the row of", original);
  }

  TRow insertRow(const TRow& values) override
  {
    requireModifiable();
    FSession.leaveReadingTransaction();
    forgetAhead();
    QList<QByteArray> names, marks;
    std::vector<PgParam> params;
    for (size_t i = 0; i < FColumns.size() && i < values.size(); ++i)
      if (!values[i].isNull() && !FColumns[i].ReadOnly) {  // columns left empty get their defaults
        params.push_back(pgParam(values[i], FInfo.TypeOids[i]));
        names << FNames[i];
        marks << "$" + QByteArray::number(params.size());
      }
    const QByteArray sql = names.isEmpty()
                               ? "INSERT INTO " + FInfo.QualifiedName + " DEFAULT VALUES RETURNING " + FSelect
                               : "INSERT INTO " + FInfo.QualifiedName + " (" + names.join(',') + ") VALUES (" + marks.join(',') +
                                     ") RETURNING " + FSelect;
    // RETURNING hands back the row as stored: defaults, sequence numbers and generated values included.
    const PgResult r = FSession.execParams(sql, params, words("add a row to"), DBErrorCode::Table);
    if (FCount >= 0)
      ++FCount;
    TRow row;
    if (r.rows() > 0)
      FReader.read(r.get(), 0, row);
    return row;
  }

  void deleteRow(const TRow& original) override
  {
    requireModifiable();
    std::vector<PgParam> params;
    const QByteArray where = unchangedCondition(original, params);
    write("DELETE FROM " + FInfo.QualifiedName + " WHERE " + where, params, "delete the row of", original);
    if (FCount > 0)
      --FCount;
  }

private:
  QString words(const char* action) const
  {
    return QStringLiteral("Cannot %1 table '%2'.").arg(QLatin1String(action), FTable);
  }

  static PgParam number(int64_t n)
  {
    PgParam p;
    p.Null = false;
    p.Data = QByteArray::number(qlonglong(n));
    p.Type = PgOid::Int8;
    return p;
  }

  void readRows(const QByteArray& sql, const std::vector<PgParam>& params, std::vector<TRow>& out)
  {
    const PgResult r = FSession.execParams(sql, params, words("read the rows of"));
    FReader.readAll(r.get(), out);
  }

  QByteArray rowsAfter() const
  {
    return "SELECT " + FSelect + " FROM " + FInfo.QualifiedName + " WHERE " + FKeyTuple + " > " + FKeyMarks + FOrderAsc +
           " LIMIT $" + QByteArray::number(FKey.size() + 1);
  }

  static std::vector<PgParam> withLimit(std::vector<PgParam> params, int limit)
  {
    params.push_back(number(limit));
    return params;
  }

  void forgetAhead()
  {
    if (FRequested)
      FSession.dropAhead(this);
    FRequested = false;
    FAhead.clear();
    FAheadNext = 0;
    FAheadFollows.clear();
    FAheadComplete = false;
  }

  bool keyUsable(const TRow& row) const { return keyComplete(row, FKey); }

  TRow keyOf(const TRow& row) const
  {
    TRow key;
    for (int k : FKey)
      key.push_back(row[size_t(k)]);
    return key;
  }

  // The key's values (as keyOf gives them) as parameters.
  std::vector<PgParam> keyValueParams(const TRow& key) const
  {
    std::vector<PgParam> params;
    for (size_t i = 0; i < FKey.size(); ++i)
      params.push_back(pgParam(key[i], FInfo.TypeOids[size_t(FKey[i])]));
    return params;
  }

  std::vector<PgParam> keyParams(const TRow& row) const
  {
    std::vector<PgParam> params;
    for (int k : FKey)
      params.push_back(pgParam(row[size_t(k)], FInfo.TypeOids[size_t(k)]));
    return params;
  }

  // The row's key and every column as it was read: a row another session changed or removed no
  // longer matches. Types whose equality is looser than their text (json, xml, geometry, arrays,
  // intervals) are compared by their text.
  QByteArray unchangedCondition(const TRow& original, std::vector<PgParam>& params) const
  {
    QList<QByteArray> parts;
    for (size_t i = 0; i < FColumns.size(); ++i) {
      const QByteArray& name = FNames[i];
      if (FColumns[i].KeyPosition > 0) {
        params.push_back(pgParam(original[i], FInfo.TypeOids[i]));
        parts << name + " = $" + QByteArray::number(params.size());
      } else if (pgHasExactEquality(FInfo.BaseOids[i])) {
        params.push_back(pgParam(original[i], FInfo.TypeOids[i]));
        parts << name + " IS NOT DISTINCT FROM $" + QByteArray::number(params.size());
      } else {
        params.push_back(pgParam(original[i], PgOid::Text));
        parts << name + "::text IS NOT DISTINCT FROM $" + QByteArray::number(params.size());
      }
    }
    return parts.join(" AND ");
  }

  void write(const QByteArray& sql, const std::vector<PgParam>& params, const char* action, const TRow& original)
  {
    // An edit is committed when it returns, not held in a transaction kept open for a cursor.
    FSession.leaveReadingTransaction();
    forgetAhead();
    const PgResult r = FSession.execParams(sql, params, words(action), DBErrorCode::Table);
    if (r.commandRows() == 0)
      throw EDBEngineError(std::vector<TDBError>{{words(action), DBErrorCode::Table, 0},
                                                 {whyUnmatched(original), DBErrorCode::Table, 0}});
  }

  // Nothing matched the row as it was read: the row looked up by its key tells the user whether
  // another session removed it or changed it.
  QString whyUnmatched(const TRow& original)
  {
    if (!keyUsable(original))
      return unmatchedRowReason(false, nullptr, original);
    std::vector<TRow> now;
    readRows("SELECT " + FSelect + " FROM " + FInfo.QualifiedName + " WHERE " + FKeyTuple + " = " + FKeyMarks, keyParams(original), now);
    return unmatchedRowReason(true, now.empty() ? nullptr : &now.front(), original);
  }

  PgSession& FSession;
  QString FTable;
  PgTableInfo FInfo;
  std::vector<TColumnInfo> FColumns;
  PgRowReader FReader;
  std::vector<QByteArray> FNames;  // quoted column names
  std::vector<int> FKey;           // column indexes in key order
  QByteArray FSelect, FKeyTuple, FKeyMarks, FOrderAsc, FOrderDesc;
  int64_t FCount = -1;
  // Rows read ahead of a walk: FAhead[FAheadNext...] follow the row whose key is FAheadFollows.
  std::vector<TRow> FAhead;
  size_t FAheadNext = 0;
  TRow FAheadFollows;
  bool FAheadComplete = false;  // the table ends after them
  int FChunk = 256;
  // The next chunk, asked for ahead: the rows after FRequestedAfter, at most FRequestedLimit.
  bool FRequested = false;
  TRow FRequestedAfter;
  int FRequestedLimit = 0;
};

}  // namespace

std::unique_ptr<TRowSource> openPgTable(PgSession& session, const QString& tableName, const TTableDescription& description,
                                        PgTableInfo info)
{
  return std::make_unique<PgTableSource>(session, tableName, description, std::move(info));
}
