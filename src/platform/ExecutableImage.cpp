#include "platform/ExecutableImage.h"

#include <algorithm>

#include "platform/VersionBlock.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace executableimage {

bool MemorySource::read(uint64_t offset, void* into, std::size_t count) const
{
  if (offset > FBytes.size() || count > FBytes.size() - offset)
    return false;
  if (count)
    std::memcpy(into, FBytes.data() + offset, count);
  return true;
}

FileSource::FileSource(const std::string& path)
{
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (FFd >= 0 && ::fstat(FFd, &st) == 0 && S_ISREG(st.st_mode))
    FSize = uint64_t(st.st_size);
}

FileSource::~FileSource()
{
  if (FFd >= 0)
    ::close(FFd);
}

bool FileSource::read(uint64_t offset, void* into, std::size_t count) const
{
  if (offset > FSize || count > FSize - offset)
    return false;
  auto* out = static_cast<uint8_t*>(into);
  while (count) {
    const ssize_t n = ::pread(FFd, out, count, off_t(offset));
    if (n <= 0)
      return false;  // the file shrank under us, or cannot be read
    out += n;
    offset += uint64_t(n);
    count -= std::size_t(n);
  }
  return true;
}

namespace {

// A block never exceeds its root's 16-bit wLength.
constexpr std::size_t MaxBlock = 0xFFFF;

bool within(uint64_t offset, uint64_t length, uint64_t size) { return offset <= size && length <= size - offset; }

// Reads integers of the image's byte order; every read is checked.
class Reader {
public:
  Reader(const ByteSource& s, bool bigEndian) : FSource(s), FBig(bigEndian) {}

  std::optional<uint64_t> uint(uint64_t offset, int bytes) const
  {
    uint8_t b[8];
    if (!FSource.read(offset, b, std::size_t(bytes)))
      return std::nullopt;
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
      v |= uint64_t(b[FBig ? bytes - 1 - i : i]) << (8 * i);
    return v;
  }
  std::optional<uint32_t> u16(uint64_t offset) const { return opt32(uint(offset, 2)); }
  std::optional<uint32_t> u32(uint64_t offset) const { return opt32(uint(offset, 4)); }

private:
  static std::optional<uint32_t> opt32(std::optional<uint64_t> v)
  {
    return v ? std::optional<uint32_t>(uint32_t(*v)) : std::nullopt;
  }
  const ByteSource& FSource;
  bool FBig;
};

// The well-formed block at the start of length bytes at offset.
std::optional<std::vector<uint8_t>> blockAt(const ByteSource& image, uint64_t offset, uint64_t length)
{
  if (!within(offset, length, image.size()))
    return std::nullopt;
  std::vector<uint8_t> bytes(std::size_t(std::min<uint64_t>(length, MaxBlock)));
  if (!image.read(offset, bytes.data(), bytes.size()))
    return std::nullopt;
  const std::optional<std::size_t> n = versionblock::blockLength(bytes);
  if (!n)
    return std::nullopt;
  bytes.resize(*n);
  return bytes;
}

struct ElfSection {
  uint32_t name = 0;
  uint32_t type = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
  uint32_t link = 0;
};

constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHN_XINDEX = 0xFFFF;

}  // namespace

std::optional<std::vector<uint8_t>> findVersionBlockInElf(const ByteSource& image)
{
  uint8_t ident[16];
  if (!image.read(0, ident, sizeof ident) || std::memcmp(ident, "\x7F" "ELF", 4) != 0)
    return std::nullopt;
  const bool is64 = ident[4] == 2;
  if (!is64 && ident[4] != 1)
    return std::nullopt;
  if (ident[5] != 1 && ident[5] != 2)
    return std::nullopt;
  const Reader r(image, ident[5] == 2);

  // The file header's section-table fields (ELF32 and ELF64 place them differently).
  const auto shoff = is64 ? r.uint(0x28, 8) : r.uint(0x20, 4);
  const auto shentsize = r.u16(is64 ? 0x3A : 0x2E);
  auto shnum = r.u16(is64 ? 0x3C : 0x30);
  auto shstrndx = r.u16(is64 ? 0x3E : 0x32);
  const uint32_t minEntry = is64 ? 64 : 40;
  if (!shoff || !shentsize || !shnum || !shstrndx || *shoff == 0 || *shentsize < minEntry)
    return std::nullopt;

  uint64_t count = *shnum;
  auto section = [&](uint64_t i) -> std::optional<ElfSection> {
    if (i >= count && !(i == 0 && count == 0))
      return std::nullopt;
    const uint64_t at = *shoff + i * *shentsize;
    ElfSection s;
    const auto name = r.u32(at);
    const auto type = r.u32(at + 4);
    const auto offset = is64 ? r.uint(at + 0x18, 8) : r.uint(at + 0x10, 4);
    const auto size = is64 ? r.uint(at + 0x20, 8) : r.uint(at + 0x14, 4);
    const auto link = r.u32(at + (is64 ? 0x28 : 0x18));
    if (!name || !type || !offset || !size || !link)
      return std::nullopt;
    return ElfSection{*name, *type, *offset, *size, *link};
  };

  // Section counts and the name-table index too large for the header live in section 0.
  uint32_t nameTableIndex = *shstrndx;
  if (count == 0 || nameTableIndex == SHN_XINDEX) {
    const auto first = section(0);
    if (!first)
      return std::nullopt;
    if (count == 0)
      count = first->size;
    if (nameTableIndex == SHN_XINDEX)
      nameTableIndex = first->link;
  }
  // The whole table must be in the file; this also bounds the loop below by the file's size.
  if (*shoff > image.size() || count > (image.size() - *shoff) / *shentsize)
    return std::nullopt;

  const auto names = section(nameTableIndex);
  if (!names || names->type == SHT_NOBITS || !within(names->offset, names->size, image.size()))
    return std::nullopt;

  const std::size_t wantedLength = std::strlen(VersionSectionName) + 1;
  for (uint64_t i = 0; i < count; ++i) {
    const auto s = section(i);
    if (!s)
      return std::nullopt;
    if (s->name >= names->size || names->size - s->name < wantedLength)
      continue;
    char name[32];
    if (!image.read(names->offset + s->name, name, wantedLength))
      return std::nullopt;
    if (std::memcmp(name, VersionSectionName, wantedLength) != 0)
      continue;
    if (s->type == SHT_NOBITS)
      return std::nullopt;
    return blockAt(image, s->offset, s->size);
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> findVersionBlockInPe(const ByteSource& image)
{
  const Reader r(image, false);
  if (r.u16(0) != 0x5A4D)  // "MZ"
    return std::nullopt;
  const auto peOffset = r.u32(0x3C);
  if (!peOffset || r.u32(*peOffset) != 0x00004550)  // "PE\0\0"
    return std::nullopt;
  const uint64_t coff = uint64_t(*peOffset) + 4;
  const auto sectionCount = r.u16(coff + 2);
  const auto optionalSize = r.u16(coff + 16);
  const uint64_t opt = coff + 20;
  const auto magic = r.u16(opt);
  if (!sectionCount || !optionalSize || !magic)
    return std::nullopt;
  uint32_t directoryCountAt = 0, directoriesAt = 0;
  if (*magic == 0x10B) {  // PE32
    directoryCountAt = 92;
    directoriesAt = 96;
  } else if (*magic == 0x20B) {  // PE32+
    directoryCountAt = 108;
    directoriesAt = 112;
  } else {
    return std::nullopt;
  }
  constexpr uint32_t ResourceDirectory = 2;
  const auto directoryCount = r.u32(opt + directoryCountAt);
  const uint32_t resourceAt = directoriesAt + ResourceDirectory * 8;
  if (!directoryCount || *directoryCount <= ResourceDirectory || resourceAt + 8 > *optionalSize)
    return std::nullopt;
  const auto resourceRva = r.u32(opt + resourceAt);
  if (!resourceRva || *resourceRva == 0)
    return std::nullopt;

  // The section table, read once and in one piece, sorted by address: each address is then found
  // by a binary search, however many sections a file claims.
  struct PeSection {
    uint32_t virtualAddress = 0, span = 0, rawSize = 0, rawPointer = 0;
  };
  const uint64_t sectionTable = opt + *optionalSize;
  constexpr uint64_t SectionEntry = 40;
  if (!within(sectionTable, uint64_t(*sectionCount) * SectionEntry, image.size()))
    return std::nullopt;
  std::vector<uint8_t> table(std::size_t(*sectionCount) * SectionEntry);
  if (!image.read(sectionTable, table.data(), table.size()))
    return std::nullopt;
  const auto le32 = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; };
  std::vector<PeSection> sections;
  sections.reserve(*sectionCount);
  for (uint32_t i = 0; i < *sectionCount; ++i) {
    const uint8_t* e = table.data() + std::size_t(i) * SectionEntry;
    const uint32_t virtualSize = le32(e + 8), virtualAddress = le32(e + 12), rawSize = le32(e + 16), rawPointer = le32(e + 20);
    sections.push_back({virtualAddress, std::max(virtualSize, rawSize), rawSize, rawPointer});
  }
  std::stable_sort(sections.begin(), sections.end(),
                   [](const PeSection& a, const PeSection& b) { return a.virtualAddress < b.virtualAddress; });
  // Turns an address of the loaded image into a file offset, when length bytes there are in the file.
  auto fileOffset = [&](uint64_t rva, uint64_t length) -> std::optional<uint64_t> {
    auto after = std::upper_bound(sections.begin(), sections.end(), rva,
                                  [](uint64_t a, const PeSection& s) { return a < s.virtualAddress; });
    if (after == sections.begin())
      return std::nullopt;
    const PeSection& s = *(after - 1);
    const uint64_t into = rva - s.virtualAddress;
    if (into >= s.span || !within(into, length, s.rawSize) || !within(uint64_t(s.rawPointer) + into, length, image.size()))
      return std::nullopt;
    return s.rawPointer + into;
  };
  auto u32At = [&](uint64_t rva) -> std::optional<uint32_t> {
    const auto at = fileOffset(rva, 4);
    return at ? r.u32(*at) : std::nullopt;
  };
  auto u16At = [&](uint64_t rva) -> std::optional<uint32_t> {
    const auto at = fileOffset(rva, 2);
    return at ? r.u16(*at) : std::nullopt;
  };

  // Three levels: type, name, language. At the type level take RT_VERSION; below it the first entry.
  // A directory's entries are read in one piece, and a file claiming more entries than any real
  // resource tree has is refused before anything is read of them.
  constexpr uint32_t HighBit = 0x80000000;
  constexpr uint32_t MostEntries = 4096;
  uint64_t directory = *resourceRva;
  for (int level = 0; level < 3; ++level) {
    const auto named = u16At(directory + 12);
    const auto ids = u16At(directory + 14);
    if (!named || !ids || *named + *ids > MostEntries)
      return std::nullopt;
    const uint32_t count = level == 0 ? *named + *ids : std::min<uint32_t>(*named + *ids, 1);
    const auto entriesAt = fileOffset(directory + 16, uint64_t(count) * 8);
    if (count == 0 || !entriesAt)
      return std::nullopt;
    std::vector<uint8_t> entries(std::size_t(count) * 8);
    if (!image.read(*entriesAt, entries.data(), entries.size()))
      return std::nullopt;
    std::optional<uint32_t> target;
    for (uint32_t i = 0; i < count && !target; ++i) {
      const uint32_t name = le32(entries.data() + std::size_t(i) * 8), data = le32(entries.data() + std::size_t(i) * 8 + 4);
      if (level == 0 && ((name & HighBit) || name != RT_VERSION))
        continue;
      target = data;
    }
    if (!target)
      return std::nullopt;
    const bool isDirectory = *target & HighBit;
    if (isDirectory != (level < 2))
      return std::nullopt;
    directory = uint64_t(*resourceRva) + (*target & ~HighBit);
  }
  // IMAGE_RESOURCE_DATA_ENTRY: the data's address and size.
  const auto dataRva = u32At(directory);
  const auto dataSize = u32At(directory + 4);
  if (!dataRva || !dataSize)
    return std::nullopt;
  const uint64_t length = std::min<uint64_t>(*dataSize, MaxBlock);
  const auto at = fileOffset(*dataRva, length);
  if (!at)
    return std::nullopt;
  return blockAt(image, *at, length);
}

std::optional<std::vector<uint8_t>> findVersionBlock(const ByteSource& image)
{
  if (auto block = findVersionBlockInElf(image))
    return block;
  return findVersionBlockInPe(image);
}

}  // namespace executableimage
