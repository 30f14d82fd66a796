#include "dataaccess/sqlite/SqliteTypeMapping.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

struct Declared {
  QString Base;       // upper case, single blanks: "DOUBLE PRECISION"
  QList<int> Args;    // the numbers in parentheses
  bool HasArgs = false;
};

Declared parseDeclared(const QString& declared)
{
  Declared d;
  QString text = declared.trimmed().toUpper();
  const qsizetype open = text.indexOf(QLatin1Char('('));
  if (open >= 0) {
    d.HasArgs = true;
    const qsizetype close = text.indexOf(QLatin1Char(')'), open);
    const QString inside = text.mid(open + 1, close < 0 ? -1 : close - open - 1);
    for (const QString& part : inside.split(QLatin1Char(','))) {
      bool ok = false;
      const int v = part.trimmed().toInt(&ok);
      d.Args << (ok ? v : 0);
    }
    text = text.left(open);
  }
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  d.Base = text.simplified().replace(blanks, QStringLiteral(" "));
  return d;
}

bool oneOf(const QString& s, std::initializer_list<const char*> names)
{
  for (const char* n : names)
    if (s == QLatin1String(n))
      return true;
  return false;
}

int arg(const Declared& d, int i) { return i < d.Args.size() ? d.Args.at(i) : 0; }

// SQLite's own affinity rules, in its order, for names the table does not list.
TSqliteFieldType byAffinity(const Declared& d)
{
  const QString& b = d.Base;
  // Integer affinity stores every integer in 64 bits, whatever the name promises.
  if (b.contains(QLatin1String("INT")))
    return {ftLargeint, 0, 0};
  if (b.contains(QLatin1String("CHAR")) || b.contains(QLatin1String("CLOB")) || b.contains(QLatin1String("TEXT"))) {
    if (d.HasArgs && arg(d, 0) > 0)
      return {ftString, arg(d, 0), 0};
    return {ftMemo, 0, 0};
  }
  if (b.contains(QLatin1String("BLOB")))
    return {ftBlob, 0, 0};
  if (b.contains(QLatin1String("REAL")) || b.contains(QLatin1String("FLOA")) || b.contains(QLatin1String("DOUB")))
    return {ftFloat, 0, 0};
  // NUMERIC affinity: an exact decimal of unstated scale.
  return {ftBCD, 0, 0};
}

}  // namespace

TSqliteFieldType sqliteFieldType(const QString& declaredType, bool isRowIdAlias)
{
  if (isRowIdAlias)
    return {ftAutoInc, 0, 0};
  const Declared d = parseDeclared(declaredType);
  const QString& b = d.Base;
  // No declared type is not a binary column: SQLite keeps whatever comes, number, text or bytes.
  if (b.isEmpty())
    return {ftVariant, 0, 0};
  if (oneOf(b, {"SMALLINT", "INT2", "TINYINT"}))
    return {ftSmallint, 0, 0};
  // SQLite has one integer storage class of 64 bits: a column named INT holds 2^40 as readily as 40.
  if (oneOf(b, {"INT", "INTEGER", "MEDIUMINT", "INT4", "BIGINT", "INT8", "UNSIGNED BIG INT"}))
    return {ftLargeint, 0, 0};
  if (oneOf(b, {"BOOLEAN", "BOOL"}))
    return {ftBoolean, 0, 0};
  if (oneOf(b, {"CHAR", "CHARACTER", "NCHAR"}))
    return d.HasArgs && arg(d, 0) > 0 ? TSqliteFieldType{ftFixedChar, arg(d, 0), 0} : TSqliteFieldType{ftMemo, 0, 0};
  if (oneOf(b, {"VARCHAR", "NVARCHAR", "VARYING CHARACTER", "CHARACTER VARYING", "NATIVE CHARACTER"}))
    return d.HasArgs && arg(d, 0) > 0 ? TSqliteFieldType{ftString, arg(d, 0), 0} : TSqliteFieldType{ftMemo, 0, 0};
  if (oneOf(b, {"TEXT", "CLOB"}))
    return {ftMemo, 0, 0};
  if (oneOf(b, {"DECIMAL", "NUMERIC"}))
    return {ftBCD, arg(d, 1), arg(d, 0)};  // Size is the scale, Precision the total digits
  if (oneOf(b, {"REAL", "DOUBLE", "DOUBLE PRECISION", "FLOAT"}))
    return {ftFloat, 0, 0};
  if (oneOf(b, {"MONEY", "CURRENCY"}))
    return {ftCurrency, 0, 0};
  if (b == QLatin1String("DATE"))
    return {ftDate, 0, 0};
  if (b == QLatin1String("TIME"))
    return {ftTime, 0, 0};
  if (oneOf(b, {"DATETIME", "TIMESTAMP"}))
    return {ftDateTime, 0, 0};
  if (b == QLatin1String("BLOB"))
    return {ftBlob, 0, 0};
  return byAffinity(d);
}

unsigned sqliteClassOf(const TValue& value)
{
  switch (value.kind()) {
  case TValue::Integer: return scInteger;
  case TValue::Float: return scFloat;
  case TValue::Text: return scText;
  case TValue::Bytes: return scBlob;
  default: return 0;
  }
}

TFieldType sqliteFieldTypeOfClasses(unsigned classesSeen)
{
  switch (classesSeen) {
  case scInteger: return ftLargeint;
  // Integers among floats are arithmetic on numbers (a sum, a ratio) that happened to come out whole;
  // a float field holds both, and integers exactly up to 2^53.
  case scFloat: case scInteger | scFloat: return ftFloat;
  case scText: return ftMemo;
  case scBlob: return ftBlob;
  // Text with numbers, bytes with anything, or no value at all to go by: each value keeps its class.
  default: return ftVariant;
  }
}
