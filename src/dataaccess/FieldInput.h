#pragma once

#include "dataaccess/FieldTypes.h"
#include "dataaccess/FormatSettings.h"
#include "dataaccess/Value.h"

#include <optional>

// Reads what a user typed into the value a field of the type stores: numbers with the regional
// decimal separator, dates by the short date format (or ISO), times and timestamps likewise;
// dates and times are stored as ISO-8601 text. Empty text is null except for text fields, where
// it is the empty string. nullopt when the text does not read.
std::optional<TValue> parseFieldText(const QString& text, TFieldType type, const TFormatSettings& settings);

// "integer", "date", ... for messages about text that does not read.
QString fieldValueKind(TFieldType type);
