#include "dataaccess/Driver.h"

#include "dataaccess/DBErrors.h"
#include "dataaccess/odbc/OdbcDriver.h"
#include "dataaccess/postgres/PgDriver.h"
#include "dataaccess/sqlite/SqliteDriver.h"

#include <algorithm>

namespace {
std::vector<std::unique_ptr<TDriver>>& registry()
{
  // Built on first use rather than by static registration, which a static library would drop.
  static std::vector<std::unique_ptr<TDriver>> drivers = [] {
    std::vector<std::unique_ptr<TDriver>> list;
    list.push_back(createSqliteDriver());
    list.push_back(createPostgresDriver());
    list.push_back(createOdbcDriver());
    return list;
  }();
  return drivers;
}
}  // namespace

TDriver* findDriver(const QString& name)
{
  for (const auto& d : registry())
    if (d->name().compare(name, Qt::CaseInsensitive) == 0)
      return d.get();
  return nullptr;
}

QStringList driverNames()
{
  QStringList names;
  for (const auto& d : registry())
    names << d->name();
  return names;
}

bool TRowSource::readAfter(const TRow&, int, std::vector<TRow>&)
{
  return false;
}

bool TRowSource::readBefore(const TRow&, int, std::vector<TRow>&)
{
  return false;
}

int64_t TRowSource::positionOf(const TRow&)
{
  return -1;
}

QString unmatchedRowReason(bool lookedUp, const TRow* now, const TRow& original)
{
  const QString what = !lookedUp ? QStringLiteral("changed or deleted") : !now ? QStringLiteral("deleted")
                       : *now != original ? QStringLiteral("changed")
                                          : QStringLiteral("changed or deleted");
  return QStringLiteral("The row was %1 by another user since it was read. Nothing was written; your changes are kept.").arg(what);
}

QString noKeyReason(const QString& tableName)
{
  return QStringLiteral("'%1' cannot be edited: it has no primary key by which a changed row could be found again.").arg(tableName);
}

namespace {

class KeptRows : public TRowSource {
public:
  KeptRows(std::vector<TColumnInfo> columns, std::vector<TRow> rows) : FColumns(std::move(columns)), FRows(std::move(rows)) {}
  const std::vector<TColumnInfo>& columns() const override { return FColumns; }
  int64_t count() override { return int64_t(FRows.size()); }
  void readAt(int64_t offset, int n, std::vector<TRow>& out) override
  {
    out.clear();
    for (int64_t i = std::max<int64_t>(offset, 0); i < offset + n && i < int64_t(FRows.size()); ++i)
      out.push_back(FRows[size_t(i)]);
  }

private:
  std::vector<TColumnInfo> FColumns;
  std::vector<TRow> FRows;
};

}  // namespace

std::unique_ptr<TRowSource> keptRows(std::vector<TColumnInfo> columns, std::vector<TRow> rows)
{
  return std::make_unique<KeptRows>(std::move(columns), std::move(rows));
}

bool TRowSource::canModify(QString* reason) const
{
  if (reason)
    *reason = QStringLiteral("The result of a query cannot be edited.");
  return false;
}

void TRowSource::requireModifiable() const
{
  QString reason;
  if (!canModify(&reason))
    throw EDBEngineError(reason);
}

bool keyComplete(const TRow& row, const std::vector<int>& key)
{
  if (key.empty())
    return false;
  for (int k : key)
    if (size_t(k) >= row.size() || row[size_t(k)].isNull())
      return false;
  return true;
}

void TRowSource::updateRow(const TRow&, const TRow&)
{
  requireModifiable();
}

TRow TRowSource::insertRow(const TRow&)
{
  requireModifiable();
  return {};
}

void TRowSource::deleteRow(const TRow&)
{
  requireModifiable();
}
