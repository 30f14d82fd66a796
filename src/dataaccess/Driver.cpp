#include "dataaccess/Driver.h"

#include "dataaccess/sqlite/SqliteDriver.h"

namespace {
std::vector<std::unique_ptr<TDriver>>& registry()
{
  // Built on first use rather than by static registration, which a static library would drop.
  static std::vector<std::unique_ptr<TDriver>> drivers = [] {
    std::vector<std::unique_ptr<TDriver>> list;
    list.push_back(createSqliteDriver());
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
