// One step of the stack walk, in the form of the build's architecture: call-frame
// information with the frame-pointer chain as fallback on x86 (stack_unwind_x86.cpp), the
// unwind tables on x64 (stack_unwind_x64.cpp). The walk's loop and its checks are shared.
// Crash-time code: no heap, and every read of process memory checked.
#pragma once

#include "process_memory.h"

#include <windows.h>

#if !defined(__x86_64__)
#include "eh_frame.h"
#endif

// The registers that unwinding a frame needs.
struct FrameState {
#if defined(__x86_64__)
    CONTEXT context;
#else
    ULONG_PTR registers[x86RegisterCount]; // by DWARF number
#endif
    bool atReturnAddress; // the pc follows a call, so the call's function is that of pc - 1
};

void startFrame(const CONTEXT& context, FrameState* frame);
ULONG_PTR framePc(const FrameState& frame);
ULONG_PTR frameStackPointer(const FrameState& frame);

// Moves frame to pc and stackPointer, pc being a return address.
void moveFrame(FrameState* frame, ULONG_PTR pc, ULONG_PTR stackPointer);

// Continues from the return address on top of the stack, as a call through a bad pointer
// or a function without a frame of its own leaves it; false when the stack cannot be read.
inline bool popReturnAddress(FrameState* frame, const StackRange& stack) {
    ULONG_PTR top = frameStackPointer(*frame);
    if (!stack.holds(top, sizeof top))
        return false;
    moveFrame(frame, *reinterpret_cast<const ULONG_PTR*>(top), top + sizeof top);
    return true;
}

// Replaces frame by its caller's; false at the outermost frame or when nothing tells how.
bool unwindFrame(FrameState* frame, const StackRange& stack);

// The extent [begin, end) of the function that holds address, from its module's unwind
// information; false when the module has none for it.
bool functionExtent(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end);
