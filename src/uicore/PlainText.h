#pragma once

#include <QString>
#include <QTextDocument>

// A tooltip shows text that looks like markup as markup. Names from a database or a file go in
// through here, so that "<b>x</b>" shows as written.
inline QString plainToolTip(const QString& text)
{
  if (!Qt::mightBeRichText(text))
    return text;
  return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}
