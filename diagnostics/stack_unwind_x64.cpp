// The x64 step of the stack walk: every x64 module describes its functions' frames in its
// unwind tables, which the system reads for us.
#include "stack_unwind.h"

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

// A function with a frame register is unwound through it, so the register must point into
// the stack before RtlVirtualUnwind reads there. The CONTEXT holds the integer registers
// in their unwind-code order, from Rax.
bool frameRegisterInStack(DWORD64 imageBase, const RUNTIME_FUNCTION& function,
                          const CONTEXT& context, const StackRange& stack) {
    ULONG_PTR unwindInfo = imageBase + function.UnwindData;
    if (!isReadable(unwindInfo, 4))
        return false;
    BYTE frameRegister = reinterpret_cast<const BYTE*>(unwindInfo)[3] & 0x0f;
    return frameRegister == 0 || stack.holds((&context.Rax)[frameRegister], 0);
}

} // namespace

// Compilers put an instruction after a call that ends a function, so a return address
// lies in its caller's function and is looked up as it is.
bool unwindFrame(FrameState* frame, const StackRange& stack) {
    CONTEXT& context = frame->context;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (!function)
        return popReturnAddress(frame, stack); // a leaf function keeps no frame
    if (!frameRegisterInStack(imageBase, *function, context, stack))
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
