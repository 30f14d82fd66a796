#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QPlainTextEdit;

// Colours SQL as it is typed: keywords, string literals, quoted identifiers, comments (a block
// comment may span lines) and numbers. The colours are chosen against the editor's base colour, so
// that a dark palette stays readable, and follow the palette when it changes.
class TSqlHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
public:
  enum class Kind { Keyword, String, Identifier, Comment, Number };

  explicit TSqlHighlighter(QPlainTextEdit* editor);
  QTextCharFormat Format(Kind kind) const;

protected:
  void highlightBlock(const QString& text) override;

private:
  void chooseColours();

  QPlainTextEdit* FEditor;
  QTextCharFormat FKeyword, FString, FIdentifier, FComment, FNumber;
};
