#include "dataaccess/sqlite/SqliteTableSource.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/sqlite/SqliteStatement.h"
#include "dataaccess/sqlite/SqliteWork.h"

#include <algorithm>

#include <sqlite3.h>

using SqlText::quoteIdentifier;

namespace {

const char* const markFunction = "kestrel_mark_row";
const char* const markPointerType = "kestrel-row-marks";
constexpr int64_t markEvery = 2048;

// True for the first row of every markEvery, counting the rows it is asked about in the counter
// bound as its argument (a pointer only this program can bind).
void markRow(sqlite3_context* context, int, sqlite3_value** argv)
{
  auto* walked = static_cast<int64_t*>(sqlite3_value_pointer(argv[0], markPointerType));
  if (!walked) {
    sqlite3_result_error(context, "kestrel_mark_row is for the program's own use", -1);
    return;
  }
  sqlite3_result_int(context, (*walked)++ % markEvery == 0);
}

class SqliteTableSource : public TRowSource {
public:
  SqliteTableSource(sqlite3* db, const QString& tableName, const TTableDescription& description)
      : FDb(db), FTable(tableName), FQuotedTable(quoteIdentifier(tableName)), FColumns(description.Columns)
  {
    QStringList select;
    for (const TColumnInfo& c : FColumns)
      select << quoteIdentifier(c.Name);
    std::vector<std::pair<int, int>> key;  // position in key, column index
    for (size_t i = 0; i < FColumns.size(); ++i)
      if (FColumns[i].KeyPosition > 0)
        key.emplace_back(FColumns[i].KeyPosition, int(i));
    std::sort(key.begin(), key.end());
    for (const auto& k : key) {
      FKeyColumns.push_back(k.second);
      FKeyNames << quoteIdentifier(FColumns[size_t(k.second)].Name);
    }
    if (description.HasRowId) {
      // The row id under a name no column has taken.
      for (const char* alias : {"rowid", "_rowid_", "oid"}) {
        const bool taken = std::any_of(FColumns.begin(), FColumns.end(), [&](const TColumnInfo& c) {
          return c.Name.compare(QLatin1String(alias), Qt::CaseInsensitive) == 0;
        });
        if (!taken) {
          FNewRowIdName = QLatin1String(alias);
          break;
        }
      }
    }
    // A table may have as many columns as a result may: then the row id finds no room beside them,
    // and the table is read by its key alone (or, without one, by position and not edited).
    FRowIdBeyondLimit = !FNewRowIdName.isEmpty() && int(FColumns.size()) >= sqlite3_limit(db, SQLITE_LIMIT_COLUMN, -1);
    if (!FNewRowIdName.isEmpty() && !FRowIdBeyondLimit) {
      FRowIdName = FNewRowIdName;
      select << FRowIdName;
    }
    if (FKeyColumns.empty() && !FRowIdName.isEmpty()) {
      FKeyColumns.push_back(int(FColumns.size()));  // the hidden row id
      FKeyNames << FRowIdName;
    }
    FSelect = select.join(QLatin1Char(','));
    FKeyTuple = FKeyNames.size() == 1 ? FKeyNames.first() : QLatin1Char('(') + FKeyNames.join(QLatin1Char(',')) + QLatin1Char(')');
    QStringList desc;
    for (const QString& k : FKeyNames)
      desc << k + QStringLiteral(" DESC");
    FOrderAsc = FKeyNames.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + FKeyNames.join(QLatin1Char(','));
    FOrderDesc = FKeyNames.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + desc.join(QLatin1Char(','));
  }

  const std::vector<TColumnInfo>& columns() const override { return FColumns; }

  int64_t count() override
  {
    if (FCount >= 0)
      return FCount;
    if (FKeyColumns.empty()) {
      SqliteStatement st(FDb, QStringLiteral("SELECT count(*) FROM %1").arg(FQuotedTable), words("count the rows of"));
      FCount = st.step() ? st.integer(0) : 0;
      return FCount;
    }
    // Counted by walking the key, which notes the key at every markEvery-th place on the way: a jump to
    // any depth then seeks from the nearest mark. The walk costs about twice a count(*); the marking
    // function keeps the other rows inside SQLite, which halves the cost of handing each one out.
    SqliteWork::Scope work(FDb);
    SqliteStatement st(FDb, QStringLiteral("SELECT %1 FROM %2 WHERE %3(?1)%4").arg(FKeyNames.join(QLatin1Char(',')), FQuotedTable,
                                                                                  QLatin1String(markFunction), FOrderAsc),
                       words("count the rows of"));
    int64_t walked = 0;
    sqlite3_bind_pointer(st.handle(), 1, &walked, markPointerType, nullptr);
    std::vector<TRow> marks;
    while (st.step()) {
      marks.emplace_back();
      st.readRow(marks.back());
    }
    // Marks stand for places only when the rows were marked in the order they came out; a sorter
    // between the two would have marked them in another order.
    if (sqlite3_stmt_status(st.handle(), SQLITE_STMTSTATUS_SORT, 0) == 0)
      FMarks = std::move(marks);
    FCount = walked;
    return FCount;
  }

  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    SqliteWork::Scope work(FDb);  // one call however many steps it takes
    if (n <= 0 || offset < 0) {
      out.clear();
      return;
    }
    if (FKeyColumns.empty()) {
      out.clear();
      readWithoutKey(offset, n, out);
      return;
    }
    if (readFromMark(offset, n, out))
      return;
    // Deep in the second half, counting back from the end is the shorter walk.
    if (FCount >= 0 && offset > FCount / 2) {
      const int64_t fromEnd = std::max<int64_t>(0, FCount - offset - n);
      const int64_t wanted = std::min<int64_t>(n, FCount - offset);
      if (wanted <= 0) {
        out.clear();
        return;
      }
      SqliteStatement st(FDb, QStringLiteral("SELECT %1 FROM %2%3 LIMIT ?1 OFFSET ?2").arg(FSelect, FQuotedTable, FOrderDesc),
                         words("read the rows of"));
      st.bindInteger(1, wanted);
      st.bindInteger(2, fromEnd);
      readAll(st, out);
      std::reverse(out.begin(), out.end());
      return;
    }
    SqliteStatement st(FDb, QStringLiteral("SELECT %1 FROM %2%3 LIMIT ?1 OFFSET ?2").arg(FSelect, FQuotedTable, FOrderAsc),
                       words("read the rows of"));
    st.bindInteger(1, n);
    st.bindInteger(2, offset);
    readAll(st, out);
  }

  bool readAfter(const TRow& row, int n, std::vector<TRow>& out) override
  {
    return readBeside(row, n, out, true);
  }

  void refresh() override
  {
    FCount = -1;
    FMarks.clear();
    FContinue.reset();
    FAfter.reset();
    FBefore.reset();
    FFromMark.reset();
  }

  bool readBefore(const TRow& row, int n, std::vector<TRow>& out) override
  {
    return readBeside(row, n, out, false);
  }

  int64_t positionOf(const TRow& row) override
  {
    if (!keyUsable(row))
      return -1;
    {
      SqliteStatement exists(FDb, QStringLiteral("SELECT 1 FROM %1 WHERE %2 = %3").arg(FQuotedTable, FKeyTuple, placeholders()),
                             words("find a row of"));
      bindKey(exists, row, 1);
      if (!exists.step())
        return -1;
    }
    SqliteStatement st(FDb, QStringLiteral("SELECT count(*) FROM %1 WHERE %2 < %3").arg(FQuotedTable, FKeyTuple, placeholders()),
                       words("find a row of"));
    bindKey(st, row, 1);
    return st.step() ? st.integer(0) : -1;
  }

  bool canModify(QString* reason) const override
  {
    if (!FKeyColumns.empty())
      return true;
    if (reason && FRowIdBeyondLimit)
      *reason = QStringLiteral("'%1' cannot be edited: it has no primary key, and its %2 columns leave no room to read "
                               "the row id by which a changed row could be found again.").arg(FTable, QString::number(FColumns.size()));
    else if (reason)
      *reason = QStringLiteral("'%1' cannot be edited: it has neither a primary key nor a row id by which a changed "
                               "row could be found again.").arg(FTable);
    return false;
  }

  void updateRow(const TRow& original, const TRow& changed) override
  {
    requireModifiable();
    QStringList sets;
    std::vector<TValue> values;
    for (size_t i = 0; i < FColumns.size(); ++i)
      if (i < changed.size() && !(changed[i] == original[i])) {
        sets << quoteIdentifier(FColumns[i].Name) + QStringLiteral(" = ?");
        values.push_back(changed[i]);
      }
    if (sets.isEmpty())
      return;
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(FQuotedTable, sets.join(QStringLiteral(", ")), unchangedCondition());
    SqliteStatement st(FDb, sql, words("save a row of"));
    int index = 1;
    for (const TValue& v : values)
      st.bind(index++, v);
    bindUnchanged(st, original, index);
    st.step();
    requireOneRow("save the row of", original);
  }

  TRow insertRow(const TRow& values) override
  {
    requireModifiable();
    QStringList names, marks;
    std::vector<TValue> given;
    for (size_t i = 0; i < FColumns.size() && i < values.size(); ++i)
      if (!values[i].isNull()) {  // columns left empty get their defaults
        names << quoteIdentifier(FColumns[i].Name);
        marks << QStringLiteral("?");
        given.push_back(values[i]);
      }
    const QString sql = names.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(FQuotedTable)
                                        : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(FQuotedTable, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    {
      SqliteStatement st(FDb, sql, words("add a row to"));
      for (size_t i = 0; i < given.size(); ++i)
        st.bind(int(i) + 1, given[i]);
      st.step();
    }
    if (FCount >= 0)
      ++FCount;
    FMarks.clear();  // the places after the new row moved on by one
    // Read the row back as stored: defaults, the row id and generated values included.
    std::unique_ptr<SqliteStatement> back;
    if (!FNewRowIdName.isEmpty()) {
      back = std::make_unique<SqliteStatement>(FDb, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(FSelect, FQuotedTable, FNewRowIdName),
                                               words("read back the new row of"));
      back->bindInteger(1, sqlite3_last_insert_rowid(FDb));
    } else {
      back = std::make_unique<SqliteStatement>(FDb, QStringLiteral("SELECT %1 FROM %2 WHERE %3 = %4").arg(FSelect, FQuotedTable, FKeyTuple, placeholders()),
                                               words("read back the new row of"));
      bindKey(*back, values, 1);
    }
    TRow row;
    if (back->step())
      back->readRow(row);
    return row;
  }

  void deleteRow(const TRow& original) override
  {
    requireModifiable();
    SqliteStatement st(FDb, QStringLiteral("DELETE FROM %1 WHERE %2").arg(FQuotedTable, unchangedCondition()), words("delete a row of"));
    bindUnchanged(st, original, 1);
    st.step();
    requireOneRow("delete the row of", original);
    if (FCount > 0)
      --FCount;
    FMarks.clear();
  }

private:
  QString words(const char* action) const
  {
    return QStringLiteral("Cannot %1 table '%2'.").arg(QLatin1String(action), FTable);
  }

  // Reads every row of the statement into out, reusing the rows (and their buffers) out already holds.
  static void readAll(SqliteStatement& st, std::vector<TRow>& out)
  {
    size_t count = 0;
    while (st.step()) {
      if (count == out.size())
        out.emplace_back();
      st.readRow(out[count++]);
    }
    out.resize(count);
  }

  QString placeholders() const
  {
    QStringList marks;
    for (int i = 0; i < FKeyNames.size(); ++i)
      marks << QStringLiteral("?");
    return marks.size() == 1 ? marks.first() : QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
  }

  bool keyUsable(const TRow& row) const { return keyComplete(row, FKeyColumns); }

  void bindKey(SqliteStatement& st, const TRow& row, int first) const
  {
    for (int k : FKeyColumns)
      st.bind(first++, row[size_t(k)]);
  }

  // Rows from offset on, found from the key noted at the nearest place before it while counting.
  bool readFromMark(int64_t offset, int n, std::vector<TRow>& out)
  {
    const size_t mark = size_t(offset / markEvery);
    if (mark >= FMarks.size())
      return false;
    const TRow& key = FMarks[mark];
    // A NULL in a legacy key orders but never compares: the walk from the start serves there.
    if (std::any_of(key.begin(), key.end(), [](const TValue& v) { return v.isNull(); }))
      return false;
    if (!FFromMark)
      FFromMark = std::make_unique<SqliteStatement>(
          FDb, QStringLiteral("SELECT %1 FROM %2 WHERE %3 >= %4%5 LIMIT ? OFFSET ?").arg(FSelect, FQuotedTable, FKeyTuple, placeholders(), FOrderAsc),
          words("read the rows of"));
    SqliteStatement& st = *FFromMark;
    int index = 1;
    for (const TValue& v : key)
      st.bind(index++, v);
    st.bindInteger(index++, n);
    st.bindInteger(index, offset - int64_t(mark) * markEvery);
    try {
      readAll(st, out);
    } catch (...) {
      FFromMark.reset();
      throw;
    }
    st.reset();  // ends the read, so other connections may write meanwhile
    return true;
  }

  bool readBeside(const TRow& row, int n, std::vector<TRow>& out, bool after)
  {
    if (!keyUsable(row))
      return false;
    // Prepared once and kept: a walk through a large table asks for the next block thousands of times.
    std::unique_ptr<SqliteStatement>& kept = after ? FAfter : FBefore;
    if (!kept) {
      const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 %4 %5%6 LIMIT ?")
                              .arg(FSelect, FQuotedTable, FKeyTuple, after ? QStringLiteral(">") : QStringLiteral("<"),
                                   placeholders(), after ? FOrderAsc : FOrderDesc);
      kept = std::make_unique<SqliteStatement>(FDb, sql, words("read the rows of"));
    }
    SqliteStatement& st = *kept;
    bindKey(st, row, 1);
    st.bindInteger(int(FKeyColumns.size()) + 1, n);
    try {
      readAll(st, out);
    } catch (...) {
      kept.reset();  // a statement that failed (a dropped table) is prepared afresh next time
      throw;
    }
    st.reset();  // ends the read, so other connections may write meanwhile
    if (!after)
      std::reverse(out.begin(), out.end());
    return true;
  }

  // Without a key the rows come in the table's natural order; a reading that goes on where the
  // last one stopped continues the same statement instead of walking the skipped rows again.
  void readWithoutKey(int64_t offset, int n, std::vector<TRow>& out)
  {
    if (!FContinue || offset != FContinuePos) {
      FContinue = std::make_unique<SqliteStatement>(FDb, QStringLiteral("SELECT %1 FROM %2 LIMIT -1 OFFSET ?").arg(FSelect, FQuotedTable),
                                                    words("read the rows of"));
      FContinue->bindInteger(1, offset);
      FContinuePos = offset;
    }
    TRow row;
    while (int(out.size()) < n && FContinue->step()) {
      FContinue->readRow(row);
      out.push_back(std::move(row));
    }
    FContinuePos += int64_t(out.size());
  }

  // The row's key and every column as read: a row another session changed no longer matches.
  QString unchangedCondition() const
  {
    QStringList parts;
    for (const TColumnInfo& c : FColumns)
      parts << quoteIdentifier(c.Name) + QStringLiteral(" IS ?");
    if (!FRowIdName.isEmpty())
      parts << FRowIdName + QStringLiteral(" = ?");
    return balancedAnd(parts, 0, parts.size());
  }

  // "a AND b AND c ..." nests one level deeper per term, and SQLite refuses an expression more than
  // 1,000 levels deep: a table of that many columns could then be neither edited nor deleted from.
  // Grouped in halves the depth grows with the logarithm of the count; the terms stay in order.
  static QString balancedAnd(const QStringList& parts, qsizetype from, qsizetype to)
  {
    constexpr qsizetype flat = 64;  // a run this long nests shallowly enough
    if (to - from <= flat) {
      QString run = parts.mid(from, to - from).join(QStringLiteral(" AND "));
      return to - from > 1 ? QLatin1Char('(') + run + QLatin1Char(')') : run;
    }
    const qsizetype middle = from + (to - from) / 2;
    return QLatin1Char('(') + balancedAnd(parts, from, middle) + QStringLiteral(" AND ") + balancedAnd(parts, middle, to) +
           QLatin1Char(')');
  }

  void bindUnchanged(SqliteStatement& st, const TRow& original, int first) const
  {
    for (size_t i = 0; i < FColumns.size(); ++i)
      st.bind(first++, original[i]);
    if (!FRowIdName.isEmpty())
      st.bind(first, original[FColumns.size()]);
  }

  void requireOneRow(const char* action, const TRow& original) const
  {
    if (sqlite3_changes(FDb) == 0)
      throw EDBEngineError(std::vector<TDBError>{{words(action), DBErrorCode::Table, 0},
                                                 {whyUnmatched(original), DBErrorCode::Table, 0}});
  }

  // Nothing matched the row as it was read. Before blaming another user, look the row up by its key
  // alone: when that read fails too (a lock, a damaged page), the engine's own reason is raised.
  QString whyUnmatched(const TRow& original) const
  {
    // The row id reaches the row itself, past any index the file may have damaged.
    const bool byRowId = !FRowIdName.isEmpty() && original.size() > FColumns.size();
    if (!byRowId && !keyUsable(original))
      return unmatchedRowReason(false, nullptr, original);
    const QString where = byRowId ? FRowIdName + QStringLiteral(" = ?") : FKeyTuple + QStringLiteral(" = ") + placeholders();
    SqliteStatement st(FDb, QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(FSelect, FQuotedTable, where), words("check the row of"));
    if (byRowId)
      st.bind(1, original[FColumns.size()]);
    else
      bindKey(st, original, 1);
    TRow now;
    const bool found = st.step();
    if (found)
      st.readRow(now);
    return unmatchedRowReason(true, found ? &now : nullptr, original);
  }

  sqlite3* FDb;
  QString FTable;
  QString FQuotedTable;
  std::vector<TColumnInfo> FColumns;
  std::vector<int> FKeyColumns;  // row indexes of the key, in key order
  QStringList FKeyNames;
  QString FRowIdName;     // the row id as read beside the columns; empty when it is not
  QString FNewRowIdName;  // the row id's free name, by which a new row is read back
  bool FRowIdBeyondLimit = false;  // a row id exists but cannot be read beside every column
  QString FSelect, FKeyTuple, FOrderAsc, FOrderDesc;
  int64_t FCount = -1;
  std::unique_ptr<SqliteStatement> FContinue;
  std::unique_ptr<SqliteStatement> FAfter, FBefore, FFromMark;
  // The key at every markEvery-th place, noted while counting; empty when unknown or out of date.
  std::vector<TRow> FMarks;
  int64_t FContinuePos = 0;
};

}  // namespace

std::unique_ptr<TRowSource> openSqliteTable(sqlite3* db, const QString& tableName, const TTableDescription& description)
{
  return std::make_unique<SqliteTableSource>(db, tableName, description);
}

void registerSqliteRowMarks(sqlite3* db)
{
  sqlite3_create_function_v2(db, markFunction, 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr, markRow, nullptr, nullptr, nullptr);
}
