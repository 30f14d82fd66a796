#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

class QWidget;

// A temporary folder with SQLite databases built from SQL text and an alias file naming them.
class TestFolder {
public:
  TestFolder();
  QString path(const QString& name) const;
  // Creates a SQLite database file from the statements; returns its path.
  QString createDatabase(const QString& fileName, const QString& sql);
  // Writes the alias file and points the engine at it (KESTREL_ALIASES); the session re-reads it
  // when it is next restarted.
  QString writeAliases(const QByteArray& content);
  // Writes the alias file and restarts the engine's session so that it is read now.
  QString useAliases(const QByteArray& content);

private:
  QTemporaryDir FDir;
};

// Runs the SQL on a database file (raises std::runtime_error on failure).
void executeSql(const QString& databaseFile, const QString& sql);

// Answers the next modal window that opens (waits for it for up to five seconds). The action gets the
// modal widget; the default closes it by rejecting. Returns at once; answers arrive while the code
// under test runs its own modal loop.
void answerNextModal(std::function<void(QWidget*)> action);
// True once every scheduled answer was given; fails the running test otherwise.
bool allModalsAnswered();
// The text of the message box or error dialog passed to an answer.
QString modalText(QWidget* modal);
