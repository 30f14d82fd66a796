#include "editor/SqlHighlighter.h"

#include "uicore/Ink.h"

#include <QPlainTextEdit>
#include <QSet>


namespace {

// Block states carried from one line to the next: what the line ends inside of.
enum State { Plain = 0, InBlockComment = 1, InString = 2, InIdentifier = 3 };

const QSet<QString>& keywords()
{
  static const QSet<QString> words = [] {
    QSet<QString> set;
    const char* const list[] = {
        "ADD", "ALL", "ALTER", "ANALYZE", "AND", "ANY", "AS", "ASC", "BEGIN", "BETWEEN", "BY", "CASCADE",
        "CASE", "CAST", "CHECK", "COLLATE", "COLUMN", "COMMIT", "CONSTRAINT", "CREATE", "CROSS", "CURRENT_DATE",
        "CURRENT_TIME", "CURRENT_TIMESTAMP", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP", "ELSE", "END",
        "ESCAPE", "EXCEPT", "EXISTS", "EXPLAIN", "FALSE", "FETCH", "FOREIGN", "FROM", "FULL", "GRANT", "GROUP",
        "HAVING", "IF", "ILIKE", "IN", "INDEX", "INNER", "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY",
        "LEFT", "LIKE", "LIMIT", "MATERIALIZED", "NATURAL", "NOT", "NULL", "OFFSET", "ON", "OR", "ORDER",
        "OUTER", "OVER", "PARTITION", "PRIMARY", "RECURSIVE", "REFERENCES", "RETURNING", "REVOKE", "RIGHT",
        "ROLLBACK", "SAVEPOINT", "SCHEMA", "SELECT", "SET", "TABLE", "THEN", "TO", "TRANSACTION", "TRIGGER",
        "TRUE", "TRUNCATE", "UNION", "UNIQUE", "UPDATE", "USING", "VACUUM", "VALUES", "VIEW", "WHEN", "WHERE",
        "WINDOW", "WITH"};
    for (const char* w : list)
      set.insert(QLatin1String(w));
    return set;
  }();
  return words;
}

bool isWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$'); }

}  // namespace

TSqlHighlighter::TSqlHighlighter(QPlainTextEdit* editor) : QSyntaxHighlighter(editor->document()), FEditor(editor)
{
  onPaletteChange(editor, [this] {
    chooseColours();
    rehighlight();
  });
}

QTextCharFormat TSqlHighlighter::Format(Kind kind) const
{
  switch (kind) {
  case Kind::Keyword: return FKeyword;
  case Kind::String: return FString;
  case Kind::Identifier: return FIdentifier;
  case Kind::Comment: return FComment;
  case Kind::Number: return FNumber;
  }
  return {};
}

void TSqlHighlighter::chooseColours()
{
  // Colours for a light background, lightened on a dark one until they read.
  const QColor base = FEditor->palette().color(QPalette::Base);
  const auto format = [&](const QColor& wanted, bool bold, bool italic) {
    QTextCharFormat f;
    f.setForeground(readableOn(wanted, base));
    if (bold)
      f.setFontWeight(QFont::Bold);
    f.setFontItalic(italic);
    return f;
  };
  FKeyword = format(QColor(0x00, 0x33, 0xb3), true, false);
  FString = format(QColor(0x06, 0x7d, 0x17), false, false);
  FIdentifier = format(QColor(0x87, 0x10, 0x94), false, false);
  FComment = format(QColor(0x6e, 0x6e, 0x6e), false, true);
  FNumber = format(QColor(0x17, 0x50, 0xa0), false, false);
}

void TSqlHighlighter::highlightBlock(const QString& text)
{
  const qsizetype n = text.size();
  qsizetype i = 0;
  // Colours from `from` to the closing quote (a doubled quote stands for itself), or to the line's
  // end, leaving the literal open for the next line; true when it closed.
  const auto closeQuoted = [&](qsizetype from, QChar quote, const QTextCharFormat& format, State state) {
    for (; i < n; ++i) {
      if (text.at(i) != quote)
        continue;
      if (i + 1 < n && text.at(i + 1) == quote) {
        ++i;
        continue;
      }
      ++i;
      setFormat(int(from), int(i - from), format);
      return true;
    }
    setFormat(int(from), int(n - from), format);
    setCurrentBlockState(state);
    return false;
  };
  const auto closeComment = [&] {
    const qsizetype start = i;
    const qsizetype end = text.indexOf(QLatin1String("*/"), i);
    if (end < 0) {
      setFormat(int(start), int(n - start), FComment);
      setCurrentBlockState(InBlockComment);
      return false;
    }
    i = end + 2;
    setFormat(int(start), int(i - start), FComment);
    return true;
  };

  setCurrentBlockState(Plain);
  switch (previousBlockState()) {
  case InBlockComment:
    if (!closeComment())
      return;
    break;
  case InString:
    if (!closeQuoted(0, QLatin1Char('\''), FString, InString))
      return;
    break;
  case InIdentifier:
    if (!closeQuoted(0, QLatin1Char('"'), FIdentifier, InIdentifier))
      return;
    break;
  default:
    break;
  }

  while (i < n) {
    const QChar c = text.at(i);
    if (c == QLatin1Char('-') && i + 1 < n && text.at(i + 1) == QLatin1Char('-')) {
      setFormat(int(i), int(n - i), FComment);
      return;
    }
    if (c == QLatin1Char('/') && i + 1 < n && text.at(i + 1) == QLatin1Char('*')) {
      if (!closeComment())
        return;
      continue;
    }
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      const bool literal = c == QLatin1Char('\'');
      const qsizetype from = i++;
      if (!closeQuoted(from, c, literal ? FString : FIdentifier, literal ? InString : InIdentifier))
        return;
      continue;
    }
    if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && text.at(i + 1).isDigit())) {
      // A number stands alone: digits inside a name (t1, x2y) are part of the name.
      if (i > 0 && isWordChar(text.at(i - 1))) {
        ++i;
        continue;
      }
      const qsizetype start = i;
      while (i < n && (text.at(i).isDigit() || text.at(i) == QLatin1Char('.')))
        ++i;
      if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
          ++j;
        if (j < n && text.at(j).isDigit()) {
          i = j;
          while (i < n && text.at(i).isDigit())
            ++i;
        }
      }
      if (i < n && isWordChar(text.at(i))) {  // 1abc is no number
        while (i < n && isWordChar(text.at(i)))
          ++i;
        continue;
      }
      setFormat(int(start), int(i - start), FNumber);
      continue;
    }
    if (isWordChar(c)) {
      const qsizetype start = i;
      while (i < n && isWordChar(text.at(i)))
        ++i;
      if (keywords().contains(text.mid(start, i - start).toUpper()))
        setFormat(int(start), int(i - start), FKeyword);
      continue;
    }
    ++i;
  }
}
