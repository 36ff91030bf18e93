// The dialog service's boxes, shown for real and answered by a watcher thread, and the
// fatal-error exit in a child process.
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SysDialogInterface.h"
#include "dialog_resources.h"
#include "support/box_watcher.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

namespace {

class NoGame : public AppInterface {
public:
    const char* name() const override { return "dialog tests"; }
    int run() override { return 0; }
};

// Templates come from the module the main loop holds, so the tests hand it theirs.
class SysDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        NoGame game;
        Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0, &game);
        m_dialogs =
            static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"));
        ASSERT_NE(nullptr, m_dialogs);
    }

    SysDialogInterface* m_dialogs = nullptr;
};

// The text goes into the one control named; only OK ends the dialog, with 0.
TEST_F(SysDialogTest, DialogBoxPutsTheTextIntoOneControlAndEndsOnlyOnOk) {
    for (const char* text : {"Version 1.0", static_cast<const char*>(nullptr)}) {
        BoxWatcher watcher(IDOK, true);
        EXPECT_EQ(0, m_dialogs->dialogBox(testDialogTemplate, text, testDialogText));
        watcher.join();
        EXPECT_EQ("Test dialog", watcher.caption());
        EXPECT_EQ(std::string(text ? text : "Template text") + "\nOther text\nOK\n",
                  watcher.texts());
        EXPECT_TRUE(watcher.survivedOtherWays()) << "Escape, cancel and close must not end it";
    }
    EXPECT_EQ(-1, m_dialogs->dialogBox(testDialogMissing, "lost", testDialogText));
}

TEST(FatalError, HidesTheWindowAsksTheUserClosesTheWindowAndExits) {
    ChildResult child = runChild("\"" + programDirectory() + "dialog_child.exe\"");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(7u, child.exitCode) << child.output << "(1 would mean a breakpoint was raised)";
    EXPECT_EQ("window shown\n"
              "box \"Fatal Error\" owned by the hidden game window\n"
              "window asked to close with 100\n"
              "window destroyed\n",
              child.output);
}

TEST(FatalError, BreaksIntoTheDebuggerWhenAsked) {
    ChildResult child = runChild("\"" + programDirectory() + "dialog_child.exe\" break");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(1u, child.exitCode) << "no debugger: the breakpoint is a crash";
    EXPECT_EQ(std::string::npos, child.output.find("window destroyed"));
}

} // namespace
