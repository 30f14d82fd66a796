#include "../platform/ImageBuilders.h"

#include "about/VersionInfoResource.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>

namespace {

QStringList rows(QTreeWidget* lv)
{
  QStringList r;
  for (int i = 0; i < lv->topLevelItemCount(); ++i)
    r << lv->topLevelItem(i)->text(0) + "=" + lv->topLevelItem(i)->text(1);
  return r;
}

}  // namespace

Q_DECLARE_METATYPE(TPreDefs)

class TestVersionInfoResource : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  int files = 0;

  QString fileWith(const versionblock::Description& d)
  {
    const QString path = dir.filePath(QStringLiteral("module%1").arg(++files));
    if (!images::writeFile(path, images::elfImage(versionblock::build(d)).bytes))
      qFatal("cannot write %s", qPrintable(path));
    return path;
  }

private slots:
  // The strings come from the table of the first translation; code page 0 stands for the usual one.
  void translationKeys_data()
  {
    QTest::addColumn<QList<int>>("pairs");  // language and code page; none: no translation table
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("company");
    QTest::newRow("language 0 and code page 0") << QList<int>{0, 0} << "040904E4" << QStringList{"040904e4"} << "Falcon Works";
    QTest::newRow("no translation table") << QList<int>{} << "040904E4" << QStringList{} << "Falcon Works";
    QTest::newRow("code page 0 alone") << QList<int>{0x0407, 0} << "040704E4" << QStringList{"040704e4"} << "Falcon Works";
    QTest::newRow("two translations, the first is read") << QList<int>{0x0407, 0x04B0, 0x0409, 0x04E4} << "040704B0"
                                                       << QStringList{"040704b0", "040904e4"} << "Falcon Works";
    QTest::newRow("translation without its table") << QList<int>{0x0407, 0x04B0} << "040904E4" << QStringList{"040704b0"} << "";
  }
  void translationKeys()
  {
    QFETCH(QList<int>, pairs);
    QFETCH(QString, table);
    versionblock::Description d = images::description(table.toStdU16String());
    std::vector<std::pair<uint16_t, uint16_t>> list;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
      list.push_back({uint16_t(pairs[i]), uint16_t(pairs[i + 1])});
    d.translations = pairs.isEmpty() ? std::nullopt : std::optional(list);
    TVersionInfoResource r(nullptr);
    r.SetFilename(fileWith(d));
    QTEST(r.Translations(), "keys");
    QTEST(r.CompanyName(), "company");
  }

  // What the list shows of a block: the chosen items that have a value, in the list's order. The
  // versions and the build flags (without their mask) come from the fixed part, never from the
  // string table, which says 9.9.9.9, 1.0 and "never looked up".
  void listViewRows_data()
  {
    QTest::addColumn<TPreDefs>("show");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<QStringList>("expected");
    const TPreDefs some{pdComments, pdBuildFlags, pdLegalTrademarks, pdFileVersion, pdProductVersion, pdCompanyName};
    const TPreDefs flagsOnly{pdBuildFlags};
    QTest::newRow("an empty value gives no row") << some << true << 0x08u << 0x3Fu << QStringList{
        "Product Version=65535.3.0.65535", "Company Name=Falcon Works", "File Version=2.1.0.20", "Build Flags=Private",
        "Comments=Up high"};
    QTest::newRow("no fixed part: no versions, no flags") << some << false << 0u << 0u
                                                          << QStringList{"Company Name=Falcon Works", "Comments=Up high"};
    QTest::newRow("all six, in their order") << flagsOnly << true << 0x3Fu << 0x3Fu << QStringList{
        "Build Flags=Debug, Info Inferred, Patched, Pre-Release, Private, Special"};
    QTest::newRow("the mask is not applied") << flagsOnly << true << 0x01u << 0u << QStringList{"Build Flags=Debug"};
    QTest::newRow("a bit that is no build flag") << flagsOnly << true << 0x40u << 0x7Fu << QStringList{};
  }
  void listViewRows()
  {
    QFETCH(TPreDefs, show);
    QFETCH(bool, fixed);
    QFETCH(uint, flags);
    QFETCH(uint, mask);
    versionblock::Description d = images::description();
    if (fixed) {
      d.fixed->dwFileFlags = flags;
      d.fixed->dwFileFlagsMask = mask;
      d.fixed->dwProductVersionMS = 0xFFFF0003;  // each number reads whole at its largest
      d.fixed->dwProductVersionLS = 0x0000FFFF;
    } else {
      d.fixed.reset();
    }
    auto& s = d.stringTables[0].strings;
    s.push_back({u"LegalTrademarks", u""});
    s.push_back({u"Comments", u"Up high"});
    s.push_back({u"BuildFlags", u"never looked up"});
    TVersionInfoResource r(nullptr);
    QTreeWidget list;
    r.SetVersionListView(&list);
    r.SetFilename(fileWith(d));
    r.SetShowResource(show);  // a change shows at once
    QTEST(rows(&list), "expected");
    // The string itself is still there for whoever asks for it by key.
    QCOMPARE(r.GetVersionString(pdFileVersion), QStringLiteral("9.9.9.9"));
    QCOMPARE(r.GetVersionString(-1), QString());
    QCOMPARE(r.GetVersionString(PreDefCount), QString());
  }

  // A label linked to an item shows it, and the list leaves that item out. A control deleted is
  // forgotten: one label in two roles in both. A file read again is read as it is now: its block
  // gone since, every linked control empties.
  void linkedControls()
  {
    TVersionInfoResource r(nullptr);
    QLabel product, version, copyright, description;
    QTreeWidget list;
    auto* shared = new QLabel;
    r.SetCopyrightLabel(shared);
    r.SetDescriptionLabel(shared);
    delete shared;
    QCOMPARE(r.CopyrightLabel(), nullptr);
    QCOMPARE(r.DescriptionLabel(), nullptr);
    r.SetVersionListView(&list);
    const QString file = fileWith(images::description());
    r.SetFilename(file);
    QStringList others = rows(&list);
    for (const char* shownByALabel : {"Product Name=Hover", "File Version=2.1.0.20"})
      QVERIFY(others.removeOne(QLatin1String(shownByALabel)));
    QVERIFY(r.setProperty("ProductLabel", QVariant::fromValue(&product)));
    QVERIFY(r.setProperty("VersionLabel", QVariant::fromValue(&version)));
    r.SetCopyrightLabel(&copyright);
    r.SetDescriptionLabel(&description);
    QCOMPARE(rows(&list), others);
    QCOMPARE(QStringList({product.text(), version.text(), description.text()}), QStringList({"Hover", "2.1.0.20", "Test file"}));
    QVERIFY(images::writeFile(file, images::Bytes(300, 'x')));
    r.SetFilename(file);
    for (QLabel* l : {&product, &version, &copyright, &description})
      QCOMPARE(l->text(), QString());
    QCOMPARE(list.topLevelItemCount(), 0);
    QVERIFY(!r.FileVersion().Valid());
    QVERIFY(!r.FixedFileInfo().FixedInfo());
  }

  // Inside a library the component reads the library, unless ForceEXE sends it to the executable.
  // The library carries no version block; this test program carries the program's.
  void insideALibraryTheLibraryIsReadUnlessForceEXE()
  {
    const QString library = qEnvironmentVariable("KESTREL_TEST_MODULE");
    void* handle = dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(handle, dlerror());
    using Reads = void (*)(bool, QString*, QString*);
    auto reads = reinterpret_cast<Reads>(dlsym(handle, "kestrelComponentReads"));
    QVERIFY(reads);
    for (bool forceExe : {false, true}) {
      QString target, version;
      reads(forceExe, &target, &version);
      const QString expected = forceExe ? QCoreApplication::applicationFilePath() : library;
      QCOMPARE(QFileInfo(target).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
      QCOMPARE(version, forceExe ? QStringLiteral("2.1.0.20") : QString());
    }
    dlclose(handle);
  }
};

QTEST_MAIN(TestVersionInfoResource)
#include "tst_versioninforesource.moc"
