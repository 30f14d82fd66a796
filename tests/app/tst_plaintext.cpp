// Names and values that look like markup are shown as written wherever the program shows text:
// the table caption, message boxes, the structure's tooltips and the grid's refusals. A label that took "<h1>x</h1>" for markup would show a big "x" instead.
#include "AppFixture.h"

#include "dbcontrols/DBGrid.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>
#include <QToolTip>

using namespace app_fixture;

namespace {

const QString table = QStringLiteral("<h1>T</h1>");
const QString column = QStringLiteral("<b>n</b>");

// True when the label shows its text as written: as wide as the text itself in its font.
bool showsAsWritten(const QLabel* label)
{
  const int written = label->fontMetrics().horizontalAdvance(label->text());
  return label->sizeHint().width() >= written;
}

}  // namespace

class TestPlainText : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    folder->createDatabase(QStringLiteral("p.db"),
                           QStringLiteral("CREATE TABLE \"%1\"(id INTEGER PRIMARY KEY, \"%2\" INTEGER GENERATED ALWAYS AS (id) VIRTUAL, "
                                          "v INTEGER); INSERT INTO \"%1\"(id, v) VALUES (1, 1);").arg(table, column));
    startProgram(*folder, "[<i>P</i>]\nDriver=SQLite\nDatabase=p.db\n");
    loginWith(QStringLiteral("u"), QString());
    doubleClick(child(root(), QStringLiteral("<i>P</i>")));
    QVERIFY(fmMain->Database.Connected());
    doubleClick(child(child(root(), QStringLiteral("<i>P</i>")), table));
    QVERIFY(fmMain->qrTable.Active());
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  void labelsAndTooltips()
  {
    QCOMPARE(fmMain->lbTableName->text(), QStringLiteral("Table: ") + table);
    QVERIFY(showsAsWritten(fmMain->lbTableName));
    // The structure's tooltip of the markup-like column shows it as written.
    const QString tip = fmMain->lvFields->item(1, 0)->toolTip();
    QVERIFY(!Qt::mightBeRichText(tip) || tip.contains(column.toHtmlEscaped()));
    // The grid's refusal names the read-only column as written.
    TDBGrid* grid = fmMain->DBGrid2;
    grid->setFocus();
    grid->SetSelectedIndex(1);
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(grid->LastRefusal().contains(column));
    QVERIFY2(QToolTip::text().contains(column.toHtmlEscaped()), qPrintable(QToolTip::text()));
  }

  // A value typed that does not read is quoted in the message as typed.
  void messageBoxes()
  {
    TDBGrid* grid = fmMain->DBGrid2;
    grid->setFocus();
    grid->SetSelectedIndex(2);
    QString format, text;
    answerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      format = box->textFormat() == Qt::PlainText ? QStringLiteral("plain") : QStringLiteral("guessed");
      text = box->text();
      box->accept();
    });
    QTest::keyClicks(grid, QStringLiteral("<h1>9</h1>"));
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor && editor->isVisible());
    QTest::keyClick(editor, Qt::Key_Return);
    QVERIFY(allModalsAnswered());
    QVERIFY2(text.contains(QStringLiteral("<h1>9</h1>")), qPrintable(text));
    QCOMPARE(format, QStringLiteral("plain"));
    fmMain->qrTable.Cancel();
  }
};

QTEST_MAIN(TestPlainText)
#include "tst_plaintext.moc"
