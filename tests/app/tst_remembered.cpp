// What the program remembers between runs: the recent SQL files and databases in the File menu,
// the window's size and splitters, and never a password.
#include "AppFixture.h"

#include <QAction>
#include <QDirIterator>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>

using namespace app_fixture;

class TestRemembered : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  void restart()
  {
    fmMain->close();
    stopProgram();
    startProgram(*folder, "[Db]\nDriver=SQLite\nDatabase=db.db\n");
  }
  // The menu's entries as they show when it opens.
  static QStringList entries(QMenu* menu)
  {
    emit menu->aboutToShow();
    QStringList texts;
    for (QAction* a : menu->actions())
      texts << a->text();
    return texts;
  }
  static QAction* entry(QMenu* menu, int index)
  {
    emit menu->aboutToShow();
    return menu->actions().value(index);
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("db.db"), QStringLiteral("CREATE TABLE t(x INTEGER);"));
    startProgram(*folder, "[Db]\nDriver=SQLite\nDatabase=db.db\n");
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // The last eight SQL files, most recent first and each once, across runs; one gone from disk
  // is left out; choosing one opens it.
  void recentSqlFiles()
  {
    QCOMPARE(entries(fmMain->RecentFiles1), QStringList{QStringLiteral("(none)")});
    for (int i = 1; i <= 10; ++i) {
      QFile f(folder->path(QStringLiteral("q%1.sql").arg(i)));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("SELECT " + QByteArray::number(i));
      f.close();
      fmMain->OpenRecentSqlFile(f.fileName());
    }
    fmMain->OpenRecentSqlFile(folder->path(QStringLiteral("q9.sql")));
    QFile::remove(folder->path(QStringLiteral("q8.sql")));
    restart();
    QCOMPARE(entries(fmMain->RecentFiles1), (QStringList{"&1 q9.sql", "&2 q10.sql", "&3 q7.sql", "&4 q6.sql",
                                                         "&5 q5.sql", "&6 q4.sql", "&7 q3.sql"}));
    entry(fmMain->RecentFiles1, 1)->trigger();
    QCOMPARE(fmMain->Memo1->toPlainText(), QStringLiteral("SELECT 10"));
  }

  // A database file opened from the window comes back in Recent Databases, and opens from there.
  void recentDatabases()
  {
    const QString file = folder->createDatabase(QStringLiteral("other.db"), QStringLiteral("CREATE TABLE o(x INTEGER);"));
    fmMain->OpenDatabaseFile(file);
    QVERIFY(fmMain->Database.Connected());
    restart();
    QCOMPARE(entries(fmMain->RecentDatabases1), QStringList{QStringLiteral("&1 other.db")});
    entry(fmMain->RecentDatabases1, 0)->trigger();
    QVERIFY(fmMain->Database.Connected());
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("other"));
  }

  // The window comes back at its size with its splitters where they were left.
  void windowAndSplittersAsLeft()
  {
    fmMain->resize(900, 640);
    fmMain->Splitter1->setSizes({300, 595});
    const QList<int> left = fmMain->Splitter1->sizes();
    restart();
    QCOMPARE(fmMain->size(), QSize(900, 640));
    QCOMPARE(fmMain->Splitter1->sizes(), left);
  }

  // What is remembered holds no password, nor the user name typed at a login.
  void noPasswordIsKept()
  {
    loginWith(QStringLiteral("someone-unusual"), QStringLiteral("pa55-word-kept-nowhere"));
    doubleClick(child(root(), QStringLiteral("Db")));
    QVERIFY(fmMain->Database.Connected());
    restart();
    int files = 0;
    for (QDirIterator it(folder->path(QStringLiteral("config")), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      QFile f(it.next());
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QByteArray content = f.readAll();
      QVERIFY(!content.contains("pa55-word-kept-nowhere"));
      QVERIFY(!content.contains("someone-unusual"));
      ++files;
    }
    QVERIFY(files > 0);  // something was remembered, and looked at
  }
};

QTEST_MAIN(TestRemembered)
#include "tst_remembered.moc"
