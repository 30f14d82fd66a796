#include "AppFixture.h"

#include "platform/ScreenCursor.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

using namespace app_fixture;

class TestConnection : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  // The connection as a user sees it, in one line: open or closed, panel 0, Execute, the Export
  // menu and the alias's tables.
  static QString seen(const QString& alias)
  {
    return QStringList{fmMain->Database.Connected() ? "open" : "closed", panel(0),
                       fmMain->btExecute->isEnabled() ? "Execute" : "-", fmMain->ExportData->isEnabled() ? "Export" : "-",
                       childTexts(child(root(), alias)).join(QLatin1Char(','))}
        .join(QLatin1Char('|'));
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

  void cancelLeavesEverythingClosed()
  {
    loginWith(QStringLiteral("bob"), QStringLiteral("secret"));
    doubleClick(child(root(), QStringLiteral("Shop")));
    QVERIFY(fmMain->Database.Connected());
    // Cancel on the next attempt, at another alias: while asking the previous connection is already
    // gone, and the first alias loses its tables.
    QString whileAsking;
    answerNextModal([&](QWidget*) {
      whileAsking = seen(QStringLiteral("Shop"));
      QTest::mouseClick(fmLogin->btCancel, Qt::LeftButton);
    });
    doubleClick(child(root(), QStringLiteral("Other")));
    QCOMPARE(whileAsking, QStringLiteral("closed||-|-|"));
    QCOMPARE(seen(QStringLiteral("Other")), QStringLiteral("closed||-|-|"));
    QVERIFY(childTexts(child(root(), QStringLiteral("Shop"))).isEmpty());
    verifyCursorRestored();

    // The close box counts as Cancel; Esc does nothing at all.
    answerNextModal([](QWidget* w) {
      QTest::keyClick(w, Qt::Key_Escape);
      QVERIFY(w->isVisible());
      w->close();
    });
    doubleClick(child(root(), QStringLiteral("Other")));
    QCOMPARE(seen(QStringLiteral("Other")), QStringLiteral("closed||-|-|"));
  }

  // A refused open and a table list that cannot be read both show the engine's messages in the
  // database error dialog; the connection stays open only in the second case.
  void failedAttemptsShowTheEngineMessages_data()
  {
    QTest::addColumn<QString>("alias");
    QTest::addColumn<bool>("spoilAfterOpening");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("state");
    QTest::newRow("refused") << "Broken" << false << "missing.db" << "closed||Execute|-|";
    QTest::newRow("listing fails") << "Shop" << true << "Cannot list the tables" << "open||Execute|Export|";
  }
  void failedAttemptsShowTheEngineMessages()
  {
    QFETCH(QString, alias);
    QFETCH(QString, message);
    QFETCH(bool, spoilAfterOpening);
    // Spoil the file's header right after it opened, so that reading its table list fails.
    const QString file = folder->path(QStringLiteral("shop.db"));
    auto original = fmMain->Database.AfterConnect;
    if (spoilAfterOpening)
      fmMain->Database.AfterConnect = [original, file](TDatabase& db) {
        original(db);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(100, 'x'));
      };
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    QString text, title;
    captureAndClose(&text, &title);
    doubleClick(child(root(), alias));
    QVERIFY(allModalsAnswered());
    QCOMPARE(title, QStringLiteral("Database Error"));
    QVERIFY2(text.contains(message), qPrintable(text));
    QTEST(seen(alias), "state");
    QVERIFY(!QFile::exists(folder->path(QStringLiteral("missing.db"))));  // opened, never created
    verifyCursorRestored();
  }

  // Connecting lists the tables; connecting to the same alias again lists them afresh, and the
  // login dialog remembers what was typed the time before.
  void connectsAndListsTablesAfresh()
  {
    TCursor cursorDuringLogin = crDefault;
    QString loginCaption;
    answerNextModal([&](QWidget* w) {
      cursorDuringLogin = Screen().Cursor();
      loginCaption = fmLogin->lbDatabase->text();
      fmLogin->edUser->setText(QStringLiteral("bob"));
      fmLogin->edPassword->setText(QStringLiteral("pw 1"));
      QTest::keyClick(w, Qt::Key_Return);  // OK is the default button
    });
    TTreeNode* shop = child(root(), QStringLiteral("Shop"));
    doubleClick(shop);
    QVERIFY(allModalsAnswered());
    QCOMPARE(cursorDuringLogin, crHourGlass);
    QCOMPARE(loginCaption, QStringLiteral("Shop"));
    QCOMPARE(seen(QStringLiteral("Shop")), QStringLiteral("open|Connected: Shop|Execute|Export|audit log,big_orders,Customers,orders"));
    QVERIFY(shop->isExpanded());
    verifyCursorRestored();

    // Read a structure so the table node has field children, then change the database behind it.
    doubleClick(child(shop, QStringLiteral("Customers")));
    QCOMPARE(child(shop, QStringLiteral("Customers"))->Count(), 2);
    executeSql(folder->path(QStringLiteral("shop.db")), QStringLiteral("CREATE TABLE added(x INT)"));
    QString shown;
    answerNextModal([&](QWidget*) {
      shown = fmLogin->edUser->text() + QLatin1Char('/') + fmLogin->edPassword->text();
      fmLogin->edPassword->clear();
      fmLogin->btOK->click();
    });
    doubleClick(shop);
    QCOMPARE(shown, QStringLiteral("bob/pw 1"));
    // An empty password is still sent, as an empty value.
    QCOMPARE(fmMain->Database.Params, QStringList({"USER NAME=bob", "PASSWORD="}));
    QCOMPARE(seen(QStringLiteral("Shop")), QStringLiteral("open|Connected: Shop|Execute|Export|added,audit log,big_orders,Customers,orders"));
    QCOMPARE(child(shop, QStringLiteral("Customers"))->Count(), 0);
  }
};

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
