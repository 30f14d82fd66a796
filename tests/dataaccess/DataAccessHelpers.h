#pragma once

// What the data access tests share: databases, tables and queries opened by name, and the engine
// error an action raises.
#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/Query.h"
#include "dataaccess/Table.h"

// The messages of the engine error the action raises, one a line; "no error" when it raises none.
template <class F> QString errorOf(F action)
{
  try {
    action();
  } catch (const EDBEngineError& e) {
    return e.Message();
  }
  return QStringLiteral("no error");
}

// A value as "i:", "f:" (to 17 digits), "t:" or "b:" (in hex) and its content, or "null".
inline QString show(const TValue& v)
{
  switch (v.kind()) {
  case TValue::Integer: return QStringLiteral("i:%1").arg(v.asInteger());
  case TValue::Float: return QStringLiteral("f:%1").arg(v.asFloat(), 0, 'g', 17);
  case TValue::Text: return QStringLiteral("t:") + QString::fromUtf8(v.rawBytes());
  case TValue::Bytes: return QStringLiteral("b:") + QString::fromLatin1(v.rawBytes().toHex());
  default: return QStringLiteral("null");
  }
}

// The database named name on the alias, with the given "NAME=value" parameters, opened unless asked not to.
inline std::unique_ptr<TDatabase> openDatabase(const QString& name, const QString& alias, const QStringList& params = {},
                                               bool open = true)
{
  auto db = std::make_unique<TDatabase>();
  db->SetDatabaseName(name);
  db->SetAliasName(alias);
  db->Params = params;
  if (open)
    db->Open();
  return db;
}

inline std::unique_ptr<TTable> openTable(const QString& database, const QString& table)
{
  auto t = std::make_unique<TTable>();
  t->SetDatabaseName(database);
  t->SetTableName(table);
  t->Open();
  return t;
}

inline std::unique_ptr<TQuery> openQuery(const QString& database, const QString& sql)
{
  auto q = std::make_unique<TQuery>();
  q->SetDatabaseName(database);
  q->SQL << sql;
  q->Open();
  return q;
}
