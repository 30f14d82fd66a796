#pragma once

#include "dataaccess/FormatSettings.h"
#include "dataaccess/Value.h"

#include <QDateTime>
#include <optional>

// Dates and times between what the database stores and what people read.
//
// Years are written as ISO 8601 writes them and SQLite's date functions read them: astronomical
// numbering (the year before 1 is 0, then -1), at least four digits, a minus sign before negative
// years ("-4713", "0000", "10000"). Qt counts years without a year 0; the conversion lives here and
// nowhere else.

// A date and time value read from what the database stored: ISO-8601 text ("2024-05-01",
// "2024-05-01 13:45:10.250", "13:45", "-4713-11-24 12:00:00", with "T" and a zone suffix too), or a
// number that is a Julian day (0 to 5373484.5) or else Unix time, as SQLite's own date functions
// read them. The result is in UTC with milliseconds; nullopt when the value is none of these.
std::optional<QDateTime> parseStoredDateTime(const TValue& value);

// The day a time stored alone stands on when read as a date and time (SQLite's default day).
QDate storedTimeDay();

// Renders by a format pattern: d dd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz, "/" the date
// separator, ":" the time separator, text in double or single quotes as it stands. An "m" right
// after an hour means minutes. With fullYear, "yy" gives the whole year as "yyyy" does; a year
// outside 0000-9999 is always written whole, with its sign.
QString formatDateTime(const QString& pattern, const QDateTime& value, const TFormatSettings& settings,
                       bool fullYear = false);

// The stored forms Kestrel writes: "2024-02-29", "13:45:10" or "13:45:10.250", and the two joined by
// a blank. Milliseconds only when there are some.
QString isoDateText(const QDate& date);
QString isoTimeText(const QTime& time);

// The year as written (astronomical) and back to Qt's count.
int astronomicalYear(const QDate& date);
int qtYear(int astronomical);
