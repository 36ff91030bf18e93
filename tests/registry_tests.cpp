// The registry, the service walks and the library's lifetime, driven directly on the
// library's own code.
#include "app/main_impl.h"
#include "contracts/memory.h"
#include "input/input_impl.h"
#include "input/sys_input_impl.h"
#include "registry/named_interface_impl.h"
#include "registry/service_table.h"
#include "support/child_process.h"
#include "support/records.h"
#include "sys/shared_library_impl.h"
#include "sys/sys_dialog_impl.h"
#include "sys/sys_util_impl.h"
#include "window/window_manager_impl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

MemStats stats() {
    MemStats current;
    MemGetStats(&current);
    return current;
}

// A lookup that misses reports a fatal error from the registry's file and line, and gives null.
void expectMiss(void* found, unsigned line, const std::string& text) {
    EXPECT_EQ(nullptr, found);
    DbRecord fatal = lastRecord();
    EXPECT_EQ(dbRecordFatal, fatal.kind);
    EXPECT_STREQ("NamedInterface", fatal.file);
    EXPECT_EQ(line, fatal.line);
    EXPECT_EQ(text, fatal.text);
}

TEST(Registry, TwoTablesOfExactNamesThatNeverOwnTheirObjects) {
    const MemStats before = stats();
    ASSERT_TRUE(createRegistry());
    NamedInterface& registry = *NamedInterface::i();
    int kept = 0, first = 0, second = 0;
    char name[] = "shared";
    EXPECT_TRUE(registry.addInterface("kept", &kept));
    EXPECT_TRUE(registry.addInterface(name, &first));
    std::strcpy(name, "SHARED"); // the registry keeps its own copy
    EXPECT_FALSE(registry.addInterface("shared", &second));
    EXPECT_TRUE(registry.addFactory("shared", &second));
    EXPECT_EQ(&first, registry.getInterface("shared"));
    EXPECT_EQ(&second, registry.getFactory("shared"));
    expectMiss(registry.getInterface("SHARED"), 86, "Cannot find interface 'SHARED'");
    expectMiss(registry.getFactory("kept"), 109, "Cannot find factory 'kept'");
    EXPECT_TRUE(registry.addInterface("", nullptr));
    dbClearRecords();
    EXPECT_EQ(nullptr, registry.getInterface(""));
    EXPECT_EQ(0u, dbRecordCount()) << "a stored null is found, not reported";

    EXPECT_FALSE(registry.removeInterface("never added"));
    EXPECT_TRUE(registry.removeInterface("shared"));
    EXPECT_FALSE(registry.removeInterface("shared"));
    expectMiss(registry.getInterface("shared"), 86, "Cannot find interface 'shared'");
    EXPECT_EQ(&kept, registry.getInterface("kept"));
    EXPECT_EQ(&second, registry.getFactory("shared")) << "only that table's entry goes";
    EXPECT_TRUE(registry.removeFactory("shared"));
    EXPECT_FALSE(registry.removeFactory("shared"));

    int* object = new int(42);
    registry.addInterface("left by a client", object);
    destroyRegistry();
    EXPECT_EQ(nullptr, NamedInterface::i());
    EXPECT_EQ(before.liveBlocks[memKindSingle] + 1, stats().liveBlocks[memKindSingle]);
    delete object;
    EXPECT_EQ(before.liveBlocks[memKindSingle], stats().liveBlocks[memKindSingle]);
    EXPECT_EQ(before.mismatchedReleases, stats().mismatchedReleases);
}

std::string g_walk;
bool createFirst() {
    return g_walk += "+1", true;
}
bool createThird() {
    return g_walk += "+3", false;
}
bool destroyFirst() {
    return g_walk += "-1", false;
}
bool destroySecond() {
    return g_walk += "-2", true;
}

TEST(ServiceWalks, RunRowsInOrderAndPassOverNullFunctions) {
    const ServiceRegistration table[] = {{"first", createFirst, destroyFirst},
                                         {"second", nullptr, destroySecond},
                                         {"third", createThird, nullptr}};
    g_walk.clear();
    createServices(table, 3);
    destroyServices(table, 3);
    EXPECT_EQ("+1+3-2-1", g_walk) << "a false result does not stop a walk";
}

// Each service under its registered name is the one its accessor (or, for the internal
// ones, its instance pointer) gives; after the last walk every one of them is null.
TEST(ServiceWalks, EveryServiceIsFoundByNameAndAccessorUntilTheLibraryGoes) {
    const MemStats before = stats();
    createAllServices();
    const struct {
        const char* name;
        void* (*accessor)();
    } services[] = {
        {"SharedLibrary", [] { return static_cast<void*>(SharedLibraryInterface::i()); }},
        {"SysDialog", [] { return static_cast<void*>(g_sysDialogImpl); }},
        {"SysIn", [] { return static_cast<void*>(g_sysInputImpl); }},
        {"SysUtil", [] { return static_cast<void*>(SysUtilInterface::i()); }},
        {"WindowManage", [] { return static_cast<void*>(WindowInterface::i()); }},
        {"input", [] { return static_cast<void*>(InputInterface::i()); }},
        {"main", [] { return static_cast<void*>(MainInterface::i()); }}};
    for (const auto& service : services) {
        EXPECT_NE(nullptr, service.accessor()) << service.name;
        EXPECT_EQ(service.accessor(), NamedInterface::i()->getInterface(service.name));
    }
    for (const char* wrong : {"Main", "Input", "SysInput", "NamedInterface"})
        expectMiss(NamedInterface::i()->getInterface(wrong), 86,
                   "Cannot find interface '" + std::string(wrong) + "'");
    destroyAllServices();
    EXPECT_EQ(nullptr, NamedInterface::i());
    for (const auto& service : services)
        EXPECT_EQ(nullptr, service.accessor()) << service.name;
    EXPECT_EQ(before.liveBlocks[memKindSingle], stats().liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBytes[memKindSingle], stats().liveBytes[memKindSingle]);
    EXPECT_EQ(before.mismatchedReleases, stats().mismatchedReleases);
}

// The lifetime object's steps, each replaced by a line of output in a child of their own.
TEST(LibraryLifetime, LoadStepsRunInOrderAndUnloadStepsInReverse) {
    ChildResult child = runChild("\"" + programDirectory() + "lifetime_child.exe\"");
    EXPECT_EQ(0u, child.exitCode);
    EXPECT_EQ("services\nsearch directories\ntimer calibration\ncrash callbacks\nrunning\n"
              "-crash callbacks\n-search directories\n-services\n",
              child.output);
}

} // namespace
