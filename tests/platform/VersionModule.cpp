// A shared library with the version-resource functions and the version information component
// built in, so tests see what they do from inside a library rather than from the executable.

#include "about/VersionInfoResource.h"
#include "uicore/ExceptionGuard.h"
#include "platform/VersionResources.h"

#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
const char Anchor = 0;
}

MODULE_EXPORT uint32_t kestrelModulePath(char* buffer, uint32_t size)
{
  return GetModuleFileName(ModuleHandleOf(&Anchor), buffer, size);
}

MODULE_EXPORT bool kestrelModuleIsLibrary()
{
  return ModuleIsLibrary(ModuleHandleOf(&Anchor));
}

MODULE_EXPORT void kestrelComponentReads(bool forceExe, QString* target, QString* version)
{
  TVersionInfoResource component(nullptr);
  component.Loaded();
  component.SetForceEXE(forceExe);  // after the first read, so a change has to read again
  *target = component.GetTargetFilename();
  *version = component.FileVersion().Text();
}

// The program's top-level handler lives with its windows; the library has none to show.
void ApplicationHandleException(const std::exception&) {}
void ApplicationHandleUnknownException() {}
