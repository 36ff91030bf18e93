// Replaces one entry of a module's import address table for the life of the object, so a
// test can script what a system call answers while the library's own code path runs.
#pragma once

#include <windows.h>

#include <cstring>

class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* dllName, const char* function, void* replacement)
        : m_slot(findSlot(module, dllName, function)) {
        if (m_slot) {
            m_original = *m_slot;
            write(reinterpret_cast<ULONG_PTR>(replacement));
        }
    }
    ~ImportPatch() {
        if (m_slot)
            write(m_original);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool active() const { return m_slot != nullptr; }

private:
    static ULONG_PTR* findSlot(HMODULE module, const char* dllName, const char* function) {
        if (!module)
            return nullptr;
        BYTE* base = reinterpret_cast<BYTE*>(module);
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& directory =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (directory.VirtualAddress == 0)
            return nullptr;
        auto* descriptor =
            reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
        for (; descriptor->Name; ++descriptor) {
            if (lstrcmpiA(reinterpret_cast<char*>(base + descriptor->Name), dllName) != 0)
                continue;
            auto* names =
                reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                auto* byName =
                    reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) == 0)
                    return reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    void write(ULONG_PTR value) {
        DWORD protection = 0;
        VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &protection);
        *m_slot = value;
        VirtualProtect(m_slot, sizeof *m_slot, protection, &protection);
    }

    ULONG_PTR* m_slot;
    ULONG_PTR m_original = 0;
};
