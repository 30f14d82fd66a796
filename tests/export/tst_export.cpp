#include "AppFixture.h"
#include "ExportAnswers.h"

#include "dbcontrols/DBGrid.h"
#include "export/CSVOptionsDialog.h"
#include "export/ExportProgressDialog.h"
#include "export/XMLOptionsDialog.h"
#include "xmldataset/XMLDataset.h"
#include "dataaccess/FormatSettings.h"

#include <QPlainTextEdit>
#include <QToolButton>

#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QFileDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

using namespace app_fixture;
using namespace export_answers;

namespace {

QByteArray fileContent(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Reads a CSV file with Python's csv module: rows of cells joined by "|", one row per line.
QStringList parsedByPython(const QString& path)
{
  QProcess p;
  p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(
      "import csv,sys,json\n"
      "rows=list(csv.reader(open(sys.argv[1],newline='',encoding='utf-8')))\n"
      "print(json.dumps(rows))"), path});
  p.waitForFinished(30000);
  const QJsonArray rows = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
  QStringList out;
  for (const QJsonValue& row : rows) {
    QStringList cells;
    for (const QJsonValue& c : row.toArray())
      cells << c.toString();
    out << cells.join(QLatin1Char('|'));
  }
  if (p.exitCode() != 0)
    out << QStringLiteral("python failed: ") + QString::fromUtf8(p.readAllStandardError());
  return out;
}

}  // namespace

class TestExport : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  // Watches every move of the exported dataset during an export: after the program's own handler,
  // or before it, where a click lands that the handler's event processing would see.
  void watchMoves(TDataSet& ds, std::function<void()> watcher, bool before = false)
  {
    auto original = ds.AfterScroll;
    ds.AfterScroll = [original, watcher, before](TDataSet& d) {
      if (before && fmMain->FExporting)
        watcher();
      original(d);
      if (!before && fmMain->FExporting)
        watcher();
    };
  }

  void verifyIdle(TDataSet& ds)
  {
    QVERIFY(!fmMain->FExporting);
    QVERIFY(!fmExportProgress->isVisible());
    QVERIFY(!ds.ControlsDisabled());
    QCOMPARE(ds.RecNo(), ds.IsEmpty() ? 0 : 1);
    QVERIFY(fmMain->FormCloseQuery());
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("e.db"), QStringLiteral(
        "CREATE TABLE people(ID INTEGER PRIMARY KEY, NAME VARCHAR(20), NOTES TEXT);"
        "INSERT INTO people VALUES (7, 'Smith', 'some memo text');"
        "CREATE TABLE tricky(id INTEGER PRIMARY KEY, s VARCHAR(40), c CHAR(2), m TEXT, r REAL, d DECIMAL(10,2), b BLOB, w DATE);"
        "INSERT INTO tricky VALUES (1, 'a,b', 'q\"', 'line' || char(13,10) || 'two', 1.5, 12.5, x'00', '2024-02-29');"
        "INSERT INTO tricky VALUES (2, NULL, '', 'plain', -0.00005, 100, NULL, NULL);"
        "CREATE TABLE many(id INTEGER PRIMARY KEY, v TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) INSERT INTO many SELECT i, 'v' || i FROM n;"
        "CREATE TABLE empty(a INT, b TEXT);"));
    startProgram(*folder, "[E]\nDriver=SQLite\nDatabase=e.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("E")));
    QVERIFY(fmMain->Database.Connected());
    FormatSettings() = TFormatSettings{};
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    FormatSettings() = TFormatSettings{};
    QVERIFY(allModalsAnswered());
  }

  void csvAsWrittenForTheExample_data()
  {
    QTest::addColumn<bool>("names");
    QTest::addColumn<bool>("quotes");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no options") << false << false << QByteArray("7,Smith,some memo text\r\n");
    QTest::newRow("both options") << true << true << QByteArray("\"ID\",\"NAME\",\"NOTES\"\r\n7,\"Smith\",\"some memo text\"\r\n");
  }
  void csvAsWrittenForTheExample()
  {
    QFETCH(bool, names);
    QFETCH(bool, quotes);
    QFETCH(QByteArray, expected);
    fmMain->OpenTable(QStringLiteral("people"));
    const QString file = folder->path(QStringLiteral("people.csv"));
    answerCSV(file, names, quotes);
    fmMain->ExportTableDatatoCSV->trigger();
    QCOMPARE(fileContent(file), expected);
    verifyIdle(fmMain->qrTable);
  }

  // Whatever the values hold, another program reads the cells back; with a German locale too.
  void csvReadsBackCellForCell_data()
  {
    QTest::addColumn<bool>("german");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("iso") << false << QStringList{"id|s|c|m|r|d|b|w", "1|a,b|q\"|line\r\ntwo|1.5|12.5||2024-02-29",
                                                  "2|||plain|-5E-5|100||"};
    QTest::newRow("german") << true << QStringList{"id|s|c|m|r|d|b|w", "1|a,b|q\"|line\r\ntwo|1,5|12,5||29.02.2024",
                                                    "2|||plain|-5E-5|100||"};
  }
  void csvReadsBackCellForCell()
  {
    QFETCH(bool, german);
    QFETCH(QStringList, rows);
    if (german) {
      FormatSettings().DecimalSeparator = QLatin1Char(',');
      FormatSettings().ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    }
    fmMain->OpenTable(QStringLiteral("tricky"));
    const QString file = folder->path(QStringLiteral("tricky.csv"));
    answerCSV(file, true, false);
    fmMain->ExportTableDatatoCSV->trigger();
    QCOMPARE(parsedByPython(file), rows);
    // Cells without special characters stay as they are: no quotes added.
    QVERIFY(fileContent(file).startsWith("id,s,c,m,r,d,b,w\r\n1,\"a,b\",\"q\"\"\",\"line\r\ntwo\","));
  }

  void csvProgressCancelAndFirstRecord()
  {
    fmMain->OpenTable(QStringLiteral("many"));
    fmMain->qrTable.SetRecNo(30);
    QStringList statuses;
    int maximum = 0;
    watchMoves(fmMain->qrTable, [&] {
      statuses << fmExportProgress->lbExportStatus->text();
      maximum = fmExportProgress->ExportProgressBar->maximum();
      QVERIFY(fmExportProgress->isVisible());
      QCOMPARE(fmExportProgress->windowTitle(), QStringLiteral("Export Table"));
      // Nothing starts another export meanwhile, and closing is refused.
      fmMain->ExportResultDatatoXML->trigger();
      fmMain->ExporttoCSV->trigger();
      QVERIFY(!fmMain->FormCloseQuery());
      if (fmMain->FExportRow == 11)
        QTest::keyClick(fmExportProgress, Qt::Key_Escape);  // Esc is Cancel
    });
    const QString file = folder->path(QStringLiteral("many.csv"));
    answerCSV(file, false, false);
    fmMain->ExporttoCSV->trigger();  // from the grid's pop-up menu
    QCOMPARE(statuses.first(), QStringLiteral("Exporting Row 2 of 600 ..."));
    QCOMPARE(maximum, 600);
    QCOMPARE(fmExportProgress->lbDescription->text(), QStringLiteral("Exporting table \"many\" to ") + file);
    const QByteArray csv = fileContent(file);
    QCOMPARE(int(csv.count("\r\n")), 10);  // the rows before the move where Cancel was seen
    QVERIFY(csv.endsWith("10,v10\r\n"));
    verifyIdle(fmMain->qrTable);
    QCOMPARE(fmMain->DBGrid2->TopPosition(), 0);
  }

  void xmlThroughTheCommand()
  {
    fmMain->Memo1->setPlainText(QStringLiteral("SELECT * FROM tricky"));
    fmMain->btExecute->click();
    QVERIFY(fmMain->qrSelect.Active());
    fmMain->XMLDataset->Clock = [] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 42)); };
    QStringList statuses;
    watchMoves(fmMain->qrSelect, [&] { statuses << fmExportProgress->lbExportStatus->text(); });
    const QString file = folder->path(QStringLiteral("result.xml"));
    answerXML(file, true);
    fmMain->ExporttoXML1->trigger();
    QCOMPARE(statuses.first(), QStringLiteral("Exporting Row 1 of 2 ..."));
    // The same bytes as the writer gives on its own.
    TXMLDataset writer;
    writer.Clock = fmMain->XMLDataset->Clock;
    writer.UseMimeEncoding = true;
    writer.SetDataSet(&fmMain->qrSelect);
    QBuffer direct;
    direct.open(QIODevice::WriteOnly);
    writer.SaveToStream(&direct);
    QCOMPARE(fileContent(file), direct.data());
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), file});
    QVERIFY(lint.waitForFinished(30000));
    QCOMPARE(lint.exitCode(), 0);
    verifyIdle(fmMain->qrSelect);
  }

  void xmlCancelGivesACompletePacket()
  {
    fmMain->OpenTable(QStringLiteral("many"));
    watchMoves(fmMain->qrTable, [&] {
      if (fmMain->FExportRow == 3)  // the move after the third row
        fmExportProgress->btCancel->click();
    }, true);
    const QString file = folder->path(QStringLiteral("many.xml"));
    answerXML(file, false);
    fmMain->ExportTableToXML->trigger();
    const QByteArray xml = fileContent(file);
    QCOMPARE(int(xml.count("<row>")), 3);
    QVERIFY(xml.endsWith("</recorddata>\r\n</datapacket>\r\n"));
    verifyIdle(fmMain->qrTable);
  }

  void nothingHappensWithoutOKOrAnOpenDataset()
  {
    fmMain->ExportResultDatatoCSV->trigger();  // no query run yet: not even the dialog
    fmMain->OpenTable(QStringLiteral("people"));
    const QString file = folder->path(QStringLiteral("never.csv"));
    answerNextModal([&](QWidget*) {
      fmCSVOpts->edFileName->setText(file);
      fmCSVOpts->btCancel->click();
    });
    fmMain->ExportTableDatatoCSV->trigger();
    QVERIFY(!QFile::exists(file));
    // The dialog keeps what was typed for the next use.
    QString shown;
    answerNextModal([&](QWidget* w) {
      shown = fmCSVOpts->edFileName->text();
      w->close();  // the close box is Cancel
    });
    fmMain->ExportTableDatatoCSV->trigger();
    QCOMPARE(shown, file);
  }

  void failuresLeaveTheWindowIdle()
  {
    fmMain->OpenTable(QStringLiteral("many"));
    // A file that cannot be created: the message, and no progress dialog.
    answerCSV(folder->path(QStringLiteral("no/such/dir/x.csv")), false, false);
    QString text;
    captureAndClose(&text);
    fmMain->ExportTableDatatoCSV->trigger();
    QVERIFY2(text.startsWith(QStringLiteral("Cannot create file")), qPrintable(text));
    verifyIdle(fmMain->qrTable);
    // An empty name.
    answerCSV(QString(), false, false);
    captureAndClose(&text);
    fmMain->ExportTableDatatoCSV->trigger();
    QVERIFY2(text.startsWith(QStringLiteral("Cannot create file")), qPrintable(text));
    // A full disk, for both formats.
    answerCSV(QStringLiteral("/dev/full"), false, false);
    captureAndClose(&text);
    fmMain->ExportTableDatatoCSV->trigger();
    QVERIFY2(text.contains(QStringLiteral("/dev/full")), qPrintable(text));
    verifyIdle(fmMain->qrTable);
    answerXML(QStringLiteral("/dev/full"), false);
    captureAndClose(&text);
    fmMain->ExportTableToXML->trigger();
    QVERIFY2(text.contains(QStringLiteral("/dev/full")), qPrintable(text));
    verifyIdle(fmMain->qrTable);

    // An engine error in the middle: the database error dialog, then idle, the old file kept.
    const QString file = folder->path(QStringLiteral("kept.csv"));
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old export\r\n");
    old.close();
    watchMoves(fmMain->qrTable, [&] {
      if (fmMain->FExportRow == 3)
        executeSql(folder->path(QStringLiteral("e.db")), QStringLiteral("DROP TABLE many"));
    });
    answerCSV(file, false, false);
    QString title;
    captureAndClose(&text, &title);
    fmMain->ExportTableDatatoCSV->trigger();
    QCOMPARE(title, QStringLiteral("Database Error"));
    QCOMPARE(fileContent(file), QByteArray("old export\r\n"));
    QVERIFY(!fmMain->FExporting);
    QVERIFY(!fmExportProgress->isVisible());
    QVERIFY(fmMain->FormCloseQuery());
  }

  // Browse puts a confirmed file into the edit; a cancelled save dialog leaves the typed name.
  void browseInBothDialogs_data()
  {
    QTest::addColumn<bool>("xml");
    QTest::newRow("csv") << false;
    QTest::newRow("xml") << true;
  }
  void browseInBothDialogs()
  {
    QFETCH(bool, xml);
    QLineEdit* edit = xml ? fmXMLOpts->edFilename : fmCSVOpts->edFileName;
    auto browse = [xml] { xml ? fmXMLOpts->btBrowseClick() : fmCSVOpts->btBrowseClick(); };
    const QString chosen = folder->path(QStringLiteral("chosen.out"));
    edit->setText(QStringLiteral("typed.out"));
    answerNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });  // cancelled
    browse();
    QCOMPARE(edit->text(), QStringLiteral("typed.out"));
    answerNextModal([&](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog);
      QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
      // As a user does: the name typed into the dialog's name box, then Enter.
      auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(name);
      name->setText(chosen);
      QTest::keyClick(name, Qt::Key_Return);
    });
    browse();
    QCOMPARE(edit->text(), chosen);
    // The next Browse offers the file it returned last time.
    QString offered;
    answerNextModal([&](QWidget* w) {
      offered = qobject_cast<QFileDialog*>(w)->selectedFiles().value(0);
      qobject_cast<QDialog*>(w)->reject();
    });
    browse();
    QCOMPARE(offered, chosen);
    QVERIFY(allModalsAnswered());
    QVERIFY(!QFile::exists(chosen));
  }

  void progressDialogCannotBeClosed()
  {
    fmExportProgress->show();
    QVERIFY(!fmExportProgress->close());
    QVERIFY(fmExportProgress->isVisible());
    fmExportProgress->hide();
  }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
