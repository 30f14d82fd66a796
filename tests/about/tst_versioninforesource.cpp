#include "../platform/ImageBuilders.h"

#include "about/VersionInfoResource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
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

// "0409 04E4, 0 0" as translation pairs; "none" for a block without a translation table.
std::optional<std::vector<std::pair<uint16_t, uint16_t>>> translations(const QString& text)
{
  if (text == "none")
    return std::nullopt;
  std::vector<std::pair<uint16_t, uint16_t>> pairs;
  for (const QString& pair : text.split(',', Qt::SkipEmptyParts)) {
    const QStringList two = pair.split(' ', Qt::SkipEmptyParts);
    pairs.push_back({uint16_t(two[0].toUInt(nullptr, 16)), uint16_t(two[1].toUInt(nullptr, 16))});
  }
  return pairs;
}

}  // namespace

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
  void versionNumbers()
  {
    TVersionNumberInformation v;
    QVERIFY(!v.Valid());
    QCOMPARE(v.Text(), QString());
    v.SetValid(0xFFFFFFFFu, 0xFFFFFFFFu);  // each of the four numbers at its largest
    QCOMPARE(v.Text(), QStringLiteral("65535.65535.65535.65535"));
    QCOMPARE(v.Build(), 65535);
    QCOMPARE(v.Major(), 65535);
    v.SetInvalid();
    QVERIFY(!v.Valid());
    QCOMPARE(v.Text(), QString());
    QCOMPARE(v.Major(), 0);
  }

  void translationKeys_data()
  {
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("company");
    QTest::newRow("language 0 and code page 0") << "0 0" << "040904E4" << QStringList{"040904e4"} << "Falcon Works";
    QTest::newRow("no translation table") << "none" << "040904E4" << QStringList{} << "Falcon Works";
    QTest::newRow("code page 0 alone") << "0407 0" << "040704E4" << QStringList{"040704e4"} << "Falcon Works";
    QTest::newRow("two translations, the first is read") << "0407 04B0, 0409 04E4" << "040704B0"
                                                       << QStringList{"040704b0", "040904e4"} << "Falcon Works";
    QTest::newRow("translation without its table") << "0407 04B0" << "040904E4" << QStringList{"040704b0"} << "";
  }
  void translationKeys()
  {
    QFETCH(QString, pairs);
    QFETCH(QString, table);
    QFETCH(QStringList, keys);
    QFETCH(QString, company);
    versionblock::Description d = images::description(table.toStdU16String());
    d.translations = translations(pairs);
    TVersionInfoResource r(nullptr);
    r.SetFilename(fileWith(d));
    QCOMPARE(r.Translations(), keys);
    QCOMPARE(r.CompanyName(), company);
    QCOMPARE(r.property("CompanyName").toString(), company);
  }

  // What the list shows of a block: the items of ShowResource that have a value, in the list's
  // order; both versions and the build flags come from the fixed part (the flags without their
  // mask), never from the string table, which says 9.9.9.9, 1.0 and "never looked up".
  void listViewRows_data()
  {
    QTest::addColumn<int>("show");  // TPreDefs bits
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("mask");
    QTest::addColumn<QString>("legalTrademarks");
    QTest::addColumn<QStringList>("expected");
    const int all = int(TPreDefs::All().ToBits()), flagsOnly = int(TPreDefs{pdBuildFlags}.ToBits());
    const QStringList everyRow = {"Product Name=Hover",          "Product Version=3.0.0.7",
                                  "Company Name=Falcon Works",   "Legal Copyright=(c) Falcon Works",
                                  "Legal Trademarks=Hover(tm)",  "File Description=Test file",
                                  "File Version=2.1.0.20",       "Internal Name=HOVER",
                                  "Original Filename=hover.exe", "Build Flags=Private",
                                  "Comments=Up high"};
    QTest::newRow("every item, in the list's order") << all << true << 0x08u << 0x3Fu << "Hover(tm)" << everyRow;
    QStringList withoutTrademarks = everyRow;
    withoutTrademarks.removeAt(4);
    QTest::newRow("an empty value gives no row") << all << true << 0x08u << 0x3Fu << "" << withoutTrademarks;
    const QStringList unversioned = everyRow.filter(QRegularExpression("^(?!Product Version|File Version|Build Flags)"));
    QTest::newRow("no fixed part: no versions, no flags") << all << false << 0u << 0u << "Hover(tm)" << unversioned;
    QTest::newRow("all six, in their order") << flagsOnly << true << 0x3Fu << 0x3Fu << ""
                                             << QStringList{"Build Flags=Debug, Info Inferred, Patched, Pre-Release, Private, Special"};
    QTest::newRow("the mask is not applied") << flagsOnly << true << 0x01u << 0u << "" << QStringList{"Build Flags=Debug"};
    QTest::newRow("a bit that is no build flag") << flagsOnly << true << 0x40u << 0x7Fu << "" << QStringList{};
  }
  void listViewRows()
  {
    QFETCH(int, show);
    QFETCH(bool, fixed);
    QFETCH(uint, flags);
    QFETCH(uint, mask);
    QFETCH(QString, legalTrademarks);
    versionblock::Description d = images::description();
    if (fixed) {
      d.fixed->dwFileFlags = flags;
      d.fixed->dwFileFlagsMask = mask;
      d.fixed->dwProductVersionMS = 0x00030000;
      d.fixed->dwProductVersionLS = 0x00000007;
    } else {
      d.fixed.reset();
    }
    auto& s = d.stringTables[0].strings;
    s.push_back({u"InternalName", u"HOVER"});
    s.push_back({u"LegalCopyright", u"(c) Falcon Works"});
    s.push_back({u"LegalTrademarks", legalTrademarks.toStdU16String()});
    s.push_back({u"OriginalFilename", u"hover.exe"});
    s.push_back({u"Comments", u"Up high"});
    s.push_back({u"BuildFlags", u"never looked up"});
    TVersionInfoResource r(nullptr);
    QTreeWidget list;
    r.SetVersionListView(&list);
    r.SetFilename(fileWith(d));
    TPreDefs items;
    for (int i = 0; i < PreDefCount; ++i)
      if (show & (1 << i))
        items.Include(TPreDef(i));
    r.SetShowResource(items);  // a change shows at once
    QTEST(rows(&list), "expected");
    // The string itself is still there for whoever asks for it by key.
    QCOMPARE(r.GetVersionString(pdFileVersion), QStringLiteral("9.9.9.9"));
    QCOMPARE(r.GetVersionString(-1), QString());
    QCOMPARE(r.GetVersionString(PreDefCount), QString());
  }

  void aLinkedLabelTakesItsItemOutOfTheList_data()
  {
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("labelText");
    QTest::newRow("ProductLabel") << "ProductLabel" << "Product Name" << "Hover";
    QTest::newRow("VersionLabel") << "VersionLabel" << "File Version" << "2.1.0.20";
  }
  void aLinkedLabelTakesItsItemOutOfTheList()
  {
    QFETCH(QString, property);
    QFETCH(QString, caption);
    QFETCH(QString, labelText);
    versionblock::Description d = images::description();
    d.stringTables[0].strings.push_back({u"LegalCopyright", u"(c) Hover"});
    TVersionInfoResource r(nullptr);
    QTreeWidget list;
    r.SetVersionListView(&list);
    r.SetFilename(fileWith(d));
    auto captions = [&] {
      QStringList c;
      for (const QString& row : rows(&list))
        c << row.section('=', 0, 0);
      return c;
    };
    QVERIFY(captions().contains(caption));
    QLabel label(QStringLiteral("as built"));
    QVERIFY(r.setProperty(property.toLatin1(), QVariant::fromValue(&label)));
    QCOMPARE(label.text(), labelText);
    QVERIFY(!captions().contains(caption));
    QCOMPARE(rows(&list).size(), 5);  // the others stay
  }

  // A file read again is read as it is now; one without a block empties every linked control.
  void aFileWithoutABlockEmptiesEverything_data()
  {
    QTest::addColumn<QString>("file");
    QTest::newRow("file without a block") << "plain";
    QTest::newRow("the same file, its block gone since") << "";
  }
  void aFileWithoutABlockEmptiesEverything()
  {
    QFETCH(QString, file);
    QVERIFY(images::writeFile(dir.filePath("plain"), images::Bytes(300, 'x')));
    TVersionInfoResource r(nullptr);
    QLabel product("lbProduct"), version("lbVersion"), copyright("lbCopyRight"), description("lbDescription");
    QTreeWidget list;
    r.SetProductLabel(&product);
    r.SetVersionLabel(&version);
    r.SetCopyrightLabel(&copyright);
    r.SetDescriptionLabel(&description);
    r.SetVersionListView(&list);
    const QString first = fileWith(images::description());
    r.SetFilename(first);
    QCOMPARE(version.text(), QStringLiteral("2.1.0.20"));
    if (file.isEmpty())
      QVERIFY(images::writeFile(first, images::Bytes(300, 'x')));
    r.SetFilename(file.isEmpty() ? first : dir.filePath(file));
    for (QLabel* l : {&product, &version, &copyright, &description})
      QCOMPARE(l->text(), QString());
    QCOMPARE(list.topLevelItemCount(), 0);
    QCOMPARE(r.BlockSize(), 0u);
    QVERIFY(!r.FileVersion().Valid());
    QVERIFY(!r.FixedFileInfo().FixedInfo());
  }

  void destroyedControlsAreForgotten()
  {
    TVersionInfoResource r(nullptr);
    auto* shared = new QLabel;
    auto* description = new QLabel;
    auto* list = new QTreeWidget;
    // One label in two roles: both references must go when it does.
    r.SetVersionLabel(shared);
    r.SetCopyrightLabel(shared);
    r.SetDescriptionLabel(description);
    r.SetVersionListView(list);
    delete shared;
    QCOMPARE(r.VersionLabel(), nullptr);
    QCOMPARE(r.CopyrightLabel(), nullptr);
    QCOMPARE(r.DescriptionLabel(), description);
    delete list;
    QCOMPARE(r.VersionListView(), nullptr);
    r.SetFilename(fileWith(images::description()));  // refreshes what is left, and only that
    QCOMPARE(description->text(), QStringLiteral("Test file"));
    delete description;
    QCOMPARE(r.DescriptionLabel(), nullptr);
  }

  // A path past the 255 characters of the platform's old limit is read whole.
  void aPathLongerThan255CharactersIsRead()
  {
    QString folder = dir.path();
    while (folder.size() < 300)
      folder += QStringLiteral("/a-rather-long-folder-name");
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/module");
    QVERIFY(images::writeFile(file, images::elfImage(versionblock::build(images::description())).bytes));
    TVersionInfoResource r(nullptr);
    r.SetFilename(file);
    QCOMPARE(r.FileVersion().Text(), QStringLiteral("2.1.0.20"));
  }

  void insideALibraryTheLibraryIsReadUnlessForceEXE_data()
  {
    QTest::addColumn<bool>("forceExe");
    QTest::newRow("ForceEXE false: the library") << false;
    QTest::newRow("ForceEXE true: the executable") << true;
  }
  void insideALibraryTheLibraryIsReadUnlessForceEXE()
  {
    QFETCH(bool, forceExe);
    const QString library = qEnvironmentVariable("KESTREL_TEST_MODULE");
    void* handle = dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(handle, dlerror());
    using Reads = void (*)(bool, QString*, QString*);
    auto reads = reinterpret_cast<Reads>(dlsym(handle, "kestrelComponentReads"));
    QVERIFY(reads);
    QString target, version;
    reads(forceExe, &target, &version);
    const QString expected = forceExe ? QCoreApplication::applicationFilePath() : library;
    QCOMPARE(QFileInfo(target).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
    // The library carries no version block; this test program carries the program's.
    QCOMPARE(version, forceExe ? QStringLiteral("2.1.0.20") : QString());
    dlclose(handle);
  }
};

QTEST_MAIN(TestVersionInfoResource)
#include "tst_versioninforesource.moc"
