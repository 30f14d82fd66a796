#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "uicore/ExceptionGuard.h"

#include <QApplication>
#include <QCommandLineParser>
#include <optional>

int main(int argc, char* argv[])
{
  // --help, --version and a wrong option are answered without a display: a terminal has none.
  std::optional<QCoreApplication> console;
  std::optional<QApplication> gui;
  const QStringList consoleOnly{QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--help-all"),
                                QStringLiteral("--version"), QStringLiteral("-v")};
  bool wantsConsole = false;
  for (int i = 1; i < argc; ++i)
    wantsConsole = wantsConsole || consoleOnly.contains(QString::fromLocal8Bit(argv[i]));
  if (wantsConsole)
    console.emplace(argc, argv);
  else
    gui.emplace(argc, argv);
  QCoreApplication& app = wantsConsole ? *console : *gui;
  QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Kestrel: look into SQLite and PostgreSQL databases."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A SQLite database file to open and connect to."),
                               QStringLiteral("[file]"));
  const QCommandLineOption alias(QStringLiteral("alias"), QStringLiteral("Connect to the alias at start."),
                                 QStringLiteral("name"));
  parser.addOption(alias);
  parser.process(app);  // --help and --version print and exit here; an unknown option says so and exits

  CreateApplicationWindows();
  fmMain->show();
  // A failure to open or connect is shown as any other, and the program goes on.
  Guarded([&] {
    if (!parser.positionalArguments().isEmpty())
      fmMain->OpenDatabaseFile(parser.positionalArguments().constFirst());
    else if (parser.isSet(alias))
      fmMain->ConnectToAliasNamed(parser.value(alias));
  });
  const int rc = app.exec();
  DestroyApplicationWindows();
  return rc;
}
