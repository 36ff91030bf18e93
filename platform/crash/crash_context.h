// Everything of the crash path that differs by architecture, as data for the report:
// the register block, the thread's stack base, the stack room after an overflow, the
// address space the module list walks and the exception code an abort raises.
#pragma once

#include <windows.h>

// One register as the report prints it: "name=" and the value in digits hex digits.
struct ReportRegister {
    const char* name;
    DWORD64 value;
    int digits;
};

// The registers in the report's order, four to a line, and the ones the report reads.
struct RegisterBlock {
    ReportRegister registers[24];
    int count;
    const char* instructionPointerName; // "EIP" or "RIP"
    ULONG_PTR instructionPointer;
    ULONG_PTR stackPointer;
    WORD codeSegment;
};

RegisterBlock registerBlock(const CONTEXT* context);

// The highest address (exclusive) of the faulting thread's stack.
ULONG_PTR crashStackBase();

// The pages the module list walks: all 4 GB of a 32-bit process, the user space of a
// 64-bit one.
ULONGLONG addressSpacePages(const SYSTEM_INFO& system);

// The exception code that the runtime's abort is reported with.
DWORD abortExceptionCode();

// Runs steps(info) with enough stack for the report after a stack overflow. On x86 the
// caller's frame is moved 64 KB up the overflowed stack; on x64 the steps run on a stack
// prepared at load. Returns only when no room could be made.
void runWithReclaimedStack(void (*steps)(EXCEPTION_POINTERS*), EXCEPTION_POINTERS* info);

// The stack that x64 reports use after an overflow, prepared while the process is sound.
void prepareOverflowStack();
void releaseOverflowStack();
