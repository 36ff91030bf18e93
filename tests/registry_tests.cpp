// The registry and the service walks, driven directly on the library's own code.
#include "app/main_impl.h"
#include "registry/named_interface_impl.h"
#include "registry/service_table.h"
#include "support/records.h"

#include "contracts/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(createRegistry()); }
    void TearDown() override { destroyRegistry(); }

    NamedInterface& registry() { return *NamedInterface::i(); }
};

TEST_F(RegistryTest, FindsWhatWasAddedByExactName) {
    int window = 0, input = 0;
    EXPECT_TRUE(registry().addInterface("WindowManage", &window));
    EXPECT_TRUE(registry().addInterface("input", &input));
    EXPECT_EQ(&window, registry().getInterface("WindowManage"));
    EXPECT_EQ(&input, registry().getInterface("input"));

    EXPECT_EQ(nullptr, registry().getInterface("Input"));
    DbRecord fatal = lastRecord();
    EXPECT_EQ(dbRecordFatal, fatal.kind);
    EXPECT_STREQ("NamedInterface", fatal.file);
    EXPECT_EQ(86u, fatal.line);
    EXPECT_STREQ("Cannot find interface 'Input'", fatal.text);
}

TEST_F(RegistryTest, FactoriesAreASeparateTable) {
    int first = 0, second = 0;
    EXPECT_TRUE(registry().addInterface("shared", &first));
    EXPECT_FALSE(registry().addInterface("shared", &second));
    EXPECT_TRUE(registry().addFactory("shared", &second));
    EXPECT_EQ(&first, registry().getInterface("shared"));
    EXPECT_EQ(&second, registry().getFactory("shared"));

    EXPECT_EQ(nullptr, registry().getFactory("missing"));
    DbRecord fatal = lastRecord();
    EXPECT_EQ(109u, fatal.line);
    EXPECT_STREQ("Cannot find factory 'missing'", fatal.text);
}

TEST_F(RegistryTest, RemoveErasesOnlyThatEntry) {
    int a = 0, b = 0;
    registry().addInterface("a", &a);
    registry().addInterface("b", &b);
    registry().addFactory("a", &b);
    EXPECT_FALSE(registry().removeInterface("never added"));
    EXPECT_TRUE(registry().removeInterface("a"));
    EXPECT_FALSE(registry().removeInterface("a"));
    EXPECT_EQ(nullptr, registry().getInterface("a"));
    EXPECT_STREQ("Cannot find interface 'a'", lastText().c_str());
    EXPECT_EQ(&b, registry().getInterface("b"));
    EXPECT_EQ(&b, registry().getFactory("a"));
    EXPECT_TRUE(registry().removeFactory("a"));
    EXPECT_FALSE(registry().removeFactory("a"));
}

TEST_F(RegistryTest, KeepsItsOwnCopyOfTheName) {
    int object = 0;
    char name[] = "volatile";
    registry().addInterface(name, &object);
    std::strcpy(name, "changed!");
    EXPECT_EQ(&object, registry().getInterface("volatile"));
    EXPECT_FALSE(registry().removeInterface("changed!"));
}

TEST_F(RegistryTest, EmptyNameAndNullObjectAreOrdinary) {
    EXPECT_TRUE(registry().addInterface("", nullptr));
    EXPECT_FALSE(registry().addInterface("", &registry()));
    unsigned before = dbRecordCount();
    EXPECT_EQ(nullptr, registry().getInterface(""));
    EXPECT_EQ(before, dbRecordCount()) << "a stored null is found, not reported";
}

TEST(RegistryLifetime, FreesItsEntriesButNeverTheObjects) {
    MemStats before;
    MemGetStats(&before);
    createRegistry();
    int* object = new int(42);
    NamedInterface::i()->addInterface("left by a client", object);
    NamedInterface::i()->addFactory("another", object);
    destroyRegistry();
    EXPECT_EQ(nullptr, NamedInterface::i());

    MemStats after;
    MemGetStats(&after);
    EXPECT_EQ(before.liveBlocks[memKindSingle] + 1, after.liveBlocks[memKindSingle]);
    EXPECT_EQ(42, *object);
    delete object;
    MemGetStats(&after);
    EXPECT_EQ(before.liveBlocks[memKindSingle], after.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.mismatchedReleases, after.mismatchedReleases);
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
    const ServiceRegistration table[] = {
        {"first", createFirst, destroyFirst},
        {"second", nullptr, destroySecond},
        {"third", createThird, nullptr},
    };
    g_walk.clear();
    createServices(table, 3);
    EXPECT_EQ("+1+3", g_walk) << "a false result does not stop the walk";
    g_walk.clear();
    destroyServices(table, 3);
    EXPECT_EQ("-2-1", g_walk);
}

TEST(ServiceWalks, TheLibraryTableRegistersMainAndClearsEveryAccessor) {
    MemStats before;
    MemGetStats(&before);
    createAllServices();
    ASSERT_NE(nullptr, NamedInterface::i());
    ASSERT_NE(nullptr, MainInterface::i());
    EXPECT_EQ(MainInterface::i(), NamedInterface::i()->getInterface("main"));
    EXPECT_EQ(nullptr, NamedInterface::i()->getInterface("Main"));
    EXPECT_EQ(nullptr, NamedInterface::i()->getInterface("NamedInterface"));
    EXPECT_STREQ("Cannot find interface 'NamedInterface'", lastText().c_str());

    destroyAllServices();
    EXPECT_EQ(nullptr, NamedInterface::i());
    EXPECT_EQ(nullptr, MainInterface::i());
    MemStats after;
    MemGetStats(&after);
    EXPECT_EQ(before.liveBlocks[memKindSingle], after.liveBlocks[memKindSingle]);
    EXPECT_EQ(before.liveBytes[memKindSingle], after.liveBytes[memKindSingle]);
    EXPECT_EQ(before.mismatchedReleases, after.mismatchedReleases);
}

} // namespace
