// The key table from inside the library: its numbering and the repeat counts that real key
// messages leave in it.
#include "input/key_table.h"
#include "input_fixture.h"
#include "registry/service_table.h"

#include <gtest/gtest.h>

namespace {

// The services as the DLL's load makes them, without the DLL.
class LibraryServices : public ::testing::Environment {
public:
    void SetUp() override { createAllServices(); }
    void TearDown() override { destroyAllServices(); }
};

const ::testing::Environment* const g_services =
    ::testing::AddGlobalTestEnvironment(new LibraryServices);

void captureNothing(int) {}

TEST_F(InputTest, EveryTableNumbersItsEntriesFromZero) {
    for (int round = 0; round < 2; ++round) {
        ASSERT_NE(nullptr, g_keyTable);
        EXPECT_EQ(keyTableSize, g_keyStatesMade);
        for (unsigned key = 0; key < keyTableSize; ++key) {
            ASSERT_EQ(key, g_keyTable[key].code);
            ASSERT_FALSE(g_keyTable[key].down);
            ASSERT_EQ(0u, g_keyTable[key].repeatCount);
            ASSERT_EQ(nullptr, g_keyTable[key].callback);
        }
        input()->shutdown();
        EXPECT_EQ(nullptr, g_keyTable);
        EXPECT_EQ(0u, g_keyStatesMade);
        ASSERT_TRUE(input()->initialize());
    }
}

TEST_F(InputTest, DownsCountUpUntilTheReleaseWithOrWithoutNotification) {
    const KeyState& entry = g_keyTable['A'];
    input()->setKeyCallback('A', recordKey, nullptr);
    for (bool notify : {true, false}) {
        // A capture callback is what silences the table's own callbacks.
        sysInput()->setCaptureCallback(notify ? nullptr : captureNothing);
        std::vector<unsigned> counts;
        for (UINT message : {WM_KEYDOWN, WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP}) {
            send(message, 'A');
            counts.push_back(entry.repeatCount);
        }
        EXPECT_EQ((std::vector<unsigned>{1, 2, 3, 0}), counts);
        EXPECT_FALSE(entry.down);
        KeyReports expected;
        if (notify)
            expected = {{'A', InputInterface::keyPressed, 0},
                        {'A', InputInterface::keyRepeated, 0},
                        {'A', InputInterface::keyRepeated, 0},
                        {'A', InputInterface::keyReleased, 0}};
        EXPECT_EQ(expected, g_keyReports) << "notify " << notify;
        g_keyReports.clear();
    }
}

} // namespace
