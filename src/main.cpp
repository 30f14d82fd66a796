#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "uicore/ExceptionGuard.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));

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
