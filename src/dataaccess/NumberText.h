#pragma once

#include "dataaccess/FormatSettings.h"

#include <QString>

// Numbers as text. Infinity and not-a-number are "INF", "-INF" and "NAN" on every path.

// The general form with up to 15 significant digits and the regional decimal separator: fixed
// notation while there are at most 15 digits before the point and the magnitude is at least 0.0001,
// else "1.5E20" / "5E-5" (no plus sign, no leading zeros in the exponent).
QString formatFloat(double value, const TFormatSettings& settings);
// The same form with as many digits as it takes to read back as the very same double.
QString formatFloatExact(double value, const TFormatSettings& settings);
// Writes formatFloat's text into buffer (at least 32 bytes) when it needs no exponent and the
// separator is ASCII; returns its length, or -1 when the general form must be taken.
int formatFloatPlain(double value, char separator, char* buffer);

// A plain decimal number with a point: "-12", "0.5", "+3.25".
bool isDecimalText(const QString& text);
bool isDecimalText(const QByteArray& text);
// An exact decimal in plain form: "-12.5" for "-12.50", "3" for "3.000", "0.00005" for "5E-5";
// text that is no decimal is returned as it is.
QString plainDecimal(const QString& decimal);
// The same for decimal text (see isDecimalText) given as bytes, written to out (room for the text's
// length) with the point as separator; returns the length written.
qsizetype plainDecimalInto(const QByteArray& decimal, char separator, char* out);

// Reads a floating-point number as a person types it or formatFloat writes it: the regional
// separator, an exponent, INF / -INF / NAN. False when the text is no such number or out of range.
bool parseFloatText(const QString& text, QChar separator, double* value);
