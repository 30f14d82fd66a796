#include "DataAccessHelpers.h"
#include "TestSupport.h"

#include "dataaccess/AliasConfig.h"
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
                            "[Shop on server]\nDriver=PostgreSQL\nPassword Hint=a=b\nDatabase=/data/x/../y.db\n";
    const TAliasFile file = TAliasFile::parse(QStringLiteral("/etc/k/aliases.ini"), text);
    QCOMPARE(file.aliases().size(), size_t(2));
    const TAliasConfig& demo = file.aliases()[0];
    QCOMPARE(demo.Name, QStringLiteral("Demo"));
    QCOMPARE(demo.Line, 3);
    QCOMPARE(demo.value(QStringLiteral("DRIVER")).value(), QStringLiteral("SQLite"));
    QCOMPARE(demo.lineOf(QStringLiteral("Database")), 5);
    QCOMPARE(demo.path(QStringLiteral("Database")), QStringLiteral("/etc/k/demo.db"));  // beside the alias file
    const TAliasConfig* shop = file.find(QStringLiteral("shop ON server"));
    QVERIFY(shop);
    QCOMPARE(shop->value(QStringLiteral("Password Hint")).value(), QStringLiteral("a=b"));
    QVERIFY(!shop->value(QStringLiteral("SSLMode")));
    QCOMPARE(shop->path(QStringLiteral("Database")), QStringLiteral("/data/y.db"));
  }

  // A bad line costs only its own alias: the aliases before and after it are read, and every bad
  // line is named with the file and its line, in the order of the file; the program lists the good
  // ones and then says so. Names holding what a message's placeholders look like come out as written.
  void aBadLineDropsOnlyItsAlias()
  {
    const QByteArray content = "Driver=SQLite\n"
                               "[First]\nDriver=SQLite\nDatabase=a.db\n"
                               "[Broken\nDriver=SQLite\n"
                               "[Second]\nDriver=SQLite\nnonsense\nDatabase=b.db\n"
                               "[Third]\nDriver=SQLite\ndriver=x\n"
                               "[ ]\n"
                               "[Fourth]\n=y\n"
                               "[%2 pct %1]\nDriver=SQLite\nDatabase=p.db\n"
                               "[%2 PCT %1]\n"
                               "[first]\nDriver=SQLite\n"
                               "[Fifth]\nDriver=SQLite\nDatabase=e.db\n";
    TestFolder folder;
    const QString file = folder.useAliases(content);
    QStringList names;
    Session().GetAliasNames(names);
    QCOMPARE(names, (QStringList{"First", "%2 pct %1", "Fifth"}));
    QCOMPARE(Session().FindAlias(QStringLiteral("Fifth")).value(QStringLiteral("Database")), QStringLiteral("e.db"));
    QStringList expected = {":1: 'Driver' stands before the first [alias] section.", ":5: a section header must end with ']'.",
                            ":9: expected 'key=value' or '[alias]', found 'nonsense'.", ":13: 'driver' is set twice in alias 'Third'.",
                            ":14: the alias name is empty.", ":16: the key before '=' is empty.",
                            ":20: alias '%2 PCT %1' is already defined on line 17.",
                            ":21: alias 'first' is already defined on line 2."};
    for (QString& line : expected)
      line.prepend(file);
    QCOMPARE(errorOf([] { Session().RaiseAliasFileProblems(); }).split(QLatin1Char('\n')), expected);
  }

  // Settings are checked when an alias is used, so one broken alias does not hide the others; a
  // database that is no file is refused, where SQLite would take it for an empty database.
  void badAliasesFailTheConnection_data()
  {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");  // what the message holds ("<file>": the alias file's path)
    QTest::newRow("no driver") << QByteArray("[Ok]\nDriver=SQLite\nDatabase=x.db\n\n[Bad]\nDatabase=x.db\n")
                               << "<file>:5: alias 'Bad' has no 'Driver' setting.";
    QTest::newRow("unknown driver") << QByteArray("[Bad]\nDatabase=x.db\nDriver=Paradox\n")
                                    << "<file>:3: alias 'Bad' names the unknown driver 'Paradox' (known: SQLite";
    QTest::newRow("no database") << QByteArray("[Bad]\nDriver=sqlite\n") << "<file>:1: alias 'Bad' has no 'Database' setting.";
    QTest::newRow("folder") << QByteArray("[Bad]\nDriver=SQLite\nDatabase=.\n") << "It is a folder, not a database file.";
    QTest::newRow("/dev/null") << QByteArray("[Bad]\nDriver=SQLite\nDatabase=/dev/null\n")
                               << "It is a device or a pipe, not a database file.";
  }
  void badAliasesFailTheConnection()
  {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    TestFolder folder;
    const QString file = folder.useAliases(content);
    QStringList names;
    Session().GetAliasNames(names);
    QVERIFY(names.contains(QStringLiteral("Bad")));
    auto db = openDatabase(QStringLiteral("T"), QStringLiteral("Bad"), {}, false);
    const QString refusal = errorOf([&] { db->Open(); });
    QVERIFY2(refusal.contains(QString(expected).replace(QStringLiteral("<file>"), file)), qPrintable(refusal));
    QVERIFY(!db->Connected());
  }

  // The alias file the user named is read if it is a regular file of a sane size, or refused with a
  // message: a pipe would hold the start-up forever, a device feed it without end.
  void onlyARegularFileIsRead_data()
  {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "/nonexistent/kestrel/aliases.ini" << "No such file or directory";
    QTest::newRow("pipe") << "pipe" << "it is not a regular file";
    QTest::newRow("device") << "/dev/zero" << "it is not a regular file";
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
    else if (kind == QLatin1String("large")) {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(17 * 1024 * 1024, ';')) > 0);  // one long comment line
    }
    qputenv("KESTREL_ALIASES", file.toLocal8Bit());
    QStringList names;
    const QString refusal = errorOf([&] {
      Session().SetActive(false);
      Session().SetActive(true);
      Session().GetAliasNames(names);
    });
    QVERIFY2(refusal.contains(reason) && refusal.contains(QDir::toNativeSeparators(file)), qPrintable(refusal));
    qunsetenv("KESTREL_ALIASES");
  }
};

QTEST_GUILESS_MAIN(TestAliasConfig)
#include "tst_aliasconfig.moc"
