// A statement that keeps the database busy never freezes the window: it paints, shows that it works,
// refuses a second command, and Cancel stops the statement; on SQLite, PostgreSQL and ODBC alike.
#include "BackendProgram.h"

#include "uicore/BusyIndicator.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/EngineWait.h"
#include "dbcontrols/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace app_fixture;
using namespace test_backends;

namespace {

QString schema()
{
  const QString many = onOdbc() ? QStringLiteral("INSERT INTO many SELECT seq, CONCAT('row ', seq) FROM seq_1_to_5000;")
                                : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)"
                                                 " INSERT INTO many SELECT i, 'row ' || i FROM n;");
  return QStringLiteral("CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(20)); INSERT INTO items VALUES (1, 'one'), (2, 'two');"
                        "CREATE TABLE many(id INTEGER PRIMARY KEY, name TEXT);") +
         many;
}

TfmBusy* busy() { return fmMain->findChild<TfmBusy*>(QStringLiteral("fmBusy")); }

// Runs action once the busy box shows, from the event loop that waits. The returned timer belongs
// to the caller's scope, so that a box that never shows leaves nothing behind.
[[nodiscard]] std::unique_ptr<QTimer> whenBusy(std::function<void()> action, int* ticksDuringWait = nullptr)
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

// After a cancelled command the connection goes on working, and a quick statement shows no box at all.
void connectionStillWorks()
{
  bool shown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] { shown = shown || (busy() && busy()->isVisible()); });
  watch.start(5);
  run(QStringLiteral("SELECT name FROM items ORDER BY id"));
  QVERIFY(fmMain->qrSelect.Active());
  QCOMPARE(fmMain->qrSelect.Fields(0)->AsString(), QStringLiteral("one"));
  QVERIFY(!shown);
}

// Moves through a 5000-row result ("row 1" to "row 5000") by steps and checks the record reached.
void step(TDataSet& ds, int steps, const QString& expected)
{
  for (int i = 0; i < steps; ++i)
    ds.Next();
  QCOMPARE(ds.Fields(1)->AsString(), expected);
}

}  // namespace

class TestBusy : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;
  std::unique_ptr<Backend> backend;

private slots:
  void initTestCase_data() { addDriverRows(); }
  void init()
  {
    folder = std::make_unique<TestFolder>();
    if (onPostgres())
      PG_REQUIRE_SERVER();
    if (onOdbc())
      MARIA_REQUIRE_SERVER();
    backend = startProgramOn(*folder, schema(), QStringLiteral("Busy"));
    connectThroughTheTree(*backend, QStringLiteral("Busy"));
  }
  void cleanup() { stopProgramOn(backend, folder); }

  // Cancel, by the button or by Esc, stops the statement within a second; the event loop ran while
  // it worked, the command says so, and the connection goes on working. SQLite works on this thread:
  // many short steps are one call as much as one long one. While the call waits nothing else can
  // start: not a second statement, not a connection, not an export, not closing the window.
  void cancelStopsTheStatement_data()
  {
    QTest::addColumn<bool>("byEscape");
    QTest::addColumn<QString>("sqliteSql");
    const QString counting =
        QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000) ");
    QTest::newRow("Cancel button, one long step") << false << counting + "SELECT count(*) FROM c";
    QTest::newRow("Esc, many short steps") << true << counting + "SELECT x FROM c; SELECT 1";
  }
  void cancelStopsTheStatement()
  {
    QFETCH(bool, byEscape);
    QFETCH(QString, sqliteSql);
    int ticks = 0;
    bool closed = true, secondRan = false;
    QElapsedTimer sinceCancel;
    const auto watch = whenBusy([&] {
      QVERIFY(busy()->isModal());
      // Each is tried from the waiting event loop, as code would.
      fmMain->Memo1->setPlainText(QStringLiteral("SELECT 42"));
      fmMain->btExecuteClick();
      secondRan = fmMain->qrSelect.Active();
      fmMain->TreeView1DblClick();
      fmMain->ExportResultDatatoCSVClick();  // would show its options dialog: it must not
      closed = fmMain->close();
      sinceCancel.start();
      byEscape ? QTest::keyClick(busy(), Qt::Key_Escape) : QTest::mouseClick(busy()->btCancel, Qt::LeftButton);
    }, &ticks);
    QString message;
    captureAndClose(&message);
    // MariaDB's SLEEP() ends without an error when cancelled: a long join is cancelled as work is.
    run(onPostgres() ? QStringLiteral("SELECT pg_sleep(30)")
        : onOdbc()   ? QStringLiteral("SELECT SUM(a.seq * b.seq) FROM seq_1_to_200000 a, seq_1_to_200000 b")
                     : sqliteSql);
    QVERIFY(allModalsAnswered());
    QVERIFY2(sinceCancel.isValid() && sinceCancel.elapsed() < 5000, "the statement ran on after Cancel");
    QVERIFY2(ticks > 3, "the event loop did not run while the statement waited");
    QVERIFY2(message.contains(QStringLiteral("Statement cancelled")), qPrintable(message));
    QVERIFY(!busy()->isVisible());
    QVERIFY(!fmMain->qrSelect.Active());
    QVERIFY(!closed);
    QVERIFY(!secondRan);
    connectionStillWorks();
  }

  // Counting a long result can be cancelled like any statement; that is no error to show, and the
  // count does not start again as the user moves on, only when the result is opened again.
  void aCancelledCountIsNotStartedAgain()
  {
    if (onOdbc())
      QSKIP("MariaDB's driver reads a whole result before it hands out a row: an endless one is cancelled as a statement");
    int cancels = 0;
    QStringList shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (busy() && busy()->isVisible()) {
        ++cancels;
        QTest::mouseClick(busy()->btCancel, Qt::LeftButton);
      } else if (QWidget* modal = QApplication::activeModalWidget()) {
        shown << modalText(modal);
        modal->close();
      }
    });
    watch.start(20);
    const QString sql = QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c");
    const auto waitForCancels = [&](int n) {
      QTRY_VERIFY_WITH_TIMEOUT(cancels == n && !TEngineWait::active(), 10000);
    };
    run(sql);
    waitForCancels(1);
    QVERIFY(fmMain->qrSelect.Active());
    for (int i = 0; i < 300; ++i)  // within the rows read at the start: a server's cancelled read took the rest
      fmMain->qrSelect.Next();
    fmMain->DBGrid1->viewport()->repaint();
    QTest::qWait(600);
    QCOMPARE(cancels, 1);
    QCOMPARE(shown, QStringList());
    QCOMPARE(fmMain->DBGrid1->RecordText(), QStringLiteral("Record 301"));
    run(sql);
    waitForCancels(2);
  }

  // A post that meets a lock another session holds waits with the box and can be cancelled; the
  // user's edit stays, and goes through once the lock is gone.
  void aPostWaitingOnALockIsCancelled()
  {
    doubleClick(child(child(root(), QStringLiteral("Busy")), QStringLiteral("items")));
    TDataSet& ds = fmMain->qrTable;
    QVERIFY(ds.Active());
    sqlite3* other = nullptr;
    if (onPostgres() || onOdbc()) {
      backend->exec(QStringLiteral("BEGIN; SELECT * FROM items WHERE id = 1 FOR UPDATE"));
    } else {
      QCOMPARE(sqlite3_open(folder->path(QStringLiteral("both.db")).toUtf8().constData(), &other), SQLITE_OK);
      QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
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
    onPostgres() || onOdbc() ? backend->exec(QStringLiteral("ROLLBACK")) : void(sqlite3_close(other));
    ds.Post();
    QCOMPARE(backend->scalar(QStringLiteral("SELECT name FROM items WHERE id = 1")), QStringLiteral("mine"));
  }

  // A large result the user only looks at lets others in once the grid sits unread: on SQLite it
  // holds no read lock, so another connection's write goes through; on PostgreSQL its transaction
  // (and its locks) ends, so another session's ALTER TABLE does. Reading on takes up at the same
  // record with the same rows.
  void anOpenResultLetsOthersIn_data()
  {
    QTest::addColumn<QString>("query");
    QTest::newRow("wrapped") << "SELECT id, name FROM many ORDER BY id";
    QTest::newRow("cannot be wrapped") << "SELECT id, name FROM many ORDER BY id -- a comment that stays open";
  }
  void anOpenResultLetsOthersIn()
  {
    QFETCH(QString, query);
    if (onOdbc())
      QSKIP("MariaDB's driver holds a whole result in the client: an open result holds nothing on the server");
    if (onPostgres())
      backend->exec(QStringLiteral("SET lock_timeout = '200ms'"));
    const auto othersGetThrough = [&] {
      try {
        backend->exec(onPostgres() ? QStringLiteral("ALTER TABLE many ADD COLUMN IF NOT EXISTS extra int")
                                   : QStringLiteral("INSERT INTO items(name) VALUES ('other')"));
        return true;
      } catch (const std::runtime_error&) {
        return false;
      }
    };
    run(query);
    TDataSet& ds = fmMain->qrSelect;
    QVERIFY(ds.Active());
    step(ds, 600, QStringLiteral("row 601"));  // past the rows read ahead: the statement is reading on
    QVERIFY(!othersGetThrough());  // the result being read holds the table
    ds.DisableControls();  // as an export walks the rows: it keeps reading, so nothing is let go
    ds.ReleaseReads();
    QVERIFY(!othersGetThrough());
    ds.EnableControls();
    fmMain->DBGrid1->viewport()->repaint();
    QTRY_VERIFY_WITH_TIMEOUT(othersGetThrough(), 3 * TDBGrid::releaseReadsAfterMs);
    // Reading on takes up where it was, with the rows as they were (without the column added since).
    step(ds, 1000, QStringLiteral("row 1601"));
    QCOMPARE(ds.FieldCount(), 2);
    ds.Last();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 5000"));
    ds.First();
    QCOMPARE(ds.Fields(1)->AsString(), QStringLiteral("row 1"));
  }

  // A server that takes the connection but never answers: connecting shows the box, and either
  // Cancel or the alias's timeout ends the attempt with a message.
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
    if (onPostgres())
      QSKIP("the SQLite run tries the PostgreSQL driver on the silent server");
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(listener, 4) == 0);
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    stopProgram();
    const QByteArray port = QByteArray::number(ntohs(address.sin_port)), timeout = cancel ? "30" : "2";
    startProgram(*folder, onOdbc() ? "[Silent]\nDriver=ODBC\nConnectionString=DRIVER={" + maria_test::server().Driver +
                                         "};SERVER=127.0.0.1;PORT=" + port + ";DATABASE=none\nConnectTimeout=" + timeout + "\n"
                                   : "[Silent]\nDriver=PostgreSQL\nHost=127.0.0.1\nPort=" + port +
                                         "\nDatabase=none\nSSLMode=disable\nConnectTimeout=" + timeout + "\n");
    bool boxShown = false;
    const auto watch = whenBusy([&] {
      boxShown = true;
      if (cancel)
        QTest::mouseClick(busy()->btCancel, Qt::LeftButton);
    });
    loginWith(QStringLiteral("u"), QStringLiteral("p"));
    QString message;
    captureAndClose(&message);
    doubleClick(child(root(), QStringLiteral("Silent")));
    ::close(listener);
    QVERIFY(allModalsAnswered());
    QVERIFY(boxShown);
    if (onOdbc() && !cancel)
      expected = QStringLiteral("The data source did not answer within 2 s (ConnectTimeout).");
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY(!fmMain->Database.Connected());
  }

  // The server ending the session shows in the status bar at the command that meets it; the next
  // command connects again and says so there.
  void aLostServerShowsAndTheNextCommandConnectsAgain()
  {
    if (!onPostgres() && !onOdbc())
      QSKIP("SQLite has no server to lose");
    if (onOdbc()) {
      // The program's sessions are the other ones on the test's database.
      const QString ids = backend->scalar(QStringLiteral("SELECT GROUP_CONCAT(id) FROM information_schema.processlist"
                                                         " WHERE db = DATABASE() AND id <> CONNECTION_ID()"));
      QVERIFY2(!ids.startsWith(QLatin1Char('<')), qPrintable(ids));
      for (const QString& id : ids.split(QLatin1Char(',')))
        backend->exec(QStringLiteral("KILL ") + id);
    } else {
      backend->exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                   " WHERE datname = current_database() AND application_name = 'Kestrel'"));
    }
    QString error;
    answerNextModal([&](QWidget* box) {
      error = modalText(box);
      qobject_cast<QDialog*>(box)->reject();
    });
    run(QStringLiteral("SELECT name FROM items ORDER BY id"));
    QVERIFY2(error.contains(QStringLiteral("The connection to the server was lost.")), qPrintable(error));
    QCOMPARE(fmMain->StatusBar1->PanelText(MainStatus::Connection), QStringLiteral("Connection lost: Busy"));
    connectionStillWorks();
    QCOMPARE(fmMain->StatusBar1->PanelText(MainStatus::Connection), QStringLiteral("Connected: Busy"));
  }
};

QTEST_MAIN(TestBusy)
#include "tst_busy.moc"
