// The x86 step of the stack walk. Release builds omit frame pointers, so the frame-pointer
// chain alone loses every frame of such code; each module built by mingw's i686 toolchain
// describes its frames in .eh_frame instead (eh_frame.cpp). Frames of code without that
// description (system DLLs, code of other compilers) follow the frame-pointer chain, with
// a validated stack scan for leaf functions that keep no frame. Runs after the fault: no
// heap, every read checked.
#include "stack_unwind.h"

#include <cstring>

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

// How far below pc a called function may begin: for the return address that the
// frame-pointer chain gives, and for one found by scanning the stack, which must be nearer.
const ULONG_PTR chainReach = 0x10000;
const ULONG_PTR scanReach = 0x1000;
const int scanWords = 64;

// The target of the call that ends just before returnAddress, for the forms whose target
// memory tells: call rel32, and call [slot] as through an import.
bool callTarget(ULONG_PTR returnAddress, ULONG_PTR* target) {
    BYTE code[6];
    if (!isReadable(returnAddress - sizeof code, sizeof code))
        return false;
    std::memcpy(code, reinterpret_cast<const void*>(returnAddress - sizeof code), sizeof code);
    ULONG_PTR operand = 0;
    std::memcpy(&operand, code + 2, sizeof operand);
    if (code[1] == 0xe8) {
        *target = returnAddress + operand;
        return true;
    }
    return code[0] == 0xff && code[1] == 0x15 && readWord(operand, target);
}

bool startsBelow(ULONG_PTR target, ULONG_PTR pc, ULONG_PTR reach) {
    return target <= pc && pc - target < reach;
}

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

// The first word above the stack pointer that returns from a direct or import call to a
// function beginning just below pc, with that function's start.
bool findLeafReturn(FrameState* frame, const StackRange& stack, ULONG_PTR* target) {
    ULONG_PTR pc = framePc(*frame);
    ULONG_PTR slot = frameStackPointer(*frame);
    for (int i = 0; i < scanWords && stack.holds(slot, sizeof slot); ++i, slot += sizeof slot) {
        ULONG_PTR candidate = *reinterpret_cast<const ULONG_PTR*>(slot);
        if (isModuleCode(candidate) && callTarget(candidate, target) &&
            startsBelow(*target, pc, scanReach)) {
            moveFrame(frame, candidate, slot + sizeof slot);
            return true;
        }
    }
    return false;
}

// NOTE: code without call-frame information mostly keeps the classic frame (system DLLs),
// but hand-written leaf functions (the runtime's stack probe, which a stack overflow faults
// in; memcpy) keep none, and the chain from them would skip every caller up to the next
// frame that has one. The function that holds pc begins at the nearest call target below
// pc, so a return address on the stack from a call nearer to pc than the chain's call wins
// over the chain, and so does one whose call is known where the chain's is not.
bool unwindWithoutCallFrameInfo(FrameState* frame, const StackRange& stack) {
    ULONG_PTR pc = framePc(*frame);
    FrameState chained = *frame;
    FrameState scanned = *frame;
    ULONG_PTR chainTarget = 0, leafTarget = 0;
    bool chainFound = followFramePointer(&chained, stack);
    bool chainTargetKnown = chainFound && callTarget(framePc(chained), &chainTarget);
    bool leafFound = findLeafReturn(&scanned, stack, &leafTarget);
    bool leafWins =
        leafFound && (!chainFound || !chainTargetKnown ||
                      !startsBelow(chainTarget, pc, chainReach) || leafTarget > chainTarget);
    if (leafWins)
        *frame = scanned;
    else if (chainFound)
        *frame = chained;
    return leafWins || chainFound;
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
    return unwindWithoutCallFrameInfo(frame, stack);
}

bool functionExtent(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end) {
    return callFrameFunction(address, begin, end);
}
