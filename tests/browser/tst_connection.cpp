#include "AppFixture.h"

#include "platform/ScreenCursor.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

using namespace app_fixture;

// The six connection states as a user sees them: connection, panel 0, Execute, Export menu, tables.
struct StateSeen {
  bool connected;
  QString panel0;
  bool execute;
  bool exportMenu;
  QStringList tables;  // under the alias given to check()
};

class TestConnection : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  static StateSeen seen(const QString& alias)
  {
    return {fmMain->Database.Connected(), panel(0), fmMain->btExecute->isEnabled(), fmMain->ExportData->isEnabled(),
            childTexts(child(root(), alias))};
  }

  static void verifyCursorRestored()
  {
    QCOMPARE(Screen().Cursor(), crDefault);
    QVERIFY(!QGuiApplication::overrideCursor());
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("shop.db"), QStringLiteral(
        "CREATE TABLE orders(id INTEGER PRIMARY KEY, total DECIMAL(15,2));"
        "CREATE TABLE Customers(id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL);"
        "CREATE TABLE \"audit log\"(at TEXT);"
        "CREATE VIEW big_orders AS SELECT * FROM orders WHERE total > 100;"));
    folder->createDatabase(QStringLiteral("other.db"), QStringLiteral("CREATE TABLE only_one(a INT);"));
    startProgram(*folder, "[Shop]\nDriver=SQLite\nDatabase=shop.db\n"
                          "[Other]\nDriver=SQLite\nDatabase=other.db\n"
                          "[Broken]\nDriver=SQLite\nDatabase=missing.db\n");
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void connectsAndListsTables()
  {
    TCursor cursorDuringLogin = crDefault;
    QString loginCaption;
    answerNextModal([&](QWidget* w) {
      cursorDuringLogin = Screen().Cursor();
      loginCaption = fmLogin->lbDatabase->text();
      // Asking: the previous state is gone while the dialog is open.
      QCOMPARE(panel(0), QString());
      QVERIFY(!fmMain->btExecute->isEnabled());
      fmLogin->edUser->setText(QStringLiteral("bob"));
      fmLogin->edPassword->setText(QString());
      QTest::keyClick(w, Qt::Key_Return);  // OK is the default button
    });
    doubleClick(child(root(), QStringLiteral("Shop")));
    QVERIFY(allModalsAnswered());
    QCOMPARE(cursorDuringLogin, crHourGlass);
    QCOMPARE(loginCaption, QStringLiteral("Shop"));
    const StateSeen s = seen(QStringLiteral("Shop"));
    QVERIFY(s.connected);
    QCOMPARE(s.panel0, QStringLiteral("Connected: Shop"));
    QVERIFY(s.execute);
    QVERIFY(s.exportMenu);
    QCOMPARE(s.tables, QStringList({"audit log", "big_orders", "Customers", "orders"}));
    QVERIFY(child(root(), QStringLiteral("Shop"))->isExpanded());
    QCOMPARE(fmMain->Database.Params, QStringList({"USER NAME=bob", "PASSWORD="}));
    TTreeNode* orders = child(child(root(), QStringLiteral("Shop")), QStringLiteral("orders"));
    QCOMPARE(orders->ImageIndex(), 3);
    QCOMPARE(orders->SelectedIndex(), 3);
    QVERIFY(dynamic_cast<TBObject*>(orders->Data));
    QCOMPARE(static_cast<TBObject*>(orders->Data)->Name, QStringLiteral("orders"));
    verifyCursorRestored();
  }

  void cancelLeavesEverythingClosed()
  {
    loginWith(QStringLiteral("bob"), QStringLiteral("secret"));
    doubleClick(child(root(), QStringLiteral("Shop")));
    QVERIFY(fmMain->Database.Connected());
    // Cancel on the next attempt, at another alias: the first one loses its tables.
    answerNextModal([](QWidget*) { QTest::mouseClick(fmLogin->btCancel, Qt::LeftButton); });
    doubleClick(child(root(), QStringLiteral("Other")));
    const StateSeen s = seen(QStringLiteral("Other"));
    QVERIFY(!s.connected);
    QCOMPARE(s.panel0, QString());
    QVERIFY(!s.execute);
    QVERIFY(!s.exportMenu);
    QVERIFY(s.tables.isEmpty());
    QVERIFY(childTexts(child(root(), QStringLiteral("Shop"))).isEmpty());
    verifyCursorRestored();

    // The close box counts as Cancel; Esc does nothing at all.
    answerNextModal([](QWidget* w) {
      QTest::keyClick(w, Qt::Key_Escape);
      QVERIFY(w->isVisible());
      w->close();
    });
    doubleClick(child(root(), QStringLiteral("Other")));
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(panel(0), QString());
  }

  void refusedConnectionShowsTheEngineMessages()
  {
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    QString text, title;
    captureAndClose(&text, &title);
    doubleClick(child(root(), QStringLiteral("Broken")));
    QVERIFY(allModalsAnswered());
    QCOMPARE(title, QStringLiteral("Database Error"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);  // two entries, each followed by an empty line
    QVERIFY2(lines[0].contains(QStringLiteral("missing.db")) && lines[0].contains(QStringLiteral("'Broken'")), qPrintable(text));
    QCOMPARE(lines[1], QString());
    QVERIFY(!lines[2].isEmpty());
    // Refused: closed, panel empty, Execute enabled (and harmless), Export disabled.
    const StateSeen s = seen(QStringLiteral("Broken"));
    QVERIFY(!s.connected);
    QCOMPARE(s.panel0, QString());
    QVERIFY(s.execute);
    QVERIFY(!s.exportMenu);
    QVERIFY(s.tables.isEmpty());
    QVERIFY(!QFile::exists(folder->path(QStringLiteral("missing.db"))));
    verifyCursorRestored();
  }

  void listingFailureLeavesTheConnectionOpen()
  {
    // Spoil the file's header right after it opened, so that reading its table list fails.
    const QString file = folder->path(QStringLiteral("shop.db"));
    auto original = fmMain->Database.AfterConnect;
    fmMain->Database.AfterConnect = [original, file](TDatabase& db) {
      original(db);
      QFile f(file);
      QVERIFY(f.open(QIODevice::ReadWrite));
      f.write(QByteArray(100, 'x'));
    };
    loginWith(QStringLiteral("u"), QString());
    QString text;
    captureAndClose(&text);
    doubleClick(child(root(), QStringLiteral("Shop")));
    QVERIFY(allModalsAnswered());
    QVERIFY2(text.contains(QStringLiteral("Cannot list the tables")), qPrintable(text));
    const StateSeen s = seen(QStringLiteral("Shop"));
    QVERIFY(s.connected);
    QCOMPARE(s.panel0, QString());
    QVERIFY(s.execute);
    QVERIFY(s.exportMenu);
    QVERIFY(s.tables.isEmpty());
    verifyCursorRestored();
  }

  void reconnectingToTheSameAliasListsItAfresh()
  {
    loginWith(QStringLiteral("bob"), QStringLiteral("pw 1"));
    TTreeNode* shop = child(root(), QStringLiteral("Shop"));
    doubleClick(shop);
    // Read a structure so the table node has field children, then change the database behind it.
    doubleClick(child(shop, QStringLiteral("Customers")));
    QCOMPARE(child(shop, QStringLiteral("Customers"))->Count(), 2);
    executeSql(folder->path(QStringLiteral("shop.db")), QStringLiteral("CREATE TABLE added(x INT)"));

    QString userShown, passwordShown;
    answerNextModal([&](QWidget*) {
      userShown = fmLogin->edUser->text();
      passwordShown = fmLogin->edPassword->text();
      fmLogin->btOK->click();
    });
    doubleClick(shop);
    QCOMPARE(userShown, QStringLiteral("bob"));  // the login remembers the previous attempt
    QCOMPARE(passwordShown, QStringLiteral("pw 1"));
    QCOMPARE(childTexts(shop), QStringList({"added", "audit log", "big_orders", "Customers", "orders"}));
    QCOMPARE(child(shop, QStringLiteral("Customers"))->Count(), 0);
    QCOMPARE(panel(0), QStringLiteral("Connected: Shop"));
    QCOMPARE(fmMain->FConnectedNode, shop);
  }

  void exportMenuFollowsTheConnection()
  {
    loginWith(QString(), QString());
    doubleClick(child(root(), QStringLiteral("Shop")));
    QVERIFY(fmMain->ExportData->isEnabled());
    bool enabledWhileAsking = true;
    answerNextModal([&](QWidget*) {
      enabledWhileAsking = fmMain->ExportData->isEnabled();
      fmLogin->reject();
    });
    doubleClick(child(root(), QStringLiteral("Shop")));
    QVERIFY(!enabledWhileAsking);
    QVERIFY(!fmMain->ExportData->isEnabled());
  }
};

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
