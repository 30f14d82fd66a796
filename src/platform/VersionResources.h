#pragma once

// The platform's version-resource functions and the module-file-name function, for an OS that has
// none of them. They read the version-information block (see VersionBlock.h) from the section
// "kestrel_version" of an ELF file, where the build stores the program's own block, or from the
// RT_VERSION resource of a Windows PE file. Text values are answered as the block stores them:
// zero-terminated UTF-16.

#include "platform/VersionBlock.h"

#include <cstdint>

// A loaded module: the address it is mapped at. nullptr names the program's executable.
using HMODULE = const void*;

// The size of the file's version-information block, 0 when the file is missing, is not ELF or PE,
// has no block or a damaged one. *handle, when given, is set to 0 (it exists for the platform's
// signature only).
uint32_t GetFileVersionInfoSize(const char* filename, uint32_t* handle);

// Copies the block into data, at most length bytes. A shorter buffer gets the block's start with
// its root length cut to the buffer, so queries never reach past it. False when there is no block.
bool GetFileVersionInfo(const char* filename, uint32_t handle, uint32_t length, void* data);

// Looks up "\" (the VS_FIXEDFILEINFO; its length in bytes, 0 when the block has none),
// "\VarFileInfo\Translation" (the array of language and code-page words; its length in bytes) or
// "\StringFileInfo\<translation>\<key>" (a zero-terminated UTF-16 text; its length in characters).
// Names are compared without regard to case. The block bounds itself by its root's wLength, so it
// must be one that GetFileVersionInfo filled. *buffer points into the block.
bool VerQueryValue(const void* block, const char16_t* subBlock, const void** buffer, uint32_t* length);

// The file the module was loaded from, zero-terminated. Returns its length; when size is too small
// the path is cut to size - 1 characters and size is returned; 0 on failure.
uint32_t GetModuleFileName(HMODULE module, char* filename, uint32_t size);

// The module whose code or data contains address (nullptr when none does).
HMODULE ModuleHandleOf(const void* address);

// True for a shared library, false for the program's executable.
bool ModuleIsLibrary(HMODULE module);
