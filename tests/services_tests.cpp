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

// The main service exists before PlatWinMain, registered as "main"; PlatWinMain runs the game
// once with its instance stored, and returns 0 whatever run answers.
TEST(PlatWinMain, FindsTheServicesRunsOnceWithTheInstanceAndReturnsZero) {
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

// A failed open gives the system's text of its error, cut to the buffer, whose next byte stays
// as it was; no name at all is an invalid parameter.
TEST(MainService, ShellOpenFailsWithTheSystemsTextCutToTheBuffer) {
    const std::string missing = "Z:\\no\\such\\file.txt";
    const std::string longName = "Z:\\no\\such\\" + std::string(10000, 'u') + ".html";
    const std::tuple<const char*, unsigned, DWORD> rows[] = {
        {missing.c_str(), 8, ERROR_FILE_NOT_FOUND},
        {longName.c_str(), 256, ERROR_FILE_NOT_FOUND},
        {"", 256, ERROR_INVALID_PARAMETER},
        {nullptr, 0, ERROR_INVALID_PARAMETER}};
    for (const auto& [file, size, error] : rows) {
        char text[257], system[512] = {};
        std::memset(text, 'x', sizeof text);
        EXPECT_FALSE(MainInterface::i()->shellOpen(file, nullptr, nullptr, text, size));
        EXPECT_EQ(error, GetLastError());
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, system, sizeof system,
                       nullptr);
        EXPECT_EQ(std::string(system).substr(0, size ? size - 1 : 0), size ? text : "");
        EXPECT_EQ('x', text[size]) << size;
    }
    EXPECT_FALSE(MainInterface::i()->shellOpen(missing.c_str(), nullptr, nullptr, nullptr, 64));
}

} // namespace
