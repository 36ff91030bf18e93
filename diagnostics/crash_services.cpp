// The crash-time half of the diagnostics library: minidump, stack walk and address names.
// Symbol files are rarely shipped with a game, so names fall back to the module's exports.
#include "contracts/diagnostics.h"

#include <dbghelp.h>

#include <cstdio>
#include <cstring>

namespace {

bool g_symbolsReady = false;

void prepareSymbols() {
    if (g_symbolsReady)
        return;
    SymSetOptions(SymGetOptions() | SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS);
    g_symbolsReady = SymInitialize(GetCurrentProcess(), nullptr, TRUE) != FALSE;
}

// The stack walker's starting frame and machine type for the context's architecture.
DWORD startFrame(const CONTEXT& context, STACKFRAME64& frame) {
    std::memset(&frame, 0, sizeof frame);
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrStack.Mode = AddrModeFlat;
    frame.AddrFrame.Mode = AddrModeFlat;
#if defined(_M_X64) || defined(__x86_64__)
    frame.AddrPC.Offset = context.Rip;
    frame.AddrStack.Offset = context.Rsp;
    frame.AddrFrame.Offset = context.Rbp;
    return IMAGE_FILE_MACHINE_AMD64;
#else
    frame.AddrPC.Offset = context.Eip;
    frame.AddrStack.Offset = context.Esp;
    frame.AddrFrame.Offset = context.Ebp;
    return IMAGE_FILE_MACHINE_I386;
#endif
}

HMODULE moduleOf(LONG_PTR address) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == 0)
        return nullptr;
    return static_cast<HMODULE>(region.AllocationBase);
}

const char* baseNameOf(const char* path) {
    const char* name = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    return name;
}

// The exported name nearest below rva in the module's export table, or null.
const char* nearestExport(HMODULE module, DWORD rva, DWORD* exportRva) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0 || directory.Size == 0)
        return nullptr;
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const DWORD* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    const DWORD* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const WORD* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    const char* best = nullptr;
    DWORD bestRva = 0;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        DWORD candidate = functions[ordinals[i]];
        bool forwarder = candidate >= directory.VirtualAddress &&
                         candidate < directory.VirtualAddress + directory.Size;
        if (forwarder || candidate > rva || (best && candidate <= bestRva))
            continue;
        best = reinterpret_cast<const char*>(base + names[i]);
        bestRva = candidate;
    }
    *exportRva = bestRva;
    return best;
}

// Whether the export is where the function holding rva begins. x64 modules describe every
// function's extent in their unwind tables, so a function that is not exported is not
// named after the export below it; x86 modules have no such table and keep the guess.
bool startsFunction(HMODULE module, DWORD rva, DWORD exportRva) {
#if defined(_M_X64) || defined(__x86_64__)
    DWORD64 imageBase = 0;
    ULONG_PTR address = reinterpret_cast<ULONG_PTR>(module) + rva;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(address, &imageBase, nullptr);
    return !function || function->BeginAddress == exportRva;
#else
    (void)module;
    (void)rva;
    (void)exportRva;
    return true;
#endif
}

// A symbol from debug information, when the module has any that dbghelp can read.
bool symbolName(LONG_PTR address, char* name, unsigned size, DWORD64* displacement) {
    prepareSymbols();
    if (!g_symbolsReady)
        return false;
    union {
        SYMBOL_INFO info;
        char space[sizeof(SYMBOL_INFO) + 256];
    } symbol;
    std::memset(&symbol, 0, sizeof symbol);
    symbol.info.SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol.info.MaxNameLen = 255;
    if (!SymFromAddr(GetCurrentProcess(), static_cast<DWORD64>(address), displacement,
                     &symbol.info))
        return false;
    std::snprintf(name, size, "%s", symbol.info.Name);
    return name[0] != 0;
}

// A call through a bad pointer faults before the callee has a frame of its own: the
// caller's return address is on top of the stack, so the walk starts from there.
void skipBadCallTarget(CONTEXT& context) {
#if defined(_M_X64) || defined(__x86_64__)
    DWORD64& pc = context.Rip;
    DWORD64& sp = context.Rsp;
#else
    DWORD& pc = context.Eip;
    DWORD& sp = context.Esp;
#endif
    MEMORY_BASIC_INFORMATION region;
    char path[MAX_PATH];
    HMODULE module = moduleOf(static_cast<LONG_PTR>(pc));
    if ((module && GetModuleFileNameA(module, path, sizeof path) != 0) ||
        VirtualQuery(reinterpret_cast<void*>(sp), &region, sizeof region) == 0 ||
        region.State != MEM_COMMIT)
        return;
    pc = *reinterpret_cast<const ULONG_PTR*>(sp);
    sp += sizeof(ULONG_PTR);
}

} // namespace

bool dbSaveMiniDump(const char* path, EXCEPTION_POINTERS* info) {
    if (!path)
        return false;
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    MINIDUMP_EXCEPTION_INFORMATION exception;
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = info;
    exception.ClientPointers = FALSE;
    BOOL saved = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                   info ? &exception : nullptr, nullptr, nullptr);
    CloseHandle(file);
    return saved != FALSE;
}

bool dbDoStackTrace(LONG_PTR* addresses, int capacity, int skip, EXCEPTION_POINTERS* info) {
    if (!addresses || capacity <= 0)
        return false;
    std::memset(addresses, 0, sizeof *addresses * static_cast<unsigned>(capacity));
    if (!info || !info->ContextRecord)
        return false;
    prepareSymbols();
    CONTEXT context = *info->ContextRecord; // the walk changes it
    skipBadCallTarget(context);
    STACKFRAME64 frame;
    DWORD machine = startFrame(context, frame);
    int stored = 0;
    while (stored < capacity &&
           StackWalk64(machine, GetCurrentProcess(), GetCurrentThread(), &frame, &context, nullptr,
                       SymFunctionTableAccess64, SymGetModuleBase64, nullptr) &&
           frame.AddrPC.Offset != 0) {
        if (skip > 0) {
            --skip;
            continue;
        }
        addresses[stored++] = static_cast<LONG_PTR>(frame.AddrPC.Offset);
    }
    return stored > 0;
}

bool dbConvertAddress(LONG_PTR address, char* buffer, unsigned size) {
    if (!buffer || size == 0)
        return false;
    HMODULE module = moduleOf(address);
    char path[MAX_PATH];
    if (!module || GetModuleFileNameA(module, path, sizeof path) == 0) {
        std::snprintf(buffer, size, "0x%p", reinterpret_cast<void*>(address));
        return false;
    }
    const char* moduleName = baseNameOf(path);
    char name[256];
    DWORD64 displacement = 0;
    if (symbolName(address, name, sizeof name, &displacement)) {
        std::snprintf(buffer, size, "%s!%s+0x%llx", moduleName, name,
                      static_cast<unsigned long long>(displacement));
        return true;
    }
    DWORD rva = static_cast<DWORD>(address - reinterpret_cast<LONG_PTR>(module));
    DWORD exportRva = 0;
    const char* exported = nearestExport(module, rva, &exportRva);
    if (exported && !startsFunction(module, rva, exportRva))
        exported = nullptr;
    if (exported) {
        std::snprintf(buffer, size, "%s!%s+0x%lx", moduleName, exported,
                      static_cast<unsigned long>(rva - exportRva));
    } else {
        std::snprintf(buffer, size, "%s+0x%lx", moduleName, static_cast<unsigned long>(rva));
    }
    return true;
}
