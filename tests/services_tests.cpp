// The loaded platform DLL: its entry point and the main-loop service.
#include "AppInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"

#include <gtest/gtest.h>

namespace {

class RecordingApp : public AppInterface {
public:
    const char* name() const override { return "recording"; }
    int run() override {
        ++runs;
        instanceInside = MainInterface::i()->getInstance();
        return 7;
    }
    int runs = 0;
    void* instanceInside = nullptr;
};

TEST(PlatWinMain, StoresTheInstanceRunsOnceAndReturnsZero) {
    EXPECT_EQ(nullptr, MainInterface::i()->getInstance()) << "no PlatWinMain yet";
    RecordingApp app;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    char commandLine[] = "ignored";
    EXPECT_EQ(0, Plat::App::PlatWinMain(instance, nullptr, commandLine, SW_SHOW, &app));
    EXPECT_EQ(1, app.runs);
    EXPECT_EQ(instance, app.instanceInside);
    EXPECT_EQ(instance, MainInterface::i()->getInstance());
    EXPECT_NE(nullptr, NamedInterface::i()) << "services outlive PlatWinMain";
    void* other = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(0, Plat::App::PlatWinMain(other, nullptr, nullptr, 0, &app));
    EXPECT_EQ(other, app.instanceInside);
    Plat::App::PlatWinMain(instance, nullptr, nullptr, 0, &app);
}

TEST(MainService, GivesTheProcessIdAndTheSystemsTextOfAFailedShellOpen) {
    EXPECT_EQ(GetCurrentProcessId(), MainInterface::i()->getProcessId());
    char errorText[256] = "untouched";
    EXPECT_FALSE(MainInterface::i()->shellOpen("Z:\\no\\such\\file.txt", nullptr, nullptr,
                                               errorText, sizeof errorText));
    char expected[256] = {};
    EXPECT_NE(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, GetLastError(), 0, expected,
                                 sizeof expected, nullptr));
    EXPECT_STREQ(expected, errorText);
}

} // namespace
