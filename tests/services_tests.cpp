// The loaded platform DLL: its entry point, its services by name and the shell open.
#include "AppInterface.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Registered as "main" before PlatWinMain, which runs the game once with its instance stored.
TEST(PlatWinMain, RunsTheGameOnceWithItsInstanceAndReturnsZero) {
    EXPECT_EQ(MainInterface::i(), NamedInterface::i()->getInterface("main"));
    struct RecordingApp : AppInterface {
        const char* name() const override { return "recording"; }
        int run() override { return instances.push_back(MainInterface::i()->getInstance()), 7; }
        std::vector<void*> instances;
    } app;
    void* other = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(0, Plat::App::PlatWinMain(other, nullptr, nullptr, 0, &app));
    EXPECT_EQ(0, Plat::App::PlatWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0, &app));
    EXPECT_EQ(std::vector<void*>({other, GetModuleHandleA(nullptr)}), app.instances);
}

// A failed open gives the system's text, cut to the buffer, whose next byte stays as it was:
// the shell's for a missing file, else invalid parameter (no name) or too long (over 512).
TEST(MainService, ShellOpenFailsWithTheSystemsTextCutToTheBuffer) {
    const std::string missing = "Z:\\no\\such\\file.txt",
                      longName = missing + std::string(10000, 'u');
    const std::tuple<const char*, const char*, unsigned, DWORD> rows[] = {
        {missing.c_str(), nullptr, 8, 0},
        {longName.c_str(), nullptr, 256, ERROR_FILENAME_EXCED_RANGE},
        {missing.c_str(), longName.c_str() + 9000, 256, ERROR_FILENAME_EXCED_RANGE},
        {"", nullptr, 256, ERROR_INVALID_PARAMETER},
        {nullptr, nullptr, 0, ERROR_INVALID_PARAMETER}};
    for (const auto& [file, parameters, size, error] : rows) {
        char text[257], system[512] = {};
        std::memset(text, 'x', sizeof text);
        EXPECT_FALSE(MainInterface::i()->shellOpen(file, nullptr, parameters, text, size));
        const DWORD code = GetLastError();
        EXPECT_TRUE(code == error || (error == 0 && code != 0)) << code;
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, system, sizeof system,
                       nullptr);
        EXPECT_EQ(std::string(system).substr(0, size ? size - 1 : 0), size ? text : "");
        EXPECT_EQ('x', text[size]) << size;
    }
    EXPECT_FALSE(MainInterface::i()->shellOpen(missing.c_str(), nullptr, nullptr, nullptr, 64));
}

} // namespace
