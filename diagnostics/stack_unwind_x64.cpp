// The x64 step of the stack walk: every x64 module describes its functions' frames in its
// unwind tables, which the system reads for us once the frame is checked to lie in the
// stack. Runs after the fault: no heap, every read checked.
#include "stack_unwind.h"

#include <cstring>

void startFrame(const CONTEXT& context, FrameState* frame) {
    frame->context = context;
    frame->atReturnAddress = false;
}

ULONG_PTR framePc(const FrameState& frame) {
    return frame.context.Rip;
}

ULONG_PTR frameStackPointer(const FrameState& frame) {
    return frame.context.Rsp;
}

void moveFrame(FrameState* frame, ULONG_PTR pc, ULONG_PTR stackPointer) {
    frame->context.Rip = pc;
    frame->context.Rsp = stackPointer;
    frame->atReturnAddress = true;
}

namespace {

// Unwind operations (UWOP_*) by the slots of two bytes each takes and the stack bytes it
// stands for.
enum : BYTE {
    opPushNonvolatile = 0,
    opAllocateLarge = 1,
    opAllocateSmall = 2,
    opSetFrameRegister = 3,
    opSaveNonvolatile = 4,
    opSaveNonvolatileFar = 5,
    opSaveXmm = 6,
    opSaveXmmFar = 7,
    opSaveXmm128 = 8,
    opSaveXmm128Far = 9,
    opPushMachineFrame = 10,
};
const BYTE chainedInfo = 0x04; // UNW_FLAG_CHAININFO
const int chainLimit = 8;

struct FrameLayout {
    ULONG_PTR size;     // bytes above the frame's base that unwinding reads, return address aside
    BYTE frameRegister; // 0 when the frame is addressed through rsp
    ULONG_PTR frameOffset;
};

// Adds the stack that the unwind codes at info describe, following chained entries; false
// when the codes cannot be read or are of a kind this does not know.
bool addFrameLayout(DWORD64 imageBase, DWORD unwindData, int depth, FrameLayout* layout) {
    const ULONG_PTR info = imageBase + unwindData;
    if (depth == chainLimit || !isReadable(info, 4))
        return false;
    const BYTE* header = reinterpret_cast<const BYTE*>(info);
    const unsigned count = header[2];
    const unsigned slots = (count + 1) & ~1u;
    if (!isReadable(info + 4, 2 * slots + sizeof(RUNTIME_FUNCTION)))
        return false;
    if (depth == 0) {
        layout->frameRegister = header[3] & 0x0f;
        layout->frameOffset = 16 * (header[3] >> 4);
    }
    const WORD* codes = reinterpret_cast<const WORD*>(info + 4);
    for (unsigned i = 0; i < count;) {
        const unsigned op = (codes[i] >> 8) & 0x0f, operand = codes[i] >> 12;
        switch (op) {
        case opPushNonvolatile:
            layout->size += 8;
            i += 1;
            break;
        case opAllocateLarge:
            if (i + 1 + operand >= count)
                return false;
            layout->size += operand == 0
                                ? 8 * codes[i + 1]
                                : codes[i + 1] | static_cast<ULONG_PTR>(codes[i + 2]) << 16;
            i += 2 + operand;
            break;
        case opAllocateSmall:
            layout->size += 8 * operand + 8;
            i += 1;
            break;
        case opSetFrameRegister:
            i += 1;
            break;
        case opSaveNonvolatile:
        case opSaveXmm:
        case opSaveXmm128:
            i += 2;
            break;
        case opSaveNonvolatileFar:
        case opSaveXmmFar:
        case opSaveXmm128Far:
            i += 3;
            break;
        case opPushMachineFrame:
            layout->size += 40 + 8 * operand;
            i += 1;
            break;
        default:
            return false;
        }
    }
    if (!(header[0] >> 3 & chainedInfo))
        return true;
    const RUNTIME_FUNCTION* chained = reinterpret_cast<const RUNTIME_FUNCTION*>(codes + slots);
    return addFrameLayout(imageBase, chained->UnwindData, depth + 1, layout);
}

// RtlVirtualUnwind reads the frame without checks: from the stack pointer, or the frame
// register, up through the saved registers to the return address. All of that must lie in
// the stack. The CONTEXT holds the integer registers in their unwind-code order, from Rax.
bool frameInStack(DWORD64 imageBase, const RUNTIME_FUNCTION& function, const CONTEXT& context,
                  const StackRange& stack) {
    FrameLayout layout = {0, 0, 0};
    if (!addFrameLayout(imageBase, function.UnwindData, 0, &layout) ||
        !stack.holds(context.Rsp, layout.size + 8))
        return false;
    if (layout.frameRegister == 0)
        return true;
    const ULONG_PTR frame = (&context.Rax)[layout.frameRegister];
    return frame >= layout.frameOffset && stack.holds(frame - layout.frameOffset, layout.size + 8);
}

// How many words above the stack pointer a function without unwind information may have
// pushed, and how far below pc it may begin.
const int leafWords = 4;
const ULONG_PTR leafReach = 0x1000;

// The target of a call rel32 that ends just before returnAddress.
bool directCallTarget(ULONG_PTR returnAddress, ULONG_PTR* target) {
    if (!isReadable(returnAddress - 5, 5) ||
        *reinterpret_cast<const BYTE*>(returnAddress - 5) != 0xe8)
        return false;
    LONG offset = 0;
    std::memcpy(&offset, reinterpret_cast<const void*>(returnAddress - 4), sizeof offset);
    *target = returnAddress + static_cast<LONG_PTR>(offset);
    return true;
}

// NOTE: a function without unwind information is a leaf with its return address on top of
// the stack, or hand-written code that pushed a few registers first: the stack probe, in
// which a stack overflow faults, keeps two there. The first of the top words that returns
// from a direct call to a function beginning just below pc wins; else the top word.
bool unwindLeaf(FrameState* frame, const StackRange& stack) {
    const ULONG_PTR pc = framePc(*frame);
    ULONG_PTR slot = frameStackPointer(*frame), target = 0;
    for (int i = 0; i < leafWords && stack.holds(slot, sizeof slot); ++i, slot += sizeof slot) {
        const ULONG_PTR candidate = *reinterpret_cast<const ULONG_PTR*>(slot);
        if (isModuleCode(candidate) && directCallTarget(candidate, &target) && target <= pc &&
            pc - target < leafReach) {
            moveFrame(frame, candidate, slot + sizeof slot);
            return true;
        }
    }
    return popReturnAddress(frame, stack);
}

} // namespace

// Compilers put an instruction after a call that ends a function, so a return address
// lies in its caller's function and is looked up as it is.
bool unwindFrame(FrameState* frame, const StackRange& stack) {
    CONTEXT& context = frame->context;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (!function)
        return unwindLeaf(frame, stack);
    if (!frameInStack(imageBase, *function, context, stack))
        return false;
    void* handlerData = nullptr;
    DWORD64 establisherFrame = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                     &establisherFrame, nullptr);
    frame->atReturnAddress = true;
    return true;
}

bool functionExtent(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end) {
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(address, &imageBase, nullptr);
    if (!function)
        return false;
    *begin = imageBase + function->BeginAddress;
    *end = imageBase + function->EndAddress;
    return true;
}
