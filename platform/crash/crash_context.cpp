// The architecture-specific pieces of crash handling: context registers, the thread's stack
// base and the stack room after an overflow.
#include "crash/crash_context.h"

#include "crash/exception_report.h"

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

ULONG_PTR instructionPointer(const CONTEXT* context) {
    return context->Rip;
}
ULONG_PTR stackPointer(const CONTEXT* context) {
    return context->Rsp;
}
WORD codeSegment(const CONTEXT* context) {
    return context->SegCs;
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

void WriteRegisters(ExceptionReport* report) {
    const CONTEXT* c = report->contextRecord;
    Registers64 registers = {c->Rax,   c->Rbx,   c->Rcx,   c->Rdx,   c->Rsi,   c->Rdi,
                             c->Rbp,   c->Rsp,   c->Rip,   c->R8,    c->R9,    c->R10,
                             c->R11,   c->R12,   c->R13,   c->R14,   c->R15,   c->EFlags,
                             c->SegCs, c->SegSs, c->SegDs, c->SegEs, c->SegFs, c->SegGs};
    WriteRegisters64(report, registers);
    WriteCodeBytes(report, reinterpret_cast<const BYTE*>(c->Rip));
}

#else

ULONG_PTR instructionPointer(const CONTEXT* context) {
    return context->Eip;
}
ULONG_PTR stackPointer(const CONTEXT* context) {
    return context->Esp;
}
WORD codeSegment(const CONTEXT* context) {
    return static_cast<WORD>(context->SegCs);
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

void WriteRegisters(ExceptionReport* report) {
    const CONTEXT* c = report->contextRecord;
    Registers32 registers = {c->Eax,
                             c->Ebx,
                             c->Ecx,
                             c->Edx,
                             c->Esi,
                             c->Edi,
                             c->Ebp,
                             c->Esp,
                             c->Eip,
                             c->EFlags,
                             static_cast<WORD>(c->SegCs),
                             static_cast<WORD>(c->SegSs),
                             static_cast<WORD>(c->SegDs),
                             static_cast<WORD>(c->SegEs),
                             static_cast<WORD>(c->SegFs),
                             static_cast<WORD>(c->SegGs)};
    WriteRegisters32(report, registers);
    WriteCodeBytes(report, reinterpret_cast<const BYTE*>(c->Eip));
}

#endif
