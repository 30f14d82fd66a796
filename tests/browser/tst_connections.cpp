// Connections made, changed and removed from the window: the alias file keeps every line the user
// wrote, the tree follows, and a setting the file could not read back is refused in the dialog.
// Connecting through the tree: the login dialog, the tables listed, and what a failure shows.
#include "AppFixture.h"
#include "MariaTestServer.h"

#include "browser/AliasFileText.h"
#include "browser/ConnectionDialog.h"
#include "dataaccess/AliasConfig.h"

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

using namespace app_fixture;

namespace {

const QByteArray head = "; my connections\r\n\r\n[Other]\r\nDriver=SQLite\r\nDatabase=other.db\r\n\r\n"
                        "[Broken]\r\nDriver=SQLite\r\nDatabase=missing.db\r\n\r\n";
const QByteArray demo = "[Demo]\r\n; the sample\r\nDriver=SQLite\r\nDatabase=demo.db\r\n\r\n";
const QByteArray shop = "[Shop]\r\nDriver=PostgreSQL\r\nHost=db.example.com\r\nSSLMode=require\r\nDatabase=shop\r\n";
const QByteArray commented = head + demo + "# the server\r\n" + shop;

QByteArray readFile(const QString& name)
{
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

}  // namespace

class TestConnections : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  QString aliasFile;

  // The connection as a user sees it, in one line: open or closed, panel 0, Execute, the Export
  // menu and the alias's tables.
  static QString seen(const QString& alias)
  {
    return QStringList{fmMain->Database.Connected() ? "open" : "closed", panel(0),
                       fmMain->btExecute->isEnabled() ? "Execute" : "-", fmMain->ExportData->isEnabled() ? "Export" : "-",
                       childTexts(child(root(), alias)).join(QLatin1Char(','))}
        .join(QLatin1Char('|'));
  }

  // Answers the next connection dialog with these fields (SQLite, as it offers first) and OK; returns
  // what it said if it stayed open.
  void answerConnection(const QString& name, const QString& database, QString* fault = nullptr)
  {
    answerNextModal([=](QWidget* w) {
      auto* d = qobject_cast<TfmConnection*>(w);
      QVERIFY(d);
      d->edName->setText(name);
      d->edDatabase->setText(database);
      d->btOK->click();
      if (d->isVisible()) {
        if (fault)
          *fault = d->lbFault->text();
        d->reject();
      }
    });
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("demo.db"), QStringLiteral(
        "CREATE TABLE orders(id INTEGER PRIMARY KEY); CREATE TABLE Customers(id INTEGER PRIMARY KEY, name TEXT);"
        "CREATE TABLE \"audit log\"(at TEXT); CREATE VIEW big_orders AS SELECT * FROM orders;"));
    folder->createDatabase(QStringLiteral("other.db"), QStringLiteral("CREATE TABLE only_one(a INT);"));
    startProgram(*folder, commented);
    aliasFile = Session().AliasFileName();
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // The file's own text changes only in the alias concerned. The first change made where only the
  // program's own file exists starts the user's file from it, every line kept and its SQLite files
  // made absolute so that they still name the same files.
  void aliasFileChanges_data()
  {
    QTest::addColumn<QString>("change");  // "edit Demo", "remove Shop", "start"; adding is seen through the window
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("edit: renamed, value changed in place, comment kept")
        << "edit Demo" << QByteArray(commented).replace("[Demo]", "[New]").replace("Database=demo.db", "Database=n.db");
    QTest::newRow("edit: the keys no longer set go")
        << "edit Shop" << head + demo + "# the server\r\n[New]\r\nDriver=SQLite\r\nDatabase=n.db\r\n";
    QTest::newRow("remove: its lines and the blank after, not the next one's comment")
        << "remove Demo" << head + "# the server\r\n" + shop;
    QTest::newRow("remove the last") << "remove Shop" << head + demo + "# the server\r\n";
    QTest::newRow("remove what is not there") << "remove Nothing" << commented;
    QTest::newRow("start the user's file: SQLite files made absolute, the server's database still a name")
        << "start" << QByteArray(commented).replace("Database=", "Database=<dir>/").replace("=<dir>/shop", "=shop");
  }
  void aliasFileChanges()
  {
    QFETCH(QString, change);
    QFETCH(QByteArray, expected);
    const QString name = change.section(QLatin1Char(' '), 1);
    const TAliasSettings settings{QStringLiteral("New"), {{"Driver", "SQLite"}, {"Database", "n.db"}}};
    const QByteArray result = change == QLatin1String("start")               ? userAliasFileStart(aliasFile)
                              : change.startsWith(QLatin1String("remove")) ? aliasFileWithoutAlias(commented, name)
                                                                           : aliasFileWithAlias(commented, name, settings);
    QCOMPARE(result, expected.replace("<dir>", QFileInfo(folder->path(QStringLiteral("demo.db"))).path().toUtf8()));
    QCOMPARE(TAliasFile::parse(QStringLiteral("check.ini"), result).problems(), QStringList());  // still reads
  }

  // New, edit and remove from the File menu: the tree follows, the new alias connects, renaming it
  // closes its connection first, and after removing what was added the file is byte for byte what it
  // was. The settings the dialog does not show survive an edit.
  void newEditRemoveThroughTheWindow()
  {
    const QString db = folder->createDatabase(QStringLiteral("parts.db"), QStringLiteral("CREATE TABLE parts(id INTEGER);"));
    const QByteArray section = "\r\nDriver=SQLite\r\nDatabase=" + db.toUtf8() + "\r\n";
    answerConnection(QStringLiteral("Parts"), db);
    fmMain->NewConnection1->trigger();
    QCOMPARE(readFile(aliasFile), commented + "\r\n[Parts]" + section);
    TTreeNode* parts = child(root(), QStringLiteral("Parts"));
    loginWith(QStringLiteral("u"), QString());
    doubleClick(parts);
    QCOMPARE(childTexts(parts), QStringList{QStringLiteral("parts")});

    fmMain->TreeView1->SetSelected(parts->Item(0));
    answerConnection(QStringLiteral("Parts 2"), db);
    fmMain->EditConnection1->trigger();
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(parts->Text(), QStringLiteral("Parts 2"));
    QCOMPARE(readFile(aliasFile), commented + "\r\n[Parts 2]" + section);

    answerNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    fmMain->RemoveConnection1->trigger();
    QVERIFY(allModalsAnswered());
    QVERIFY(!child(root(), QStringLiteral("Parts 2")));
    QCOMPARE(readFile(aliasFile), commented);

    fmMain->TreeView1->SetSelected(child(root(), QStringLiteral("Shop")));
    answerNextModal([](QWidget* w) {
      auto* d = qobject_cast<TfmConnection*>(w);
      QCOMPARE(d->edHost->text(), QStringLiteral("db.example.com"));
      d->edPort->setText(QStringLiteral("6543"));
      d->btOK->click();
    });
    fmMain->EditConnection1->trigger();
    QCOMPARE(readFile(aliasFile), QByteArray(commented).replace("Database=shop\r\n", "Database=shop\r\nPort=6543\r\n"));
  }

  // What the file could not read back, or that would clash, keeps the dialog open and says why;
  // nothing is written.
  void faultsKeepTheDialogOpen_data()
  {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("fault");
    QTest::newRow("name taken, other case") << "SHOP" << "x.db" << "There is already a connection named";
    QTest::newRow("bracket in the name") << "a]b" << "x.db" << "cannot hold '['";
    QTest::newRow("comment mark first") << ";x" << "x.db" << "nor start with ';'";
    QTest::newRow("no name") << "  " << "x.db" << "needs a name";
    QTest::newRow("no database") << "Fine" << "" << "Choose the database file";
  }
  void faultsKeepTheDialogOpen()
  {
    QFETCH(QString, name);
    QFETCH(QString, database);
    QFETCH(QString, fault);
    QString said;
    answerConnection(name, database, &said);
    fmMain->NewConnection1->trigger();
    QVERIFY2(said.contains(fault), qPrintable(said));
    QCOMPARE(readFile(aliasFile), commented);
  }

  // Connecting lists the tables; connecting to the same alias again lists them afresh, and the
  // login dialog remembers what was typed the time before. Cancel on an attempt at another alias
  // leaves everything closed: while the login asks, the previous connection is already gone.
  void connectsAndListsTablesAfresh()
  {
    loginWith(QStringLiteral("bob"), QStringLiteral("pw 1"));
    TTreeNode* alias = child(root(), QStringLiteral("Demo"));
    doubleClick(alias);
    QCOMPARE(seen(QStringLiteral("Demo")),
             QStringLiteral("open|Connected: Demo|Execute|Export|audit log,big_orders,Customers,orders"));
    executeSql(folder->path(QStringLiteral("demo.db")), QStringLiteral("CREATE TABLE added(x INT)"));
    QString shown;
    answerNextModal([&](QWidget* w) {
      shown = fmLogin->edUser->text() + QLatin1Char('/') + fmLogin->edPassword->text();
      fmLogin->edPassword->clear();
      QTest::keyClick(w, Qt::Key_Return);  // OK is the default button
    });
    doubleClick(alias);
    QCOMPARE(shown, QStringLiteral("bob/pw 1"));
    // An empty password is still sent, as an empty value.
    QCOMPARE(fmMain->Database.Params, QStringList({"USER NAME=bob", "PASSWORD="}));
    QCOMPARE(childTexts(alias), QStringList({"added", "audit log", "big_orders", "Customers", "orders"}));
    answerNextModal([&](QWidget*) {
      shown = fmLogin->lbDatabase->text() + QStringLiteral(": ") + seen(QStringLiteral("Demo"));
      QTest::mouseClick(fmLogin->btCancel, Qt::LeftButton);
    });
    doubleClick(child(root(), QStringLiteral("Other")));
    QCOMPARE(shown, QStringLiteral("Other: closed||-|-|"));  // the login names the alias
    QCOMPARE(seen(QStringLiteral("Other")), QStringLiteral("closed||-|-|"));
  }

  // An ODBC connection names a data source that the driver manager offers; it connects with the
  // login's user and password, whatever characters the password holds.
  void odbcDataSourcesAreOffered()
  {
    MARIA_REQUIRE_SERVER();
    const QString dsn = QString::fromUtf8(maria_test::server().Dsn);
    QStringList offered;
    QString fault;
    answerNextModal([&](QWidget* w) {
      auto* d = static_cast<TfmConnection*>(w);
      d->edName->setText(QStringLiteral("Maria"));
      d->cbDriver->setCurrentText(QStringLiteral("ODBC"));
      for (int i = 0; i < d->cbDataSource->count(); ++i)
        offered << d->cbDataSource->itemText(i);
      d->btOK->click();
      fault = d->lbFault->text();
      d->cbDataSource->setCurrentIndex(int(offered.indexOf(dsn)));
      d->btOK->click();
      if (d->isVisible())
        d->reject();
    });
    fmMain->NewConnection1->trigger();
    QCOMPARE(fault, QStringLiteral("Choose the data source."));
    QVERIFY2(offered.contains(dsn), qPrintable(offered.join(QLatin1Char(','))));
    QVERIFY(readFile(aliasFile).endsWith("\r\n[Maria]\r\nDriver=ODBC\r\nDSN=" + dsn.toUtf8() + "\r\n"));
    loginWith(QString::fromUtf8(maria_test::server().User), QString::fromUtf8(maria_test::server().Password));
    doubleClick(child(root(), QStringLiteral("Maria")));
    QCOMPARE(seen(QStringLiteral("Maria")).section(QLatin1Char('|'), 0, 3), QStringLiteral("open|Connected: Maria|Execute|Export"));
  }

  // A refused open and a table list that cannot be read both show the engine's messages in the
  // database error dialog; the connection stays open only in the second case.
  void failedAttemptsShowTheEngineMessages_data()
  {
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("state");
    QTest::newRow("refused") << "Broken" << "missing.db" << "closed||Execute|-|";
    QTest::newRow("listing fails") << "Demo" << "Cannot list the tables" << "open||Execute|Export|";
  }
  void failedAttemptsShowTheEngineMessages()
  {
    QFETCH(QString, alias);
    QFETCH(QString, message);
    // Spoil the file's header right after it opened, so that reading its table list fails.
    fmMain->Database.AfterConnect = [original = fmMain->Database.AfterConnect, file = folder->path("demo.db")](TDatabase& db) {
      original(db);
      QFile f(file);
      QVERIFY(f.open(QIODevice::ReadWrite));
      f.write(QByteArray(100, 'x'));
    };
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    QString text, title;
    captureAndClose(&text, &title);
    doubleClick(child(root(), alias));
    QCOMPARE(title, QStringLiteral("Database Error"));
    QVERIFY2(text.contains(message), qPrintable(text));
    QTEST(seen(alias), "state");
    QVERIFY(!QFile::exists(folder->path(QStringLiteral("missing.db"))));  // opened, never created
    QVERIFY(!QGuiApplication::overrideCursor());  // the wait cursor is gone
  }
};

QTEST_MAIN(TestConnections)
#include "tst_connections.moc"
