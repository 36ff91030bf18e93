// The crash's signature: a short identifier that is the same wherever and whenever the same
// fault happens, for grouping reports.
#pragma once

#include <windows.h>

// The frames that make the signature, after the crash machinery's own.
const int signatureFrames = 4;

struct CrashSignature {
    char text[32]; // "<code>-<hash>": 8 and 16 lower-case hex digits
    // "module+0xoffset" of each frame, space-separated, module names in lower case.
    char frames[signatureFrames * (MAX_PATH + 20)];
};

// From the exception code and the faulting thread's innermost frames that lie neither in this
// library nor in a module of the system directory (RaiseException, the runtime's abort):
// their module names and offsets into them, so the load address does not count. Where every
// frame lies in such modules the innermost ones count. Runs after the fault: no heap.
void crashSignature(EXCEPTION_POINTERS* info, CrashSignature* signature);
