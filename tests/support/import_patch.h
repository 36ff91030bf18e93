// Replaces one entry of a module's import address table for the life of the object, so a
// test can script what a system call answers while the library's own code path runs.
#pragma once

#include <windows.h>

#include <cstring>

class ImportPatch {
public:
    template <typename Function>
    ImportPatch(HMODULE module, const char* dllName, const char* function, Function* replacement)
        : m_slot(findSlot(module, dllName, function)), m_original(m_slot ? *m_slot : 0) {
        write(reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch() { write(m_original); }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool active() const { return m_slot != nullptr; }

private:
    static ULONG_PTR* findSlot(HMODULE module, const char* dllName, const char* function) {
        if (!module)
            return nullptr;
        auto* base = reinterpret_cast<BYTE*>(module);
        auto* headers = PIMAGE_NT_HEADERS(base + PIMAGE_DOS_HEADER(base)->e_lfanew);
        const DWORD imports =
            headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* entry = PIMAGE_IMPORT_DESCRIPTOR(base + imports); imports && entry->Name;
             ++entry) {
            if (lstrcmpiA(reinterpret_cast<char*>(base + entry->Name), dllName) != 0)
                continue;
            auto* names = PIMAGE_THUNK_DATA(base + entry->OriginalFirstThunk);
            auto* slots = PIMAGE_THUNK_DATA(base + entry->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                auto* byName = PIMAGE_IMPORT_BY_NAME(base + names->u1.AddressOfData);
                if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
                    std::strcmp(reinterpret_cast<char*>(byName->Name), function) == 0)
                    return reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    void write(ULONG_PTR value) {
        DWORD protection = 0;
        if (m_slot && VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection)) {
            *m_slot = value;
            VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
        }
    }

    ULONG_PTR* m_slot;
    ULONG_PTR m_original;
};
