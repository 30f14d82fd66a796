#pragma once

#include "dataaccess/FieldTypes.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

// The datapacket's name of a field type ("string", "bcd", ...); "unknown" outside the table.
QString XMLFieldTypeName(int dataType);

// An element marker of the datapacket and its length in characters.
struct TBoundsInfo {
  const char* Text;
  int Length;
};
struct TElementBounds {
  TBoundsInfo Start;
  TBoundsInfo End;
};

namespace XMLBounds {
extern const TElementBounds Criteria, Changes, Change, CData, DataPacket, EmptyElement, FieldDefs, Field, FieldDef,
    Index, IndexDefs, IndexDef, MetaData, RecordData, Row, Element;
// All sixteen, in the order above.
extern const std::array<const TElementBounds*, 16> All;
}  // namespace XMLBounds

// For each 8-bit code its lower-case form (codes without one map to themselves). Text here is
// UTF-8, so only the ASCII letters have a single-byte lower case; other bytes are parts of
// characters and stay as they are.
extern const std::array<unsigned char, 256> LowerCaseTable;

// Read-only access to a whole file through a memory mapping, as the ground for searching a
// datapacket for the bounds of its elements.
class TSeekInXMLFile : public QObject {
  Q_OBJECT
public:
  explicit TSeekInXMLFile(QObject* owner = nullptr);
  ~TSeekInXMLFile() override;

  bool CaseSensitive = false;
  QString FileName() const { return FFileName; }
  // Closes the current file, then opens and maps the named one; raises on failure.
  void SetFileName(const QString& fileName);
  void Close();

  const char* View() const { return FView; }
  uint32_t Size() const { return FSize; }

  // Finds text from a byte offset on, honouring CaseSensitive; -1 when absent.
  int64_t Find(const QByteArray& text, int64_t from = 0) const;
  // The next element between a pair of bounds from an offset: [start, end) including its markers.
  bool FindElement(const TElementBounds& bounds, int64_t from, int64_t* start, int64_t* end) const;

private:
  QString FFileName;
  const char* FView = nullptr;
  uint32_t FSize = 0;
  size_t FMappedLength = 0;
};
