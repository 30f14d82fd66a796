// Opening a database file without editing any alias file: from the File menu, from the command
// line, and connecting to an alias named on the command line.
#include "AppFixture.h"

#include "dataaccess/DBErrors.h"

#include <QDir>
#include <QFileDialog>
#include <QProcess>

using namespace app_fixture;

class TestOpenFile : public QObject {
  Q_OBJECT
  std::unique_ptr<TestFolder> folder;

  QString makeDatabase(const QString& relativePath)
  {
    QDir().mkpath(QFileInfo(folder->path(relativePath)).path());
    return folder->createDatabase(relativePath, QStringLiteral("CREATE TABLE parts(id INTEGER PRIMARY KEY, name TEXT);"
                                                               "INSERT INTO parts VALUES (1, 'gear');"));
  }

private slots:
  void init()
  {
    folder = std::make_unique<TestFolder>();
    makeDatabase(QStringLiteral("listed.db"));
    startProgram(*folder, "[Listed]\nDriver=SQLite\nDatabase=listed.db\n");
  }
  void cleanup()
  {
    stopProgram();
    folder.reset();
    QVERIFY(allModalsAnswered());
  }

  // The file becomes an alias named after it, connected at once without a login; the same file
  // opened again is the same alias, another file of the same name gets a name of its own.
  void aFileBecomesAnAliasOfThisRun()
  {
    const QString file = makeDatabase(QStringLiteral("shop.db"));
    fmMain->OpenDatabaseFile(file);
    QVERIFY(fmMain->Database.Connected());
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("shop"));
    QCOMPARE(childTexts(child(root(), QStringLiteral("shop"))), QStringList{QStringLiteral("parts")});
    fmMain->OpenDatabaseFile(file);
    const QString other = makeDatabase(QStringLiteral("elsewhere/shop.db"));
    fmMain->OpenDatabaseFile(other);
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("shop (2)"));
    QCOMPARE(childTexts(root()), (QStringList{"Listed", "shop", "shop (2)"}));
    // The configured aliases still connect as before, through the login.
    loginWith(QStringLiteral("u"), QString());
    fmMain->ConnectToAliasNamed(QStringLiteral("listed"));
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("Listed"));
  }

  // A name that is not there is refused rather than made into a new, empty database.
  void aMissingFileIsNotCreated_data()
  {
    QTest::addColumn<QString>("name");
    QTest::newRow("no such file") << "missing.db";
    QTest::newRow("a folder") << ".";
  }
  void aMissingFileIsNotCreated()
  {
    QFETCH(QString, name);
    const QString path = folder->path(name);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, fmMain->OpenDatabaseFile(path));
    QVERIFY(!fmMain->Database.Connected());
    QCOMPARE(QFileInfo(path).exists(), name == QLatin1String("."));
    QCOMPARE(childTexts(root()), QStringList{QStringLiteral("Listed")});
  }

  void fromTheFileMenu()
  {
    const QString file = makeDatabase(QStringLiteral("menu.db"));
    answerNextModal([file](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog);
      dialog->selectFile(file);
      static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
    fmMain->OpenDatabase1->trigger();
    QVERIFY(allModalsAnswered());
    QCOMPARE(fmMain->Database.AliasName(), QStringLiteral("menu"));
  }

  void anUnknownAliasIsRefused()
  {
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, fmMain->ConnectToAliasNamed(QStringLiteral("Nowhere")));
    QVERIFY(!fmMain->Database.Connected());
  }

  // --help and --version print and end the program, with no display needed; the version is the project's.
  void commandLineOptions_data()
  {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expected");
    QTest::newRow("--version") << "--version" << "kestrel " KESTREL_PROJECT_VERSION;
    QTest::newRow("--help") << "--help" << "--alias <name>";
  }
  void commandLineOptions()
  {
    QFETCH(QString, option);
    QFETCH(QString, expected);
    QProcess program;
    // As typed in a terminal without any display.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(QLatin1String(name));
    program.setProcessEnvironment(environment);
    program.start(qEnvironmentVariable("KESTREL_EXECUTABLE"), {option});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(QString::fromUtf8(program.readAllStandardOutput()).contains(expected), qPrintable(expected));
  }
};

QTEST_MAIN(TestOpenFile)
#include "tst_openfile.moc"
