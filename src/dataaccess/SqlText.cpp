#include "dataaccess/SqlText.h"

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$'); }


// Walks the text: visit(i) for every character outside literals, quoted identifiers and comments,
// quoted() once for every literal or quoted identifier.
template <class Visit, class Quoted>
void walkCode(const QString& s, Visit visit, Quoted quoted)
{
  const qsizetype n = s.size();
  qsizetype i = 0;
  auto skipTo = [&](QChar close) {
    ++i;
    while (i < n) {
      if (s[i] == close) {
        if (close != QLatin1Char(']') && i + 1 < n && s[i + 1] == close) {  // doubled: an escaped quote
          i += 2;
          continue;
        }
        ++i;
        return;
      }
      ++i;
    }
  };
  while (i < n) {
    const QChar c = s[i];
    if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
      quoted();
      skipTo(c);
    } else if (c == QLatin1Char('[')) {
      quoted();
      skipTo(QLatin1Char(']'));
    } else if (c == QLatin1Char('$') && (i == 0 || !isNameChar(s[i - 1]))) {
      // A dollar-quoted string ($$...$$ or $tag$...$tag$) holds text, never markers.
      qsizetype tagEnd = i + 1;
      while (tagEnd < n && (s[tagEnd].isLetterOrNumber() || s[tagEnd] == QLatin1Char('_')))
        ++tagEnd;
      if (tagEnd < n && s[tagEnd] == QLatin1Char('$') && !(tagEnd > i + 1 && s[i + 1].isDigit())) {
        const QString tag = s.mid(i, tagEnd - i + 1);
        const qsizetype close = s.indexOf(tag, tagEnd + 1);
        quoted();
        i = close < 0 ? n : close + tag.size();
      } else {
        visit(i);
        ++i;
      }
    } else if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && i + 1 < n && s[i + 1] == QLatin1Char('\'') &&
               (i == 0 || !isNameChar(s[i - 1]))) {
      // An escape string: a backslash escapes the next character, quotes included.
      quoted();
      i += 2;
      while (i < n) {
        if (s[i] == QLatin1Char('\\')) {
          i += 2;
        } else if (s[i] == QLatin1Char('\'')) {
          if (i + 1 < n && s[i + 1] == QLatin1Char('\'')) {
            i += 2;
            continue;
          }
          ++i;
          break;
        } else {
          ++i;
        }
      }
    } else if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
      while (i < n && s[i] != QLatin1Char('\n'))
        ++i;
    } else if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
      const qsizetype end = s.indexOf(QStringLiteral("*/"), i + 2);
      i = end < 0 ? n : end + 2;
    } else {
      visit(i);
      ++i;
    }
  }
}

}  // namespace

namespace SqlText {

QStringList parameterNames(const QString& sql)
{
  QStringList names;
  const qsizetype n = sql.size();
  walkCode(sql, [&](qsizetype i) {
    if (sql[i] != QLatin1Char(':') || i + 1 >= n || !isNameStart(sql[i + 1]))
      return;
    if (i > 0 && sql[i - 1] == QLatin1Char(':'))
      return;  // the second colon of a cast
    qsizetype end = i + 1;
    while (end < n && isNameChar(sql[end]))
      ++end;
    names << sql.mid(i + 1, end - i - 1);
  }, [] {});
  return names;
}

bool isBlank(const QString& sql)
{
  bool blank = true;
  walkCode(
      sql,
      [&](qsizetype i) {
        if (!sql[i].isSpace() && sql[i] != QLatin1Char(';'))
          blank = false;
      },
      [&] { blank = false; });
  return blank;
}

QString firstTableName(const QString& sql)
{
  const qsizetype n = sql.size();
  qsizetype after = -1;  // where the first FROM outside literals and comments ends
  walkCode(sql, [&](qsizetype i) {
    if (after >= 0 || (i > 0 && isNameChar(sql[i - 1])) || sql.mid(i, 4).compare(QLatin1String("FROM"), Qt::CaseInsensitive) != 0 ||
        (i + 4 < n && isNameChar(sql[i + 4])))
      return;
    after = i + 4;
  }, [] {});
  if (after < 0)
    return QString();
  qsizetype i = after;
  QString name;
  for (;;) {  // schema.table: the last part names the table
    while (i < n && sql[i].isSpace())
      ++i;
    name.clear();
    if (i < n && sql[i] == QLatin1Char('"')) {
      for (++i; i < n; ++i) {
        if (sql[i] == QLatin1Char('"')) {
          if (i + 1 < n && sql[i + 1] == QLatin1Char('"')) {
            name += QLatin1Char('"');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        name += sql[i];
      }
    } else {
      while (i < n && isNameChar(sql[i]))
        name += sql[i++];
    }
    if (i < n && sql[i] == QLatin1Char('.') && !name.isEmpty()) {
      ++i;
      continue;
    }
    return name;
  }
}

QString quoteIdentifier(const QString& name)
{
  QString q = name;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

}  // namespace SqlText
