#include "platform/VersionBlock.h"

#include <bit>
#include <cstring>
#include <stdexcept>

static_assert(std::endian::native == std::endian::little,
              "the block is little-endian and callers read VS_FIXEDFILEINFO in place");

namespace versionblock {

namespace {

constexpr std::size_t align4(std::size_t n) { return (n + 3) & ~std::size_t(3); }

uint16_t read16(std::span<const uint8_t> data, std::size_t at)
{
  return uint16_t(data[at] | (data[at + 1] << 8));
}

void put16(std::vector<uint8_t>& out, std::size_t at, uint16_t v)
{
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}

void append16(std::vector<uint8_t>& out, uint16_t v)
{
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void pad4(std::vector<uint8_t>& out, std::size_t blockStart)
{
  while ((out.size() - blockStart) % 4)
    out.push_back(0);
}

// The writer's view of a node; the whole block is a tree of these.
struct OutNode {
  std::u16string key;
  uint16_t type = 1;
  std::vector<uint8_t> value;
  uint16_t valueLength = 0;  // as the node declares it (characters for text, bytes otherwise)
  std::vector<OutNode> children;
};

void write(std::vector<uint8_t>& out, std::size_t blockStart, const OutNode& node)
{
  const std::size_t start = out.size();
  append16(out, 0);  // wLength, known at the end
  append16(out, node.valueLength);
  append16(out, node.type);
  for (char16_t c : node.key)
    append16(out, uint16_t(c));
  append16(out, 0);
  pad4(out, blockStart);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const OutNode& child : node.children) {
    pad4(out, blockStart);
    write(out, blockStart, child);
  }
  const std::size_t length = out.size() - start;
  if (length > 0xFFFF)
    throw std::length_error("version block: the node \"" + toUtf8(node.key) + "\" is longer than 65535 bytes");
  put16(out, start, uint16_t(length));
}

OutNode textNode(const std::u16string& key, const std::u16string& text)
{
  OutNode n{key, 1, {}, 0, {}};
  for (char16_t c : text)
    append16(n.value, uint16_t(c));
  append16(n.value, 0);
  if (text.size() + 1 > 0xFFFF)
    throw std::length_error("version block: the value of \"" + toUtf8(key) + "\" is too long");
  n.valueLength = uint16_t(text.size() + 1);  // in characters, with the terminator
  return n;
}

char16_t fold(char16_t c)
{
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
    return char16_t(c - 0x20);
  return c;
}

}  // namespace

VS_FIXEDFILEINFO fixedFileInfo(uint32_t fileMS, uint32_t fileLS, uint32_t productMS, uint32_t productLS)
{
  VS_FIXEDFILEINFO f{};
  f.dwSignature = VS_FFI_SIGNATURE;
  f.dwStrucVersion = VS_FFI_STRUCVERSION;
  f.dwFileVersionMS = fileMS;
  f.dwFileVersionLS = fileLS;
  f.dwProductVersionMS = productMS;
  f.dwProductVersionLS = productLS;
  return f;
}

std::vector<uint8_t> build(const Description& d)
{
  OutNode root{std::u16string(RootKey), 0, {}, 0, {}};
  if (d.fixed) {
    const VS_FIXEDFILEINFO& f = *d.fixed;
    const uint32_t fields[] = {f.dwSignature,       f.dwStrucVersion,     f.dwFileVersionMS, f.dwFileVersionLS,
                               f.dwProductVersionMS, f.dwProductVersionLS, f.dwFileFlagsMask, f.dwFileFlags,
                               f.dwFileOS,           f.dwFileType,         f.dwFileSubtype,   f.dwFileDateMS,
                               f.dwFileDateLS};
    for (uint32_t v : fields)
      for (int i = 0; i < 4; ++i)
        root.value.push_back(uint8_t(v >> (8 * i)));
    root.valueLength = uint16_t(root.value.size());
  }
  if (!d.stringTables.empty()) {
    OutNode info{u"StringFileInfo", 1, {}, 0, {}};
    for (const StringTable& t : d.stringTables) {
      OutNode table{t.key, 1, {}, 0, {}};
      for (const auto& [key, text] : t.strings)
        table.children.push_back(textNode(key, text));
      info.children.push_back(std::move(table));
    }
    root.children.push_back(std::move(info));
  }
  if (d.translations) {
    OutNode var{u"Translation", 0, {}, 0, {}};
    for (auto [language, codePage] : *d.translations) {
      append16(var.value, language);
      append16(var.value, codePage);
    }
    var.valueLength = uint16_t(var.value.size());
    OutNode info{u"VarFileInfo", 1, {}, 0, {}};
    info.children.push_back(std::move(var));
    root.children.push_back(std::move(info));
  }
  std::vector<uint8_t> out;
  write(out, 0, root);
  return out;
}

std::optional<Node> readNode(std::span<const uint8_t> block, std::size_t offset, std::size_t limit)
{
  limit = std::min(limit, block.size());
  if (offset > limit || limit - offset < MinimumNodeSize)
    return std::nullopt;
  Node n;
  n.offset = offset;
  const std::size_t length = read16(block, offset);
  if (length < MinimumNodeSize || length > limit - offset)
    return std::nullopt;
  n.end = offset + length;
  n.valueLength = read16(block, offset + 2);
  n.type = read16(block, offset + 4);
  n.keyOffset = offset + NodeHeaderSize;
  std::size_t at = n.keyOffset;
  while (at + 2 <= n.end && read16(block, at) != 0)
    at += 2;
  if (at + 2 > n.end)
    return std::nullopt;  // the key runs past the node
  n.keyUnits = (at - n.keyOffset) / 2;
  n.valueOffset = std::min(align4(at + 2), n.end);
  // Text lengths count characters; a length that claims more than the node holds is cut to it.
  const std::size_t declared = n.type == 1 ? std::size_t(n.valueLength) * 2 : n.valueLength;
  n.valueBytes = std::min(declared, n.end - n.valueOffset);
  n.childrenOffset = std::min(align4(n.valueOffset + n.valueBytes), n.end);
  return n;
}

std::vector<Node> children(std::span<const uint8_t> block, const Node& parent)
{
  std::vector<Node> result;
  std::size_t at = parent.childrenOffset;
  while (at < parent.end) {
    const std::optional<Node> child = readNode(block, at, parent.end);
    if (!child)
      break;
    result.push_back(*child);
    at = align4(child->end);  // wLength >= MinimumNodeSize, so this always moves on
  }
  return result;
}

std::u16string key(std::span<const uint8_t> block, const Node& node)
{
  std::u16string k;
  k.reserve(node.keyUnits);
  for (std::size_t i = 0; i < node.keyUnits; ++i)
    k.push_back(char16_t(read16(block, node.keyOffset + 2 * i)));
  return k;
}

std::optional<std::size_t> blockLength(std::span<const uint8_t> data)
{
  const std::optional<Node> root = readNode(data, 0, data.size());
  if (!root || !keysEqual(key(data, *root), RootKey))
    return std::nullopt;
  return root->end;
}

bool keysEqual(std::u16string_view a, std::u16string_view b)
{
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i]))
      return false;
  return true;
}

std::optional<Value> query(std::span<const uint8_t> block, std::u16string_view path)
{
  if (block.size() < MinimumNodeSize)
    return std::nullopt;
  // The block bounds itself: the root's wLength says how far it reaches.
  std::optional<Node> node = readNode(block, 0, read16(block, 0));
  if (!node)
    return std::nullopt;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t next = path.find(u'\\', at);
    if (next == std::u16string_view::npos)
      next = path.size();
    const std::u16string_view name = path.substr(at, next - at);
    at = next + 1;
    if (name.empty())
      continue;
    std::optional<Node> found;
    for (const Node& child : children(block, *node))
      if (keysEqual(key(block, child), name)) {
        found = child;
        break;
      }
    if (!found)
      return std::nullopt;
    node = found;
  }
  Value v;
  v.offset = node->valueOffset;
  v.bytes = node->valueBytes;
  v.text = node->type == 1;
  v.length = uint32_t(v.text ? v.bytes / 2 : v.bytes);
  return v;
}

std::u16string fromUtf8(std::string_view s)
{
  std::u16string out;
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = s[i];
    char32_t cp = 0xFFFD;
    std::size_t extra = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    }
    ++i;
    bool ok = c < 0x80 || extra > 0;
    for (std::size_t k = 0; ok && k < extra; ++k, ++i) {
      if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

std::string toUtf8(std::u16string_view s)
{
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace versionblock
