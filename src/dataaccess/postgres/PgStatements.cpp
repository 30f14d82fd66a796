#include "dataaccess/postgres/PgStatements.h"

#include <cctype>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
// Letters, underscore and every byte of a multi-byte UTF-8 character start a name, as in the server.
bool isNameStart(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || isDigit(c) || c == '$'; }

class Splitter {
public:
  Splitter(const QByteArray& sql, bool standardStrings) : FSql(sql), FStandard(standardStrings) {}

  std::vector<PgStatement> run()
  {
    const qsizetype n = FSql.size();
    qsizetype i = 0;
    while (i < n) {
      const char c = at(i);
      if (isSpace(c)) {
        ++i;
      } else if (c == '-' && at(i + 1) == '-') {
        while (i < n && at(i) != '\n')
          ++i;
      } else if (c == '/' && at(i + 1) == '*') {
        i = skipBlockComment(i);
      } else if (c == '\'') {
        token("'");
        i = skipString(i, !FStandard);
      } else if (c == '"') {
        token("\"");
        i = skipQuoted(i, '"');
      } else if (c == '$') {
        token("$");
        i = skipDollar(i);
      } else if (isNameStart(c)) {
        qsizetype end = i;
        while (end < n && isNameChar(at(end)))
          ++end;
        const QByteArray word = FSql.mid(i, end - i).toUpper();
        if (word == "E" && at(end) == '\'') {  // E'...': backslashes escape
          token("'");
          i = skipString(end, true);
          continue;
        }
        token(word);
        this->word(word);
        i = end;
      } else if (c == '(') {
        token("(");
        ++FParens;
        ++i;
      } else if (c == ')') {
        if (FParens > 0)
          --FParens;
        ++i;
      } else if (c == ';' && FParens == 0 && FBeginDepth == 0) {
        finish(i);
        ++i;
        FStart = i;
      } else {
        token(QByteArray(1, c));
        ++i;
      }
    }
    finish(n);
    return std::move(FOut);
  }

private:
  char at(qsizetype i) const { return i < FSql.size() ? FSql.at(i) : '\0'; }

  void token(const QByteArray& first)
  {
    if (!FHasToken) {
      FHasToken = true;
      FFirst = first;
    }
  }

  // The body of a routine in standard SQL (BEGIN ATOMIC ... END) holds semicolons of its own.
  void word(const QByteArray& w)
  {
    if (FLead.size() < 4) {
      FLead.push_back(w);
      auto routineWord = [](const QByteArray& x) { return x == "FUNCTION" || x == "PROCEDURE"; };
      if (FLead.size() >= 2 && FLead[0] == "CREATE")
        FRoutine = routineWord(FLead[1]) ||
                   (FLead.size() >= 4 && FLead[1] == "OR" && FLead[2] == "REPLACE" && routineWord(FLead[3]));
    }
    if (!FRoutine || FParens > 0)
      return;
    if (w == "BEGIN")
      ++FBeginDepth;
    else if (w == "CASE" && FBeginDepth > 0)
      ++FBeginDepth;
    else if (w == "END" && FBeginDepth > 0)
      --FBeginDepth;
  }

  void finish(qsizetype end)
  {
    if (FHasToken) {
      qsizetype start = FStart;
      while (start < end && std::isspace(static_cast<unsigned char>(FSql.at(start))))
        ++start;
      FOut.push_back({FSql.mid(start, end - start).trimmed(), FFirst, start});
    }
    FHasToken = false;
    FFirst.clear();
    FLead.clear();
    FRoutine = false;
    FParens = 0;
    FBeginDepth = 0;
  }

  qsizetype skipBlockComment(qsizetype i) const
  {
    int depth = 0;
    const qsizetype n = FSql.size();
    while (i < n) {
      if (at(i) == '/' && at(i + 1) == '*') {
        ++depth;
        i += 2;
      } else if (at(i) == '*' && at(i + 1) == '/') {
        i += 2;
        if (--depth == 0)
          return i;
      } else {
        ++i;
      }
    }
    return n;
  }

  qsizetype skipString(qsizetype i, bool backslashes) const
  {
    const qsizetype n = FSql.size();
    ++i;
    while (i < n) {
      const char c = at(i);
      if (backslashes && c == '\\') {
        i += 2;
      } else if (c == '\'') {
        if (at(i + 1) != '\'')
          return i + 1;
        i += 2;  // a doubled quote
      } else {
        ++i;
      }
    }
    return n;
  }

  qsizetype skipQuoted(qsizetype i, char quote) const
  {
    const qsizetype n = FSql.size();
    ++i;
    while (i < n) {
      if (at(i) == quote) {
        if (at(i + 1) != quote)
          return i + 1;
        i += 2;
      } else {
        ++i;
      }
    }
    return n;
  }

  // $1 is a parameter; $tag$ ... $tag$ a literal; a $ inside a name was taken with the name.
  qsizetype skipDollar(qsizetype i) const
  {
    if (isDigit(at(i + 1))) {
      ++i;
      while (isDigit(at(i)))
        ++i;
      return i;
    }
    qsizetype end = i + 1;
    if (isNameStart(at(end)))
      while (isNameStart(at(end)) || isDigit(at(end)))
        ++end;
    if (at(end) != '$')
      return i + 1;
    const QByteArray tag = FSql.mid(i, end - i + 1);
    const qsizetype close = FSql.indexOf(tag, end + 1);
    return close < 0 ? FSql.size() : close + tag.size();
  }

  const QByteArray& FSql;
  bool FStandard;
  std::vector<PgStatement> FOut;
  qsizetype FStart = 0;
  bool FHasToken = false;
  QByteArray FFirst;
  std::vector<QByteArray> FLead;
  bool FRoutine = false;
  int FParens = 0;
  int FBeginDepth = 0;
};

}  // namespace

std::vector<PgStatement> splitPgStatements(const QByteArray& sql, bool standardStrings)
{
  return Splitter(sql, standardStrings).run();
}

bool pgMayBeCursorQuery(const PgStatement& statement)
{
  const QByteArray& w = statement.FirstWord;
  return w == "SELECT" || w == "VALUES" || w == "TABLE" || w == "WITH" || w == "(";
}
