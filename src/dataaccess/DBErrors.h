#pragma once

#include <QString>
#include <stdexcept>
#include <vector>

// Every failure of the program is an exception that carries a message (UTF-8 in what()).
class EDatabaseError : public std::runtime_error {
public:
  explicit EDatabaseError(const QString& message);
  QString Message() const { return QString::fromUtf8(what()); }
};

// One level of the engine's error stack.
struct TDBError {
  QString Message;
  int ErrorCode = 0;    // the engine's own category
  int NativeError = 0;  // the database's own code, 0 when none
};

// An error raised by the engine: a list of entries, outermost first. what() joins their messages.
class EDBEngineError : public EDatabaseError {
public:
  explicit EDBEngineError(std::vector<TDBError> errors);
  // The usual shape: one entry in the engine's words, one with the database's message.
  EDBEngineError(const QString& engineMessage, const QString& databaseMessage, int nativeError = 0);
  explicit EDBEngineError(const QString& engineMessage);

  int ErrorCount() const { return int(FErrors.size()); }
  const TDBError& Errors(int index) const { return FErrors.at(size_t(index)); }

  // Where in the statement text the database found the fault, as a 0-based offset; -1 when it did
  // not say. A driver hands it on in UTF-16 units of the text it was asked to run, so that an
  // editor can put its caret there.
  int Position() const { return FPosition; }
  void SetPosition(int position) { FPosition = position; }

private:
  std::vector<TDBError> FErrors;
  int FPosition = -1;
};

// A statement that was carried out but returned no rows.
class ENoResultSet : public EDatabaseError {
public:
  using EDatabaseError::EDatabaseError;
};

// Engine error categories for TDBError::ErrorCode.
namespace DBErrorCode {
constexpr int Configuration = 1;
constexpr int Connection = 2;
constexpr int Statement = 3;
constexpr int Table = 4;
constexpr int Database = 5;  // the database's own message
}
