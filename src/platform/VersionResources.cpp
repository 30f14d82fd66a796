#include "platform/VersionResources.h"

#include "platform/ExecutableImage.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <unistd.h>

namespace {

std::optional<std::vector<uint8_t>> blockOf(const char* filename)
{
  if (!filename || !*filename)
    return std::nullopt;
  const executableimage::FileSource file(filename);
  return executableimage::findVersionBlock(file);
}

// The module's entry in the dynamic linker's list; the program itself heads that list.
const link_map* linkMapOf(HMODULE module)
{
  Dl_info info;
  void* map = nullptr;
  if (!module || !dladdr1(module, &info, &map, RTLD_DL_LINKMAP))
    return nullptr;
  return static_cast<const link_map*>(map);
}

std::string executablePath()
{
  std::string path(PATH_MAX, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0)
      return {};
    if (std::size_t(n) < path.size()) {
      path.resize(std::size_t(n));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

uint32_t GetFileVersionInfoSize(const char* filename, uint32_t* handle)
{
  if (handle)
    *handle = 0;
  const auto block = blockOf(filename);
  return block ? uint32_t(block->size()) : 0;
}

bool GetFileVersionInfo(const char* filename, uint32_t /*handle*/, uint32_t length, void* data)
{
  // Less than a node cannot hold even the root's length, which queries rely on.
  if (!data || length < versionblock::MinimumNodeSize)
    return false;
  const auto block = blockOf(filename);
  if (!block)
    return false;
  const std::size_t n = std::min<std::size_t>(length, block->size());
  std::memcpy(data, block->data(), n);
  if (n < block->size()) {
    auto* bytes = static_cast<uint8_t*>(data);
    bytes[0] = uint8_t(n);
    bytes[1] = uint8_t(n >> 8);
  }
  return true;
}

bool VerQueryValue(const void* block, const char16_t* subBlock, const void** buffer, uint32_t* length)
{
  if (buffer)
    *buffer = nullptr;
  if (length)
    *length = 0;
  if (!block || !subBlock)
    return false;
  const auto* bytes = static_cast<const uint8_t*>(block);
  const std::size_t rootLength = bytes[0] | (bytes[1] << 8);
  const auto value = versionblock::query({bytes, rootLength}, subBlock);
  if (!value)
    return false;
  if (buffer)
    *buffer = bytes + value->offset;
  if (length)
    *length = value->length;
  return true;
}

uint32_t GetModuleFileName(HMODULE module, char* filename, uint32_t size)
{
  if (!filename || size == 0)
    return 0;
  std::string path;
  const link_map* map = module ? linkMapOf(module) : nullptr;
  if (module && !map)
    return 0;
  if (!map || !map->l_prev) {
    path = executablePath();
  } else if (map->l_name) {
    path = map->l_name;
    if (!path.empty() && path[0] != '/') {
      // A library loaded by a relative name: give the absolute path, as the platform does.
      if (char* real = ::realpath(path.c_str(), nullptr)) {
        path = real;
        std::free(real);
      }
    }
  }
  if (path.empty())
    return 0;
  if (path.size() >= size) {
    std::memcpy(filename, path.data(), size - 1);
    filename[size - 1] = '\0';
    return size;
  }
  std::memcpy(filename, path.c_str(), path.size() + 1);
  return uint32_t(path.size());
}

HMODULE ModuleHandleOf(const void* address)
{
  Dl_info info;
  if (!address || !dladdr(address, &info))
    return nullptr;
  return info.dli_fbase;
}

bool ModuleIsLibrary(HMODULE module)
{
  const link_map* map = linkMapOf(module);
  return map && map->l_prev;
}
