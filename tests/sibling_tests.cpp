// The memory and diagnostics libraries on their own.
#include "contracts/diagnostics.h"
#include "contracts/memory.h"
#include "support/records.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

__attribute__((noinline)) bool traceFromHere(LONG_PTR* addresses, int capacity) {
    CONTEXT context;
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    EXCEPTION_POINTERS info = {&record, &context};
    return dbDoStackTrace(addresses, capacity, 0, &info);
}

bool inThisProgram(LONG_PTR address) {
    MEMORY_BASIC_INFORMATION region;
    return VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) &&
           region.AllocationBase == GetModuleHandleA(nullptr);
}

TEST(DiagnosticsCrashServices, WalksTheStackInnermostFirstAndEndsWithZero) {
    LONG_PTR addresses[64];
    ASSERT_TRUE(traceFromHere(addresses, 64));
    EXPECT_TRUE(inThisProgram(addresses[0])) << "starts in the function that captured";
    int frames = 0;
    while (frames < 64 && addresses[frames] != 0)
        ++frames;
    EXPECT_GE(frames, 3);
    EXPECT_LT(frames, 64);

    LONG_PTR two[2] = {1, 1};
    traceFromHere(two, 2);
    EXPECT_NE(0, two[1]) << "a full array has no terminator";
    EXPECT_FALSE(dbDoStackTrace(nullptr, 64, 0, nullptr));
}

TEST(DiagnosticsCrashServices, NamesAddressesByModuleAndNearestExport) {
    char text[4096];
    LONG_PTR insideTrace = reinterpret_cast<LONG_PTR>(&dbTracefAux) + 5;
    EXPECT_TRUE(dbConvertAddress(insideTrace, text, sizeof text));
    EXPECT_STREQ("diagnostics.dll!dbTracefAux+0x5", text);

    LONG_PTR inProgram = reinterpret_cast<LONG_PTR>(&inThisProgram);
    EXPECT_TRUE(dbConvertAddress(inProgram, text, sizeof text));
    EXPECT_EQ(0, std::string(text).find("sibling_tests.exe+0x")) << text;

    void* freeMemory = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
    VirtualFree(freeMemory, 0, MEM_RELEASE);
    EXPECT_FALSE(dbConvertAddress(reinterpret_cast<LONG_PTR>(freeMemory) + 16, text, sizeof text));
    EXPECT_FALSE(dbConvertAddress(inProgram, nullptr, 10));
}

TEST(DiagnosticsCrashServices, SavesAMinidumpOrSaysItCould) {
    char directory[MAX_PATH], path[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "dmp", 0, path);
    CONTEXT context;
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_BREAKPOINT;
    EXCEPTION_POINTERS info = {&record, &context};
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

} // namespace
