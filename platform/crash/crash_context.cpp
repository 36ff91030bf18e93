// The architecture-specific pieces of crash handling, the one place of the crash path that
// tells x86 from x64. Runs after the fault (all but the preparation of the overflow stack):
// no heap.
#include "crash/crash_context.h"

#if defined(__x86_64__)

namespace {

const SIZE_T overflowStackSize = 256 * 1024;

void* g_overflowStack = nullptr;
volatile LONG g_overflowStackTaken = 0;
ULONG_PTR g_overflowedStackBase = 0;

// Read directly: GCC 12 flags the header's segment-read helper with a false bounds warning.
NT_TIB* threadInformation() {
    NT_TIB* self;
    asm("movq %%gs:0x30, %0" : "=r"(self));
    return self;
}

} // namespace

// Calls steps(info) on the stack whose top is given. The frame is described to the unwinder
// through rbp, so a walk can still go back to the thread's own stack.
extern "C" void crashCallOnStack(void (*steps)(EXCEPTION_POINTERS*), EXCEPTION_POINTERS* info,
                                 void* stackTop);
asm(R"(
    .text
    .globl crashCallOnStack
    .def crashCallOnStack; .scl 2; .type 32; .endef
    .seh_proc crashCallOnStack
crashCallOnStack:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    movq %r8, %rsp
    subq $32, %rsp
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    movq %rbp, %rsp
    popq %rbp
    ret
    .seh_endproc
)");

// The x86 layout with 64-bit registers, and the registers x86 does not have after it.
RegisterBlock registerBlock(const CONTEXT* c) {
    return {{{"RAX", c->Rax, 16}, {"CS", c->SegCs, 4}, {"RIP", c->Rip, 16}, {"EFLGS", c->EFlags, 8},
             {"RBX", c->Rbx, 16}, {"SS", c->SegSs, 4}, {"RSP", c->Rsp, 16}, {"RBP", c->Rbp, 16},
             {"RCX", c->Rcx, 16}, {"DS", c->SegDs, 4}, {"RSI", c->Rsi, 16}, {"FS", c->SegFs, 4},
             {"RDX", c->Rdx, 16}, {"ES", c->SegEs, 4}, {"RDI", c->Rdi, 16}, {"GS", c->SegGs, 4},
             {"R8", c->R8, 16},   {"R9", c->R9, 16},   {"R10", c->R10, 16}, {"R11", c->R11, 16},
             {"R12", c->R12, 16}, {"R13", c->R13, 16}, {"R14", c->R14, 16}, {"R15", c->R15, 16}},
            24,
            "RIP",
            c->Rip,
            c->Rsp,
            c->SegCs};
}

ULONG_PTR crashStackBase() {
    if (g_overflowedStackBase)
        return g_overflowedStackBase;
    return reinterpret_cast<ULONG_PTR>(threadInformation()->StackBase);
}

void prepareOverflowStack() {
    g_overflowStack =
        VirtualAlloc(nullptr, overflowStackSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseOverflowStack() {
    if (g_overflowStack)
        VirtualFree(g_overflowStack, 0, MEM_RELEASE);
    g_overflowStack = nullptr;
}

// An overflow is dispatched here with about 2 KB left and no guard page to grow into, so
// the report runs on the stack prepared at load. The thread's stack bounds are moved with
// it because exception dispatch rejects frames outside them.
void runWithReclaimedStack(void (*steps)(EXCEPTION_POINTERS*), EXCEPTION_POINTERS* info) {
    if (!g_overflowStack || InterlockedExchange(&g_overflowStackTaken, 1) != 0)
        return;
    NT_TIB* thread = threadInformation();
    g_overflowedStackBase = reinterpret_cast<ULONG_PTR>(thread->StackBase);
    char* bottom = static_cast<char*>(g_overflowStack);
    char* top = bottom + overflowStackSize;
    thread->StackLimit = bottom;
    thread->StackBase = top;
    crashCallOnStack(steps, info, top);
}

ULONGLONG addressSpacePages(const SYSTEM_INFO& system) {
    return (reinterpret_cast<ULONGLONG>(system.lpMaximumApplicationAddress) + 1) /
           system.dwPageSize;
}

// An uncaught C++ exception reaches the guard as GCC's own exception; abort then comes only
// from the game itself, and its code must be one that the runtime's frame handlers do not
// take for a C++ exception of theirs.
DWORD abortExceptionCode() {
    return 0x40000015; // STATUS_FATAL_APP_EXIT
}

#else

RegisterBlock registerBlock(const CONTEXT* c) {
    return {{{"EAX", c->Eax, 8},
             {"CS", c->SegCs, 4},
             {"EIP", c->Eip, 8},
             {"EFLGS", c->EFlags, 8},
             {"EBX", c->Ebx, 8},
             {"SS", c->SegSs, 4},
             {"ESP", c->Esp, 8},
             {"EBP", c->Ebp, 8},
             {"ECX", c->Ecx, 8},
             {"DS", c->SegDs, 4},
             {"ESI", c->Esi, 8},
             {"FS", c->SegFs, 4},
             {"EDX", c->Edx, 8},
             {"ES", c->SegEs, 4},
             {"EDI", c->Edi, 8},
             {"GS", c->SegGs, 4}},
            16,
            "EIP",
            c->Eip,
            c->Esp,
            static_cast<WORD>(c->SegCs)};
}

ULONG_PTR crashStackBase() {
    NT_TIB* self;
    asm("movl %%fs:0x18, %0" : "=r"(self));
    return reinterpret_cast<ULONG_PTR>(self->StackBase);
}

// Nothing to prepare on x86: the room comes from the overflowed frames themselves.
void prepareOverflowStack() {}
void releaseOverflowStack() {}

// Copies the 64 KB from the stack pointer up onto the 64 KB above it and moves both stack
// and frame pointer there. The overflowed code's frames above are given up for good; the
// steps get 64 KB below the moved frame. The frame pointer is kept so the moved frame is
// addressed through it.
__attribute__((noinline, optimize("no-omit-frame-pointer"))) void
runWithReclaimedStack(void (*steps)(EXCEPTION_POINTERS*), EXCEPTION_POINTERS* info) {
    asm volatile("movl %%esp, %%esi\n\t"
                 "leal 65536(%%esp), %%edi\n\t"
                 "movl $16384, %%ecx\n\t"
                 "cld\n\t"
                 "rep movsl\n\t"
                 "addl $65536, %%esp\n\t"
                 "addl $65536, %%ebp"
                 :
                 :
                 : "ecx", "esi", "edi", "memory");
    steps(info);
}

ULONGLONG addressSpacePages(const SYSTEM_INFO& system) {
    return (0x40000000ull / system.dwPageSize) * 4;
}

// GCC's C++ exception code, as the x86_64 build reports an uncaught exception: on i686 the
// runtime ends an uncaught exception through abort. No frame handler on i686 reads it, the
// runtime's unwinding being table-driven there.
DWORD abortExceptionCode() {
    return 0x20474343;
}

#endif
