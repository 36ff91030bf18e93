// Gamepads on pads scripted in a stand-in DLL that platform.dll loads in place of XInput, winmm
// and user32 (for the raw-input device list), on a scripted tick count.
#include "GamepadInterface.h"
#include "contracts/memory.h"
#include "libraries/pad_script.h"
#include "support/child_process.h"
#include "support/game_window.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

GamepadInterface* const pads = GamepadInterface::i();
const std::string g_standIn = programDirectory() + "pad_standin.dll";
PadScript* const script = reinterpret_cast<PadScript* (*)()>(
    reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA(g_standIn.c_str()), "padScript")))();
// The libraries the scripted system has; each load asked for (after "!" when refused); and
// each connect ("+pad") and disconnect ("-pad").
std::string g_present, g_loads, g_events;
DWORD g_now = 0;

__attribute__((format(printf, 1, 2))) std::string text(const char* format, ...) {
    char s[256];
    va_list values;
    va_start(values, format);
    std::vsnprintf(s, sizeof s, format, values);
    va_end(values);
    return s;
}

// Only full paths in the system folder count.
HMODULE WINAPI loadLibrary(LPCSTR path) {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    const std::string name = _strnicmp(path, folder, length) ? std::string("?") : path + length + 1;
    const bool present = g_present.find(name) != std::string::npos;
    g_loads += " " + name + (present ? "" : "!");
    return present ? LoadLibraryA(g_standIn.c_str()) : nullptr;
}
DWORD WINAPI tickCount() {
    return g_now;
}
void noteConnection(int pad, bool connected, void*) {
    g_events += text(" %c%d", connected ? '+' : '-', pad);
}

std::string describe(int pad) {
    GamepadState s;
    if (!pads->getState(pad, &s) || !s.connected)
        return "-";
    return text("%s/%d %x %g %g %g %g %g %g", s.name, s.source, s.buttons, double(s.axes[0]),
                double(s.axes[1]), double(s.axes[2]), double(s.axes[3]), double(s.triggers[0]),
                double(s.triggers[1]));
}

// Joystick positions run from 0 to 65534, the middle 32767.
void plugJoystick(UINT id, WORD vendor, WORD product, const char* name) {
    script->joysticks = id + 1 > script->joysticks ? id + 1 : script->joysticks;
    script->plugged[id] = true;
    JOYCAPSA& caps = script->caps[id];
    caps.wMid = vendor, caps.wPid = product;
    std::strcpy(caps.szPname, name);
    caps.wXmax = caps.wYmax = caps.wZmax = caps.wRmax = 65534;
    caps.wCaps = JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASPOV;
    script->positions[id] = {sizeof(JOYINFOEX), 0, 32767, 32767, 32767, 32767, 0, 0, 0, 0, 0xFFFF,
                             0, 0};
}

class Pads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pads && script && m_patches[1].active());
        *script = PadScript();
        g_present = "xinput1_4.dll winmm.dll user32.dll";
        g_loads = g_events = "";
        pads->setConnectionCallback(noteConnection, nullptr);
        pads->setDeadZone(0.25f); // 8192 units
    }
    void TearDown() override { pads->shutdown(); }
    // Frames step ticks apart; one 50 apart probes one empty XInput slot or joystick id.
    static void frames(int count, DWORD step = 50) {
        for (; count > 0; --count)
            g_now += step, pads->update();
    }

    ImportPatch m_patches[2] = {patchPlatform("kernel32.dll", "LoadLibraryA", loadLibrary),
                                patchPlatform("kernel32.dll", "GetTickCount", tickCount)};
};

// The newest XInput, winmm, and user32 only beside XInput; a 98-like system has only winmm.
TEST_F(Pads, BindsTheNewestXInputThenWinmmFromTheSystemFolder) {
    const char* const rows[][2] = {
        {"xinput1_4.dll winmm.dll user32.dll", " xinput1_4.dll winmm.dll user32.dll 1"},
        {"xinput9_1_0.dll winmm.dll",
         " xinput1_4.dll! xinput1_3.dll! xinput9_1_0.dll winmm.dll user32.dll! 1"},
        {"winmm.dll", " xinput1_4.dll! xinput1_3.dll! xinput9_1_0.dll! winmm.dll 1"},
        {"", " xinput1_4.dll! xinput1_3.dll! xinput9_1_0.dll! winmm.dll! 0"}};
    for (const auto& row : rows) {
        g_present = row[0], g_loads = "";
        const bool started = pads->initialize();
        EXPECT_EQ(row[1], g_loads + text(" %d", started)) << row[0];
        pads->shutdown();
    }
}

// The XInput pad that winmm also lists (raw-input name with IG_) shows once; unplugged, each
// pad is reported once at the next frame, and found again within a probe round.
TEST_F(Pads, ReportsEachPadOnceThroughUnplugAndReplug) {
    script->pluggedPad[1] = true;
    plugJoystick(0, 0x046D, 0xC216, "Dual Action");
    plugJoystick(1, 0x045E, 0x028E, "Controller (XBOX 360 For Windows)");
    script->devices[0] = "\\\\?\\HID#VID_046D&PID_C216#7&1";
    script->devices[1] = "\\\\?\\hid#vid_045e&pid_028e&ig_00#8&2";
    ASSERT_TRUE(pads->initialize());
    frames(12);
    EXPECT_EQ(" +0 +1 XInput pad 2/1|Dual Action/2|-", g_events + " " +
              describe(0).substr(0, 14) + "|" + describe(1).substr(0, 13) + "|" + describe(2));
    const std::string rumbles = text("%d%d%d", pads->setRumble(0, 0.5f, 2.0f),
                                     pads->setRumble(1, 1, 1), pads->setRumble(2, 1, 1));
    EXPECT_EQ("100 32768 65535", rumbles + text(" %u %u", script->motors[1].wLeftMotorSpeed,
                                                 script->motors[1].wRightMotorSpeed));
    script->pluggedPad[1] = script->plugged[0] = false;
    frames(1);
    EXPECT_EQ(" +0 +1 -0 -1", g_events);
    script->pluggedPad[1] = true;
    frames(12);
    EXPECT_EQ(" +0 +1 -0 -1 +0", g_events);
    pads->shutdown();
    EXPECT_EQ(" +0 +1 -0 -1 +0 0", g_events + text(" %u", script->motors[1].wRightMotorSpeed));
}

// XInput and joystick reads through the dead zone at, one below and one past 8192 units.
TEST_F(Pads, MapsButtonsSticksAndTriggers) {
    struct Row {
        bool joystick;
        DWORD buttons, hat;
        int axes[4];
        BYTE triggers[2];
        const char* read;
    } const rows[] = {
        {false, 0xF3FF, 0, {8191, 8192, 8193, -32768}, {0, 255}, "3fff 0 0 4.06918e-05 -1 0 1"},
        {false, XINPUT_GAMEPAD_START | XINPUT_GAMEPAD_DPAD_LEFT, 0, {32767, -32767}, {128, 1},
         "1080 1 -1 0 0 0.501961 0.00392157"},
        {false, XINPUT_GAMEPAD_Y | XINPUT_GAMEPAD_LEFT_THUMB | XINPUT_GAMEPAD_RIGHT_SHOULDER, 0,
         {20480}, {}, "128 0.50002 0 0 0 0 0"},
        {true, 0x7FF, 13500, {0, 0, 65534, 40960}, {}, "2bff -1 1 1 -4.06918e-05 0 0"},
        {true, 0, 4500, {40958, 40959, 32767, 65534}, {}, "2400 0 0 0 -1 0 0"},
        {true, 0, 27000, {32767, 32767, 32767, 32767}, {}, "1000 0 0 0 0 0 0"},
        {true, 0, 0, {32767, 32767, 32767, 32767}, {}, "400 0 0 0 0 0 0"},
        {true, 0, 0xFFFF, {32767, 32767, 32767, 32767}, {}, "0 0 0 0 0 0 0"}};
    for (const Row& row : rows) {
        *script = PadScript();
        script->pluggedPad[0] = !row.joystick;
        script->pads[0] = {WORD(row.buttons), row.triggers[0], row.triggers[1], SHORT(row.axes[0]),
                           SHORT(row.axes[1]), SHORT(row.axes[2]), SHORT(row.axes[3])};
        if (row.joystick) {
            plugJoystick(0, 1, 1, "stick");
            script->positions[0] = {sizeof(JOYINFOEX), 0, DWORD(row.axes[0]), DWORD(row.axes[1]),
                                    DWORD(row.axes[2]), DWORD(row.axes[3]), 0, 0, row.buttons, 0,
                                    row.hat, 0, 0};
        }
        pads->initialize();
        frames(6);
        const std::string read = describe(0);
        EXPECT_EQ(row.read, read.substr(read.find('/') + 3)) << read;
        pads->shutdown();
    }
    const float fractions[] = {-0.01f, 0, 0.99999994f, 1, NAN};
    std::string accepted;
    for (float fraction : fractions)
        accepted += text("%d", pads->setDeadZone(fraction));
    EXPECT_EQ("01100 0.99999994", accepted + text(" %.8f", double(pads->getDeadZone())));
}

// Connected pads cost one read a frame, empty ids one probe per 50 ticks, and no heap.
TEST_F(Pads, ReadsPadsEachFrameProbesRarelyAndAllocatesNothing) {
    script->joysticks = 16;
    ASSERT_TRUE(pads->initialize());
    frames(100, 1);
    const int probes = script->calls;
    for (bool& plugged : script->pluggedPad)
        plugged = true;
    frames(21);
    MemStats before, after;
    MemGetStats(&before);
    script->calls = 0;
    frames(100, 1);
    MemGetStats(&after);
    EXPECT_EQ("2 402 0", text("%d %d %llu", probes, script->calls,
                              after.allocations[memKindSingle] - before.allocations[memKindSingle] +
                                  after.allocations[memKindArray] - before.allocations[memKindArray]));
}

} // namespace
