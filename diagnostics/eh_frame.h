// DWARF call-frame information from the .eh_frame section that mingw's i686 toolchain (DWARF-2
// exception handling) loads with every module it builds: which function holds an address,
// and where that function's caller kept its registers. Crash-time code: no heap, bounded reads.
#pragma once

#include <windows.h>

// The i386 registers by the numbers GCC writes in .eh_frame.
enum X86Register {
    x86Eax,
    x86Ecx,
    x86Edx,
    x86Ebx,
    x86Esp,
    x86Ebp,
    x86Esi,
    x86Edi,
    x86Eip,
    x86RegisterCount
};

enum CallFrameResult { callFrameUnknown, callFrameUnwound, callFrameOutermost };

// The extent [begin, end) of the function whose frame description covers address.
bool callFrameFunction(ULONG_PTR address, ULONG_PTR* begin, ULONG_PTR* end);

// Turns registers (by X86Register) of a frame of the function holding lookupPc into its
// caller's. Unknown when no description covers lookupPc or it cannot be followed; outermost
// when the description says the frame has no caller.
CallFrameResult unwindByCallFrameInfo(ULONG_PTR lookupPc, ULONG_PTR* registers);
