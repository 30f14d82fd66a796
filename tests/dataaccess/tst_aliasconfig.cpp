#include "TestSupport.h"

#include "dataaccess/AliasConfig.h"
#include "dataaccess/DBErrors.h"
#include "dataaccess/Database.h"
#include "dataaccess/Session.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>

class TestAliasConfig : public QObject {
  Q_OBJECT

private slots:
  void parsesSectionsKeysAndComments()
  {
    const QByteArray text = "\xEF\xBB\xBF; comment\r\n# another\r\n[Demo]\r\nDriver = SQLite\r\ndatabase=demo.db\r\n\r\n"
                            "[Shop on server]\nDriver=PostgreSQL\nHost=db.example.com\nPort=5432\nPassword Hint=a=b\n";
    const TAliasFile file = TAliasFile::parse(QStringLiteral("/etc/k/aliases.ini"), text);
    QCOMPARE(file.aliases().size(), size_t(2));
    const TAliasConfig& demo = file.aliases()[0];
    QCOMPARE(demo.Name, QStringLiteral("Demo"));
    QCOMPARE(demo.Line, 3);
    QCOMPARE(demo.value(QStringLiteral("DRIVER")).value(), QStringLiteral("SQLite"));
    QCOMPARE(demo.lineOf(QStringLiteral("Database")), 5);
    QCOMPARE(demo.path(QStringLiteral("Database")), QStringLiteral("/etc/k/demo.db"));
    const TAliasConfig* shop = file.find(QStringLiteral("shop ON server"));
    QVERIFY(shop);
    QCOMPARE(shop->value(QStringLiteral("Password Hint")).value(), QStringLiteral("a=b"));
    QVERIFY(!shop->value(QStringLiteral("SSLMode")));
  }

  void absolutePathsStayAsWritten()
  {
    const TAliasFile file = TAliasFile::parse(QStringLiteral("/etc/k/aliases.ini"), "[A]\nDatabase=/data/x/../y.db\n");
    QCOMPARE(file.aliases()[0].path(QStringLiteral("Database")), QStringLiteral("/data/y.db"));
  }

  void syntaxErrorsNameFileAndLine_data()
  {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("key before section") << QByteArray("; x\nDriver=SQLite\n") << "a.ini:2: 'Driver' stands before the first [alias] section.";
    QTest::newRow("no equals sign") << QByteArray("[A]\nDriver=SQLite\nnonsense\n") << "a.ini:3: expected 'key=value' or '[alias]', found 'nonsense'.";
    QTest::newRow("unclosed header") << QByteArray("[A\n") << "a.ini:1: a section header must end with ']'.";
    QTest::newRow("empty name") << QByteArray("[ ]\n") << "a.ini:1: the alias name is empty.";
    QTest::newRow("duplicate alias") << QByteArray("[Demo]\nDriver=SQLite\n[demo]\n") << "a.ini:3: alias 'demo' is already defined on line 1.";
    QTest::newRow("duplicate key") << QByteArray("[A]\nDriver=x\ndriver=y\n") << "a.ini:3: 'driver' is set twice in alias 'A'.";
    QTest::newRow("empty key") << QByteArray("[A]\n=y\n") << "a.ini:2: the key before '=' is empty.";
    // Names holding what a message's placeholders look like come out as written.
    QTest::newRow("names holding %1 and %2") << QByteArray("[%2 pct %1]\nDriver=x\n[%2 PCT %1]\n")
                                             << "a.ini:3: alias '%2 PCT %1' is already defined on line 1.";
  }
  void syntaxErrorsNameFileAndLine()
  {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const TAliasFile file = TAliasFile::parse(QStringLiteral("/cfg/a.ini"), content);
    QCOMPARE(file.problems(), QStringList{QStringLiteral("/cfg/") + expected});
  }

  // A bad line costs only its own alias: the aliases before and after it are read, and every bad
  // line is named, in the order of the file; the program lists the good ones and then says so.
  void aBadLineDropsOnlyItsAlias()
  {
    const QByteArray content = "[First]\nDriver=SQLite\nDatabase=a.db\n"
                               "[Broken\nDriver=SQLite\n"
                               "[Second]\nDriver=SQLite\nnonsense\nDatabase=b.db\n"
                               "[Third]\nDriver=SQLite\nDatabase=c.db\n"
                               "[first]\nDriver=SQLite\n"
                               "[Fourth]\nDriver=SQLite\nDatabase=d.db\n";
    TestFolder folder;
    const QString file = folder.useAliases(content);
    QStringList names;
    Session().GetAliasNames(names);
    QCOMPARE(names, (QStringList{"First", "Third", "Fourth"}));
    QCOMPARE(Session().FindAlias(QStringLiteral("Fourth")).value(QStringLiteral("Database")), QStringLiteral("d.db"));
    try {
      Session().RaiseAliasFileProblems();
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QCOMPARE(e.ErrorCount(), 3);
      QCOMPARE(e.Errors(0).Message, file + QStringLiteral(":4: a section header must end with ']'."));
      QCOMPARE(e.Errors(1).Message, file + QStringLiteral(":8: expected 'key=value' or '[alias]', found 'nonsense'."));
      QCOMPARE(e.Errors(2).Message, file + QStringLiteral(":13: alias 'first' is already defined on line 1."));
    }
  }

  // Settings are checked when an alias is used, so one broken alias does not hide the others.
  void badAliasSettingsFailTheConnection_data()
  {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("expected");  // the message after the file's name
    QTest::newRow("no driver") << QByteArray("[Ok]\nDriver=SQLite\nDatabase=x.db\n\n[Bad]\nDatabase=x.db\n") << "Bad"
                               << ":5: alias 'Bad' has no 'Driver' setting.";
    QTest::newRow("unknown driver") << QByteArray("[Bad]\nDatabase=x.db\nDriver=Paradox\n") << "Bad"
                                    << ":3: alias 'Bad' names the unknown driver 'Paradox' (known: SQLite";
    QTest::newRow("no database") << QByteArray("[Bad]\nDriver=sqlite\n") << "Bad" << ":1: alias 'Bad' has no 'Database' setting.";
    QTest::newRow("unknown alias") << QByteArray("[A]\nDriver=SQLite\nDatabase=a.db\n") << "Nowhere" << "";
  }
  void badAliasSettingsFailTheConnection()
  {
    QFETCH(QByteArray, content);
    QFETCH(QString, alias);
    QFETCH(QString, expected);
    TestFolder folder;
    const QString file = folder.useAliases(content);
    QStringList names;
    Session().GetAliasNames(names);
    QCOMPARE(names.contains(alias), !expected.isEmpty());
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("T"));
    db.SetAliasName(alias);
    try {
      db.Open();
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      if (!expected.isEmpty())
        QVERIFY2(e.Message().startsWith(file + expected), qPrintable(e.Message()));
    }
    QVERIFY(!db.Connected());
  }

  void lookupOrder()
  {
    TestFolder folder;
    QDir().mkpath(folder.path(QStringLiteral("config/kestrel")));
    const QString userFile = folder.path(QStringLiteral("config/kestrel/aliases.ini"));
    QFile f(userFile);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[FromUserConfig]\nDriver=SQLite\nDatabase=u.db\n");
    f.close();
    qputenv("XDG_CONFIG_HOME", folder.path(QStringLiteral("config")).toUtf8());

    const QString named = folder.writeAliases("[Named]\nDriver=SQLite\nDatabase=n.db\n");
    QCOMPARE(TAliasFile::locate(), named);  // the environment variable wins
    qunsetenv("KESTREL_ALIASES");
    QCOMPARE(TAliasFile::locate(), userFile);
    QFile::remove(userFile);
    // No aliases.ini beside the test program: an engine without aliases.
    QCOMPARE(TAliasFile::locate(), QString());
    qunsetenv("XDG_CONFIG_HOME");
  }

  // SQLite would take these for empty databases and say nothing.
  void aDatabaseThatIsNoFileIsRefused_data()
  {
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << "." << "It is a folder, not a database file.";
    QTest::newRow("/dev/null") << "/dev/null" << "It is a device or a pipe, not a database file.";
    QTest::newRow("/dev/zero") << "/dev/zero" << "It is a device or a pipe, not a database file.";
  }
  void aDatabaseThatIsNoFileIsRefused()
  {
    QFETCH(QString, database);
    QFETCH(QString, reason);
    TestFolder folder;
    folder.useAliases("[Odd]\nDriver=SQLite\nDatabase=" + database.toUtf8() + "\n");
    TDatabase db;
    db.SetDatabaseName(QStringLiteral("T"));
    db.SetAliasName(QStringLiteral("Odd"));
    try {
      db.Open();
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().startsWith(QStringLiteral("Cannot open the database file")) && e.Message().endsWith(reason),
               qPrintable(e.Message()));
    }
    QVERIFY(!db.Connected());
  }

  // Only a regular file of a sane size is read: a pipe would hold the start-up forever, a device
  // feed it without end.
  void onlyARegularFileIsRead_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("pipe") << "pipe" << "it is not a regular file";
    QTest::newRow("device") << "/dev/zero" << "it is not a regular file";
    QTest::newRow("folder") << "folder" << "it is not a regular file";
    QTest::newRow("17 MiB") << "large" << "it is larger than 16 MiB";
  }
  void onlyARegularFileIsRead()
  {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TestFolder folder;
    QString file = kind.startsWith(QLatin1Char('/')) ? kind : folder.path(QStringLiteral("aliases.ini"));
    if (kind == QLatin1String("pipe"))
      QCOMPARE(mkfifo(file.toLocal8Bit().constData(), 0600), 0);
    else if (kind == QLatin1String("folder"))
      QVERIFY(QDir().mkpath(file));
    else if (kind == QLatin1String("large")) {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      const QByteArray comment = QByteArray("; ") + QByteArray(1021, 'x') + '\n';
      for (int i = 0; i < 17 * 1024; ++i)
        f.write(comment);
    }
    try {
      TAliasFile::load(file);
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().contains(reason) && e.Message().contains(QDir::toNativeSeparators(file)), qPrintable(e.Message()));
    }
  }

  void namedFileThatIsMissingIsAnError()
  {
    qputenv("KESTREL_ALIASES", "/nonexistent/kestrel/aliases.ini");
    Session().SetActive(false);
    Session().SetActive(true);
    QStringList names;
    try {
      Session().GetAliasNames(names);
      QFAIL("no error raised");
    } catch (const EDBEngineError& e) {
      QVERIFY2(e.Message().contains(QStringLiteral("/nonexistent/kestrel/aliases.ini")), qPrintable(e.Message()));
    }
    qunsetenv("KESTREL_ALIASES");
  }
};

QTEST_GUILESS_MAIN(TestAliasConfig)
#include "tst_aliasconfig.moc"
