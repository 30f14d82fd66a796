#pragma once

// Executable images assembled byte by byte, so that tests choose the version block a file carries
// and can damage any field of the file around it.

#include "platform/VersionBlock.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace images {

using Bytes = std::vector<uint8_t>;

inline void put(Bytes& b, std::size_t at, uint64_t v, int size, bool bigEndian = false)
{
  if (b.size() < at + size)
    b.resize(at + size);
  for (int i = 0; i < size; ++i)
    b[at + (bigEndian ? size - 1 - i : i)] = uint8_t(v >> (8 * i));
}

struct ElfOptions {
  bool is64 = true;
  bool bigEndian = false;
  std::string sectionName = "kestrel_version";
  uint32_t sectionType = 1;  // SHT_PROGBITS
};

// An ELF file with a null section, the section-name table and one section holding payload, and the
// file offsets of the fields that tests damage.
struct ElfImage {
  Bytes bytes;
  std::size_t sectionTable = 0, shoffField = 0, shstrndxField = 0;
  std::size_t nameField = 0, offsetField = 0, sizeField = 0;  // of the payload's section header
};

inline void padTo(Bytes& b, std::size_t multiple)
{
  b.resize((b.size() + multiple - 1) / multiple * multiple, 0);
}

inline ElfImage elfImage(const Bytes& payload, const ElfOptions& o = {})
{
  ElfImage img;
  Bytes& b = img.bytes;
  const bool be = o.bigEndian;
  const std::size_t headerSize = o.is64 ? 64 : 52;
  b.assign(headerSize, 0);
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(o.is64 ? 2 : 1), uint8_t(be ? 2 : 1), 1};
  std::copy(std::begin(ident), std::end(ident), b.begin());
  put(b, 16, 2, 2, be);  // ET_EXEC
  put(b, 18, o.is64 ? 62 : 3, 2, be);
  put(b, 20, 1, 4, be);

  const std::string names = std::string("\0.shstrtab\0", 11) + o.sectionName + '\0';
  const std::size_t namesOffset = b.size();
  b.insert(b.end(), names.begin(), names.end());
  padTo(b, 8);
  const std::size_t payloadOffset = b.size();
  b.insert(b.end(), payload.begin(), payload.end());
  padTo(b, 8);
  img.sectionTable = b.size();

  const int addr = o.is64 ? 8 : 4;
  const std::size_t entrySize = o.is64 ? 64 : 40;
  auto section = [&](int i, uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
    const std::size_t at = img.sectionTable + i * entrySize;
    b.resize(at + entrySize, 0);
    img.nameField = at;
    img.offsetField = at + (o.is64 ? 0x18 : 0x10);
    img.sizeField = at + (o.is64 ? 0x20 : 0x14);
    put(b, at, name, 4, be);
    put(b, at + 4, type, 4, be);
    put(b, img.offsetField, offset, addr, be);
    put(b, img.sizeField, size, addr, be);
  };
  section(0, 0, 0, 0, 0);
  section(1, 1, 3 /* SHT_STRTAB */, namesOffset, names.size());
  section(2, 11 /* after "\0.shstrtab\0" */, o.sectionType, payloadOffset, payload.size());  // the last sets the fields

  img.shoffField = o.is64 ? 0x28 : 0x20;
  img.shstrndxField = o.is64 ? 0x3E : 0x32;
  put(b, img.shoffField, img.sectionTable, addr, be);
  put(b, o.is64 ? 0x34 : 0x28, headerSize, 2, be);
  put(b, o.is64 ? 0x3A : 0x2E, entrySize, 2, be);
  put(b, o.is64 ? 0x3C : 0x30, 3, 2, be);  // section count
  put(b, img.shstrndxField, 1, 2, be);
  return img;
}

struct PeOptions {
  bool pe32plus = true;
  bool withVersion = true;  // false: the resource tree holds only an icon type
};

// A PE file with one section, ".rsrc", whose resource tree holds (type 3, an empty icon directory
// and) type 16 > name 1 > language 0x0409 > the block.
struct PeImage {
  Bytes bytes;
  std::size_t resourceDirectoryField = 0;  // the data directory entry's RVA
  std::size_t resourceStart = 0;  // file offset of the resource section
  std::size_t dataEntry = 0;  // file offset of IMAGE_RESOURCE_DATA_ENTRY
  std::size_t versionTypeEntry = 0;  // file offset of the root's RT_VERSION entry
  std::size_t blockStart = 0;  // file offset of the block
  std::size_t sectionHeader = 0;  // file offset of the resource section's table entry
};

inline PeImage peImage(const Bytes& block, const PeOptions& o = {})
{
  constexpr uint32_t ResourceRva = 0x1000, Dir = 0x80000000;
  PeImage img;
  Bytes& b = img.bytes;
  b.assign(0x200, 0);
  b[0] = 'M';
  b[1] = 'Z';
  put(b, 0x3C, 0x80, 4);
  std::copy_n("PE\0\0", 4, b.begin() + 0x80);
  const std::size_t coff = 0x84, opt = coff + 20;
  const uint16_t optionalSize = o.pe32plus ? 240 : 224;
  put(b, coff, o.pe32plus ? 0x8664 : 0x14C, 2);
  put(b, coff + 2, 1, 2);  // one section
  put(b, coff + 16, optionalSize, 2);
  put(b, coff + 18, 0x22, 2);
  put(b, opt, o.pe32plus ? 0x20B : 0x10B, 2);
  put(b, opt + (o.pe32plus ? 108 : 92), 16, 4);
  img.resourceDirectoryField = opt + (o.pe32plus ? 112 : 96) + 2 * 8;
  const std::size_t section = opt + optionalSize;
  img.resourceStart = b.size();

  // The resource section, offsets from its start.
  const uint32_t empty = 32, name = empty + 16, language = name + 24, data = language + 24, at = data + 16;
  Bytes r(at, 0);
  put(r, 14, o.withVersion ? 2 : 1, 2);  // root: id entries only, sorted by id as resource compilers write them
  put(r, 16, 3, 4);  // RT_ICON
  put(r, 20, Dir | empty, 4);
  put(r, 24, o.withVersion ? 16 : 0, 4);  // RT_VERSION
  put(r, 28, o.withVersion ? Dir | name : 0, 4);
  put(r, name + 14, 1, 2);
  put(r, name + 16, 1, 4);
  put(r, name + 20, Dir | language, 4);
  put(r, language + 14, 1, 2);
  put(r, language + 16, 0x0409, 4);
  put(r, language + 20, data, 4);
  put(r, data, ResourceRva + at, 4);
  put(r, data + 4, block.size(), 4);
  r.insert(r.end(), block.begin(), block.end());
  padTo(r, 0x200);

  put(b, img.resourceDirectoryField, ResourceRva, 4);
  put(b, img.resourceDirectoryField + 4, at + block.size(), 4);
  std::copy_n(".rsrc\0\0\0", 8, b.begin() + section);
  put(b, section + 8, at + block.size(), 4);
  put(b, section + 12, ResourceRva, 4);
  put(b, section + 16, r.size(), 4);
  put(b, section + 20, img.resourceStart, 4);
  put(b, section + 36, 0x40000040, 4);
  b.insert(b.end(), r.begin(), r.end());
  img.dataEntry = img.resourceStart + data;
  img.versionTypeEntry = img.resourceStart + 24;
  img.blockStart = img.resourceStart + at;
  img.sectionHeader = section;
  return img;
}

inline bool writeFile(const QString& path, const Bytes& bytes)
{
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// A description with the usual keys, for tests to vary.
inline versionblock::Description description(std::u16string table = u"040904E4")
{
  versionblock::Description d;
  d.fixed = versionblock::fixedFileInfo(0x00020001, 0x00000014, 0x00020001, 0x00000014);
  d.stringTables.push_back({std::move(table),
                            {{u"CompanyName", u"Falcon Works"},
                             {u"FileDescription", u"Test file"},
                             {u"FileVersion", u"9.9.9.9"},
                             {u"ProductName", u"Hover"},
                             {u"ProductVersion", u"1.0"}}});
  d.translations = std::vector<std::pair<uint16_t, uint16_t>>{{0x0409, 0x04E4}};
  return d;
}

}  // namespace images
