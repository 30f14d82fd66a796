// The SQL editor's colours: each kind of token gets its colour, the same words inside strings,
// quoted names and comments do not, comments and literals run on over lines, and both a light and
// a dark palette keep every colour readable on the editor's background.
#include "editor/SqlHighlighter.h"
#include "uicore/Ink.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>


namespace {

using Kind = TSqlHighlighter::Kind;

// The kind whose format a character of the document has; "plain" when none.
QString kindAt(QPlainTextEdit& editor, const TSqlHighlighter& h, int position)
{
  const QTextBlock block = editor.document()->findBlock(position);
  const int inBlock = position - block.position();
  for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
    if (inBlock < r.start || inBlock >= r.start + r.length)
      continue;
    const std::pair<Kind, const char*> kinds[] = {{Kind::Keyword, "keyword"}, {Kind::String, "string"},
                                                  {Kind::Identifier, "identifier"}, {Kind::Comment, "comment"},
                                                  {Kind::Number, "number"}};
    for (const auto& [kind, name] : kinds)
      if (r.format == h.Format(kind))
        return QLatin1String(name);
  }
  return QStringLiteral("plain");
}

}  // namespace

class TestSqlHighlighter : public QObject {
  Q_OBJECT
private slots:
  // Each row: a text, and marks under it: k keyword, s string, i quoted identifier, c comment,
  // n number, . plain; a blank in the marks skips the character (line breaks too).
  void tokensGetTheirColour_data()
  {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marks");
    QTest::newRow("keywords, any case") << "select x From t"
                                        << "kkkkkk . kkkk .";
    QTest::newRow("a string hides keywords") << "SELECT 'from ''where'' x' AS y"
                                             << "kkkkkk ssssssssssssssssss kk .";
    QTest::newRow("a quoted name hides keywords") << "SELECT \"select\"\"x\" FROM t"
                                                  << "kkkkkk iiiiiiiiiii kkkk .";
    QTest::newRow("line comment") << "SELECT 1 -- FROM 'x'"
                                  << "kkkkkk n ccccccccccc";
    QTest::newRow("numbers, not digits in names") << "SELECT 12.5e-3, .5, t1, 2x FROM t"
                                                  << "kkkkkk nnnnnnn  nn  ..  .. kkkk .";
    QTest::newRow("block comment over lines") << "SELECT /* FROM\nWHERE */ x FROM t"
                                              << "kkkkkk ccccccc cccccccc . kkkk .";
    QTest::newRow("string over lines") << "SELECT 'a\nFROM' FROM t"
                                       << "kkkkkk ss sssss kkkk .";
    QTest::newRow("quoted name over lines") << "SELECT \"a\nb\" FROM t"
                                            << "kkkkkk ii ii kkkk .";
    QTest::newRow("unclosed string runs to the end") << "SELECT 'x FROM t"
                                                     << "kkkkkk sssssssss";
  }
  void tokensGetTheirColour()
  {
    QFETCH(QString, text);
    QFETCH(QString, marks);
    QCOMPARE(marks.size(), text.size());
    QPlainTextEdit editor;
    TSqlHighlighter h(&editor);
    editor.setPlainText(text);
    const QHash<QChar, QString> names{{'k', "keyword"}, {'s', "string"}, {'i', "identifier"},
                                      {'c', "comment"}, {'n', "number"}, {'.', "plain"}};
    QString seen;
    for (int p = 0; p < text.size(); ++p)
      seen += marks.at(p) == QLatin1Char(' ') ? QLatin1Char(' ') : names.key(kindAt(editor, h, p));
    QCOMPARE(seen, marks);
  }

  // Typing a closing mark on one line recolours the lines after it.
  void closingACommentRecoloursTheLinesAfter()
  {
    QPlainTextEdit editor;
    TSqlHighlighter h(&editor);
    editor.setPlainText(QStringLiteral("/* start\nSELECT x\nFROM t"));
    const int select = int(editor.toPlainText().indexOf(QLatin1String("SELECT")));
    QCOMPARE(kindAt(editor, h, select), QStringLiteral("comment"));
    QTextCursor end(editor.document()->firstBlock());
    end.movePosition(QTextCursor::EndOfBlock);
    end.insertText(QStringLiteral(" */"));
    QCOMPARE(kindAt(editor, h, select + 3), QStringLiteral("keyword"));
  }

  // Every colour stands out from the background in a light and in a dark palette, and a change of
  // palette recolours what is shown.
  void coloursAreReadableOnLightAndDark_data()
  {
    QTest::addColumn<QColor>("base");
    QTest::newRow("light") << QColor(Qt::white);
    QTest::newRow("dark") << QColor(0x1e, 0x1e, 0x1e);
  }
  void coloursAreReadableOnLightAndDark()
  {
    QFETCH(QColor, base);
    QPlainTextEdit editor;
    TSqlHighlighter h(&editor);
    editor.setPlainText(QStringLiteral("SELECT 1"));
    QPalette palette = editor.palette();
    palette.setColor(QPalette::Base, base);
    editor.setPalette(palette);
    for (Kind kind : {Kind::Keyword, Kind::String, Kind::Identifier, Kind::Comment, Kind::Number}) {
      const QColor colour = h.Format(kind).foreground().color();
      QVERIFY2(contrastRatio(colour, base) >= 4.5, qPrintable(colour.name()));
    }
    QCOMPARE(kindAt(editor, h, 0), QStringLiteral("keyword"));  // recoloured with the new formats
  }
};

QTEST_MAIN(TestSqlHighlighter)
#include "tst_sqlhighlighter.moc"
