#include "xmldataset/XMLText.h"

#include <cstdint>
#include <cstring>

namespace XMLText {

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

qsizetype firstForbiddenCharacter(const char* text, qsizetype n)
{
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  qsizetype i = 0;
  while (i < n) {
    // Eight printable ASCII characters at a time: no byte below 0x20, none from 0x80 on. A borrow
    // may flag a clean word too; then its bytes are looked at one by one.
    constexpr uint64_t belowSpace = 0x2020202020202020ULL, topBits = 0x8080808080808080ULL;
    if (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if ((((word - belowSpace) | word) & topBits) == 0) {
        i += 8;
        continue;
      }
    }
    const unsigned char c = s[i];
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
        return i;
      ++i;
      continue;
    }
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0)
        low = 0xA0;
      else if (c == 0xED)
        high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0)
        low = 0x90;
      else if (c == 0xF4)
        high = 0x8F;
    } else {
      return i;
    }
    if (i + length > n || s[i + 1] < low || s[i + 1] > high)
      return i;
    for (int k = 2; k < length; ++k)
      if (!continuation(s[i + k]))
        return i;
    // U+FFFE and U+FFFF are not characters.
    if (length == 3 && c == 0xEF && s[i + 1] == 0xBF && (s[i + 2] == 0xBE || s[i + 2] == 0xBF))
      return i;
    i += length;
  }
  return -1;
}

}  // namespace XMLText
