#pragma once

#include "browser/TreeView.h"
#include "dataaccess/FieldTypes.h"

// The data objects of the schema tree's nodes; each is owned by its node.
class DBObject : public TObject {
public:
  QString Name;  // the alias name
};

class TBObject : public TObject {
public:
  QString Name;  // the table name as the engine listed it
};

class FDObject : public TObject {
public:
  int FieldNo = 0;
  QString Name;
  TFieldType DataType = ftUnknown;
  int Precision = 0;
  int Size = 0;
  bool Required = false;
  bool PrimaryKey = false;
};
