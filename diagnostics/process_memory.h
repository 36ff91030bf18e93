// Checked access to the memory of a process that may have crashed: every read the stack walk
// and the address names make goes through these, so a damaged pointer ends a walk instead
// of raising a second exception. No heap; VirtualQuery only.
#pragma once

#include <windows.h>

// Whether [address, address + size) is committed and readable.
bool isReadable(ULONG_PTR address, ULONG_PTR size);

// Reads one pointer-sized word; false when the word is not readable.
bool readWord(ULONG_PTR address, ULONG_PTR* value);

// Whether address lies in executable pages of a loaded module.
bool isModuleCode(ULONG_PTR address);

// The committed part of a thread's stack, from a stack pointer up to the stack's top.
struct StackRange {
    ULONG_PTR low;
    ULONG_PTR high;
    bool holds(ULONG_PTR address, ULONG_PTR size) const {
        return address >= low && address <= high && high - address >= size;
    }
};

// The stack range above stackPointer; empty when stackPointer is not in committed memory.
StackRange stackAbove(ULONG_PTR stackPointer);
