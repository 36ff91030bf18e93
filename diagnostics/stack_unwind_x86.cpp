// The x86 step of the stack walk. Release builds omit frame pointers, so the frame-pointer
// chain alone loses every frame of such code; each module built by mingw's i686 toolchain
// describes its frames in .eh_frame instead (eh_frame.cpp). Frames of code without that
// description (system DLLs, code of other compilers) follow the frame-pointer chain.
#include "stack_unwind.h"

void startFrame(const CONTEXT& context, FrameState* frame) {
    ULONG_PTR* registers = frame->registers;
    registers[x86Eax] = context.Eax;
    registers[x86Ecx] = context.Ecx;
    registers[x86Edx] = context.Edx;
    registers[x86Ebx] = context.Ebx;
    registers[x86Esp] = context.Esp;
    registers[x86Ebp] = context.Ebp;
    registers[x86Esi] = context.Esi;
    registers[x86Edi] = context.Edi;
    registers[x86Eip] = context.Eip;
    frame->atReturnAddress = false;
}

ULONG_PTR framePc(const FrameState& frame) {
    return frame.registers[x86Eip];
}

ULONG_PTR frameStackPointer(const FrameState& frame) {
    return frame.registers[x86Esp];
}

void moveFrame(FrameState* frame, ULONG_PTR pc, ULONG_PTR stackPointer) {
    frame->registers[x86Eip] = pc;
    frame->registers[x86Esp] = stackPointer;
    frame->atReturnAddress = true;
}

namespace {

// The classic frame: [ebp] holds the caller's ebp, [ebp + 4] the return address.
bool followFramePointer(FrameState* frame, const StackRange& stack) {
    ULONG_PTR ebp = frame->registers[x86Ebp];
    if (ebp < frame->registers[x86Esp] || !stack.holds(ebp, 2 * sizeof ebp))
        return false;
    const ULONG_PTR* saved = reinterpret_cast<const ULONG_PTR*>(ebp);
    frame->registers[x86Ebp] = saved[0];
    moveFrame(frame, saved[1], ebp + 2 * sizeof ebp);
    return true;
}

} // namespace

// A return address may be the first byte after a function that ends in a call, so a
// caller's frame is looked up at the call, one byte before.
bool unwindFrame(FrameState* frame, const StackRange& stack) {
    ULONG_PTR lookupPc = framePc(*frame) - (frame->atReturnAddress ? 1 : 0);
    switch (unwindByCallFrameInfo(lookupPc, frame->registers)) {
    case callFrameUnwound:
        frame->atReturnAddress = true;
        return true;
    case callFrameOutermost:
        return false;
    case callFrameUnknown:
        break;
    }
    return followFramePointer(frame, stack);
}

bool functionExtent(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end) {
    return callFrameFunction(address, begin, end);
}
