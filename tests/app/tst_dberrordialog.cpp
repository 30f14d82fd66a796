#include "AppFixture.h"

#include "uicore/DBErrorDialog.h"
#include "dataaccess/DBErrors.h"

#include <QPlainTextEdit>
#include <QScrollBar>

using namespace app_fixture;

class TestDBErrorDialog : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  static EDBEngineError errorOf(const QStringList& messages)
  {
    std::vector<TDBError> entries;
    for (const QString& m : messages)
      entries.push_back({m, 1, 0});
    return EDBEngineError(entries);
  }

private slots:
  void initTestCase()
  {
    folder = std::make_unique<TestFolder>();
    startProgram(*folder, "");
  }
  void cleanupTestCase()
  {
    stopProgram();
    QVERIFY(allModalsAnswered());
  }

  void showsEveryEntryFollowedByAnEmptyLine_data()
  {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("three") << QStringList{"A", "B", "C"} << QStringList{"A", "", "B", "", "C", ""};
    QTest::newRow("multi-line entry") << QStringList{"first\nsecond", "Z"} << QStringList{"first", "second", "", "Z", ""};
    QTest::newRow("none") << QStringList{} << QStringList{""};
  }
  void showsEveryEntryFollowedByAnEmptyLine()
  {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, lines);
    QStringList shown;
    bool readOnly = false, okIsDefault = false;
    QString title;
    QPoint centreOffset;
    answerNextModal([&](QWidget* w) {
      auto* dlg = qobject_cast<TfmDBError*>(w);
      QVERIFY(dlg);
      title = dlg->windowTitle();
      readOnly = dlg->RTF->isReadOnly() && (dlg->RTF->textInteractionFlags() & Qt::TextSelectableByMouse);
      okIsDefault = dlg->btOK->isDefault();
      shown = dlg->RTF->toPlainText().split(QLatin1Char('\n'));
      centreOffset = dlg->frameGeometry().center() - fmMain->frameGeometry().center();
      QTest::keyClick(dlg, Qt::Key_Return);  // Enter presses OK
    });
    new TfmDBError(fmMain, errorOf(entries));
    QVERIFY(allModalsAnswered());
    QCOMPARE(title, QStringLiteral("Database Error"));
    QCOMPARE(shown, lines);
    QVERIFY(readOnly);
    QVERIFY(okIsDefault);
    QVERIFY2(qAbs(centreOffset.x()) <= 2 && qAbs(centreOffset.y()) <= 30, qPrintable(QString("%1,%2").arg(centreOffset.x()).arg(centreOffset.y())));
  }

  void releasesItselfAfterwardsAndScrollsLongText()
  {
    QStringList many;
    for (int i = 0; i < 30; ++i)
      many << QStringLiteral("entry %1").arg(i);
    QPointer<TfmDBError> dialog;
    int scrollMax = 0;
    answerNextModal([&](QWidget* w) {
      dialog = qobject_cast<TfmDBError*>(w);
      scrollMax = dialog->RTF->verticalScrollBar()->maximum();
      dialog->btOK->click();
    });
    new TfmDBError(fmMain, errorOf(many));
    QVERIFY(scrollMax > 0);
    QVERIFY(dialog);  // still alive right after the constructor returns
    QTRY_VERIFY(!dialog);
  }

  void twoErrorsGiveTwoDialogs()
  {
    QString first, second;
    captureAndClose(&first);
    new TfmDBError(fmMain, errorOf({"one"}));
    captureAndClose(&second);
    new TfmDBError(fmMain, errorOf({"two"}));
    QCOMPARE(first, QStringLiteral("one\n"));
    QCOMPARE(second, QStringLiteral("two\n"));
  }
};

QTEST_MAIN(TestDBErrorDialog)
#include "tst_dberrordialog.moc"
