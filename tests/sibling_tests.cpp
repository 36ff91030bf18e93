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
