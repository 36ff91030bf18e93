// The loaded modules' PE images, read with checks: which module holds an address, its
// headers and its export table. Crash-time code: no heap.
#pragma once

#include <windows.h>

// The base of the loaded module whose image holds address, after checking its headers;
// null when address is in no module.
const BYTE* moduleImageOf(ULONG_PTR address);

// The headers of a module image, with its section table; null when they are not readable
// or not a PE image's.
const IMAGE_NT_HEADERS* moduleHeaders(const BYTE* image);

// The name of the export nearest below rva, with its rva; null when none is below.
const char* nearestExport(const BYTE* image, DWORD rva, DWORD* exportRva);

// The file name the module was linked as, from its export directory; null without one.
const char* exportedModuleName(const BYTE* image);
