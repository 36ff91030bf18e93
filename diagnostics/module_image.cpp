// PE images of loaded modules, read through the checked-memory helpers. Runs after the
// fault: no heap.
#include "module_image.h"

#include "process_memory.h"

#include <cstring>

const IMAGE_NT_HEADERS* moduleHeaders(const BYTE* image) {
    ULONG_PTR base = reinterpret_cast<ULONG_PTR>(image);
    if (!isReadable(base, sizeof(IMAGE_DOS_HEADER)))
        return nullptr;
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 0x10000)
        return nullptr;
    ULONG_PTR at = base + static_cast<ULONG_PTR>(dos->e_lfanew);
    if (!isReadable(at, sizeof(IMAGE_NT_HEADERS)))
        return nullptr;
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(at);
    if (nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC)
        return nullptr;
    ULONG_PTR sections = reinterpret_cast<ULONG_PTR>(IMAGE_FIRST_SECTION(nt));
    if (!isReadable(sections, nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER)))
        return nullptr;
    return nt;
}

const BYTE* moduleImageOf(ULONG_PTR address) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == 0 ||
        region.State != MEM_COMMIT || region.Type != MEM_IMAGE)
        return nullptr;
    const BYTE* image = static_cast<const BYTE*>(region.AllocationBase);
    const IMAGE_NT_HEADERS* nt = moduleHeaders(image);
    if (!nt || address - reinterpret_cast<ULONG_PTR>(image) >= nt->OptionalHeader.SizeOfImage)
        return nullptr;
    return image;
}

namespace {

// The export directory of a module, checked readable whole; [first, end) are its rvas.
const IMAGE_EXPORT_DIRECTORY* exportDirectory(const BYTE* image, DWORD* first, DWORD* end) {
    const IMAGE_NT_HEADERS* nt = moduleHeaders(image);
    if (!nt || nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    *first = directory.VirtualAddress;
    *end = *first + directory.Size;
    ULONG_PTR base = reinterpret_cast<ULONG_PTR>(image);
    if (*first == 0 || *end <= *first || *end > nt->OptionalHeader.SizeOfImage ||
        directory.Size < sizeof(IMAGE_EXPORT_DIRECTORY) ||
        !isReadable(base + *first, *end - *first))
        return nullptr;
    return reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + *first);
}

// A name at rva that ends inside the export directory.
const char* directoryText(const BYTE* image, DWORD rva, DWORD first, DWORD end) {
    if (rva < first || rva >= end || !std::memchr(image + rva, 0, end - rva))
        return nullptr;
    return reinterpret_cast<const char*>(image + rva);
}

} // namespace

const char* exportedModuleName(const BYTE* image) {
    DWORD first = 0, end = 0;
    const IMAGE_EXPORT_DIRECTORY* exports = exportDirectory(image, &first, &end);
    return exports ? directoryText(image, exports->Name, first, end) : nullptr;
}

// Names and tables are taken only where they lie inside the readable export directory.
const char* nearestExport(const BYTE* image, DWORD rva, DWORD* exportRva) {
    DWORD first = 0, end = 0;
    const IMAGE_EXPORT_DIRECTORY* exports = exportDirectory(image, &first, &end);
    if (!exports)
        return nullptr;
    ULONG_PTR base = reinterpret_cast<ULONG_PTR>(image);
    auto inside = [&](DWORD at, ULONG_PTR size) {
        return at >= first && at <= end && end - at >= size;
    };
    DWORD count = exports->NumberOfNames;
    if (count > 0x10000 || !inside(exports->AddressOfNames, count * sizeof(DWORD)) ||
        !inside(exports->AddressOfNameOrdinals, count * sizeof(WORD)) ||
        !inside(exports->AddressOfFunctions, exports->NumberOfFunctions * sizeof(DWORD)))
        return nullptr;
    const DWORD* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const WORD* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    const char* best = nullptr;
    DWORD bestRva = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (ordinals[i] >= exports->NumberOfFunctions)
            continue;
        DWORD candidate = functions[ordinals[i]];
        bool forwarder = candidate >= first && candidate < end;
        const char* name = directoryText(image, names[i], first, end);
        if (forwarder || candidate > rva || (best && candidate <= bestRva) || !name)
            continue;
        best = name;
        bestRva = candidate;
    }
    *exportRva = bestRva;
    return best;
}
