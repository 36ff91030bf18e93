// The memory and diagnostics libraries on their own.
#include "contracts/diagnostics.h"
#include "contracts/memory.h"
#include "support/records.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Live counts per kind; a release of the wrong kind, or of a block the library never gave,
// is counted, and only the library's own block is returned to the heap.
TEST(MemoryLibrary, CountsLiveBlocksPerKindAndEveryMismatchedRelease) {
    MemStats before, during, after;
    MemGetStats(&before);
    void* single = MemCRTAlloc(24, memKindSingle);
    void* array = MemCRTAlloc(100, memKindArray);
    EXPECT_EQ(0u, reinterpret_cast<UINT_PTR>(single) % 16) << "blocks suit any type";
    MemGetStats(&during);
    EXPECT_EQ(before.liveBlocks[memKindSingle] + 1, during.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBytes[memKindArray] + 100, during.liveBytes[memKindArray]);
    EXPECT_EQ(before.allocations[memKindArray] + 1, during.allocations[memKindArray]);
    MemCRTFree(single, memKindSingle + memKindReleaseOffset);
    MemCRTFree(array, memKindSingle + memKindReleaseOffset);
    char* foreign = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64));
    MemCRTFree(foreign + 32, memKindSingle + memKindReleaseOffset);
    MemCRTFree(nullptr, memKindArray + memKindReleaseOffset);
    MemGetStats(&after);
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
    std::string kept;
    char line[1200];
    for (const DbRecord& r : recordsSince(0)) {
        std::snprintf(line, sizeof line, "%d %x %s:%u %s\n", r.kind, r.channel, r.file, r.line,
                      r.text);
        kept += line;
    }
    EXPECT_EQ("0 0 :0 frame 12 took long\n1 44495350 :0 mode 640x480\n"
              "2 0 Renderer:321 lost device dead\n",
              kept);
    for (int i = 0; i < dbRecordCapacity + 7; ++i)
        dbTracefAux("record %d", i);
    std::vector<DbRecord> records = recordsSince(0);
    ASSERT_EQ(unsigned(dbRecordCapacity), records.size());
    EXPECT_STREQ("record 7", records[0].text);
    EXPECT_EQ("record " + std::to_string(dbRecordCapacity + 6), records.back().text);
    EXPECT_FALSE(dbReadRecord(0, nullptr));
    dbTracefAux("%s", std::string(3000, 'x').c_str());
    EXPECT_EQ(sizeof records[0].text - 1, std::strlen(lastRecord().text));
    dbClearRecords();
    EXPECT_EQ(0u, dbRecordCount());
}

// The crash report's recent events: the newest lines whole, each cut to 159 characters and
// kept on one line, and only whole lines into a buffer too small for them all.
TEST(DiagnosticsLibrary, KeepsTheNewestEventsAsWholeLines) {
    static char text[dbRecentCapacity * (dbRecentLineSize + 2) + 1];
    auto events = [](unsigned size) { return std::string(text, dbCopyRecentEvents(text, size)); };
    for (int i = 0; i <= dbRecentCapacity; ++i)
        dbAddBreadcrumb(("crumb " + std::to_string(i)).c_str());
    EXPECT_EQ(0u, events(sizeof text).find("breadcrumb: crumb 1\r\nbreadcrumb: crumb 2\r\n"));
    dbWarningfAux(0x44495350, "two\nlines");
    const std::string room(dbRecentLineSize - 1 - 12, 'x'); // 12: "breadcrumb: "
    for (std::size_t length : {room.size() - 1, room.size(), room.size() + 1})
        dbAddBreadcrumb(std::string(length, 'x').c_str());
    const std::string newest = "breadcrumb: " + room + "\r\n";
    std::string all = events(sizeof text);
    EXPECT_EQ(dbRecentCapacity, std::count(all.begin(), all.end(), '\n'));
    EXPECT_EQ("warning [44495350]: two lines\r\nbreadcrumb: " + room.substr(1) + "\r\n" + newest +
                  newest,
              all.substr(all.find("warning [")));
    EXPECT_EQ(std::string::npos, all.find("crumb 1\r\n"));
    EXPECT_EQ(all.substr(0, all.find('\n') + 1), events(unsigned(all.find('\n')) + 2));
    EXPECT_EQ("", events(unsigned(all.find('\n')) + 1));
}

// The stack walk's subject: a game function without a frame pointer, then hand-written ones
// without unwind information, as in system DLLs: a frame-pointer frame that calls a leaf that
// keeps no frame, so the frame-pointer chain skips the leaf's caller. Wine's 32-bit
// RtlCaptureContext misreads its caller, so the walk starts as a crash's does: a vectored
// handler walks from an illegal instruction in the leaf and steps over it.
extern "C" {
// Stores its own return address, then calls faultInLeaf.
void callThroughOwnFrame() asm("callThroughOwnFrame");
LONG_PTR g_ownFrameReturn asm("g_ownFrameReturn") = 0;
extern const char g_leafReturn[] asm("g_leafReturn");
extern const char g_leafFault[] asm("g_leafFault");
}

#if defined(__x86_64__)
asm(R"(
    .text
    .seh_proc callThroughOwnFrame
callThroughOwnFrame:
    sub $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    mov 40(%rsp), %rax
    mov %rax, g_ownFrameReturn(%rip)
    call faultInLeaf
g_leafReturn:
    nop
    add $40, %rsp
    ret
    .seh_endproc

    .seh_proc faultInLeaf
faultInLeaf:
    sub $16, %rsp
    .seh_stackalloc 16
    .seh_endprologue
g_leafFault:
    ud2
    add $16, %rsp
    ret
    .seh_endproc
)");
#else
asm(R"(
    .text
callThroughOwnFrame:
    push %ebp
    mov %esp, %ebp
    mov 4(%ebp), %eax
    mov %eax, g_ownFrameReturn
    xor %eax, %eax
    xor %ecx, %ecx
    call faultInLeaf
g_leafReturn:
    pop %ebp
    ret

faultInLeaf:
    push %ecx
    push %eax
g_leafFault:
    ud2
    pop %eax
    pop %ecx
    ret
)");
#endif

int g_capacity, g_skip;
bool g_result;
LONG_PTR g_addresses[70];

LONG CALLBACK walkAtLeafFault(EXCEPTION_POINTERS* info) {
#if defined(__x86_64__)
    DWORD64& pc = info->ContextRecord->Rip;
#else
    DWORD& pc = info->ContextRecord->Eip;
#endif
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION ||
        pc != reinterpret_cast<ULONG_PTR>(g_leafFault))
        return EXCEPTION_CONTINUE_SEARCH;
    g_result = dbDoStackTrace(g_addresses, g_capacity, g_skip, info);
    pc += 2; // past the ud2
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Walks from the leaf; returns the address in the test that the walk must reach fourth.
__attribute__((noinline, noclone, optimize("omit-frame-pointer"))) LONG_PTR walkChain() {
    volatile short scratch[20];
    scratch[0] = 0;
    callThroughOwnFrame();
    (void)scratch[0];
    return reinterpret_cast<LONG_PTR>(__builtin_return_address(0));
}

const LONG_PTR unwritten = 0x5a5a5a5a;

// Past the test the walk goes on through the test framework, main and the program's entry,
// into the system's code that started the process, and ends with a 0 before the array does.
TEST(DiagnosticsStackWalk, ListsTheCallersInnermostFirstToTheSystemsStart) {
    void* handler = AddVectoredExceptionHandler(1, walkAtLeafFault);
    for (const auto& c : {std::make_pair(2, 0), std::make_pair(3, 1), std::make_pair(64, 0)}) {
        g_capacity = c.first;
        g_skip = c.second;
        g_result = false;
        std::fill(g_addresses, g_addresses + 70, unwritten);
        LONG_PTR test = walkChain();
        const LONG_PTR expected[] = {reinterpret_cast<LONG_PTR>(g_leafFault),
                                     reinterpret_cast<LONG_PTR>(g_leafReturn), g_ownFrameReturn,
                                     test};
        EXPECT_TRUE(g_result);
        for (int i = 0; i < g_capacity && g_skip + i < 4; ++i)
            EXPECT_EQ(expected[g_skip + i], g_addresses[i]) << "frame " << g_skip + i;
        EXPECT_EQ(unwritten, g_addresses[g_capacity]) << "past the capacity";
        if (g_capacity < 64)
            continue;
        LONG_PTR* end = std::find(g_addresses, g_addresses + 64, 0);
        LONG_PTR* inProgram = std::find_if(g_addresses, end, [](LONG_PTR address) {
            MEMORY_BASIC_INFORMATION region = {};
            VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region);
            return region.AllocationBase != GetModuleHandleA(nullptr);
        });
        EXPECT_LT(end, g_addresses + 64);
        EXPECT_GT(inProgram, g_addresses + 8) << "the test framework's frames and main";
        EXPECT_LT(inProgram, end) << "the walk leaves the program at its entry";
    }
    RemoveVectoredExceptionHandler(handler);
    LONG_PTR addresses[4] = {1, 1, 1, 1};
    EXCEPTION_POINTERS noContext = {};
    EXPECT_FALSE(dbDoStackTrace(nullptr, 64, 0, &noContext) ||
                 dbDoStackTrace(addresses, 0, 0, &noContext) ||
                 dbDoStackTrace(addresses, 4, 0, nullptr));
    EXPECT_EQ(0, addresses[3]) << "the array is cleared";
}

__attribute__((noinline)) LONG_PTR callerPc() {
    return reinterpret_cast<LONG_PTR>(__builtin_return_address(0));
}

// The stack ends 16 bytes above the stack pointer, inside the frame of this test: the walk
// gives this frame and stops, reading nothing past the stack's end.
TEST(DiagnosticsStackWalk, StopsWhereAFrameReachesPastTheStack) {
    char* stack = static_cast<char*>(VirtualAlloc(nullptr, 3 * 4096, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_TRUE(VirtualAlloc(stack, 2 * 4096, MEM_COMMIT, PAGE_READWRITE));
    const LONG_PTR pc = callerPc(), top = reinterpret_cast<LONG_PTR>(stack) + 2 * 4096 - 16;
    CONTEXT context = {};
#if defined(__x86_64__)
    context.Rip = pc, context.Rsp = context.Rbp = top;
#else
    context.Eip = pc, context.Esp = context.Ebp = top;
#endif
    EXCEPTION_POINTERS info = {nullptr, &context};
    LONG_PTR addresses[2] = {};
    EXPECT_TRUE(dbDoStackTrace(addresses, 2, 0, &info));
    EXPECT_EQ(std::make_pair(pc, LONG_PTR(0)), std::make_pair(addresses[0], addresses[1]));
    VirtualFree(stack, 0, MEM_RELEASE);
}

} // namespace
