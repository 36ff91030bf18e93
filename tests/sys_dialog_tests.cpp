// The dialog service's boxes, shown for real and answered by a watcher thread.
#include "NamedInterface.h"
#include "PlatApp.h"
#include "SysDialogInterface.h"
#include "dialog_resources.h"
#include "support/box_watcher.h"
#include "support/child_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

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

TEST_F(SysDialogTest, MessageBoxShowsCaptionAndTextAndPassesTheAnswerOn) {
    BoxWatcher watcher(IDOK);
    EXPECT_EQ(IDOK, m_dialogs->messageBox("Saved", "Your game was saved."));
    watcher.join();
    ASSERT_TRUE(watcher.found());
    EXPECT_EQ("Saved", watcher.caption());
    EXPECT_NE(std::string::npos, watcher.texts().find("Your game was saved."));
    EXPECT_EQ(nullptr, watcher.owner()) << "no game window yet";
}

// Watches for the test dialog: reads its two texts, tries every way out but OK, checks that
// the dialog is still there, then presses OK.
class DialogWatcher {
public:
    DialogWatcher() : m_thread([this] { watch(); }) {}
    ~DialogWatcher() { m_thread.join(); }

    std::string text;
    std::string other;
    std::atomic<bool> survivedOtherWays{false};
    std::atomic<bool> found{false};

private:
    void watch() {
        HWND dialog = nullptr;
        for (int attempt = 0; attempt < 100 && !dialog; ++attempt) {
            Sleep(50);
            dialog = FindWindowA("#32770", "Test dialog");
        }
        if (!dialog)
            return;
        found = true;
        char buffer[128];
        GetDlgItemTextA(dialog, testDialogText, buffer, sizeof buffer);
        text = buffer;
        GetDlgItemTextA(dialog, testDialogOther, buffer, sizeof buffer);
        other = buffer;
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        PostMessageA(dialog, WM_COMMAND, IDNO, 0);
        Sleep(300);
        survivedOtherWays = IsWindow(dialog) && IsWindowVisible(dialog);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }

    std::thread m_thread;
};

TEST_F(SysDialogTest, DialogBoxPutsTheTextIntoOneControlAndEndsOnlyOnOk) {
    DialogWatcher watcher;
    int result = m_dialogs->dialogBox(testDialogTemplate, "Version 1.0", testDialogText);
    EXPECT_EQ(0, result);
    EXPECT_TRUE(watcher.found);
    EXPECT_TRUE(watcher.survivedOtherWays) << "Escape, cancel and close must not end it";
    EXPECT_EQ("Version 1.0", watcher.text);
    EXPECT_EQ("Other text", watcher.other);
}

TEST_F(SysDialogTest, DialogBoxWithoutTextLeavesTheTemplateAlone) {
    DialogWatcher watcher;
    EXPECT_EQ(0, m_dialogs->dialogBox(testDialogTemplate, nullptr, testDialogText));
    EXPECT_EQ("Template text", watcher.text);
    EXPECT_EQ("Other text", watcher.other);
}

TEST_F(SysDialogTest, AMissingTemplateGivesMinusOne) {
    EXPECT_EQ(-1, m_dialogs->dialogBox(testDialogMissing, "lost", testDialogText));
}

} // namespace

namespace {

TEST(FatalError, HidesTheWindowAsksTheUserClosesTheWindowAndExits) {
    ChildResult child = runChild("\"" + programDirectory() + "dialog_child.exe\"");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(7u, child.exitCode) << child.output << "(1 would mean a breakpoint was raised)";
    EXPECT_EQ("window shown\n"
              "game window hidden at the box\n"
              "box owned by the game window\n"
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
