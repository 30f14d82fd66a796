#pragma once

#include <QByteArray>
#include <cstdint>

// Base64 as MIME writes it: the standard alphabet, "=" padding, CR LF after every 76 output
// characters (57 input bytes) and never after the last line.

// Output characters for n input bytes, n >= 1 (0 for n <= 0).
int64_t Base64EncodedLength(int64_t n);
// Encodes n bytes into output, which holds exactly Base64EncodedLength(n) characters.
void Base64EncodeBuffer(const char* input, int64_t n, char* output);
// The encoding of text, allocated once at its final length.
QByteArray Base64EncodeString(const QByteArray& text);
