// A shared library with the version information component built in, so tests see what it does
// from inside a library rather than from the executable.

#include "about/VersionInfoResource.h"
#include "uicore/ExceptionGuard.h"
#include "platform/VersionResources.h"

#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))

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
