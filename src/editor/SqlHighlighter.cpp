#include "editor/SqlHighlighter.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QSet>

#include <cmath>

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

// Relative luminance, 0 (black) to 1 (white).
double luminance(const QColor& c)
{
  const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

TSqlHighlighter::TSqlHighlighter(QPlainTextEdit* editor) : QSyntaxHighlighter(editor->document()), FEditor(editor)
{
  chooseColours();
  editor->installEventFilter(this);
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
  // Two sets of colours, each readable on its kind of background.
  const bool dark = luminance(FEditor->palette().color(QPalette::Base)) < 0.4;
  FKeyword = {};
  FKeyword.setForeground(dark ? QColor(0x8c, 0xb4, 0xff) : QColor(0x00, 0x33, 0xb3));
  FKeyword.setFontWeight(QFont::Bold);
  FString = {};
  FString.setForeground(dark ? QColor(0x9c, 0xd6, 0x8a) : QColor(0x06, 0x7d, 0x17));
  FIdentifier = {};
  FIdentifier.setForeground(dark ? QColor(0xe0, 0xa8, 0xf0) : QColor(0x87, 0x10, 0x94));
  FComment = {};
  FComment.setForeground(dark ? QColor(0xa0, 0xa0, 0xa0) : QColor(0x6e, 0x6e, 0x6e));
  FComment.setFontItalic(true);
  FNumber = {};
  FNumber.setForeground(dark ? QColor(0xf0, 0xc0, 0x80) : QColor(0x17, 0x50, 0xa0));
}

bool TSqlHighlighter::eventFilter(QObject* watched, QEvent* event)
{
  if (watched == FEditor && event->type() == QEvent::PaletteChange) {
    chooseColours();
    rehighlight();
  }
  return QSyntaxHighlighter::eventFilter(watched, event);
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
