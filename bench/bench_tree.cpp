// How long the schema tree takes to fill: 10,000 tables under one alias, 1,000 aliases at start-up,
// and start-up to the shown main window; and reading an alias file of 150,000 sections or of 50,000
// keys in one section (target 1 s). Each figure is the median of several runs, printed with
// its target (0.3 s) and the ratio to it.
//
//   build/bench/bench_tree            full sizes
//   build/bench/bench_tree --quick    small sizes, for CI to show that it runs
#include "BenchSupport.h"
#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "browser/TreeObjects.h"
#include "browser/TreeView.h"
#include "dataaccess/AliasConfig.h"
#include "dataaccess/Session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

#include <sqlite3.h>

namespace {

QElapsedTimer sinceStart;

double median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void report(const char* what, int count, double seconds, double target)
{
  std::printf("%-44s %6d  %8.1f ms  target %5.0f ms  ratio to target %.2f  %s\n", what, count, seconds * 1000,
              target * 1000, seconds / target, seconds <= target ? "ok" : "SLOW");
  std::fflush(stdout);
}

// Mixed-case names with a shared prefix now and then, so comparisons have work to do.
QString tableName(int i)
{
  static const char* const words[] = {"Order", "customer", "Invoice", "product", "ZONE", "éclair", "audit", "Line"};
  QRandomGenerator rng(quint32(i) * 2654435761u);
  return QStringLiteral("%1_%2 %3").arg(QString::fromUtf8(words[rng.bounded(8)])).arg(rng.bounded(100000)).arg(i);
}

void makeDatabase(const QString& file, int tables)
{
  sqlite3* db = nullptr;
  sqlite3_open(file.toUtf8().constData(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int i = 0; i < tables; ++i) {
    QString name = tableName(i);
    name.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    const QByteArray sql = QStringLiteral("CREATE TABLE \"%1\"(id INTEGER PRIMARY KEY, v TEXT)").arg(name).toUtf8();
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char* argv[])
{
  sinceStart.start();
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const double applicationStart = sinceStart.nsecsElapsed() / 1e9;
  const bool quick = app.arguments().contains(QStringLiteral("--quick"));
  const int tables = quick ? 500 : 10000;
  const int aliases = quick ? 100 : 1000;
  const int runs = quick ? 1 : 5;

  QTemporaryDir dir;
  const QString dbFile = dir.filePath(QStringLiteral("many.db"));
  makeDatabase(dbFile, tables);
  QByteArray ini = "[Many]\nDriver=SQLite\nDatabase=" + dbFile.toUtf8() + "\n";
  for (int i = 0; i < aliases - 1; ++i)
    ini += "[" + tableName(i + 7).toUtf8() + "]\nDriver=SQLite\nDatabase=x.db\n";
  bench::useAliases(dir.filePath(QStringLiteral("aliases.ini")), ini);

  // Start-up: the application object, then the program's own sequence to the main window on the
  // screen; making the test database in between is left out.
  QElapsedTimer windows;
  windows.start();
  CreateApplicationWindows();
  fmMain->show();
  if (!QTest::qWaitForWindowExposed(fmMain))
    return 1;
  const double startup = applicationStart + windows.nsecsElapsed() / 1e9;
  std::printf("Kestrel schema tree benchmark (%s sizes, median of %d runs)\n", quick ? "quick" : "full", runs);
  report("start-up to shown main window (in process)", aliases, startup, 0.3);

  std::vector<double> fill, list;
  for (int r = 0; r < runs; ++r) {
    QElapsedTimer t;
    t.start();
    fmMain->FormCreate();  // restarts the session: re-reads the alias file, fills and sorts the tree
    fill.push_back(t.nsecsElapsed() / 1e9);
  }
  report("alias tree: read, fill and sort", aliases, median(fill), 0.3);

  TTreeNode* many = nullptr;
  for (int i = 0; i < fmMain->TreeView1->TopItem(0)->Count(); ++i)
    if (fmMain->TreeView1->TopItem(0)->Item(i)->Text() == QLatin1String("Many"))
      many = fmMain->TreeView1->TopItem(0)->Item(i);
  fmMain->Database.SetAliasName(QStringLiteral("Many"));
  fmMain->Database.Open();
  for (int r = 0; r < runs; ++r) {
    many->DeleteChildren();
    QElapsedTimer t;
    t.start();
    fmMain->LoadTableNames(many);
    list.push_back(t.nsecsElapsed() / 1e9);
  }
  report("tables under an alias: list, add and sort", many->Count(), median(list), 0.3);
  if (many->Count() != tables)
    return 1;

  // Reading the alias file alone is linear in its size: many sections, and many keys in one.
  const int sections = quick ? 15000 : 150000, keys = quick ? 5000 : 50000;
  QByteArray manySections, manyKeys = "[Wide]\nDriver=SQLite\nDatabase=x.db\n";
  for (int i = 0; i < sections; ++i)
    manySections += "[Alias " + QByteArray::number(i) + "]\nDriver=SQLite\nDatabase=a" + QByteArray::number(i) + ".db\n";
  for (int i = 0; i < keys; ++i)
    manyKeys += "Key" + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\n";
  for (const auto& [what, content, count] : {std::tuple{"alias file: sections read", &manySections, sections},
                                             std::tuple{"alias file: keys of one section read", &manyKeys, keys}}) {
    std::vector<double> parse;
    for (int r = 0; r < runs; ++r) {
      QElapsedTimer t;
      t.start();
      const TAliasFile file = TAliasFile::parse(QStringLiteral("bench.ini"), *content);
      parse.push_back(t.nsecsElapsed() / 1e9);
      if (file.aliases().empty())
        return 1;
    }
    report(what, count, median(parse), 1.0);
  }
  DestroyApplicationWindows();
  return 0;
}
