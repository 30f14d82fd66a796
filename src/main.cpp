#include "app/ApplicationWindows.h"
#include "app/MainWindow.h"
#include "uicore/ExceptionGuard.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTextStream>
#include "dataaccess/Session.h"
#include <optional>

namespace {

// "# <alias file>" then a line "<name><TAB><driver>" per alias; 1 when the file cannot be read.
int printAliases()
{
  QTextStream out(stdout);
  try {
    QStringList names;
    Session().GetAliasNames(names);
    out << "# " << QDir::toNativeSeparators(Session().AliasFileName()) << '\n';
    for (const QString& name : names)
      out << name << '\t' << Session().FindAlias(name).value(QStringLiteral("Driver")).value_or(QString()) << '\n';
    out.flush();
    Session().RaiseAliasFileProblems();
    return 0;
  } catch (const std::exception& e) {
    QTextStream(stderr) << QString::fromUtf8(e.what()) << '\n';
    return 1;
  }
}

}  // namespace

int main(int argc, char* argv[])
{
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Kestrel: look into SQLite and PostgreSQL databases."));
  parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A SQLite database file to open and connect to."),
                               QStringLiteral("[file]"));
  const QCommandLineOption alias(QStringLiteral("alias"), QStringLiteral("Connect to the alias at start."),
                                 QStringLiteral("name"));
  parser.addOption(alias);
  const QCommandLineOption listAliases(QStringLiteral("list-aliases"),
                                       QStringLiteral("Print the alias file in use and its aliases, then end."));
  parser.addOption(listAliases);

  // What only prints (help, the version, the aliases, a wrong option) needs no display: a terminal
  // may have none.
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  const bool printsOnly = !parser.parse(arguments) || parser.isSet(QStringLiteral("help")) ||
                          parser.isSet(QStringLiteral("help-all")) || parser.isSet(version) || parser.isSet(listAliases);
  std::optional<QCoreApplication> console;
  std::optional<QApplication> gui;
  if (printsOnly)
    console.emplace(argc, argv);
  else
    gui.emplace(argc, argv);
  QCoreApplication& app = printsOnly ? *console : *gui;
  QCoreApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
  parser.process(app);  // --help and --version print and exit here; an unknown option says so and exits
  if (parser.isSet(listAliases))
    return printAliases();

  // The icon and the desktop entry the installation put in place.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kestrel.Kestrel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("kestrel")));
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
