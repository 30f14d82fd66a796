#pragma once

// Finds the version-information block inside an executable file: in an ELF file the section
// "kestrel_version" (where the build stores the program's own block), in a Windows PE file its
// RT_VERSION resource. Every offset and size read from the file is checked against the file's size
// before it is used, so a damaged or hostile file gives "no block", never a read out of bounds.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace executableimage {

inline constexpr const char* VersionSectionName = "kestrel_version";
constexpr uint32_t RT_VERSION = 16;

// Random access to the bytes of a file, or of an image held in memory by a test.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly count bytes at offset; false when they are not all there.
  virtual bool read(uint64_t offset, void* into, std::size_t count) const = 0;
};

class MemorySource : public ByteSource {
public:
  explicit MemorySource(std::span<const uint8_t> bytes) : FBytes(bytes) {}
  uint64_t size() const override { return FBytes.size(); }
  bool read(uint64_t offset, void* into, std::size_t count) const override;

private:
  std::span<const uint8_t> FBytes;
};

// A regular file opened read-only; anything else (a folder, a device, a missing file) reads as empty.
class FileSource : public ByteSource {
public:
  explicit FileSource(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  uint64_t size() const override { return FSize; }
  bool read(uint64_t offset, void* into, std::size_t count) const override;

private:
  int FFd = -1;
  uint64_t FSize = 0;
};

// The well-formed version block the image carries (exactly its root's wLength bytes), or none.
std::optional<std::vector<uint8_t>> findVersionBlock(const ByteSource& image);
std::optional<std::vector<uint8_t>> findVersionBlockInElf(const ByteSource& image);
std::optional<std::vector<uint8_t>> findVersionBlockInPe(const ByteSource& image);

}  // namespace executableimage
