#include "AppFixture.h"

#include "export/CSVOptionsDialog.h"
#include "export/ExportProgressDialog.h"
#include "export/XMLOptionsDialog.h"
#include "dbcontrols/DBGrid.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

using namespace app_fixture;

class TestMainWindow : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  static QStringList captions(QMenu* menu)
  {
    QStringList list;
    for (QAction* a : menu->actions())
      list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
  }

private slots:
  void init() { folder = std::make_unique<TestFolder>(); }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void startsWithItsPanesMenusAndStatusBar()
  {
    startProgram(*folder, "[Demo]\nDriver=SQLite\nDatabase=demo.db\n");
    QCOMPARE(fmMain->windowTitle(), QStringLiteral("Kestrel"));
    QCOMPARE(fmMain->size(), QSize(802, 500));
    QCOMPARE(panel(0), QStringLiteral("Disconnected"));
    QCOMPARE(panel(1), QString());
    QCOMPARE(panel(2), QString());
    QCOMPARE(fmMain->StatusBar1->findChild<QLabel*>(QStringLiteral("Panel0"))->width(), 200);
    QCOMPARE(fmMain->StatusBar1->findChild<QLabel*>(QStringLiteral("Panel1"))->width(), 160);
    QVERIFY(fmMain->StatusBar1->findChild<QLabel*>(QStringLiteral("Panel2"))->width() >= 50);

    // Toolbar: seven buttons, left to right, with their hints; only Undo starts disabled.
    const QList<QToolButton*> buttons = {fmMain->btNew, fmMain->btOpen, fmMain->btSave, fmMain->btCut,
                                         fmMain->btCopy, fmMain->btPaste, fmMain->btUndo};
    QStringList hints;
    int lastX = -1;
    for (QToolButton* b : buttons) {
      hints << b->toolTip();
      QVERIFY(b->x() > lastX);
      lastX = b->x();
      QCOMPARE(b->size(), QSize(23, 25));
      QVERIFY(!b->icon().isNull());
      QCOMPARE(b->isEnabled(), b != fmMain->btUndo);
    }
    QCOMPARE(hints, QStringList({"New Query", "Open a query", "Save Query", "Cut", "Copy", "Paste", "Undo editing changes"}));
    QCOMPARE(fmMain->Panel1->height(), 37);

    // Panes and pages.
    QCOMPARE(fmMain->Panel2->width(), 185);
    QCOMPARE(fmMain->Splitter1->handleWidth(), 5);
    QCOMPARE(fmMain->Panel4->height(), 209);
    QCOMPARE(fmMain->pgTop->tabText(0), QStringLiteral("Fields"));
    QCOMPARE(fmMain->pgTop->tabText(1), QStringLiteral("SQL Editor"));
    QCOMPARE(fmMain->pgTop->currentWidget(), fmMain->FieldSheet);
    QCOMPARE(fmMain->pgBottom->tabPosition(), QTabWidget::South);
    QCOMPARE(fmMain->pgBottom->tabText(0), QStringLiteral("Results"));
    QCOMPARE(fmMain->pgBottom->tabText(1), QStringLiteral("Table Data"));
    QCOMPARE(fmMain->pgBottom->currentWidget(), fmMain->ResultSheet);
    QStringList columns;
    for (int c = 0; c < fmMain->lvFields->columnCount(); ++c)
      columns << fmMain->lvFields->horizontalHeaderItem(c)->text();
    QCOMPARE(columns, QStringList({"Name", "Type", "Size", "Precision", "Required", "Primary Key"}));
    QVERIFY(!fmMain->btExecute->isEnabled());
    QCOMPARE(fmMain->btExecute->toolTip(), QStringLiteral("Execute"));
    QCOMPARE(fmMain->Panel6->width(), 33);
    QVERIFY(fmMain->lbTableName->text().isEmpty());

    // Menus.
    QStringList top;
    for (QAction* a : fmMain->menuBar()->actions())
      top << a->text();
    QCOMPARE(top, QStringList({"File", "Export ", "Help"}));
    QCOMPARE(captions(fmMain->File1), QStringList({"-", "Exit"}));
    QCOMPARE(captions(fmMain->ExportData), QStringList({"Export Table Data", "Export Result Data"}));
    QCOMPARE(captions(fmMain->ExportTableData1), QStringList({"Export Table Data to CSV...", "Export Table Data to XML..."}));
    QCOMPARE(captions(fmMain->ExportResultData1), QStringList({"Export Result Data to CSV...", "Export Result Data to XML..."}));
    QCOMPARE(captions(fmMain->Help1), QStringList({"About Kestrel..."}));
    QCOMPARE(captions(fmMain->mnTablePopUp), QStringList({"Export to CSV...", "Export to XML..."}));
    QCOMPARE(captions(fmMain->mnResultsPopup), QStringList({"Export to CSV...", "Export to XML"}));
    QVERIFY(!fmMain->ExportData->isEnabled());
    QCOMPARE(fmMain->DBGrid2->contextMenuPolicy(), Qt::CustomContextMenu);

    // The other windows exist, hidden, with their names.
    const QList<QWidget*> windows = {fmAbout, fmExportProgress, fmXMLOpts, fmMemoView, fmLogin, fmCSVOpts};
    QStringList names;
    for (QWidget* w : windows) {
      QVERIFY(w && !w->isVisible());
      names << w->objectName() + ":" + w->windowTitle();
    }
    QCOMPARE(names, QStringList({"fmAbout:About Kestrel", "fmExportProgress:SQL Export", "fmXMLOpts:XML Options",
                                 "fmMemoView:Memo View", "fmLogin:Database Connect", "fmCSVOpts:CSV Options"}));
  }

  void withoutAliasesOnlyTheRootShows()
  {
    startProgram(*folder, "; no aliases configured\n");
    QCOMPARE(fmMain->TreeView1->TopCount(), 1);
    QCOMPARE(root()->Text(), QStringLiteral("Databases"));
    QCOMPARE(root()->Count(), 0);
    QCOMPARE(panel(0), QStringLiteral("Disconnected"));
    QVERIFY(!fmMain->ExportData->isEnabled());
  }

  void brokenAliasFileIsReportedAndTheWindowStillOpens()
  {
    QString text;
    captureAndClose(&text);
    startProgram(*folder, "[Demo]\nDriver=SQLite\nDatabase=demo.db\nthis line is wrong\n");
    QVERIFY(allModalsAnswered());
    QVERIFY2(text.contains(QStringLiteral("aliases.ini:4: expected 'key=value' or '[alias]'")), qPrintable(text));
    QCOMPARE(fmMain->TreeView1->TopCount(), 1);
    QCOMPARE(root()->Text(), QStringLiteral("Databases"));
    QCOMPARE(root()->Count(), 0);
  }

  void closingIsRefusedWhileExporting()
  {
    startProgram(*folder, "");
    fmMain->FExporting = true;
    fmMain->Exit1->trigger();
    QVERIFY(fmMain->isVisible());
    QVERIFY(!fmMain->close());  // the close box and the system's close command take the same way
    QVERIFY(fmMain->isVisible());
    fmMain->FExporting = false;
    fmMain->Exit1->trigger();
    QVERIFY(!fmMain->isVisible());
  }

  void aboutIsTheSameWindowEachTime()
  {
    startProgram(*folder, "");
    QList<QWidget*> shown;
    for (int i = 0; i < 2; ++i) {
      answerNextModal([&shown](QWidget* w) {
        shown << w;
        qobject_cast<QDialog*>(w)->accept();
      });
      fmMain->About1->trigger();
    }
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0], static_cast<QWidget*>(fmAbout));
    QCOMPARE(shown[1], static_cast<QWidget*>(fmAbout));
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
