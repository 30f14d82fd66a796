#pragma once

#include <QByteArray>
#include <QString>

// The texts of the datapacket that must stay readable XML whatever the data holds.
namespace XMLText {

// An attribute value: '"', '<' and '&' as entities, and CR, LF and TAB as character references
// (a parser would turn them into blanks). Anything else is written as it is.
template <class Out>
void appendAttributeValue(Out& out, const char* value, qsizetype n);
template <class Out>
void appendAttributeValue(Out& out, const QByteArray& value) { appendAttributeValue(out, value.constData(), value.size()); }

// The text of a character-data section: as it is, except that "]]>" is split across two
// sections and a CR stands outside as a character reference (a parser turns CR LF into LF).
template <class Out>
void appendCharacterData(Out& out, const QByteArray& text);

// The offset of the first byte that XML 1.0 cannot carry, or -1 when every character is allowed:
// the text must be UTF-8 (no overlong forms, no encoded surrogates) of characters XML admits, that
// is TAB, LF, CR and everything from U+0020 on but U+FFFE and U+FFFF.
qsizetype firstForbiddenCharacter(const char* text, qsizetype n);
inline bool carriesAsText(const QByteArray& text) { return firstForbiddenCharacter(text.constData(), text.size()) < 0; }

}  // namespace XMLText

#include "xmldataset/XMLText_impl.h"
