#pragma once

// The platform's version-information block, in its published layout: a VS_VERSIONINFO holding a
// VS_FIXEDFILEINFO, then a StringFileInfo with one StringTable per translation and a VarFileInfo
// with its "Translation" Var. Every structure is a node: wLength (bytes, the node with its
// children, without trailing padding), wValueLength, wType (1 text, 0 binary), a zero-terminated
// UTF-16 key, padding to 32 bits, the value, padding to 32 bits, the children. Little-endian; the
// 32-bit alignment counts from the start of the block. Standard C++ only: the build's generator
// uses this code as well as the program.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// VS_FIXEDFILEINFO, field by field as the block stores it.
struct VS_FIXEDFILEINFO {
  uint32_t dwSignature;
  uint32_t dwStrucVersion;
  uint32_t dwFileVersionMS;
  uint32_t dwFileVersionLS;
  uint32_t dwProductVersionMS;
  uint32_t dwProductVersionLS;
  uint32_t dwFileFlagsMask;
  uint32_t dwFileFlags;
  uint32_t dwFileOS;
  uint32_t dwFileType;
  uint32_t dwFileSubtype;
  uint32_t dwFileDateMS;
  uint32_t dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

constexpr uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t VS_FFI_STRUCVERSION = 0x00010000;

constexpr uint32_t VS_FF_DEBUG = 0x01;
constexpr uint32_t VS_FF_PRERELEASE = 0x02;
constexpr uint32_t VS_FF_PATCHED = 0x04;
constexpr uint32_t VS_FF_PRIVATEBUILD = 0x08;
constexpr uint32_t VS_FF_INFOINFERRED = 0x10;
constexpr uint32_t VS_FF_SPECIALBUILD = 0x20;

constexpr uint32_t VOS__WINDOWS32 = 0x00000004;
constexpr uint32_t VFT_APP = 0x00000001;

namespace versionblock {

// The root key every block starts with.
inline constexpr std::u16string_view RootKey = u"VS_VERSION_INFO";
// The smallest node: the three header words and a key of only its terminator.
constexpr std::size_t NodeHeaderSize = 6;
constexpr std::size_t MinimumNodeSize = NodeHeaderSize + 2;

// What a block says, as the generator and the tests describe it.
struct StringTable {
  std::u16string key;  // eight hexadecimal digits: language, then code page ("040904E4")
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct Description {
  std::optional<VS_FIXEDFILEINFO> fixed;  // none: the root has no value (wValueLength 0)
  std::vector<StringTable> stringTables;  // empty: no StringFileInfo
  // (language, code page) pairs; none: no VarFileInfo at all.
  std::optional<std::vector<std::pair<uint16_t, uint16_t>>> translations;
};

// A fixed part with the signature, the structure version and the two versions set.
VS_FIXEDFILEINFO fixedFileInfo(uint32_t fileMS, uint32_t fileLS, uint32_t productMS, uint32_t productLS);

// Lays out the block. Raises std::length_error when a node outgrows the 16-bit wLength.
std::vector<uint8_t> build(const Description& description);

// One node of a block, by offsets from the block's start.
struct Node {
  std::size_t offset = 0;
  std::size_t end = 0;  // offset + wLength
  uint16_t valueLength = 0;  // wValueLength as stored
  uint16_t type = 0;
  std::size_t keyOffset = 0;
  std::size_t keyUnits = 0;  // without the terminator
  std::size_t valueOffset = 0;
  std::size_t valueBytes = 0;  // what the node really holds, never past its end
  std::size_t childrenOffset = 0;
};

// Reads the node at offset, which must lie within limit; none when its header, key or length do
// not fit.
std::optional<Node> readNode(std::span<const uint8_t> block, std::size_t offset, std::size_t limit);
// The node's children in order; stops at the first that does not fit.
std::vector<Node> children(std::span<const uint8_t> block, const Node& parent);
std::u16string key(std::span<const uint8_t> block, const Node& node);

// The bytes that make a well-formed block at the start of data (root wLength, at least a root
// node, key "VS_VERSION_INFO"), or none.
std::optional<std::size_t> blockLength(std::span<const uint8_t> data);

// The answer to a query: where the value lies in the block, and its length as the platform reports
// it (characters for a text value, bytes for a binary one).
struct Value {
  std::size_t offset = 0;
  std::size_t bytes = 0;
  uint32_t length = 0;
  bool text = false;
};

// Walks "\"-separated names from the root, each compared without regard to case; empty names are
// skipped, so "\" is the root itself.
std::optional<Value> query(std::span<const uint8_t> block, std::u16string_view path);

// Key comparison as the platform does it: without regard to letter case.
bool keysEqual(std::u16string_view a, std::u16string_view b);

std::u16string fromUtf8(std::string_view text);
std::string toUtf8(std::u16string_view text);

}  // namespace versionblock
