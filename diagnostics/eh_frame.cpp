// The call-frame information of a loaded i686 module: its .eh_frame section found in the
// image, then handed to the entry scan and the rule program (eh_frame_parts.h).
// Crash-time code: no heap; the section is checked readable once.
#include "eh_frame.h"

#include "eh_frame_parts.h"
#include "module_image.h"
#include "process_memory.h"

#include <cstring>

namespace {

// NOTE: a section name longer than eight characters, like ".eh_frame", lives in the file's
// string table and the section table says "/N"; the string table is not loaded with the
// image. So the section is known by its contents: the first loaded, readable, non-code
// section named "/N" (or ".eh_fram", as linkers that cut long names write it) that begins
// with a valid CIE. Debug sections, which may be "/N" too, are discardable and skipped.
bool findCallFrameSection(ULONG_PTR address, const BYTE** begin, const BYTE** end) {
    const BYTE* image = moduleImageOf(address);
    const IMAGE_NT_HEADERS* headers = image ? moduleHeaders(image) : nullptr;
    if (!headers)
        return false;
    const DWORD imageSize = headers->OptionalHeader.SizeOfImage;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        bool named = section->Name[0] == '/' || std::memcmp(section->Name, ".eh_fram", 8) == 0;
        DWORD flags = section->Characteristics;
        DWORD size = section->Misc.VirtualSize;
        if (!named || !(flags & IMAGE_SCN_MEM_READ) ||
            (flags & (IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_DISCARDABLE)) ||
            section->VirtualAddress >= imageSize || size > imageSize - section->VirtualAddress)
            continue;
        const BYTE* data = image + section->VirtualAddress;
        CommonEntry common;
        if (isReadable(reinterpret_cast<ULONG_PTR>(data), size) &&
            parseCommonEntry(data, data + size, &common)) {
            *begin = data;
            *end = data + size;
            return true;
        }
    }
    return false;
}

bool findFunction(ULONG_PTR address, FunctionEntry* function) {
    const BYTE* section = nullptr;
    const BYTE* sectionEnd = nullptr;
    return findCallFrameSection(address, &section, &sectionEnd) &&
           findFunctionEntry(section, sectionEnd, address, function);
}

} // namespace

bool callFrameFunction(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end) {
    FunctionEntry function;
    if (!findFunction(address, &function))
        return false;
    *begin = function.begin;
    *end = function.end;
    return true;
}

CallFrameResult unwindByCallFrameInfo(ULONG_PTR lookupPc, ULONG_PTR* registers) {
    FunctionEntry function;
    if (!findFunction(lookupPc, &function))
        return callFrameUnknown;
    return unwindByRules(function, lookupPc, registers);
}
