#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

// A stored value exactly as the database handed it over: nothing is converted on the way in, so a
// value the declared type cannot parse is kept as stored and never rewritten by looking at it.
class TValue {
public:
  enum Kind : unsigned char { Null, Integer, Float, Text, Bytes };

  TValue() = default;
  static TValue integer(int64_t v) { TValue r; r.FKind = Integer; r.FInt = v; return r; }
  static TValue real(double v) { TValue r; r.FKind = Float; r.FFloat = v; return r; }
  static TValue text(QByteArray utf8) { TValue r; r.FKind = Text; r.FBytes = std::move(utf8); return r; }
  static TValue text(const QString& s) { return text(s.toUtf8()); }
  static TValue bytes(QByteArray b) { TValue r; r.FKind = Bytes; r.FBytes = std::move(b); return r; }

  Kind kind() const { return FKind; }
  bool isNull() const { return FKind == Null; }
  int64_t asInteger() const { return FInt; }
  double asFloat() const { return FFloat; }
  // Text (UTF-8) or binary content; empty for numbers and null.
  const QByteArray& rawBytes() const { return FBytes; }

  bool operator==(const TValue& other) const;

  // Setting a value in place keeps this value's byte buffer when no one else shares it, so that
  // rows read again and again into the same storage do not allocate per cell.
  void setNull() { FKind = Null; dropBytes(); }
  void setInteger(int64_t v) { FKind = Integer; FInt = v; dropBytes(); }
  void setFloat(double v) { FKind = Float; FFloat = v; dropBytes(); }
  void setBytes(Kind kind, const char* data, qsizetype n)
  {
    FKind = kind;
    if (FBytes.isDetached() && FBytes.capacity() >= n) {
      FBytes.resize(n);
      if (n > 0)
        std::memcpy(FBytes.data(), data, size_t(n));
    } else {
      FBytes = QByteArray(data, n);
    }
  }

  // Takes other's value into this value's own storage, as setBytes does, instead of sharing
  // other's buffer: copying a row this way costs no reference counting and leaves nothing shared.
  void assign(const TValue& other)
  {
    switch (other.FKind) {
    case Null: setNull(); break;
    case Integer: setInteger(other.FInt); break;
    case Float: setFloat(other.FFloat); break;
    default: setBytes(other.FKind, other.FBytes.constData(), other.FBytes.size());
    }
  }

private:
  // Most values are numbers read into storage that held numbers: nothing to empty then.
  void dropBytes()
  {
    if (!FBytes.isEmpty())
      FBytes.resize(0);
  }

  Kind FKind = Null;
  int64_t FInt = 0;
  double FFloat = 0;
  QByteArray FBytes;
};

using TRow = std::vector<TValue>;

// target becomes a copy of source, in target's own storage (see TValue::assign).
inline void assignRow(TRow& target, const TRow& source)
{
  target.resize(source.size());
  for (size_t i = 0; i < source.size(); ++i)
    target[i].assign(source[i]);
}
