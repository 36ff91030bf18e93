// What the crash report needs from the processor context and the thread, per architecture.
#pragma once

#include <windows.h>

ULONG_PTR instructionPointer(const CONTEXT* context);
ULONG_PTR stackPointer(const CONTEXT* context);
WORD codeSegment(const CONTEXT* context);

// The highest address (exclusive) of the faulting thread's stack.
ULONG_PTR crashStackBase();

// Runs steps(info) with enough stack for the report after a stack overflow. On x86 the
// caller's frame is moved 64 KB up the overflowed stack; on x64 the steps run on a stack
// prepared at load. Returns only when no room could be made.
void runWithReclaimedStack(void (*steps)(EXCEPTION_POINTERS*), EXCEPTION_POINTERS* info);

// The stack that x64 reports use after an overflow, prepared while the process is sound.
void prepareOverflowStack();
void releaseOverflowStack();
