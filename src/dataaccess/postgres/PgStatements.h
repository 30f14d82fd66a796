#pragma once

#include <QByteArray>
#include <vector>

// One statement of SQL text as PostgreSQL would cut it.
struct PgStatement {
  QByteArray Text;       // without the closing semicolon
  QByteArray FirstWord;  // upper case; "(" when it opens with a parenthesis
  qsizetype Offset = 0;  // where Text begins in the whole text, in bytes
};

// Cuts UTF-8 SQL text into statements at the semicolons the server would end them at: not inside
// string literals ('...', E'...' with backslash escapes, $tag$...$tag$), quoted identifiers, comments
// (nested /* */ too), parentheses, or the BEGIN ... END body of CREATE FUNCTION / PROCEDURE.
// Pieces with nothing but blanks and comments are left out. standardStrings is the server's
// standard_conforming_strings: off, backslashes escape in every literal.
std::vector<PgStatement> splitPgStatements(const QByteArray& sql, bool standardStrings = true);

// True for statements a cursor can read: SELECT, VALUES, TABLE, WITH, or a parenthesised query.
bool pgMayBeCursorQuery(const PgStatement& statement);
