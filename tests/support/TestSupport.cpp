#include "TestSupport.h"

#include "dataaccess/Session.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <deque>
#include <stdexcept>

#include <sqlite3.h>

TestFolder::TestFolder()
{
  if (!FDir.isValid())
    throw std::runtime_error("cannot create a temporary folder");
}

QString TestFolder::path(const QString& name) const
{
  return FDir.filePath(name);
}

QString TestFolder::createDatabase(const QString& fileName, const QString& sql)
{
  const QString file = path(fileName);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    throw std::runtime_error("cannot create test database");
  sqlite3_close(db);
  executeSql(file, sql);
  return file;
}

QString TestFolder::writeAliases(const QByteArray& content)
{
  const QString file = path(QStringLiteral("aliases.ini"));
  QFile f(file);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
    throw std::runtime_error("cannot write alias file");
  f.close();
  qputenv("KESTREL_ALIASES", file.toUtf8());
  return file;
}

QString TestFolder::useAliases(const QByteArray& content)
{
  const QString file = writeAliases(content);
  Session().SetActive(false);
  Session().SetActive(true);
  return file;
}

void executeSql(const QString& databaseFile, const QString& sql)
{
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(databaseFile.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open test database");
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK)
    throw std::runtime_error("SQL failed: " + message);
}

namespace {
std::deque<std::function<void(QWidget*)>> pendingAnswers;
bool answering = false;

void pollForModal()
{
  if (pendingAnswers.empty()) {
    answering = false;
    return;
  }
  static QElapsedTimer waited;
  if (!waited.isValid())
    waited.start();
  QWidget* modal = QApplication::activeModalWidget();
  // The busy box of a long wait is not a question: a test that means it reaches it by name.
  if (modal && modal->isVisible() && modal->objectName() != QLatin1String("fmBusy")) {
    auto action = std::move(pendingAnswers.front());
    pendingAnswers.pop_front();
    waited.restart();
    action(modal);  // an answer closes the modal window, so the next poll sees the next one
    QTimer::singleShot(10, pollForModal);
    return;
  }
  if (waited.elapsed() > 5000) {
    qWarning("no modal window appeared to answer");
    pendingAnswers.clear();
    answering = false;
    waited.invalidate();
    return;
  }
  QTimer::singleShot(10, pollForModal);
}
}  // namespace

void answerNextModal(std::function<void(QWidget*)> action)
{
  if (!action)
    action = [](QWidget* w) {
      if (auto* d = qobject_cast<QDialog*>(w))
        d->reject();
      else
        w->close();
    };
  pendingAnswers.push_back(std::move(action));
  if (!answering) {
    answering = true;
    QTimer::singleShot(10, pollForModal);
  }
}

bool allModalsAnswered()
{
  const bool done = pendingAnswers.empty();
  pendingAnswers.clear();
  return done;
}

QString modalText(QWidget* modal)
{
  if (auto* box = qobject_cast<QMessageBox*>(modal))
    return box->text();
  if (auto* edit = modal->findChild<QPlainTextEdit*>())
    return edit->toPlainText();
  return QString();
}
