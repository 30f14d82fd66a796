#pragma once

#include <QByteArray>
#include <QString>

class TField;

// The texts of the datapacket that must stay readable XML whatever the data holds.
namespace XMLText {

// An attribute value: '"', '<' and '&' as entities, and CR, LF and TAB as character references
// (a parser would turn them into blanks). Anything else is written as it is.
template <class Out>
void appendAttributeValue(Out& out, const QByteArray& value);

// The text of a character-data section: as it is, except that "]]>" is split across two
// sections and a CR stands outside as a character reference (a parser turns CR LF into LF).
template <class Out>
void appendCharacterData(Out& out, const QByteArray& text);

// The value text of a number, boolean or date-time field under the writer's format settings;
// decimals are written exactly, without exponent or trailing zeros.
QString valueText(const TField& field);
// The same in UTF-8, without a detour through text for plain integers.
QByteArray valueBytes(const TField& field);

// An exact decimal in plain form: "-12.5" for "-12.50", "3" for "3.000"; nullptr-safe for text
// that is no decimal (returned as it is).
QString plainDecimal(const QString& decimal);

}  // namespace XMLText

#include "xmldataset/XMLText_impl.h"

