// A statement that keeps the server busy never freezes the window: it paints, shows that it works,
// refuses a second command, and Cancel stops the statement on the server.
#include "AppFixture.h"
#include "PgTestServer.h"

#include "uicore/BusyIndicator.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"
#include "dbcontrols/DBGrid.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace app_fixture;

class TestBusy : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<pg_test::TempDatabase> database;

  static TfmBusy* busy() { return fmMain->findChild<TfmBusy*>(QStringLiteral("fmBusy")); }

  // Runs action once the busy box shows, from the event loop that waits. The returned timer belongs
  // to the caller's scope, so that a box that never shows leaves nothing behind.
  [[nodiscard]] static std::unique_ptr<QTimer> whenBusy(std::function<void()> action, int* ticksDuringWait = nullptr)
  {
    auto poll = std::make_unique<QTimer>();
    QTimer* timer = poll.get();
    QObject::connect(timer, &QTimer::timeout, [timer, action, ticksDuringWait] {
      if (ticksDuringWait && TEngineWait::active())
        ++*ticksDuringWait;  // the event loop turns while the call waits
      if (busy() && busy()->isVisible()) {
        timer->stop();
        action();
      }
    });
    timer->start(20);
    return poll;
  }

  void run(const QString& sql)
  {
    fmMain->Memo1->setPlainText(sql);
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
  }

  void connectTo(const QByteArray& aliases, const QString& alias, const QString& user, const QString& password)
  {
    startProgram(*folder, aliases);
    loginWith(user, password);
    doubleClick(child(root(), alias));
    QVERIFY(fmMain->Database.Connected());
  }

  void connectPg()
  {
    database = std::make_unique<pg_test::TempDatabase>(QStringLiteral("busy"));
    database->exec(QStringLiteral("CREATE TABLE items(id int PRIMARY KEY, name varchar(20));"
                                  "INSERT INTO items VALUES (1, 'one'), (2, 'two');"));
    connectTo(database->aliasSection(QStringLiteral("Busy")), QStringLiteral("Busy"),
              QString::fromUtf8(pg_test::server().User), QString::fromUtf8(pg_test::server().Password));
  }

  QString connectSqlite()
  {
    const QString file = folder->createDatabase(QStringLiteral("busy.db"), QStringLiteral(
        "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(20)); INSERT INTO items VALUES (1, 'one'), (2, 'two');"));
    connectTo("[Busy]\nDriver=SQLite\nDatabase=busy.db\n", QStringLiteral("Busy"), QStringLiteral("u"), QString());
    return file;
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
  }
  void cleanup()
  {
    if (fmMain)
      stopProgram();
    database.reset();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // SQLite works on this thread: a long statement hands the window its moments and is interrupted
  // by Cancel; the connection goes on working. Many short steps are one call as much as one long one.
  void longSqliteStatementIsInterrupted_data()
  {
    QTest::addColumn<QString>("sql");
    const QString counting = QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000) ");
    QTest::newRow("one long step") << counting + "SELECT count(*) FROM c";
    QTest::newRow("many short steps") << counting + "SELECT x FROM c; SELECT 1";
  }
  void longSqliteStatementIsInterrupted()
  {
    QFETCH(QString, sql);
    connectSqlite();
    int ticks = 0;
    const auto watch = whenBusy([] { QTest::mouseClick(busy()->btCancel, Qt::LeftButton); }, &ticks);
    QString message;
    captureAndClose(&message);
    QElapsedTimer total;
    total.start();
    run(sql);
    QVERIFY(allModalsAnswered());
    QVERIFY2(total.elapsed() < 10000, "the statement ran on after Cancel");
    QVERIFY2(ticks > 3, "the event loop did not run while the statement worked");
    QVERIFY2(message.contains(QStringLiteral("Statement cancelled")), qPrintable(message));
    QVERIFY(!busy()->isVisible());
    run(QStringLiteral("SELECT name FROM items ORDER BY id"));
    QVERIFY(fmMain->qrSelect.Active());
    QCOMPARE(fmMain->qrSelect.Fields(0)->AsString(), QStringLiteral("one"));
  }

  // A file another connection holds locked: opening a table waits with the box instead of freezing
  // and stops waiting on Cancel; once the lock is gone the table opens.
  void lockedSqliteFileWaitsAndCancels()
  {
    const QString file = connectSqlite();
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto watch = whenBusy([] { QTest::mouseClick(busy()->btCancel, Qt::LeftButton); });
    QString message;
    captureAndClose(&message);
    fmMain->OpenTable(QStringLiteral("items"));
    QVERIFY(allModalsAnswered());
    QVERIFY2(message.contains(QStringLiteral("Statement cancelled")), qPrintable(message));
    QVERIFY(!fmMain->qrTable.Active());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    fmMain->OpenTable(QStringLiteral("items"));
    QVERIFY(fmMain->qrTable.Active());
  }

  // A large result the user only looks at holds no read lock once the grid sits unread: another
  // connection's write goes through, and reading on takes up at the same record with the same rows.
  void anOpenResultLetsOthersWrite_data()
  {
    QTest::addColumn<QString>("query");
    QTest::newRow("wrapped") << "SELECT id, name FROM many ORDER BY id";
    QTest::newRow("cannot be wrapped") << "SELECT id, name FROM many ORDER BY id -- a comment that stays open";
  }
  void anOpenResultLetsOthersWrite()
  {
    QFETCH(QString, query);
    const QString file = connectSqlite();
    executeSql(file, QStringLiteral("CREATE TABLE many(id INTEGER PRIMARY KEY, name TEXT);"
                                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)"
                                    " INSERT INTO many SELECT i, 'row ' || i FROM n;"));
    run(query);
    TDataSet& ds = fmMain->qrSelect;
    QVERIFY(ds.Active());
    for (int i = 0; i < 600; ++i)  // past the rows read ahead: the statement is reading on
      ds.Next();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 601"));
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(file.toUtf8().constData(), &other), SQLITE_OK);
    const auto write = [&] { return sqlite3_exec(other, "INSERT INTO items(name) VALUES ('other')", nullptr, nullptr, nullptr); };
    QCOMPARE(write(), SQLITE_BUSY);  // the open result holds its read
    ds.DisableControls();  // as an export walks the rows: it keeps reading, so nothing is let go
    ds.ReleaseReads();
    QCOMPARE(write(), SQLITE_BUSY);
    ds.EnableControls();
    fmMain->DBGrid1->viewport()->repaint();
    QTRY_COMPARE_WITH_TIMEOUT(write(), SQLITE_OK, 3 * TDBGrid::releaseReadsAfterMs);
    sqlite3_close(other);
    // Reading on takes up where it was.
    for (int i = 0; i < 1000; ++i)
      ds.Next();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 1601"));
    ds.Last();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 5000"));
    ds.First();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 1"));
  }

  // On PostgreSQL the open result holds a transaction (and its locks) only while it is read: once the
  // grid sits unread, another session's ALTER TABLE goes through, and reading on takes up at the
  // same record.
  void anOpenPgResultLetsOthersAlter()
  {
    PG_REQUIRE_SERVER();
    connectPg();
    database->exec(QStringLiteral("CREATE TABLE many AS SELECT i AS id, 'row ' || i AS name FROM generate_series(1, 5000) i"));
    run(QStringLiteral("SELECT id, name FROM many ORDER BY id"));
    TDataSet& ds = fmMain->qrSelect;
    QVERIFY(ds.Active());
    for (int i = 0; i < 600; ++i)
      ds.Next();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 601"));
    pg_test::Session other(database->name());
    other.exec(QStringLiteral("SET lock_timeout = '200ms'"));
    const auto alter = [&] {
      try {
        other.exec(QStringLiteral("ALTER TABLE many ADD COLUMN IF NOT EXISTS extra int"));
        return true;
      } catch (const std::runtime_error&) {
        return false;
      }
    };
    const QString heldOpen = QStringLiteral(
        "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND state LIKE 'idle in transaction%'");
    QVERIFY(!alter());  // the result is being read: its transaction holds the table
    QCOMPARE(other.scalar(heldOpen), QStringLiteral("1"));
    fmMain->DBGrid1->viewport()->repaint();
    QTRY_VERIFY_WITH_TIMEOUT(alter(), 3 * TDBGrid::releaseReadsAfterMs);
    QCOMPARE(other.scalar(heldOpen), QStringLiteral("0"));
    // Reading on takes up where it was, with the rows as they were when the statement ran.
    for (int i = 0; i < 1000; ++i)
      ds.Next();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 1601"));
    QCOMPARE(ds.FieldCount(), 2);
    ds.Last();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 5000"));
    ds.First();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 1"));
    QCOMPARE(other.scalar(heldOpen), QStringLiteral("0"));  // reading a kept result opens no transaction
  }

  // A server that takes the connection but never answers: connecting shows the box, and either
  // Cancel or the alias's timeout ends the attempt with a message; the window never freezes.
  void connectingToAServerThatNeverAnswers_data()
  {
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cancelled") << true << "Connecting was cancelled.";
    QTest::newRow("timed out") << false << "timeout expired";
  }
  void connectingToAServerThatNeverAnswers()
  {
    QFETCH(bool, cancel);
    QFETCH(QString, expected);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(listener, 4) == 0);
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    const QByteArray aliases = "[Silent]\nDriver=PostgreSQL\nHost=127.0.0.1\nPort=" + QByteArray::number(ntohs(address.sin_port)) +
                               "\nDatabase=none\nSSLMode=disable\nConnectTimeout=" + (cancel ? "30" : "2") + "\n";
    startProgram(*folder, aliases);
    bool boxShown = false;
    const auto watch = whenBusy([&] {
      boxShown = true;
      if (cancel)
        QTest::mouseClick(busy()->btCancel, Qt::LeftButton);
    });
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    QString message;
    captureAndClose(&message);
    QElapsedTimer total;
    total.start();
    doubleClick(child(root(), QStringLiteral("Silent")));
    ::close(listener);
    QVERIFY(allModalsAnswered());
    QVERIFY(boxShown);
    QVERIFY2(total.elapsed() < 15000, "connecting went on after Cancel or its timeout");
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY(!fmMain->Database.Connected());
  }

  // Cancel, by the button or by Esc, stops the statement on the server within a second; the command
  // says so and the connection goes on working.
  void cancelStopsTheStatement_data()
  {
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc") << true;
  }
  void cancelStopsTheStatement()
  {
    QFETCH(bool, byEscape);
    PG_REQUIRE_SERVER();
    connectPg();
    int ticks = 0;
    QElapsedTimer sinceCancel;
    const auto watch = whenBusy([&] {
      QVERIFY(busy()->isModal());
      sinceCancel.start();
      if (byEscape)
        QTest::keyClick(busy(), Qt::Key_Escape);
      else
        QTest::mouseClick(busy()->btCancel, Qt::LeftButton);
    }, &ticks);
    QString message;
    captureAndClose(&message);
    QElapsedTimer total;
    total.start();
    run(QStringLiteral("SELECT pg_sleep(30)"));
    QVERIFY(allModalsAnswered());
    QVERIFY2(total.elapsed() < 10000, "the statement ran on after Cancel");
    QVERIFY2(sinceCancel.isValid() && sinceCancel.elapsed() < 5000, "Cancel took no effect");
    QVERIFY2(ticks > 3, "the event loop did not run while the statement waited");
    QVERIFY2(message.contains(QStringLiteral("Statement cancelled")), qPrintable(message));
    QVERIFY(!busy()->isVisible());
    QVERIFY(!fmMain->qrSelect.Active());
    run(QStringLiteral("SELECT name FROM items ORDER BY id"));
    QVERIFY(fmMain->qrSelect.Active());
    QCOMPARE(fmMain->qrSelect.Fields(0)->AsString(), QStringLiteral("one"));
  }

  // A short statement shows no box at all.
  void quickStatementsShowNothing()
  {
    PG_REQUIRE_SERVER();
    connectPg();
    bool shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { shown = shown || (busy() && busy()->isVisible()); });
    watch.start(5);
    run(QStringLiteral("SELECT 1"));
    QVERIFY(fmMain->qrSelect.Active());
    QVERIFY(!shown);
  }

  // While a call waits nothing else can start: not a second statement, not a connection, not an
  // export, not closing the window. Each is tried from the waiting event loop, as code would.
  void nothingElseStartsWhileACallWaits()
  {
    PG_REQUIRE_SERVER();
    connectPg();
    bool closed = true, secondRan = false;
    const auto watch = whenBusy([&] {
      const QString before = fmMain->Memo1->toPlainText();
      fmMain->Memo1->setPlainText(QStringLiteral("SELECT 42"));
      fmMain->btExecuteClick();
      secondRan = fmMain->qrSelect.Active();
      fmMain->Memo1->setPlainText(before);
      fmMain->TreeView1DblClick();
      fmMain->ExportResultDatatoCSVClick();  // would show its options dialog: it must not
      closed = fmMain->close();
      QTest::mouseClick(busy()->btCancel, Qt::LeftButton);
    });
    QString message;
    captureAndClose(&message);
    run(QStringLiteral("SELECT pg_sleep(30)"));
    QVERIFY(allModalsAnswered());
    QVERIFY(!closed);
    QVERIFY(!secondRan);
    QVERIFY(fmMain->isVisible());
    QVERIFY(fmMain->Database.Connected());
    QVERIFY2(message.contains(QStringLiteral("Statement cancelled")), qPrintable(message));
  }

  // A post that meets a row another session holds waits with the box and can be cancelled; the
  // user's edit stays.
  void postWaitingOnALockIsCancelled()
  {
    PG_REQUIRE_SERVER();
    connectPg();
    pg_test::Session other(database->name());
    other.exec(QStringLiteral("BEGIN"));
    other.exec(QStringLiteral("SELECT * FROM items WHERE id = 1 FOR UPDATE"));
    doubleClick(child(child(root(), QStringLiteral("Busy")), QStringLiteral("items")));
    TDataSet& ds = fmMain->qrTable;
    QVERIFY(ds.Active());
    ds.Edit();
    ds.FieldByName(QStringLiteral("name"))->SetAsString(QStringLiteral("mine"));
    const auto watch = whenBusy([] { QTest::mouseClick(busy()->btCancel, Qt::LeftButton); });
    QString message;
    try {
      ds.Post();
    } catch (const EDBEngineError& e) {
      message = e.Message();
    }
    QVERIFY2(message.contains(QStringLiteral("Statement cancelled")), qPrintable(message));
    QCOMPARE(ds.State(), dsEdit);
    QCOMPARE(ds.FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("mine"));
    other.exec(QStringLiteral("ROLLBACK"));
    ds.Post();  // the lock is gone: the same edit goes through
    QCOMPARE(database->scalar(QStringLiteral("SELECT name FROM items WHERE id = 1")), QStringLiteral("mine"));
  }
};

QTEST_MAIN(TestBusy)
#include "tst_busy.moc"
