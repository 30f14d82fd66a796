// Connections made, changed and removed from the window: the alias file keeps every line the user
// wrote, the tree follows, and a setting the file could not read back is refused in the dialog.
#include "AppFixture.h"

#include "browser/AliasFileText.h"
#include "browser/ConnectionDialog.h"
#include "dataaccess/AliasConfig.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>

using namespace app_fixture;

namespace {

const QByteArray commented =
    "; my connections\r\n"
    "\r\n"
    "[Demo]\r\n"
    "; the sample\r\n"
    "Driver=SQLite\r\n"
    "Database=demo.db\r\n"
    "\r\n"
    "# the server\r\n"
    "[Shop]\r\n"
    "Driver=PostgreSQL\r\n"
    "Host=db.example.com\r\n"
    "SSLMode=require\r\n"
    "Database=shop\r\n";

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

  // Answers the next connection dialog with these fields and OK; returns what it said if it stayed open.
  void answerConnection(const QString& name, const QString& driver, const QString& database, QString* fault = nullptr)
  {
    answerNextModal([=](QWidget* w) {
      auto* d = qobject_cast<TfmConnection*>(w);
      QVERIFY(d);
      d->edName->setText(name);
      d->cbDriver->setCurrentText(driver);
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
    folder->createDatabase(QStringLiteral("demo.db"), QStringLiteral("CREATE TABLE a(x INTEGER);"));
    startProgram(*folder, commented);
    aliasFile = Session().AliasFileName();
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // The file's own text changes only in the alias concerned.
  void aliasFileChanges_data()
  {
    QTest::addColumn<QString>("change");  // "add", "edit Demo", "remove Shop", ...
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("add at the end") << "add" << commented + "\r\n[New]\r\nDriver=SQLite\r\nDatabase=n.db\r\n";
    QTest::newRow("edit: renamed, value changed in place, comment kept")
        << "edit Demo" << QByteArray(commented).replace("[Demo]", "[New]").replace("Database=demo.db", "Database=n.db");
    QTest::newRow("edit: a key no longer set goes, a new one comes after the last")
        << "edit Shop" << QByteArray(commented).replace("[Shop]", "[New]").replace("PostgreSQL", "SQLite")
                              .replace("Host=db.example.com\r\nSSLMode=require\r\nDatabase=shop", "Database=n.db");
    QTest::newRow("remove: its lines and the blank after, not the next one's comment")
        << "remove Demo" << QByteArray("; my connections\r\n\r\n# the server\r\n[Shop]\r\nDriver=PostgreSQL\r\n"
                                       "Host=db.example.com\r\nSSLMode=require\r\nDatabase=shop\r\n");
    QTest::newRow("remove the last") << "remove Shop" << QByteArray(commented).left(commented.indexOf("[Shop]"));
    QTest::newRow("remove what is not there") << "remove Nothing" << commented;
  }
  void aliasFileChanges()
  {
    QFETCH(QString, change);
    const QString name = change.section(QLatin1Char(' '), 1);
    const TAliasSettings settings{QStringLiteral("New"), {{"Driver", "SQLite"}, {"Database", "n.db"}}};
    const QByteArray result = change.startsWith(QLatin1String("remove")) ? aliasFileWithoutAlias(commented, name)
                                                                         : aliasFileWithAlias(commented, name, settings);
    QTEST(result, "expected");
    QCOMPARE(TAliasFile::parse(QStringLiteral("check.ini"), result).problems(), QStringList());  // still reads
  }

  // New, edit and remove from the File menu: the tree follows, the new alias connects, and after
  // removing what was added the file is byte for byte what it was.
  void newEditRemoveThroughTheWindow()
  {
    const QString db = folder->createDatabase(QStringLiteral("parts.db"), QStringLiteral("CREATE TABLE parts(id INTEGER);"));
    answerConnection(QStringLiteral("Parts"), QStringLiteral("SQLite"), db);
    fmMain->NewConnection1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(readFile(aliasFile), commented + "\r\n[Parts]\r\nDriver=SQLite\r\nDatabase=" + db.toUtf8() + "\r\n");
    TTreeNode* parts = child(root(), QStringLiteral("Parts"));
    QVERIFY(parts);
    loginWith(QStringLiteral("u"), QString());
    doubleClick(parts);
    QVERIFY(fmMain->Database.Connected());
    QCOMPARE(childTexts(parts), QStringList{QStringLiteral("parts")});

    // Renaming the connected alias closes its connection first.
    fmMain->TreeView1->SetSelected(parts->Item(0));
    answerConnection(QStringLiteral("Parts 2"), QStringLiteral("SQLite"), db);
    fmMain->EditConnection1->trigger();
    QVERIFY(allModalsAnswered());
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(parts->Text(), QStringLiteral("Parts 2"));
    QVERIFY(readFile(aliasFile).endsWith("\r\n[Parts 2]\r\nDriver=SQLite\r\nDatabase=" + db.toUtf8() + "\r\n"));

    answerNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    fmMain->RemoveConnection1->trigger();
    QVERIFY(allModalsAnswered());
    QVERIFY(!child(root(), QStringLiteral("Parts 2")));
    QCOMPARE(readFile(aliasFile), commented);
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
    answerConnection(name, QStringLiteral("SQLite"), database, &said);
    fmMain->NewConnection1->trigger();
    QVERIFY(allModalsAnswered());
    QVERIFY2(said.contains(fault), qPrintable(said));
    QCOMPARE(readFile(aliasFile), commented);
  }

  // The settings the dialog does not show survive an edit; switching the driver drops the server's.
  void editKeepsWhatTheDialogDoesNotShow()
  {
    fmMain->TreeView1->SetSelected(child(root(), QStringLiteral("Shop")));
    answerNextModal([](QWidget* w) {
      auto* d = qobject_cast<TfmConnection*>(w);
      QCOMPARE(d->edHost->text(), QStringLiteral("db.example.com"));
      d->edPort->setText(QStringLiteral("6543"));
      d->btOK->click();
    });
    fmMain->EditConnection1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(readFile(aliasFile), QByteArray(commented).replace("Database=shop\r\n", "Database=shop\r\nPort=6543\r\n"));
  }

  // At start-up a file with a bad line still lists its other aliases, then names the bad line.
  void aBadLineLeavesTheOtherAliasesInTheTree()
  {
    stopProgram();
    QString said;
    answerNextModal([&](QWidget* w) {
      said = modalText(w);
      w->close();
    });
    startProgram(*folder, "[Good]\nDriver=SQLite\nDatabase=demo.db\n[Bad\n[Also good]\nDriver=SQLite\nDatabase=demo.db\n");
    QTRY_VERIFY(!said.isEmpty());
    QVERIFY2(said.endsWith(QStringLiteral(":4: a section header must end with ']'.")), qPrintable(said));
    QCOMPARE(childTexts(root()), (QStringList{"Also good", "Good"}));
  }

  // The first change made where only the program's own file exists starts the user's file from
  // it, its SQLite files made absolute so they still name the same files.
  void aNewUserFileStartsFromTheFileInUse()
  {
    const QByteArray start = userAliasFileStart(aliasFile);
    const TAliasFile parsed = TAliasFile::parse(QStringLiteral("/elsewhere/aliases.ini"), start);
    QCOMPARE(parsed.find(QStringLiteral("Demo"))->path(QStringLiteral("Database")), folder->path(QStringLiteral("demo.db")));
    QCOMPARE(parsed.find(QStringLiteral("Shop"))->value(QStringLiteral("Database")), QStringLiteral("shop"));
    QVERIFY(start.startsWith("; my connections\r\n"));
  }
};

QTEST_MAIN(TestConnections)
#include "tst_connections.moc"
