#include "ImageBuilders.h"

#include "platform/ExecutableImage.h"
#include "platform/VersionResources.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

using images::Bytes;

namespace {

QByteArray path8(const QString& path) { return QFile::encodeName(path); }

// A copy in a buffer of exactly the block's size, as GetFileVersionInfo fills one, so any read past
// it is one that AddressSanitizer reports.
std::unique_ptr<uint8_t[]> exactCopy(const Bytes& block)
{
  auto copy = std::make_unique<uint8_t[]>(block.size());
  std::memcpy(copy.get(), block.data(), block.size());
  return copy;
}

// A text value, or "<none>" when the query fails.
QString text(const void* block, const char16_t* path)
{
  const void* value = nullptr;
  uint32_t length = 0;
  if (!VerQueryValue(block, path, &value, &length))
    return QStringLiteral("<none>");
  QString s(reinterpret_cast<const QChar*>(value), qsizetype(length));
  return s.left(s.indexOf(QChar(0)) < 0 ? s.size() : s.indexOf(QChar(0)));
}

uint16_t word(const Bytes& b, std::size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t dword(const Bytes& b, std::size_t at) { return word(b, at) | (uint32_t(word(b, at + 2)) << 16); }

Bytes sampleBlock() { return versionblock::build(images::description()); }

}  // namespace

class TestVersionResources : public QObject {
  Q_OBJECT
  QTemporaryDir dir;

private slots:
  // Other tools read the block: the lengths, type and key of the root, and the VS_FIXEDFILEINFO on
  // the next 32-bit boundary after its key, sit where the published format puts them.
  void blockHasThePublishedLayout()
  {
    versionblock::Description d;
    d.fixed = versionblock::fixedFileInfo(0x00020001, 0x00000014, 0x00020000, 0);
    const Bytes b = versionblock::build(d);
    QCOMPARE(word(b, 0), uint16_t(b.size()));
    QCOMPARE(word(b, 2), uint16_t(52));
    QCOMPARE(word(b, 4), uint16_t(0));
    QCOMPARE(QString::fromUtf16(reinterpret_cast<const char16_t*>(b.data() + 6)), QStringLiteral("VS_VERSION_INFO"));
    QCOMPARE(dword(b, 40), 0xFEEF04BDu);
    QCOMPARE(dword(b, 48), 0x00020001u);
  }

  void queriesFollowThePlatformRules_data()
  {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("value");  // the text, or the length for a binary value
    QTest::newRow("root") << "\\" << true << "52";
    QTest::newRow("translation") << "\\VarFileInfo\\Translation" << true << "4";
    QTest::newRow("lower-case table and key") << "\\stringfileinfo\\040904e4\\companyname" << true << "Falcon Works";
    QTest::newRow("doubled and trailing separators") << "\\\\StringFileInfo\\\\040904E4\\ProductName\\" << true << "Hover";
    QTest::newRow("empty string") << "\\StringFileInfo\\040904E4\\LegalTrademarks" << true << "";
    QTest::newRow("missing key") << "\\StringFileInfo\\040904E4\\Comments" << false << "";
    QTest::newRow("missing table") << "\\StringFileInfo\\040704B0\\CompanyName" << false << "";
    QTest::newRow("below a string") << "\\StringFileInfo\\040904E4\\CompanyName\\x" << false << "";
    QTest::newRow("part of a key") << "\\StringFileInfo\\040904E4\\Company" << false << "";
  }
  void queriesFollowThePlatformRules()
  {
    QFETCH(QString, path);
    QFETCH(bool, found);
    QFETCH(QString, value);
    versionblock::Description d = images::description();
    d.stringTables[0].strings.push_back({u"LegalTrademarks", u""});
    const auto block = exactCopy(versionblock::build(d));
    const void* at = nullptr;
    uint32_t length = 99;
    const auto* query = reinterpret_cast<const char16_t*>(path.utf16());
    QCOMPARE(VerQueryValue(block.get(), query, &at, &length), found);
    if (!found) {
      QVERIFY(!at);
      QCOMPARE(length, 0u);
    } else if (!value.isEmpty() && value.at(0).isDigit()) {
      QCOMPARE(length, value.toUInt());
    } else {
      QCOMPARE(text(block.get(), query), value);
      QCOMPARE(length, uint32_t(value.size() + 1));
    }
  }

  void readsTheBlockOfElfAndPeFiles_data()
  {
    QTest::addColumn<int>("kind");
    QTest::newRow("ELF 64-bit") << 0;
    QTest::newRow("ELF 32-bit") << 1;
    QTest::newRow("ELF 64-bit big-endian") << 2;
    QTest::newRow("ELF 32-bit big-endian") << 3;
    QTest::newRow("PE32+") << 4;
    QTest::newRow("PE32") << 5;
  }
  void readsTheBlockOfElfAndPeFiles()
  {
    QFETCH(int, kind);
    const Bytes block = sampleBlock();
    const Bytes file = kind < 4 ? images::elfImage(block, {.is64 = kind % 2 == 0, .bigEndian = kind >= 2}).bytes
                                : images::peImage(block, {.pe32plus = kind == 4}).bytes;
    const QString path = dir.filePath(QStringLiteral("image%1").arg(kind));
    QVERIFY(images::writeFile(path, file));
    uint32_t handle = 1;
    QCOMPARE(GetFileVersionInfoSize(path8(path).constData(), &handle), uint32_t(block.size()));
    QCOMPARE(handle, 0u);
    const auto data = std::make_unique<uint8_t[]>(block.size());
    QVERIFY(GetFileVersionInfo(path8(path).constData(), 0, uint32_t(block.size()), data.get()));
    QVERIFY(std::memcmp(data.get(), block.data(), block.size()) == 0);
    QCOMPARE(text(data.get(), u"\\StringFileInfo\\040904E4\\CompanyName"), QStringLiteral("Falcon Works"));
  }

  // Files that carry no usable block, each made from a sound ELF image, PE image or block by one
  // change; and no file at all, and a folder.
  void filesWithoutAUsableBlockGiveSizeZero_data()
  {
    using namespace images;
    QTest::addColumn<QByteArray>("file");  // the file's bytes, or "<none>" or "<folder>"
    auto row = [](const char* name, const Bytes& b) {
      QTest::newRow(name) << QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    };
    auto elf = [](auto change) { ElfImage i = elfImage(sampleBlock()); change(i); return i.bytes; };
    auto pe = [](auto change) { PeImage i = peImage(sampleBlock()); change(i); return i.bytes; };
    auto block = [](auto change) { Bytes b = sampleBlock(); change(b); return elfImage(b).bytes; };
    QTest::newRow("no such file") << QByteArray("<none>");
    QTest::newRow("a folder") << QByteArray("<folder>");
    row("empty file", {});
    row("ELF without the section", elfImage(sampleBlock(), {.sectionName = "other_section"}).bytes);
    row("ELF with a longer section name", elfImage(sampleBlock(), {.sectionName = "kestrel_versions"}).bytes);
    row("ELF section without file data", elfImage(sampleBlock(), {.sectionType = 8}).bytes);
    row("ELF section offset past the end", elf([](ElfImage& i) { put(i.bytes, i.offsetField, 1u << 30, 8); }));
    row("ELF section size past the end", elf([](ElfImage& i) { put(i.bytes, i.sizeField, 1u << 30, 8); }));
    row("ELF section size wraps round", elf([](ElfImage& i) { put(i.bytes, i.sizeField, ~uint64_t(0), 8); }));
    row("ELF section table past the end", elf([](ElfImage& i) { put(i.bytes, i.shoffField, 1u << 30, 8); }));
    row("ELF name table index out of range", elf([](ElfImage& i) { put(i.bytes, i.shstrndxField, 7, 2); }));
    row("ELF name offset past the name table", elf([](ElfImage& i) { put(i.bytes, i.nameField, 0xFFFFFF, 4); }));
    row("ELF cut inside the header", elf([](ElfImage& i) { i.bytes.resize(40); }));
    row("ELF cut inside the section table", elf([](ElfImage& i) { i.bytes.resize(i.sectionTable + 100); }));
    row("ELF of an unknown class", elf([](ElfImage& i) { i.bytes[4] = 3; }));
    row("block longer than its section", block([](Bytes& b) { put(b, 0, b.size() + 4, 2); }));
    row("block root shorter than a node", block([](Bytes& b) { put(b, 0, 6, 2); }));
    row("block key without terminator", block([](Bytes& b) { put(b, 0, 20, 2); }));
    row("PE without a version resource", peImage(sampleBlock(), {.withVersion = false}).bytes);
    row("PE data outside every section", pe([](PeImage& i) { put(i.bytes, i.dataEntry, 0x90000, 4); }));
    row("PE data size past the section", pe([](PeImage& i) { put(i.bytes, i.dataEntry + 4, 0x7FFFFFF0, 4); }));
    row("PE type entry that is not a directory", pe([](PeImage& i) { i.bytes[i.versionTypeEntry + 7] &= 0x7F; }));
    row("PE resource directory outside the file", pe([](PeImage& i) { put(i.bytes, i.resourceDirectoryField, 0x70000, 4); }));
    row("PE cut inside the block", pe([](PeImage& i) { i.bytes.resize(i.blockStart + 40); }));
    row("PE without its signature", pe([](PeImage& i) { i.bytes[0x81] = 'X'; }));
  }
  void filesWithoutAUsableBlockGiveSizeZero()
  {
    QFETCH(QByteArray, file);
    const QString path = file == "<folder>" ? dir.path() : dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    if (!file.startsWith('<'))
      QVERIFY(images::writeFile(path, Bytes(file.begin(), file.end())));
    uint32_t handle = 7;
    QCOMPARE(GetFileVersionInfoSize(path8(path).constData(), &handle), 0u);
    QCOMPARE(handle, 0u);
    uint8_t buffer[64] = {};
    QVERIFY(!GetFileVersionInfo(path8(path).constData(), 0, sizeof buffer, buffer));
    QCOMPARE(GetFileVersionInfoSize(nullptr, nullptr), 0u);
  }

  void aShortBufferGetsTheBlockCutToIt()
  {
    const QString path = dir.filePath(QStringLiteral("short"));
    QVERIFY(images::writeFile(path, images::elfImage(sampleBlock()).bytes));
    // Room for the root and its fixed part, not for the strings after them.
    uint8_t buffer[100];
    QVERIFY(GetFileVersionInfo(path8(path).constData(), 0, sizeof buffer, buffer));
    QCOMPARE(buffer[0] | (buffer[1] << 8), 100);
    const void* fixed = nullptr;
    uint32_t length = 0;
    QVERIFY(VerQueryValue(buffer, u"\\", &fixed, &length));
    QCOMPARE(length, 52u);
    QCOMPARE(text(buffer, u"\\StringFileInfo\\040904E4\\CompanyName"), QStringLiteral("<none>"));
    uint8_t tiny[4] = {};
    QVERIFY(!GetFileVersionInfo(path8(path).constData(), 0, sizeof tiny, tiny));
  }

  // The program's path, both for no module and for the module of its own code; too small a buffer
  // gets the path cut, terminated, and its own size back.
  void moduleFileNameOfTheExecutable()
  {
    const QByteArray exe = QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    char buffer[4096];
    QCOMPARE(QByteArray(buffer, GetModuleFileName(nullptr, buffer, sizeof buffer)), exe);
    HMODULE own = ModuleHandleOf(&TestVersionResources::staticMetaObject);
    QCOMPARE(QByteArray(buffer, GetModuleFileName(own, buffer, sizeof buffer)), exe);
    QVERIFY(!ModuleIsLibrary(own));
    char small[6];
    QCOMPARE(GetModuleFileName(nullptr, small, sizeof small), uint32_t(sizeof small));
    QCOMPARE(QByteArray(small), exe.left(5));
  }

  // Every word of a sound block set in turn to a length just below, at or just above a node's
  // header, or to the largest: no answer to a query may point outside the bytes that were read.
  void damagedBlocksNeverReadOutOfBounds()
  {
    versionblock::Description d = images::description();
    d.stringTables.push_back({u"040704B0", {{u"CompanyName", u"Turmfalke"}, {u"Comments", u""}}});
    d.translations->push_back({0x0407, 0x04B0});
    const Bytes sound = versionblock::build(d);
    const std::u16string paths[] = {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904E4\\CompanyName",
                                    u"\\StringFileInfo\\040704b0\\Comments", u"\\StringFileInfo"};
    int readable = 0;
    for (std::size_t offset = 0; offset < sound.size(); offset += 2) {
      for (uint16_t value : {0, 1, 2, 5, 6, 7, 8, 0x7FFF, 0xFFFF}) {
        Bytes damaged = sound;
        images::put(damaged, offset, value, 2);
        const auto found = executableimage::findVersionBlock(executableimage::MemorySource(images::elfImage(damaged).bytes));
        if (!found)
          continue;
        ++readable;
        QVERIFY(found->size() >= versionblock::MinimumNodeSize);
        QCOMPARE(found->size(), std::size_t(word(*found, 0)));
        const auto exact = exactCopy(*found);
        const uint8_t* end = exact.get() + found->size();
        for (const std::u16string& path : paths) {
          const void* at = nullptr;
          uint32_t length = 0;
          const std::size_t unit = path.find(u"StringFileInfo\\") != path.npos ? 2 : 1;  // characters or bytes
          if (VerQueryValue(exact.get(), path.c_str(), &at, &length))
            QVERIFY2(at >= exact.get() && at <= end && length * unit <= std::size_t(end - static_cast<const uint8_t*>(at)),
                     qPrintable(QStringLiteral("word at %1 set to %2").arg(offset).arg(value)));
        }
      }
    }
    QVERIFY(readable > 0);  // some damage leaves a block: the queries above did run
  }

  // A file that claims a resource tree of tens of thousands of entries is answered after a bounded
  // number of reads: each directory is read in one piece, and more entries than any real tree has
  // are refused unread.
  void hostileTreesAreAnsweredAfterBoundedWork_data()
  {
    QTest::addColumn<int>("entries");   // the root's id entries, none of them RT_VERSION
    QTest::addColumn<bool>("found");
    QTest::newRow("65,535 root entries") << 65535 << false;
    QTest::newRow("4,000 root entries, then the version") << 4000 << true;
  }
  void hostileTreesAreAnsweredAfterBoundedWork()
  {
    QFETCH(int, entries);
    QFETCH(bool, found);
    images::PeImage img = images::peImage(sampleBlock());
    Bytes& b = img.bytes;
    // The root keeps its place and claims the entries; the version's branch follows them.
    const Bytes version = sampleBlock();
    const uint32_t e = 16 + uint32_t(entries) * 8, dir = 0x80000000;
    Bytes r(e + 0x40 + version.size(), 0);
    images::put(r, 14, entries, 2);
    for (int i = 0; i < entries; ++i) {
      images::put(r, 16 + std::size_t(i) * 8, found && i == entries - 1 ? 16 : 3, 4);
      images::put(r, 20 + std::size_t(i) * 8, dir | e, 4);
    }
    images::put(r, e + 14, 1, 2);
    images::put(r, e + 16, 1, 4);
    images::put(r, e + 20, dir | (e + 0x18), 4);
    images::put(r, e + 0x18 + 14, 1, 2);
    images::put(r, e + 0x18 + 16, 0x0409, 4);
    images::put(r, e + 0x18 + 20, e + 0x30, 4);
    images::put(r, e + 0x30, 0x1000 + e + 0x40, 4);
    images::put(r, e + 0x34, version.size(), 4);
    std::copy(version.begin(), version.end(), r.begin() + e + 0x40);
    b.resize(img.resourceStart);
    b.insert(b.end(), r.begin(), r.end());
    images::put(b, img.sectionHeader + 8, r.size(), 4);
    images::put(b, img.sectionHeader + 16, r.size(), 4);
    struct Counting : executableimage::ByteSource {
      executableimage::MemorySource inner;
      mutable int reads = 0;
      explicit Counting(const Bytes& bytes) : inner(bytes) {}
      uint64_t size() const override { return inner.size(); }
      bool read(uint64_t offset, void* into, std::size_t count) const override
      {
        ++reads;
        return inner.read(offset, into, count);
      }
    } source(b);
    const auto block = executableimage::findVersionBlockInPe(source);
    QCOMPARE(block.has_value(), found);
    QVERIFY2(source.reads <= 40, qPrintable(QString::number(source.reads)));
  }
};

QTEST_GUILESS_MAIN(TestVersionResources)
#include "tst_versionresources.moc"
