#pragma once

// How a stored value becomes text and how typed text becomes a value: the one place for both.
//
// A value is rendered by its field's type where its storage class fits that type, and by its own
// class where it does not (SQLite keeps any value in any column): an integer is its decimal digits,
// a float its general form, a text its characters, byte for byte where the output is bytes. Nothing
// is dropped for not fitting; only values stored as binary data have no text of their own.
//
// Three uses, which differ only where stated:
// - Display (the grids, TField::AsString): the format settings' number, date and time forms; floats
//   at 15 significant digits; a time with milliseconds shows them.
// - Edit (what an editor offers to change): as Display, but exact, so that reading the text back
//   gives the value again: every digit of a float, four-digit years, milliseconds.
// - File (CSV cells, datapacket values): as Display, exact decimals in plain form ("12.5"), stored
//   text byte for byte. The common cases are written without any temporary text; fileText with
//   allowFast false takes the general way, and both must give the same bytes.
//
// Costs: Display and Edit build a QString; fileText of integers, floats, ISO dates and stored text
// allocates nothing.

#include "dataaccess/DateTimeText.h"
#include "dataaccess/FieldTypes.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/NumberText.h"
#include "dataaccess/Value.h"

#include <QByteArray>
#include <QString>
#include <optional>

enum class TTextUse { Display, Edit, File };

// A stored value as text for a field of the given type.
QString valueText(const TValue& value, TFieldType type, const TFormatSettings& settings,
                  TTextUse use = TTextUse::Display);

// What a grid cell shows: large objects show what they are rather than all of themselves (text
// its first line, binary data its size), everything else as valueText.
QString summaryText(const TValue& value, TFieldType type, const TFormatSettings& settings);

// A value's text in UTF-8 as a file writes it: borrowed from the stored value where that is already
// the text (valid while the value is), else held here. Copying is not allowed: it may point into itself.
class TValueBytes {
public:
  TValueBytes() = default;
  TValueBytes(const TValueBytes&) = delete;
  TValueBytes& operator=(const TValueBytes&) = delete;

  const char* data() const { return FData; }
  qsizetype size() const { return FSize; }
  bool isEmpty() const { return FSize == 0; }
  QByteArray toByteArray() const { return QByteArray(FData, FSize); }

  void clear() { set("", 0); }
  void set(const char* data, qsizetype n) { FData = data; FSize = n; }
  void borrow(const QByteArray& bytes) { set(bytes.constData(), bytes.size()); }
  char* inlineBuffer() { return FInline; }  // room for inlineCapacity bytes
  void useInline(qsizetype n) { set(FInline, n); }
  void own(QByteArray bytes) { FOwned = std::move(bytes); borrow(FOwned); }

  static constexpr qsizetype inlineCapacity = 64;

private:
  const char* FData = "";
  qsizetype FSize = 0;
  char FInline[inlineCapacity];
  QByteArray FOwned;
};

// The file text of a value. Returns false, with empty text, for a value stored as binary data:
// such a value has no text (a CSV cell stays empty; the datapacket encodes the bytes instead).
bool fileText(TValueBytes& out, const TValue& value, TFieldType type, const TFormatSettings& settings,
              bool allowFast = true);

// Reads what a user typed into the value a field of the type stores: numbers with the regional
// decimal separator (floats also with an exponent, INF, -INF, NAN), Booleans as True/False, dates by
// the short date format or ISO (a two-digit year is the one nearest the current year), times and
// timestamps likewise; dates and times are stored as ISO-8601 text. Empty text is null except for
// text fields, where it is the empty string. nullopt when the text does not read.
std::optional<TValue> parseFieldText(const QString& text, TFieldType type, const TFormatSettings& settings);

// "integer", "date", ... for messages about text that does not read.
QString fieldValueKind(TFieldType type);
