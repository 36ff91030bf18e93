// The dialog service's boxes, answered by a watcher thread, and the fatal-error exit.
#include "NamedInterface.h"
#include "SysDialogInterface.h"
#include "support/box_watcher.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

namespace {

// Template 300 of this program's dialog_tests.rc has its text in control 301; only OK ends it.
// Message boxes show null texts as empty.
TEST(SysDialog, BoxesShowTheirTextsAndDialogsEndOnlyOnOk) {
    SysDialogInterface* dialogs =
        static_cast<SysDialogInterface*>(NamedInterface::i()->getInterface("SysDialog"));
    ASSERT_NE(nullptr, dialogs);
    for (const char* text : {"Version 1.0", "", static_cast<const char*>(nullptr)}) {
        BoxWatcher watcher(IDOK, true);
        EXPECT_EQ(0, dialogs->dialogBox(300, text, 301));
        watcher.join();
        EXPECT_EQ("Test dialog\n" + std::string(text ? text : "Template text") +
                      "\nOther text\nOK\n",
                  watcher.texts);
        EXPECT_TRUE(watcher.survivedOtherWays) << "Escape, cancel and close must not end it";
    }
    EXPECT_EQ(-1, dialogs->dialogBox(399, "no such template", 301));
    const char* const rows[][3] = {{"Caption", "Text", "Caption\n\nOK\nText\n"},
                                   {"", "", "\n\nOK\n\n"},
                                   {nullptr, nullptr, "Error\n\nOK\n\n"}};
    for (const auto& row : rows) {
        BoxWatcher watcher(IDOK);
        EXPECT_EQ(IDOK, dialogs->messageBox(row[0], row[1]));
        watcher.join();
        EXPECT_EQ(row[2], watcher.texts) << "the icon's place, OK, the text";
    }
}

// The child's box shows over its hidden window, which is then closed with 100. Without a
// debugger the breakpoint is a crash.
TEST(FatalError, HidesTheWindowAsksTheUserClosesTheWindowAndExits) {
    const char* const rows[][3] = {{"", "7", "The disk is on fire."},
                                   {"null", "7", ""},
                                   {"break", "1", "The disk is on fire."}};
    for (const auto& row : rows) {
        BoxWatcher watcher;
        const ChildResult child =
            runChild("\"" + programDirectory() + "dialog_child.exe\" " + row[0]);
        watcher.join();
        EXPECT_EQ(std::stoul(row[1]), child.exitCode) << row[0];
        EXPECT_EQ("Fatal Error\n\nOK\n" + std::string(row[2]) + "\n", watcher.texts);
        EXPECT_TRUE(watcher.ownerHidden) << "owned by the hidden game window";
        EXPECT_EQ(std::string(row[1]) == "7" ? "close 100, destroyed" : "", child.output);
    }
}

} // namespace
