// A statement the database refuses at a place in its text: the editor's caret goes there and the
// error dialog says which line and column, on either database, whatever the text's characters
// and whichever statement of a script or part of a selection it is.
#include "AppFixture.h"
#include "BackendProgram.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolButton>

using namespace app_fixture;
using namespace test_backends;

class TestErrorPosition : public QObject {
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
    backend = startProgramOn(*folder, QStringLiteral("CREATE TABLE t(id INTEGER PRIMARY KEY, name VARCHAR(20));"),
                             QStringLiteral("E"));
    connectThroughTheTree(*backend, QStringLiteral("E"));
  }
  void cleanup() { stopProgramOn(backend, folder); }

  void caretGoesWhereTheFaultIs_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("selected");  // the part selected and run alone; empty: the whole text
    QTest::addColumn<QString>("fault");     // the word the database stumbles on
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("a misspelt word") << "SELECT * FRM t" << "" << "FRM" << 1 << 10;
    QTest::newRow("unknown column after characters of 2, 3 and 4 bytes")
        << "SELECT 'ü€😀' AS x, nosuch FROM t" << "" << "nosuch" << 1 << 21;
    QTest::newRow("third line") << "SELECT id,\n  name,\n  nosuch\nFROM t" << "" << "nosuch" << 3 << 3;
    QTest::newRow("last statement of a script") << "INSERT INTO t VALUES (1, 'é');\n-- then\nSELECT nosuch FROM t"
                                                << "" << "nosuch" << 3 << 8;
    QTest::newRow("statement before the last") << "SELECT 1;\n\n  UPDATE t SET name = nosuch;\nSELECT 2" << "" << "nosuch" << 3 << 23;
    QTest::newRow("a selection") << "SELECT 1;\nSELECT 'ü', nosuch FROM t; -- run alone\n"
                                 << "SELECT 'ü', nosuch FROM t" << "nosuch" << 2 << 13;
  }
  void caretGoesWhereTheFaultIs()
  {
    QFETCH(QString, text);
    QFETCH(QString, selected);
    QFETCH(QString, fault);
    QFETCH(int, line);
    QFETCH(int, column);
    QPlainTextEdit* editor = fmMain->Memo1;
    editor->setPlainText(text);
    if (!selected.isEmpty()) {
      QTextCursor selection(editor->document());
      selection.setPosition(int(text.indexOf(selected)));
      selection.setPosition(int(text.indexOf(selected) + selected.size()), QTextCursor::KeepAnchor);
      editor->setTextCursor(selection);
    }
    QString said;
    answerNextModal([&](QWidget* w) {
      said = modalText(w);
      w->close();
    });
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    QVERIFY2(said.contains(QStringLiteral("At line %1, column %2.").arg(line).arg(column)), qPrintable(said));
    const QTextCursor caret = editor->textCursor();
    QCOMPARE(caret.position(), int(text.lastIndexOf(fault)));
    QCOMPARE(caret.blockNumber() + 1, line);
    QCOMPARE(caret.positionInBlock() + 1, column);
    QCOMPARE(fmMain->StatusBar1->PanelText(MainStatus::Caret), QString::asprintf("Line: %3d  Col: %3d", line, column));
  }

  // A fault the database does not place leaves the caret alone and names no place.
  void aFaultWithoutAPlaceMovesNothing()
  {
    backend->exec(QStringLiteral("INSERT INTO t VALUES (1, 'a')"));
    const QString text = QStringLiteral("INSERT INTO t VALUES (1, 'again')");
    fmMain->Memo1->setPlainText(text);
    QTextCursor caret(fmMain->Memo1->document());
    caret.setPosition(4);
    fmMain->Memo1->setTextCursor(caret);
    QString said;
    answerNextModal([&](QWidget* w) {
      said = modalText(w);
      w->close();
    });
    QTest::mouseClick(fmMain->btExecute, Qt::LeftButton);
    QVERIFY2(!said.isEmpty() && !said.contains(QStringLiteral("At line")), qPrintable(said));
    QCOMPARE(fmMain->Memo1->textCursor().position(), 4);
  }
};

QTEST_MAIN(TestErrorPosition)
#include "tst_errorposition.moc"
