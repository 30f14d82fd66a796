#pragma once

#include "dataaccess/FieldTypes.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/Value.h"

#include <QDateTime>
#include <optional>

// A date and time value read from what the database stored: ISO-8601 text ("2024-05-01",
// "2024-05-01 13:45:10.250", "13:45", with "T" and a zone suffix too), or a number that is a Julian
// day (0 to 5373484.5) or else Unix time, as SQLite's own date functions read them. The result is
// in UTC with milliseconds; nullopt when the value is none of these.
std::optional<QDateTime> parseStoredDateTime(const TValue& value);

// Renders by a format pattern: d dd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz, "/" the date
// separator, ":" the time separator, text in double or single quotes as it stands. An "m" right
// after an hour means minutes.
QString formatDateTime(const QString& pattern, const QDateTime& value, const TFormatSettings& settings);

// A number in the general form with up to 15 significant digits and the regional decimal separator.
QString formatFloat(double value, const TFormatSettings& settings);

// A stored value as text for a field of the given type. A value the type cannot read is shown as stored.
QString valueText(const TValue& value, TFieldType type, const TFormatSettings& settings);
