#include "AppFixture.h"
#include "ExportAnswers.h"

#include "dataaccess/FormatSettings.h"
#include "dbcontrols/DBGrid.h"
#include "export/ExportProgressDialog.h"

#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QToolButton>

using namespace app_fixture;
using namespace export_answers;

namespace {

QByteArray fileContent(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

class TestExport : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  // Watches every move of the exported dataset during an export: after the program's own handler,
  // or before it, where a click lands that the handler's event processing would see.
  void watchMoves(TDataSet& ds, std::function<void()> watcher, bool before = false)
  {
    ds.AfterScroll = [original = ds.AfterScroll, watcher, before](TDataSet& d) {
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
        "CREATE TABLE tricky(id INTEGER PRIMARY KEY, s VARCHAR(40), c CHAR(9), m TEXT, n INTEGER, r REAL, w DATE);"
        "INSERT INTO tricky VALUES (1, 'a,b', 'say \"hi\"', 'a' || char(13) || 'b', -12, 1.5, '2024-02-29'),"
        "  (2, NULL, NULL, 'memo', NULL, NULL, NULL);"
        "CREATE TABLE many(id INTEGER PRIMARY KEY, v TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) INSERT INTO many SELECT i, 'v' || i FROM n;"));
    startProgram(*folder, "[E]\nDriver=SQLite\nDatabase=e.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("E")));
    QVERIFY(fmMain->Database.Connected());
    FormatSettings() = TFormatSettings{};
    FormatSettings().DecimalSeparator = QLatin1Char(',');  // the user's settings: a decimal comma, the day first
    FormatSettings().ShortDateFormat = QStringLiteral("dd.mm.yyyy");
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // A cell that holds a separator, a quote or a line break is quoted with its quotes doubled; other
  // cells stay bare unless quoting is asked for, which quotes text cells (empty ones too) and the
  // names, never numbers. The user's decimal separator and date format apply.
  void csvCells_data()
  {
    QTest::addColumn<bool>("names");
    QTest::addColumn<bool>("quotes");
    QTest::addColumn<QByteArray>("written");  // the file
    QTest::newRow("names, quoting on") << true << true
        << QByteArray("\"id\",\"s\",\"c\",\"m\",\"n\",\"r\",\"w\"\r\n"
                      "1,\"a,b\",\"say \"\"hi\"\"\",\"a\rb\",-12,\"1,5\",29.02.2024\r\n2,\"\",\"\",\"memo\",,,\r\n");
    QTest::newRow("quoting off: a quote, a lone CR") << false << false
        << QByteArray("1,\"a,b\",\"say \"\"hi\"\"\",\"a\rb\",-12,\"1,5\",29.02.2024\r\n2,,,memo,,,\r\n");
  }
  void csvCells()
  {
    QFETCH(bool, names);
    QFETCH(bool, quotes);
    fmMain->OpenTable(QStringLiteral("tricky"));
    const QString file = folder->path(QStringLiteral("tricky.csv"));
    answerCSV(file, names, quotes);
    fmMain->ExportTableDatatoCSV->trigger();
    QTEST(fileContent(file), "written");
    verifyIdle(fmMain->qrTable);
  }

  // Cancel, by Esc or by the button, stops the export after the current row: the file keeps the rows
  // written (a datapacket stays complete), and the window is idle on the first record again.
  // Meanwhile nothing starts another export and neither the window nor the progress dialog closes.
  void cancelKeepsTheRowsWritten_data()
  {
    QTest::addColumn<bool>("xml");
    QTest::addColumn<QString>("firstStatus");  // a CSV export counts from the row already current
    QTest::addColumn<QByteArray>("ending");
    QTest::newRow("csv, Esc") << false << "Exporting Row 2 of 600 ..." << QByteArray("\r\n10,v10\r\n");
    QTest::newRow("xml, Cancel") << true << "Exporting Row 1 of 600 ..." << QByteArray("</row>\r\n</recorddata>\r\n</datapacket>\r\n");
  }
  void cancelKeepsTheRowsWritten()
  {
    QFETCH(bool, xml);
    QFETCH(QByteArray, ending);
    fmMain->OpenTable(QStringLiteral("many"));
    fmMain->qrTable.SetRecNo(30);
    QStringList statuses;
    watchMoves(fmMain->qrTable, [&] {
      statuses << fmExportProgress->lbExportStatus->text();
      QCOMPARE(fmExportProgress->ExportProgressBar->maximum(), 600);
      QVERIFY(fmExportProgress->isVisible());
      QVERIFY(!fmExportProgress->close());
      fmMain->ExportResultDatatoXML->trigger();
      fmMain->ExporttoCSV->trigger();
      QVERIFY(!fmMain->FormCloseQuery());
    });
    watchMoves(fmMain->qrTable, [&] {  // before the step, where its event processing finds the click
      if (fmMain->FExportRow == 10)
        xml ? fmExportProgress->btCancel->click() : QTest::keyClick(fmExportProgress, Qt::Key_Escape);
    }, true);
    const QString file = folder->path(QStringLiteral("many.out"));
    xml ? answerXML(file, false) : answerCSV(file, false, false);
    (xml ? fmMain->ExportTableToXML : fmMain->ExporttoCSV)->trigger();  // the CSV one from the grid's pop-up menu
    QTEST(statuses.value(0), "firstStatus");
    QCOMPARE(fmExportProgress->lbDescription->text(), QStringLiteral("Exporting table \"many\" to ") + file);
    const QByteArray written = fileContent(file);
    QCOMPARE(int(written.count(xml ? "<row>" : "\r\n")), 10);
    QVERIFY2(written.endsWith(ending), written.right(60).constData());
    QCOMPARE(panel(MainStatus::Outcome), QStringLiteral("Export cancelled: %1 holds the first 10 records").arg(file));
    verifyIdle(fmMain->qrTable);
    QCOMPARE(fmMain->DBGrid2->TopPosition(), 0);
  }

  // The datapacket is written with a decimal point and ISO dates whatever the user's settings, while
  // the grid, which repaints whenever the export lets events through, keeps showing the user's.
  void xmlKeepsTheUsersSettingsForTheGrid()
  {
    fmMain->Memo1->setPlainText(QStringLiteral("SELECT * FROM tricky"));
    fmMain->btExecute->click();
    QStringList painted;
    watchMoves(fmMain->qrSelect, [&] { painted << fmMain->DBGrid1->CellText(0, 5) + QLatin1Char(' ') + fmMain->DBGrid1->CellText(0, 6); });
    const QString file = folder->path(QStringLiteral("result.xml"));
    answerXML(file, false);
    fmMain->ExporttoXML1->trigger();
    painted.removeDuplicates();
    QCOMPARE(painted, QStringList{QStringLiteral("1,5 29.02.2024")});
    const QByteArray xml = fileContent(file);
    QVERIFY(xml.contains("<field name=\"r\" value=\"1.5\"/>") && xml.contains("<field name=\"w\" value=\"2024-02-29\"/>"));
    verifyIdle(fmMain->qrSelect);
  }

  // A file that cannot be made or written, or the database failing midway: the message with the
  // system's reason, the window idle again, and a previous file as it was.
  void failuresLeaveTheWindowIdle_data()
  {
    QTest::addColumn<bool>("xml");
    QTest::addColumn<QString>("before");   // a "file" or a "folder" at x in the test folder; nothing: /dev/full
    QTest::addColumn<QString>("message");  // %1 is the target
    for (bool xml : {false, true}) {
      const char* f = xml ? "xml" : "csv";
      QTest::addRow("%s, folder", f) << xml << "folder" << "Kestrel: Cannot create file %1. Is a directory";
      QTest::addRow("%s, full device", f) << xml << "" << "Kestrel: Cannot write to %1: No space left on device";
      QTest::addRow("%s, table dropped midway", f) << xml << "file" << "Database Error: ";
    }
  }
  void failuresLeaveTheWindowIdle()
  {
    QFETCH(bool, xml);
    QFETCH(QString, before);
    QFETCH(QString, message);
    const QString path = before.isEmpty() ? QStringLiteral("/dev/full") : folder->path(QStringLiteral("x"));
    fmMain->OpenTable(QStringLiteral("many"));
    if (before == QLatin1String("folder"))
      QVERIFY(QDir().mkpath(path));
    if (before == QLatin1String("file")) {
      QFile old(path);
      QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old export\r\n") > 0);
      watchMoves(fmMain->qrTable, [&] {
        if (fmMain->FExportRow == 3)
          executeSql(folder->path(QStringLiteral("e.db")), QStringLiteral("DROP TABLE many"));
      });
    }
    xml ? answerXML(path, false) : answerCSV(path, false, false);
    QString text, title;
    captureAndClose(&text, &title);
    (xml ? fmMain->ExportTableToXML : fmMain->ExportTableDatatoCSV)->trigger();
    QVERIFY2((title + QStringLiteral(": ") + text).startsWith(message.arg(path)), qPrintable(title + ": " + text));
    if (before == QLatin1String("file"))
      QCOMPARE(fileContent(path), QByteArray("old export\r\n"));
    verifyIdle(fmMain->qrTable);
    QCOMPARE(QDir(folder->path(QString())).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("x")),
             QStringList(before == QLatin1String("file") ? QStringList{QStringLiteral("x")} : QStringList{}));
  }

  // Browse asks before replacing a file, gives a bare name the export's suffix and puts the file
  // chosen into the edit.
  void browseInBothDialogs()
  {
    for (bool xml : {false, true}) {
      const QString chosen = folder->path(QStringLiteral("chosen"));
      answerNextModal([&](QWidget* w) {
        QVERIFY(!qobject_cast<QFileDialog*>(w)->testOption(QFileDialog::DontConfirmOverwrite));
        auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));  // as a user does: the name typed, then Enter
        QVERIFY(name);
        name->setText(chosen);
        QTest::keyClick(name, Qt::Key_Return);
      });
      xml ? fmXMLOpts->btBrowseClick() : fmCSVOpts->btBrowseClick();
      const QString named = chosen + (xml ? ".xml" : ".csv");
      QCOMPARE((xml ? fmXMLOpts->edFilename : fmCSVOpts->edFileName)->text(), named);
      QVERIFY(!QFile::exists(named));
    }
  }

  // The options propose a file named after the table, or the statement's first table, in the
  // folder of the last export (else the home folder). Cancel writes nothing; the status bar says
  // what was written where.
  void proposesANameAndSaysWhatWasWritten()
  {
    fmMain->ExportResultDatatoCSV->trigger();  // no query run yet: not even the dialog
    fmMain->OpenTable(QStringLiteral("many"));
    const QString never = folder->path(QStringLiteral("never.csv"));
    QString proposed;
    answerNextModal([&](QWidget*) {
      proposed = fmCSVOpts->edFileName->text();
      fmCSVOpts->edFileName->setText(never);
      fmCSVOpts->btCancel->click();
    });
    fmMain->ExportTableDatatoCSV->trigger();
    QCOMPARE(proposed, QDir(QDir::homePath()).filePath(QStringLiteral("many.csv")));
    QVERIFY(!QFile::exists(never));

    const QString file = folder->path(QStringLiteral("sub/first.csv"));
    QDir().mkpath(QFileInfo(file).path());
    answerCSV(file, true, false);
    fmMain->ExportTableDatatoCSV->trigger();
    QCOMPARE(panel(MainStatus::Outcome), QStringLiteral("600 records written to %1").arg(file));
    QCOMPARE(int(fileContent(file).count("\r\n")), 601);

    fmMain->Memo1->setPlainText(QStringLiteral("-- FROM nowhere\nSELECT 'FROM x' AS f, v FROM main.\"many\" WHERE id = 1"));
    fmMain->btExecute->click();
    answerNextModal([&](QWidget*) {
      proposed = fmXMLOpts->edFilename->text();
      fmXMLOpts->btOK->click();
    });
    fmMain->ExportResultDatatoXML->trigger();
    QCOMPARE(proposed, folder->path(QStringLiteral("sub/many.xml")));
    QCOMPARE(panel(MainStatus::Outcome), QStringLiteral("1 record written to %1").arg(proposed));
    QVERIFY(fileContent(proposed).contains("<row>"));
  }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
