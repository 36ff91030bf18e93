// The memory and diagnostics libraries on their own.
#include "contracts/diagnostics.h"
#include "contracts/memory.h"
#include "support/import_patch.h"
#include "support/records.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace {

MemStats stats() {
    MemStats current;
    MemGetStats(&current);
    return current;
}

TEST(MemoryLibrary, CountsLiveBlocksAndBytesPerKind) {
    MemStats before = stats();
    void* single = MemCRTAlloc(24, memKindSingle);
    void* array = MemCRTAlloc(100, memKindArray);
    ASSERT_NE(nullptr, single);
    ASSERT_NE(nullptr, array);
    EXPECT_EQ(0u, reinterpret_cast<UINT_PTR>(single) % 16) << "blocks suit any type";
    MemStats during = stats();
    EXPECT_EQ(before.liveBlocks[memKindSingle] + 1, during.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBytes[memKindArray] + 100, during.liveBytes[memKindArray]);
    EXPECT_EQ(before.allocations[memKindArray] + 1, during.allocations[memKindArray]);

    MemCRTFree(single, memKindSingle + memKindReleaseOffset);
    MemCRTFree(array, memKindArray + memKindReleaseOffset);
    MemStats after = stats();
    EXPECT_EQ(before.liveBlocks[memKindSingle], after.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBytes[memKindArray], after.liveBytes[memKindArray]);
    EXPECT_EQ(before.mismatchedReleases, after.mismatchedReleases);
}

TEST(MemoryLibrary, CountsMismatchedAndForeignReleases) {
    MemStats before = stats();
    void* array = MemCRTAlloc(8, memKindArray);
    MemCRTFree(array, memKindSingle + memKindReleaseOffset);
    MemStats after = stats();
    EXPECT_EQ(before.mismatchedReleases + 1, after.mismatchedReleases);
    EXPECT_EQ(before.liveBlocks[memKindArray], after.liveBlocks[memKindArray])
        << "the block is still returned";

    char* foreign = static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64));
    MemCRTFree(foreign + 32, memKindSingle + memKindReleaseOffset);
    EXPECT_EQ(before.mismatchedReleases + 2, stats().mismatchedReleases);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, foreign)) << "a foreign block is left alone";

    MemCRTFree(nullptr, memKindSingle + memKindReleaseOffset);
    EXPECT_EQ(before.mismatchedReleases + 2, stats().mismatchedReleases);
    EXPECT_EQ(nullptr, MemCRTAlloc(8, 5)) << "unknown kinds get nothing";
}

TEST(DiagnosticsLibrary, KeepsEachKindWithItsDetails) {
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
}

TEST(DiagnosticsLibrary, KeepsTheNewestRecordsAndCutsLongTexts) {
    dbClearRecords();
    for (int i = 0; i < dbRecordCapacity + 10; ++i)
        dbTracefAux("record %d", i);
    EXPECT_EQ(unsigned(dbRecordCapacity), dbRecordCount());
    DbRecord record;
    ASSERT_TRUE(dbReadRecord(0, &record));
    EXPECT_STREQ("record 10", record.text);
    ASSERT_TRUE(dbReadRecord(dbRecordCapacity - 1, &record));
    EXPECT_EQ("record " + std::to_string(dbRecordCapacity + 9), record.text);
    EXPECT_FALSE(dbReadRecord(dbRecordCapacity, &record));
    EXPECT_FALSE(dbReadRecord(0, nullptr));

    std::string longText(3000, 'x');
    dbTracefAux("%s", longText.c_str());
    EXPECT_EQ(sizeof record.text - 1, lastText().size());
    dbClearRecords();
    EXPECT_EQ(0u, dbRecordCount());
}

} // namespace

namespace {

// The stack walk's subject: a chain of functions built as a game's release build is, without
// frame pointers, so that only call-frame information (x86) or unwind tables (x64) find the
// callers; with two hand-written functions that have no call-frame information, as system
// DLLs and the runtime's assembly have: one that keeps a frame pointer and calls on, and a
// leaf that keeps none, where the walk starts. A second leaf is described, and faults just
// where its description's rows change.
//
// NOTE: Wine's 32-bit RtlCaptureContext reads its caller's caller from the frame-pointer
// chain, which these functions do not keep; so the walk starts where a crash's does, from
// the context of an exception: an illegal instruction in the leaf, which a vectored handler
// walks from and steps over.
#define WALKED __attribute__((noinline, noclone, optimize("omit-frame-pointer")))

struct ChainWalk {
    decltype(&dbDoStackTrace) walk;
    int capacity;
    int skip;
    bool describedLeaf;
    bool result;
    LONG_PTR addresses[70];
    // The fault's pc, then the return address into each caller up to the test.
    LONG_PTR expected[6];
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

    .seh_proc faultInDescribedLeaf
faultInDescribedLeaf:
    push %rcx
    .seh_pushreg %rcx
    push %rax
    .seh_pushreg %rax
    .seh_endprologue
    mov 16(%rsp), %rax
    mov %rax, g_leafReturn(%rip)
g_describedFault:
    ud2
    pop %rax
    pop %rcx
    ret
    .seh_endproc
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

LONG_PTR returnAddress(void* address) {
    return reinterpret_cast<LONG_PTR>(address);
}

ChainWalk* g_faultWalk = nullptr;

#if defined(__x86_64__)
DWORD64& contextPc(CONTEXT& context) {
    return context.Rip;
}
#else
DWORD& contextPc(CONTEXT& context) {
    return context.Eip;
}
#endif

LONG CALLBACK walkAtChainFault(EXCEPTION_POINTERS* info) {
    auto& pc = contextPc(*info->ContextRecord);
    const char* fault = g_faultWalk->describedLeaf ? g_describedFault : g_chainFault;
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION ||
        pc != reinterpret_cast<ULONG_PTR>(fault))
        return EXCEPTION_CONTINUE_SEARCH;
    ChainWalk* walk = g_faultWalk;
    walk->result = walk->walk(walk->addresses, walk->capacity, walk->skip, info);
    pc += 2; // past the ud2
    return EXCEPTION_CONTINUE_EXECUTION;
}

WALKED void callTheLeaf(ChainWalk* walk) {
    volatile char scratch[40];
    scratch[0] = 1;
    g_faultWalk = walk;
    if (walk->describedLeaf)
        faultInDescribedLeaf();
    else
        faultInLeaf();
    walk->expected[0] =
        reinterpret_cast<LONG_PTR>(walk->describedLeaf ? g_describedFault : g_chainFault);
    walk->expected[1] = g_leafReturn;
    walk->expected[2] = returnAddress(__builtin_return_address(0));
    (void)scratch[0];
}

WALKED void intoOwnFrame(ChainWalk* walk) {
    volatile int scratch[12];
    scratch[0] = 0;
    callTheLeaf(walk);
    walk->expected[3] = returnAddress(__builtin_return_address(0));
    (void)scratch[0];
}

WALKED void walkChain(ChainWalk* walk) {
    volatile short scratch[20];
    scratch[0] = 0;
    callThroughOwnFrame(intoOwnFrame, walk);
    walk->expected[4] = g_ownFrameReturn;
    walk->expected[5] = returnAddress(__builtin_return_address(0));
    (void)scratch[0];
}

const LONG_PTR unwritten = 0x5a5a5a5a;

ChainWalk runChain(decltype(&dbDoStackTrace) walker, int capacity, int skip,
                   bool describedLeaf = false) {
    ChainWalk walk = {walker, capacity, skip, describedLeaf, false, {}, {}};
    for (LONG_PTR& address : walk.addresses)
        address = unwritten;
    void* handler = AddVectoredExceptionHandler(1, walkAtChainFault);
    walkChain(&walk);
    RemoveVectoredExceptionHandler(handler);
    return walk;
}

bool inThisProgram(LONG_PTR address) {
    MEMORY_BASIC_INFORMATION region;
    return VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) &&
           region.AllocationBase == GetModuleHandleA(nullptr);
}

// The chain's frames in order, after skip, up to capacity; nothing written beyond it.
void expectChain(const ChainWalk& walk) {
    const int chain = sizeof walk.expected / sizeof walk.expected[0];
    EXPECT_TRUE(walk.result);
    for (int i = 0; i < walk.capacity && walk.skip + i < chain; ++i)
        EXPECT_EQ(walk.expected[walk.skip + i], walk.addresses[i]) << "frame " << walk.skip + i;
    EXPECT_EQ(unwritten, walk.addresses[walk.capacity]) << "past the capacity";
}

TEST(DiagnosticsStackWalk, ListsTheCallersInnermostFirst) {
    const struct {
        int capacity;
        int skip;
        bool describedLeaf;
    } cases[] = {{64, 0, false}, {2, 0, false}, {3, 3, false}, {64, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.capacity << ", skip " << c.skip
                                        << (c.describedLeaf ? ", described leaf" : ""));
        expectChain(runChain(dbDoStackTrace, c.capacity, c.skip, c.describedLeaf));
    }
}

// Past the test the walk goes on through the test framework, main and the program's entry,
// into the system's code that started the process, and ends with a 0 before the array does.
TEST(DiagnosticsStackWalk, GoesOnThroughTheProgramToTheSystemsStart) {
    ChainWalk walk = runChain(dbDoStackTrace, 64, 0);
    int frames = 0;
    while (frames < 64 && walk.addresses[frames] != 0)
        ++frames;
    ASSERT_LT(frames, 64);
    int inProgram = 0;
    while (inProgram < frames && inThisProgram(walk.addresses[inProgram]))
        ++inProgram;
    EXPECT_GT(inProgram, 8) << "the test framework's frames and main";
    EXPECT_LT(inProgram, frames) << "the walk leaves the program at its entry";
}

TEST(DiagnosticsStackWalk, RefusesMissingArguments) {
    LONG_PTR addresses[4] = {1, 1, 1, 1};
    EXCEPTION_POINTERS noContext = {};
    EXPECT_FALSE(dbDoStackTrace(nullptr, 64, 0, &noContext));
    EXPECT_FALSE(dbDoStackTrace(addresses, 0, 0, &noContext));
    EXPECT_FALSE(dbDoStackTrace(addresses, 4, 0, nullptr));
    EXPECT_FALSE(dbDoStackTrace(addresses, 4, 0, &noContext));
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

std::string programOffset(LONG_PTR address) {
    char text[32];
    std::snprintf(text, sizeof text, "+0x%llx",
                  static_cast<unsigned long long>(
                      address - reinterpret_cast<LONG_PTR>(GetModuleHandleA(nullptr))));
    return "sibling_tests.exe" + std::string(text);
}

struct NameCase {
    LONG_PTR address;
    std::string name;
};

std::vector<NameCase> nameCases(HMODULE diagnostics, const char* diagnosticsName) {
    LONG_PTR trace = reinterpret_cast<LONG_PTR>(GetProcAddress(diagnostics, "dbTracefAux"));
    LONG_PTR exported = reinterpret_cast<LONG_PTR>(&siblingExported);
    LONG_PTR unexported = reinterpret_cast<LONG_PTR>(&notExported);
    return {{trace + 5, std::string(diagnosticsName) + "!dbTracefAux+0x5"},
            {exported, "sibling_tests.exe!siblingExported+0x0"},
            {exported + 3, "sibling_tests.exe!siblingExported+0x3"},
            {unexported + 2, programOffset(unexported + 2)}};
}

void expectNames(decltype(&dbConvertAddress) convert, const std::vector<NameCase>& cases) {
    ASSERT_LT(reinterpret_cast<LONG_PTR>(&siblingExported),
              reinterpret_cast<LONG_PTR>(&notExported));
    for (const NameCase& c : cases) {
        char text[512];
        EXPECT_TRUE(convert(c.address, text, sizeof text)) << c.name;
        EXPECT_EQ(c.name, text);
    }
    void* freeMemory = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    VirtualFree(freeMemory, 0, MEM_RELEASE);
    char text[64];
    EXPECT_FALSE(convert(reinterpret_cast<LONG_PTR>(freeMemory) + 16, text, sizeof text));
    EXPECT_FALSE(convert(cases[0].address, nullptr, 10));
}

TEST(DiagnosticsAddressNames, NameAFunctionOnlyWhereItReallyLies) {
    expectNames(dbConvertAddress,
                nameCases(GetModuleHandleA("diagnostics.dll"), "diagnostics.dll"));
}

TEST(DiagnosticsMinidump, SavesAMinidumpOrSaysItCould) {
    char directory[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "dmp", 0, path);
    CONTEXT context;
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_BREAKPOINT;
    EXCEPTION_POINTERS info = {&record, &context};
    EXPECT_TRUE(dbPrepareCrashServices());
    EXPECT_TRUE(dbPrepareCrashServices()) << "again";
    ASSERT_TRUE(dbSaveMiniDump(path, &info));
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD signature = 0, got = 0;
    ReadFile(file, &signature, sizeof signature, &got, nullptr);
    CloseHandle(file);
    DeleteFileA(path);
    EXPECT_EQ(0x504D444Du, signature) << "\"MDMP\"";
    EXPECT_FALSE(dbSaveMiniDump("Z:\\no\\such\\directory\\x.dmp", &info));
}

// A system without dbghelp, made by refusing it to a fresh copy of the library before its
// first use: the names asked for show where the library looks.
std::vector<std::string> g_refusedLoads;

HMODULE WINAPI refuseDbghelp(LPCSTR name) {
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("dbghelp") == std::string::npos)
        return LoadLibraryA(name);
    g_refusedLoads.push_back(name);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

template <typename Function> Function exported(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(DiagnosticsWithoutDbghelp, NoMinidumpWhileTheWalkAndTheNamesRemain) {
    HMODULE shipped = GetModuleHandleA("diagnostics.dll");
    ImportPatch staticImport(shipped, "dbghelp.dll", "MiniDumpWriteDump", nullptr);
    EXPECT_FALSE(staticImport.active()) << "the library must load where dbghelp is missing";

    char path[MAX_PATH], directory[MAX_PATH], copyPath[MAX_PATH];
    GetModuleFileNameA(shipped, path, MAX_PATH);
    GetTempPathA(MAX_PATH, directory);
    std::snprintf(copyPath, MAX_PATH, "%sdiagnostics_alone.dll", directory);
    ASSERT_TRUE(CopyFileA(path, copyPath, FALSE));
    HMODULE copy = LoadLibraryA(copyPath);
    ASSERT_NE(nullptr, copy);
    {
        ImportPatch refusal(copy, "kernel32.dll", "LoadLibraryA",
                            reinterpret_cast<void*>(refuseDbghelp));
        ASSERT_TRUE(refusal.active());
        g_refusedLoads.clear();
        EXPECT_FALSE(exported<decltype(&dbPrepareCrashServices)>(copy, "dbPrepareCrashServices")());
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string besideProgram(path);
        besideProgram = besideProgram.substr(0, besideProgram.rfind('\\') + 1) + "dbghelp.dll";
        EXPECT_EQ((std::vector<std::string>{besideProgram, "dbghelp.dll"}), g_refusedLoads);

        char dumpPath[MAX_PATH];
        std::snprintf(dumpPath, MAX_PATH, "%salone.dmp", directory);
        DeleteFileA(dumpPath);
        CONTEXT context;
        RtlCaptureContext(&context);
        EXCEPTION_RECORD record = {};
        EXCEPTION_POINTERS info = {&record, &context};
        EXPECT_FALSE(exported<decltype(&dbSaveMiniDump)>(copy, "dbSaveMiniDump")(dumpPath, &info));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dumpPath)) << "no file is left";

        expectNames(exported<decltype(&dbConvertAddress)>(copy, "dbConvertAddress"),
                    nameCases(copy, "diagnostics_alone.dll"));
        expectChain(runChain(exported<decltype(&dbDoStackTrace)>(copy, "dbDoStackTrace"), 64, 0));
    }
    FreeLibrary(copy);
    DeleteFileA(copyPath);
}

} // namespace
