#include "TestSupport.h"

#include "dataaccess/Session.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <deque>
#include <stdexcept>

#include <sqlite3.h>

namespace {

void runSql(const QString& file, const QString& sql, int openFlags)
{
  sqlite3* db = nullptr;
  char* error = nullptr;
  int rc = sqlite3_open_v2(file.toUtf8().constData(), &db, openFlags, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
  const std::string message = error ? error : sqlite3_errmsg(db);
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK)
    throw std::runtime_error(file.toStdString() + ": " + message);
}

std::deque<std::function<void(QWidget*)>> pendingAnswers;
bool answering = false;

void pollForModal()
{
  static QElapsedTimer waited;  // since the last answer, or since answers were first asked for
  if (!waited.isValid())
    waited.start();
  QWidget* modal = QApplication::activeModalWidget();
  // The busy box of a long wait is not a question: a test that means it reaches it by name.
  if (!pendingAnswers.empty() && modal && modal->isVisible() && modal->objectName() != QLatin1String("fmBusy")) {
    auto action = std::move(pendingAnswers.front());
    pendingAnswers.pop_front();
    waited.restart();
    action(modal);  // an answer closes the modal window, so the next poll sees the next one
  } else if (!pendingAnswers.empty() && waited.elapsed() > 5000) {
    qWarning("no modal window appeared to answer");
    pendingAnswers.clear();
  }
  answering = !pendingAnswers.empty();
  if (answering)
    QTimer::singleShot(10, pollForModal);
  else
    waited.invalidate();
}

}  // namespace

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
  runSql(file, sql, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
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
  runSql(databaseFile, sql, SQLITE_OPEN_READWRITE);
}

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
