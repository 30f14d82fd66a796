#pragma once

#include <QString>

class QLocale;

// Process-wide regional settings through which values render to text. They start from the user's
// locale. A writer that needs other settings (the datapacket's decimal point and ISO dates) takes a
// copy of its own and leaves these alone, so that a window repainting meanwhile shows the user's.
struct TFormatSettings {
  QChar DecimalSeparator = QLatin1Char('.');
  QChar DateSeparator = QLatin1Char('/');
  QChar TimeSeparator = QLatin1Char(':');
  QString ShortDateFormat = QStringLiteral("yyyy-mm-dd");  // day/month/year tokens: d dd m mm yy yyyy
  QString LongTimeFormat = QStringLiteral("hh:nn:ss");     // h hh n nn s ss z zzz

  static TFormatSettings fromSystemLocale();
  static TFormatSettings fromLocale(const QLocale& locale);
};

TFormatSettings& FormatSettings();

// Converts a Qt date or time pattern ("dd.MM.yyyy", "HH:mm:ss") to the tokens above.
QString formatPatternFromQt(const QString& qtPattern, bool isTime);
