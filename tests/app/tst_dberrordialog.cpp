#include "AppFixture.h"

#include "uicore/DBErrorDialog.h"
#include "dataaccess/DBErrors.h"

#include <QClipboard>
#include <QPlainTextEdit>
#include <QScrollBar>

using namespace app_fixture;

class TestDBErrorDialog : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

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

  // One dialog per error, run one after the other in the same program: each shows its own entries
  // only, each followed by an empty line, and goes away by itself once Enter closed it.
  void showsEveryEntryFollowedByAnEmptyLine_data()
  {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("scrolls");
    QStringList many, manyLines;
    for (int i = 0; i < 30; ++i) {
      many << QStringLiteral("entry %1").arg(i);
      manyLines << many.last() << QString();
    }
    QTest::newRow("three") << QStringList{"A", "B", "C"} << QStringList{"A", "", "B", "", "C", ""} << false;
    QTest::newRow("multi-line entry") << QStringList{"first\nsecond", "Z"} << QStringList{"first", "second", "", "Z", ""} << false;
    QTest::newRow("none") << QStringList{} << QStringList{""} << false;
    QTest::newRow("more than fit") << many << manyLines << true;
  }
  void showsEveryEntryFollowedByAnEmptyLine()
  {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, lines);
    std::vector<TDBError> list;
    for (const QString& m : entries)
      list.push_back({m, 1, 0});
    QStringList shown;
    QString copied;
    bool scrolls = false;
    QPoint centreOffset;
    QPointer<TfmDBError> dialog;
    QApplication::clipboard()->clear();
    answerNextModal([&](QWidget* w) {
      dialog = qobject_cast<TfmDBError*>(w);
      QVERIFY(dialog);
      // The text can be selected and copied, but typing does not change it.
      QTest::keyClicks(dialog->RTF, QStringLiteral("xy"));
      QTest::keyClick(dialog->RTF, Qt::Key_Backspace);
      QTest::keySequence(dialog->RTF, QKeySequence::SelectAll);
      QTest::keySequence(dialog->RTF, QKeySequence::Copy);
      copied = QApplication::clipboard()->text();
      shown = dialog->RTF->toPlainText().split(QLatin1Char('\n'));
      scrolls = dialog->RTF->verticalScrollBar()->maximum() > 0;
      centreOffset = dialog->frameGeometry().center() - fmMain->frameGeometry().center();
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    new TfmDBError(fmMain, EDBEngineError(list));
    QVERIFY(allModalsAnswered());
    QCOMPARE(shown, lines);
    QCOMPARE(copied, lines.join(QLatin1Char('\n')));
    QTEST(scrolls, "scrolls");
    QVERIFY2(qAbs(centreOffset.x()) <= 2 && qAbs(centreOffset.y()) <= 30,
             qPrintable(QString("%1,%2").arg(centreOffset.x()).arg(centreOffset.y())));
    QVERIFY(dialog);  // released later, not while the constructor still runs
    QTRY_VERIFY(!dialog);
  }
};

QTEST_MAIN(TestDBErrorDialog)
#include "tst_dberrordialog.moc"
