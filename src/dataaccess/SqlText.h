#pragma once

#include <QString>
#include <QStringList>

// A light reading of SQL text that knows string literals, quoted identifiers and comments.
namespace SqlText {

// Names of the parameter markers: a colon directly followed by a name, outside literals, quoted
// identifiers and comments. "x::int" (a cast) and ":=" hold no marker. In order of appearance.
QStringList parameterNames(const QString& sql);

// True when the text holds nothing but blanks, comments and semicolons.
bool isBlank(const QString& sql);

// The name of the first table a statement reads from: what follows its first FROM, without a
// schema and unquoted; empty when no name follows (a subquery) or there is no FROM.
QString firstTableName(const QString& sql);

// Identifier quoting with double quotes, inner quotes doubled.
QString quoteIdentifier(const QString& name);

}  // namespace SqlText
