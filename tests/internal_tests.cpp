// The library's internals on its own code: registry, service walks, lifetime, errors, paths.
#include "app/service_table.h"
#include "contracts/memory.h"
#include "input/key_table.h"
#include "registry/named_interface_impl.h"
#include "registry/windows_error.h"
#include "sys/shared_library_impl.h"
#include "support/child_process.h"
#include "support/records.h"
#include "test_resources.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {
std::array<unsigned long long, 3> heap() {
    MemStats stats;
    MemGetStats(&stats);
    return {stats.liveBlocks[memKindSingle], stats.liveBytes[memKindSingle],
            stats.mismatchedReleases};
}

// A lookup that misses gives null and reports a fatal error from the registry's file and line.
void expectMiss(void* found, unsigned line, const std::string& text) {
    const DbRecord fatal = lastRecord();
    EXPECT_TRUE(!found && fatal.kind == dbRecordFatal) << text;
    EXPECT_EQ("NamedInterface:" + std::to_string(line) + " " + text,
              fatal.file + (":" + std::to_string(fatal.line)) + " " + fatal.text);
}

// Names are exact and copied; a null name is never stored or found, the empty one is a name.
TEST(Registry, TwoTablesOfExactNamesThatNeverOwnTheirObjects) {
    int* object = new int(42);
    const auto before = heap();
    ASSERT_TRUE(createRegistry());
    NamedInterface& registry = *NamedInterface::i();
    int kept = 0, first = 0, second = 0;
    char name[] = "shared";
    EXPECT_TRUE(registry.addInterface("kept", &kept) && registry.addInterface(name, &first));
    std::strcpy(name, "SHARED");
    EXPECT_FALSE(registry.addInterface("shared", &second));
    EXPECT_TRUE(registry.addFactory("shared", &second));
    EXPECT_EQ(&first, registry.getInterface("shared"));
    EXPECT_EQ(&second, registry.getFactory("shared"));
    expectMiss(registry.getInterface("SHARED"), 86, "Cannot find interface 'SHARED'");
    expectMiss(registry.getFactory("kept"), 109, "Cannot find factory 'kept'");
    EXPECT_FALSE(registry.addInterface(nullptr, &kept) || registry.addFactory(nullptr, &kept) ||
                 registry.removeInterface(nullptr) || registry.removeFactory(nullptr));
    expectMiss(registry.getInterface(nullptr), 86, "Cannot find interface '(null)'");
    expectMiss(registry.getFactory(nullptr), 109, "Cannot find factory '(null)'");
    expectMiss(registry.getFactory(""), 109, "Cannot find factory ''");
    EXPECT_TRUE(registry.addInterface("", &kept));
    EXPECT_EQ(&kept, registry.getInterface(""));

    EXPECT_TRUE(registry.removeInterface("shared") && !registry.removeInterface("shared"));
    expectMiss(registry.getInterface("shared"), 86, "Cannot find interface 'shared'");
    EXPECT_EQ(&second, registry.getFactory("shared")) << "only that table's entry goes";
    EXPECT_TRUE(registry.removeFactory("shared") && !registry.removeFactory("shared"));
    registry.addInterface("left by a client", object);
    destroyRegistry();
    EXPECT_EQ(before, heap()) << "every entry freed, no object";
    delete object;
}

std::string g_walk;

TEST(ServiceWalks, RunRowsInOrderAsTheLifetimeRunsItsSteps) {
    const ServiceRegistration table[] = {
        {"first", [] { return g_walk += "+1", true; }, [] { return g_walk += "-1", false; }},
        {"second", nullptr, [] { return g_walk += "-2", true; }},
        {"third", [] { return g_walk += "+3", false; }, nullptr},
        {"last", [] { return g_walk += "+4", true; }, [] { return g_walk += "-4", true; }}};
    createServices(table, 4);
    destroyServices(table, 4);
    EXPECT_EQ("+1+3+4-4-2-1", g_walk) << "a false result does not stop a walk";
    // The lifetime object's steps, each replaced by a line of output in a child of their own.
    const ChildResult child = runChild("\"" + programDirectory() + "lifetime_child.exe\"");
    EXPECT_EQ("services\nsearch directories\ntimer calibration\ncrash callbacks\nrunning\n"
              "-crash callbacks\n-search directories\n-services\n",
              child.output);
}

// Each code's text is traced and the code cleared; an empty string shows no box, and the
// conversion's failure is traced the same way.
TEST(WindowsError, TracesTheCodesTextAndClearsTheCode) {
    dbClearRecords();
    for (DWORD code : {ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_FLAGS,
                       ERROR_FILE_NOT_FOUND, 0L}) {
        SetLastError(code);
        traceLastWindowsError();
        EXPECT_EQ(0u, GetLastError());
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(showLocalizedMessageBox(testStringMissing));
    EXPECT_EQ(0u, GetLastError());
    std::string traces;
    for (const DbRecord& record : recordsSince(0))
        traces += std::to_string(record.kind == dbRecordTrace) + record.text + ";";
    EXPECT_EQ("1Windows Error: Invalid Parameter;1Windows Error: Insufficient Buffer;"
              "1Windows Error: Invalid Flags;1Windows Error: unknown error;"
              "1Windows Error: unknown error;1Windows Error: Invalid Parameter;",
              traces);
}

// The key table ends at code 255; a loader path holds MAX_PATH - 1 characters and its zero,
// never the byte after the buffer, where an overrun by one would go unseen from outside.
TEST(Limits, TheKeyTableAndALoaderPathEndWhereTheirStorageEnds) {
    ASSERT_TRUE(makeKeyTable());
    EXPECT_TRUE(keyEntry(255) == &g_keyTable[255] && !keyEntry(256));
    freeKeyTable();
    struct {
        PathBuffer path;
        char after;
    } guarded = {{}, 'g'};
    const std::string name(MAX_PATH, 'n');
    for (const unsigned length : {MAX_PATH - 2, MAX_PATH - 1, MAX_PATH}) {
        const bool joined = joinLibraryPath(guarded.path, "C:\\", &name[MAX_PATH + 3 - length]);
        EXPECT_EQ(std::make_pair(length < MAX_PATH, 'g'), std::make_pair(joined, guarded.after));
    }
}

} // namespace
