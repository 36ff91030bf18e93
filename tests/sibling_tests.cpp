// The memory and diagnostics libraries on their own.
#include "contracts/diagnostics.h"
#include "contracts/memory.h"
#include "support/import_patch.h"
#include "support/records.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

MemStats stats() {
    MemStats current;
    MemGetStats(&current);
    return current;
}

// Live counts per kind; a release of the wrong kind, or of a block the library never gave,
// is counted, and only the library's own block is returned to the heap.
TEST(MemoryLibrary, CountsLiveBlocksPerKindAndEveryMismatchedRelease) {
    const MemStats before = stats();
    void* single = MemCRTAlloc(24, memKindSingle);
    void* array = MemCRTAlloc(100, memKindArray);
    EXPECT_EQ(0u, reinterpret_cast<UINT_PTR>(single) % 16) << "blocks suit any type";
    const MemStats during = stats();
    EXPECT_EQ(before.liveBlocks[memKindSingle] + 1, during.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBytes[memKindArray] + 100, during.liveBytes[memKindArray]);
    EXPECT_EQ(before.allocations[memKindArray] + 1, during.allocations[memKindArray]);
    MemCRTFree(single, memKindSingle + memKindReleaseOffset);
    MemCRTFree(array, memKindSingle + memKindReleaseOffset);
    char* foreign = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64));
    MemCRTFree(foreign + 32, memKindSingle + memKindReleaseOffset);
    MemCRTFree(nullptr, memKindArray + memKindReleaseOffset);
    const MemStats after = stats();
    EXPECT_EQ(before.liveBlocks[memKindSingle], after.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBlocks[memKindArray], after.liveBlocks[memKindArray]);
    EXPECT_EQ(before.liveBytes[memKindArray], after.liveBytes[memKindArray]);
    EXPECT_EQ(before.mismatchedReleases + 2, after.mismatchedReleases);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, foreign)) << "a foreign block is left alone";
    EXPECT_EQ(nullptr, MemCRTAlloc(8, 5)) << "unknown kinds get nothing";
}

TEST(DiagnosticsLibrary, KeepsTheNewestRecordsOfEachKindWithTheirDetails) {
    dbClearRecords();
    dbTracefAux("frame %d took %s", 12, "long");
    dbWarningfAux(0x44495350, "mode %ix%i", 640, 480);
    g_dbFilename = "Renderer";
    g_dbLineNum = 321;
    dbFatalfAux("lost device %x", 0xdead);
    std::vector<DbRecord> records = recordsSince(0);
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(dbRecordTrace, records[0].kind);
    EXPECT_STREQ("frame 12 took long", records[0].text);
    EXPECT_EQ(dbRecordWarning, records[1].kind);
    EXPECT_EQ(0x44495350u, records[1].channel);
    EXPECT_STREQ("mode 640x480", records[1].text);
    EXPECT_EQ(dbRecordFatal, records[2].kind);
    EXPECT_STREQ("Renderer", records[2].file);
    EXPECT_EQ(321u, records[2].line);
    EXPECT_STREQ("lost device dead", records[2].text);

    for (int i = 0; i < dbRecordCapacity + 7; ++i)
        dbTracefAux("record %d", i);
    records = recordsSince(0);
    ASSERT_EQ(unsigned(dbRecordCapacity), records.size());
    EXPECT_STREQ("record 7", records[0].text);
    EXPECT_EQ("record " + std::to_string(dbRecordCapacity + 6), records.back().text);
    EXPECT_FALSE(dbReadRecord(0, nullptr));
    dbTracefAux("%s", std::string(3000, 'x').c_str());
    EXPECT_EQ(sizeof records[0].text - 1, lastText().size());
    dbClearRecords();
    EXPECT_EQ(0u, dbRecordCount());
}

// The stack walk's subject: functions built as a game's release build is, without frame
// pointers, so only call-frame information (x86) or unwind tables (x64) find the callers,
// and hand-written ones without it, as system DLLs and the runtime's assembly are: a frame-
// pointer frame that calls on and a leaf that keeps no frame. A second leaf is described,
// and faults just where its description's rows change.
// NOTE: Wine's 32-bit RtlCaptureContext reads its caller's caller from the frame-pointer
// chain, so the walk starts where a crash's does: from an illegal instruction in the leaf,
// which a vectored handler walks from and steps over.
#define WALKED __attribute__((noinline, noclone, optimize("omit-frame-pointer")))

struct ChainWalk {
    int capacity, skip;
    bool describedLeaf, result;
    LONG_PTR addresses[70];
    LONG_PTR expected[6]; // the fault's pc, then the return address into each caller
};

extern "C" {
// Calls callee(walk) from a frame with a frame pointer; stores its own return address.
void callThroughOwnFrame(void (*callee)(ChainWalk*), ChainWalk* walk) asm("callThroughOwnFrame");
LONG_PTR g_ownFrameReturn asm("g_ownFrameReturn") = 0;
// Push two words, store their return address and fault at g_chainFault or g_describedFault.
void faultInLeaf() asm("faultInLeaf");
void faultInDescribedLeaf() asm("faultInDescribedLeaf");
LONG_PTR g_leafReturn asm("g_leafReturn") = 0;
extern const char g_chainFault[] asm("g_chainFault");
extern const char g_describedFault[] asm("g_describedFault");
}

#if defined(__x86_64__)
asm(R"(
    .text
    .seh_proc callThroughOwnFrame
callThroughOwnFrame:
    push %rbp
    .seh_pushreg %rbp
    sub $32, %rsp
    .seh_stackalloc 32
    .seh_endprologue
    mov 40(%rsp), %rax
    mov %rax, g_ownFrameReturn(%rip)
    mov %rcx, %rax
    mov %rdx, %rcx
    call *%rax
    nop
    add $32, %rsp
    pop %rbp
    ret
    .seh_endproc

    .seh_proc faultInLeaf
faultInLeaf:
    push %rcx
    .seh_pushreg %rcx
    push %rax
    .seh_pushreg %rax
    .seh_endprologue
    mov 16(%rsp), %rax
    mov %rax, g_leafReturn(%rip)
g_chainFault:
    ud2
    pop %rax
    pop %rcx
    ret
    .seh_endproc

    # Unwind data describes both leaves on x64: one function serves as both.
    .set faultInDescribedLeaf, faultInLeaf
    .set g_describedFault, g_chainFault
)");
#else
asm(R"(
    .text
callThroughOwnFrame:
    push %ebp
    mov %esp, %ebp
    sub $8, %esp
    mov 4(%ebp), %eax
    mov %eax, g_ownFrameReturn
    mov 12(%ebp), %eax
    mov %eax, (%esp)
    call *8(%ebp)
    leave
    ret

faultInLeaf:
    push %ecx
    push %eax
    mov 8(%esp), %eax
    mov %eax, g_leafReturn
g_chainFault:
    ud2
    pop %eax
    pop %ecx
    ret

faultInDescribedLeaf:
    .cfi_startproc
    push %ecx
    .cfi_adjust_cfa_offset 4
    mov 4(%esp), %ecx
    mov %ecx, g_leafReturn
    push %eax
    .cfi_adjust_cfa_offset 4
g_describedFault:
    ud2
    pop %eax
    .cfi_adjust_cfa_offset -4
    pop %ecx
    .cfi_adjust_cfa_offset -4
    ret
    .cfi_endproc
)");
#endif

ChainWalk* g_faultWalk = nullptr;

LONG CALLBACK walkAtChainFault(EXCEPTION_POINTERS* info) {
#if defined(__x86_64__)
    DWORD64& pc = info->ContextRecord->Rip;
#else
    DWORD& pc = info->ContextRecord->Eip;
#endif
    ChainWalk* walk = g_faultWalk;
    const char* fault = walk->describedLeaf ? g_describedFault : g_chainFault;
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION ||
        pc != reinterpret_cast<ULONG_PTR>(fault))
        return EXCEPTION_CONTINUE_SEARCH;
    walk->result = dbDoStackTrace(walk->addresses, walk->capacity, walk->skip, info);
    pc += 2; // past the ud2
    return EXCEPTION_CONTINUE_EXECUTION;
}

WALKED void callTheLeaf(ChainWalk* walk) {
    volatile char scratch[40];
    scratch[0] = 1;
    g_faultWalk = walk;
    walk->describedLeaf ? faultInDescribedLeaf() : faultInLeaf();
    walk->expected[0] =
        reinterpret_cast<LONG_PTR>(walk->describedLeaf ? g_describedFault : g_chainFault);
    walk->expected[1] = g_leafReturn;
    walk->expected[2] = reinterpret_cast<LONG_PTR>(__builtin_return_address(0));
    (void)scratch[0];
}

WALKED void intoOwnFrame(ChainWalk* walk) {
    volatile int scratch[12];
    scratch[0] = 0;
    callTheLeaf(walk);
    walk->expected[3] = reinterpret_cast<LONG_PTR>(__builtin_return_address(0));
    (void)scratch[0];
}

WALKED void walkChain(ChainWalk* walk) {
    volatile short scratch[20];
    scratch[0] = 0;
    callThroughOwnFrame(intoOwnFrame, walk);
    walk->expected[4] = g_ownFrameReturn;
    walk->expected[5] = reinterpret_cast<LONG_PTR>(__builtin_return_address(0));
    (void)scratch[0];
}

const LONG_PTR unwritten = 0x5a5a5a5a;

// Walks the chain and checks its frames in order, after skip, up to capacity, with nothing
// written beyond it.
ChainWalk expectChain(int capacity, int skip, bool describedLeaf = false) {
    ChainWalk walk = {capacity, skip, describedLeaf, false, {}, {}};
    for (LONG_PTR& address : walk.addresses)
        address = unwritten;
    void* handler = AddVectoredExceptionHandler(1, walkAtChainFault);
    walkChain(&walk);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_TRUE(walk.result);
    for (int i = 0; i < capacity && skip + i < 6; ++i)
        EXPECT_EQ(walk.expected[skip + i], walk.addresses[i]) << "frame " << skip + i;
    EXPECT_EQ(unwritten, walk.addresses[capacity]) << "past the capacity";
    return walk;
}

bool inThisProgram(LONG_PTR address) {
    MEMORY_BASIC_INFORMATION region;
    return VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) &&
           region.AllocationBase == GetModuleHandleA(nullptr);
}

// Past the test the walk goes on through the test framework, main and the program's entry,
// into the system's code that started the process, and ends with a 0 before the array does.
TEST(DiagnosticsStackWalk, ListsTheCallersInnermostFirstToTheSystemsStart) {
    const struct {
        int capacity, skip;
        bool describedLeaf;
    } cases[] = {{2, 0, false}, {3, 3, false}, {64, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.capacity << ", skip " << c.skip
                                        << (c.describedLeaf ? ", described leaf" : ""));
        expectChain(c.capacity, c.skip, c.describedLeaf);
    }
    ChainWalk walk = expectChain(64, 0);
    int frames = 0, inProgram = 0;
    while (frames < 64 && walk.addresses[frames] != 0)
        ++frames;
    while (inProgram < frames && inThisProgram(walk.addresses[inProgram]))
        ++inProgram;
    EXPECT_LT(frames, 64);
    EXPECT_GT(inProgram, 8) << "the test framework's frames and main";
    EXPECT_LT(inProgram, frames) << "the walk leaves the program at its entry";

    LONG_PTR addresses[4] = {1, 1, 1, 1};
    EXCEPTION_POINTERS noContext = {};
    EXPECT_FALSE(dbDoStackTrace(nullptr, 64, 0, &noContext));
    EXPECT_FALSE(dbDoStackTrace(addresses, 0, 0, &noContext));
    EXPECT_FALSE(dbDoStackTrace(addresses, 4, 0, nullptr));
    EXPECT_EQ(0, addresses[3]) << "the array is cleared";
}

// An exported function, and after it (the linker sorts .text$ sections by name) one that
// is not exported: its address lies above the export, in another function.
extern "C" __declspec(dllexport)
    __attribute__((noinline, section(".text$diag_a"))) int siblingExported(int value) {
    return value * 3 + 1;
}

__attribute__((noinline, section(".text$diag_b"))) int notExported(int value) {
    return value * 5 + 2;
}

// Names where a function really lies, the module and offset elsewhere in a module, and
// nothing in free memory.
TEST(DiagnosticsAddressNames, NameAFunctionOnlyWhereItReallyLies) {
    HMODULE diagnostics = GetModuleHandleA("diagnostics.dll");
    LONG_PTR trace = reinterpret_cast<LONG_PTR>(GetProcAddress(diagnostics, "dbTracefAux"));
    LONG_PTR exported = reinterpret_cast<LONG_PTR>(&siblingExported);
    LONG_PTR unexported = reinterpret_cast<LONG_PTR>(&notExported) + 2;
    ASSERT_LT(exported, unexported);
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%llx",
                  static_cast<unsigned long long>(
                      unexported - reinterpret_cast<LONG_PTR>(GetModuleHandleA(nullptr))));
    const std::pair<LONG_PTR, std::string> cases[] = {
        {trace + 5, "diagnostics.dll!dbTracefAux+0x5"},
        {exported, "sibling_tests.exe!siblingExported+0x0"},
        {exported + 3, "sibling_tests.exe!siblingExported+0x3"},
        {unexported, "sibling_tests.exe" + std::string(offset)}};
    char text[512];
    for (const auto& c : cases) {
        EXPECT_TRUE(dbConvertAddress(c.first, text, sizeof text)) << c.second;
        EXPECT_EQ(c.second, text);
    }
    void* freeMemory = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    VirtualFree(freeMemory, 0, MEM_RELEASE);
    EXPECT_FALSE(dbConvertAddress(reinterpret_cast<LONG_PTR>(freeMemory) + 16, text, sizeof text));
    EXPECT_FALSE(dbConvertAddress(trace, nullptr, 10));
    // The crash tests run the library without dbghelp; it must not import it to load there.
    ImportPatch staticImport(diagnostics, "dbghelp.dll", "MiniDumpWriteDump", nullptr);
    EXPECT_FALSE(staticImport.active());
}

} // namespace
