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

// An ELF file with a null section, the section-name table and one section holding payload.
struct ElfImage {
  Bytes bytes;
  std::size_t sectionTable = 0;  // file offset of the section headers
  std::size_t entrySize = 0;
  std::size_t shoffField = 0, shnumField = 0, shstrndxField = 0;  // header field offsets
  // Offsets of a field of section header i (ELF64 / ELF32 positions chosen by the image).
  std::size_t offsetField(int i) const { return sectionTable + i * entrySize + (entrySize == 64 ? 0x18 : 0x10); }
  std::size_t sizeField(int i) const { return sectionTable + i * entrySize + (entrySize == 64 ? 0x20 : 0x14); }
  std::size_t nameField(int i) const { return sectionTable + i * entrySize; }
};

inline ElfImage elfImage(const Bytes& payload, const ElfOptions& o = {})
{
  ElfImage img;
  Bytes& b = img.bytes;
  const bool be = o.bigEndian;
  const std::size_t headerSize = o.is64 ? 64 : 52;
  img.entrySize = o.is64 ? 64 : 40;
  b.assign(headerSize, 0);
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(o.is64 ? 2 : 1), uint8_t(be ? 2 : 1), 1};
  std::copy(std::begin(ident), std::end(ident), b.begin());
  put(b, 16, 2, 2, be);  // ET_EXEC
  put(b, 18, o.is64 ? 62 : 3, 2, be);
  put(b, 20, 1, 4, be);

  std::string names("\0.shstrtab\0", 11);
  const std::size_t payloadName = names.size();
  names += o.sectionName;
  names.push_back('\0');
  const std::size_t namesOffset = b.size();
  b.insert(b.end(), names.begin(), names.end());
  while (b.size() % 8)
    b.push_back(0);
  const std::size_t payloadOffset = b.size();
  b.insert(b.end(), payload.begin(), payload.end());
  while (b.size() % 8)
    b.push_back(0);
  img.sectionTable = b.size();

  const int addr = o.is64 ? 8 : 4;
  auto section = [&](int i, uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
    const std::size_t at = img.sectionTable + i * img.entrySize;
    b.resize(at + img.entrySize, 0);
    put(b, at, name, 4, be);
    put(b, at + 4, type, 4, be);
    put(b, at + (o.is64 ? 0x18 : 0x10), offset, addr, be);
    put(b, at + (o.is64 ? 0x20 : 0x14), size, addr, be);
  };
  section(0, 0, 0, 0, 0);
  section(1, 1, 3 /* SHT_STRTAB */, namesOffset, names.size());
  section(2, uint32_t(payloadName), o.sectionType, payloadOffset, payload.size());

  img.shoffField = o.is64 ? 0x28 : 0x20;
  img.shnumField = o.is64 ? 0x3C : 0x30;
  img.shstrndxField = o.is64 ? 0x3E : 0x32;
  put(b, img.shoffField, img.sectionTable, addr, be);
  put(b, o.is64 ? 0x34 : 0x28, headerSize, 2, be);
  put(b, o.is64 ? 0x3A : 0x2E, img.entrySize, 2, be);
  put(b, img.shnumField, 3, 2, be);
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
  std::size_t sectionHeader = 0;  // file offset of the section's table entry
};

inline PeImage peImage(const Bytes& block, const PeOptions& o = {})
{
  constexpr uint32_t ResourceRva = 0x1000;
  constexpr std::size_t ResourceFileOffset = 0x200;
  PeImage img;
  Bytes& b = img.bytes;
  b.assign(ResourceFileOffset, 0);
  b[0] = 'M';
  b[1] = 'Z';
  put(b, 0x3C, 0x80, 4);
  std::copy_n("PE\0\0", 4, b.begin() + 0x80);
  const std::size_t coff = 0x84;
  const uint16_t optionalSize = o.pe32plus ? 240 : 224;
  put(b, coff, o.pe32plus ? 0x8664 : 0x14C, 2);
  put(b, coff + 2, 1, 2);  // one section
  put(b, coff + 16, optionalSize, 2);
  put(b, coff + 18, 0x22, 2);
  const std::size_t opt = coff + 20;
  put(b, opt, o.pe32plus ? 0x20B : 0x10B, 2);
  put(b, opt + (o.pe32plus ? 108 : 92), 16, 4);
  img.resourceDirectoryField = opt + (o.pe32plus ? 112 : 96) + 2 * 8;

  // The resource section, offsets from its start.
  Bytes r(0x90, 0);
  const uint32_t Dir = 0x80000000;
  const int types = o.withVersion ? 2 : 1;
  put(r, 14, types, 2);  // root: id entries only
  put(r, 16, 3, 4);  // RT_ICON first, as resource compilers sort by id
  put(r, 20, Dir | 0x80, 4);
  if (o.withVersion) {
    put(r, 24, 16, 4);  // RT_VERSION
    put(r, 28, Dir | 0x30, 4);
  }
  put(r, 0x30 + 14, 1, 2);
  put(r, 0x30 + 16, 1, 4);  // name 1
  put(r, 0x30 + 20, Dir | 0x48, 4);
  put(r, 0x48 + 14, 1, 2);
  put(r, 0x48 + 16, 0x0409, 4);  // language
  put(r, 0x48 + 20, 0x60, 4);  // a data entry
  put(r, 0x60, ResourceRva + 0x90, 4);
  put(r, 0x64, block.size(), 4);
  r.insert(r.end(), block.begin(), block.end());
  while (r.size() % 0x200)
    r.push_back(0);

  put(b, img.resourceDirectoryField, ResourceRva, 4);
  put(b, img.resourceDirectoryField + 4, 0x90 + block.size(), 4);
  const std::size_t section = opt + optionalSize;
  std::copy_n(".rsrc\0\0\0", 8, b.begin() + section);
  put(b, section + 8, 0x90 + block.size(), 4);
  put(b, section + 12, ResourceRva, 4);
  put(b, section + 16, r.size(), 4);
  put(b, section + 20, ResourceFileOffset, 4);
  put(b, section + 36, 0x40000040, 4);
  b.insert(b.end(), r.begin(), r.end());
  img.resourceStart = ResourceFileOffset;
  img.dataEntry = ResourceFileOffset + 0x60;
  img.versionTypeEntry = ResourceFileOffset + 24;
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
