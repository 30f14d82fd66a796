#pragma once

// The escaping templates of XMLText, for any output with append(char) and append(const char*, n).

#include <algorithm>

namespace XMLText {

template <class Out>
void appendAttributeValue(Out& out, const char* value, qsizetype n)
{
  const auto special = [](char c) { return c == '"' || c == '<' || c == '&' || c == '\r' || c == '\n' || c == '\t'; };
  if (std::none_of(value, value + n, special)) {
    out.append(value, n);
    return;
  }
  for (qsizetype i = 0; i < n; ++i) {
    const char c = value[i];
    switch (c) {
    case '"': out.append("&quot;", 6); break;
    case '<': out.append("&lt;", 4); break;
    case '&': out.append("&amp;", 5); break;
    case '\r': out.append("&#13;", 5); break;
    case '\n': out.append("&#10;", 5); break;
    case '\t': out.append("&#9;", 4); break;
    default: out.append(c);
    }
  }
}

template <class Out>
void appendCharacterData(Out& out, const QByteArray& text)
{
  const qsizetype n = text.size();
  qsizetype plainFrom = 0;
  auto plain = [&](qsizetype upTo) {
    if (upTo > plainFrom)
      out.append(text.constData() + plainFrom, upTo - plainFrom);
  };
  for (qsizetype i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == ']' && i + 2 < n && text[i + 1] == ']' && text[i + 2] == '>') {
      plain(i);
      out.append("]]]]><![CDATA[>", 15);
      i += 2;
      plainFrom = i + 1;
    } else if (c == '\r') {
      plain(i);
      out.append("]]>&#13;<![CDATA[", 17);
      plainFrom = i + 1;
    }
  }
  plain(n);
}

}  // namespace XMLText
