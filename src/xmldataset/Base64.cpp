#include "xmldataset/Base64.h"

#include <cstring>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int lineBytes = 57;

// Two output characters for every 12-bit value: a group of three bytes takes two lookups.
struct PairTable {
  char pairs[4096][2];
  PairTable()
  {
    for (int v = 0; v < 4096; ++v) {
      pairs[v][0] = alphabet[v >> 6];
      pairs[v][1] = alphabet[v & 63];
    }
  }
};
const PairTable table;

inline char* encodeGroup(const unsigned char* in, char* out)
{
  const uint32_t v = (uint32_t(in[0]) << 16) | (uint32_t(in[1]) << 8) | in[2];
  std::memcpy(out, table.pairs[v >> 12], 2);
  std::memcpy(out + 2, table.pairs[v & 4095], 2);
  return out + 4;
}

}  // namespace

int64_t Base64EncodedLength(int64_t n)
{
  if (n <= 0)
    return 0;
  return (n + 2) / 3 * 4 + (n - 1) / lineBytes * 2;
}

void Base64EncodeBuffer(const char* input, int64_t n, char* output)
{
  const auto* in = reinterpret_cast<const unsigned char*>(input);
  char* out = output;
  const int64_t fullLines = n / lineBytes;
  const int64_t rest = n % lineBytes;
  for (int64_t line = 0; line < fullLines; ++line) {
    for (int g = 0; g < lineBytes / 3; ++g, in += 3)
      out = encodeGroup(in, out);
    if (line + 1 < fullLines || rest > 0) {
      *out++ = '\r';
      *out++ = '\n';
    }
  }
  int64_t left = rest;
  for (; left >= 3; left -= 3, in += 3)
    out = encodeGroup(in, out);
  if (left == 2) {
    const uint32_t v = ((uint32_t(in[0]) << 8) | in[1]) << 2;
    *out++ = alphabet[(v >> 12) & 63];
    *out++ = alphabet[(v >> 6) & 63];
    *out++ = alphabet[v & 63];
    *out++ = '=';
  } else if (left == 1) {
    const uint32_t v = uint32_t(in[0]) << 4;
    *out++ = alphabet[(v >> 6) & 63];
    *out++ = alphabet[v & 63];
    *out++ = '=';
    *out++ = '=';
  }
}

QByteArray Base64EncodeString(const QByteArray& text)
{
  QByteArray result(Base64EncodedLength(text.size()), Qt::Uninitialized);
  Base64EncodeBuffer(text.constData(), text.size(), result.data());
  return result;
}
