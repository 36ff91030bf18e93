// Gamepads on pads scripted in a stand-in DLL that platform.dll loads in place of XInput, winmm
// and user32 (for the raw-input device list), on a scripted tick count.
#include "GamepadInterface.h"
#include "contracts/memory.h"
#include "libraries/pad_script.h"
#include "support/child_process.h"
#include "support/game_window.h"
#include "support/text.h"

#include <cmath>

namespace {

GamepadInterface* const pads = GamepadInterface::i();
const std::string g_standIn = programDirectory() + "pad_standin.dll";
PadScript* const script = reinterpret_cast<PadScript* (*)()>(
    reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA(g_standIn.c_str()), "padScript")))();
// The libraries the scripted system has; each load asked for ("!" when refused, "?" outside
// the system folder); each connect ("+pad") and disconnect ("-pad").
std::string g_present, g_loads, g_events;
DWORD g_now = 0;

HMODULE WINAPI loadLibrary(LPCSTR path) {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    const std::string name = _strnicmp(path, folder, length) ? "?" : path + length + 1;
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
    GamepadState s = {};
    pads->getState(pad, &s);
    return text("%s/%d %x %g %g %g %g %g %g", s.name, s.source, s.buttons, double(s.axes[0]),
                double(s.axes[1]), double(s.axes[2]), double(s.axes[3]), double(s.triggers[0]),
                double(s.triggers[1]));
}

// A joystick at the middle of each axis (32767) unless given.
void plugJoystick(UINT id, WORD vendor, DWORD buttons = 0, DWORD hat = 0xFFFF, DWORD x = 32767,
                  DWORD y = 32767, DWORD z = 32767, DWORD r = 32767) {
    script->joysticks = id + 1 > script->joysticks ? id + 1 : script->joysticks;
    script->vendors[id] = vendor;
    script->positions[id] = {sizeof(JOYINFOEX), 0, x, y, z, r, 0, 0, buttons, 0, hat, 0, 0};
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
        EXPECT_EQ(row[1], g_loads + text(" %d", pads->initialize()) + "") << row[0];
        pads->shutdown();
    }
}

// The XInput pad that winmm also lists (its raw-input name holds IG_) shows once; unplugged,
// each pad is reported once at the next frame, and found again within a probe round.
TEST_F(Pads, ReportsEachPadOnceThroughUnplugAndReplug) {
    script->pluggedPad[1] = true;
    plugJoystick(0, 0x046D);
    plugJoystick(1, 0x045E);
    script->devices[0] = "\\\\?\\HID#VID_046D&PID_028E#7&1";
    script->devices[1] = "\\\\?\\hid#vid_045e&pid_028e&ig_00#8&2";
    ASSERT_TRUE(pads->initialize());
    frames(12);
    EXPECT_EQ(" +0 +1 XInput pad 2/1 0 0 0 0 0 0 0|stick 046D/2 0 0 0 0 0 0 0|/0 0 0 0 0 0 0 0",
              g_events + " " + describe(0) + "|" + describe(1) + "|" + describe(2));
    const std::string rumbles = text("%d%d%d", pads->setRumble(0, 0.5f, 2.0f),
                                     pads->setRumble(1, 1, 1), pads->setRumble(2, 1, 1));
    EXPECT_EQ("100 32768 65535", rumbles + text(" %u %u", script->motors[1].wLeftMotorSpeed,
                                                script->motors[1].wRightMotorSpeed));
    script->pluggedPad[1] = false, script->positions[0].dwSize = 0;
    frames(1);
    script->pluggedPad[1] = true;
    frames(12);
    pads->shutdown();
    EXPECT_EQ(" +0 +1 -0 -1 +0 0", g_events + text(" %u", script->motors[1].wRightMotorSpeed));
}

// XInput and joystick reads through the dead zone at, one below and one past 8192 units.
TEST_F(Pads, MapsButtonsSticksAndTriggers) {
    struct Row {
        int joystick, buttons, hat, axes[4], triggers[2];
        const char* read;
    } const rows[] = {
        {0, 0xF3FF, 0, {8191, 8192, 8193, -32768}, {0, 255}, "3fff 0 0 4.06918e-05 -1 0 1"},
        {0, 0x14, 0, {32767, -32767}, {128, 1}, "1080 1 -1 0 0 0.501961 0.00392157"},
        {0, 0x8240, 0, {20480}, {}, "128 0.50002 0 0 0 0 0"},
        {1, 0x7FF, 13500, {0, 0, 65534, 40960}, {}, "2bff -1 1 1 -4.06918e-05 0 0"},
        {1, 0, 4500, {40958, 40959, 32767, 65534}, {}, "2400 0 0 0 -1 0 0"},
        {1, 0, 27000, {32767, 32767, 32767, 32767}, {}, "1000 0 0 0 0 0 0"},
        {1, 0, 0, {32767, 32767, 32767, 32767}, {}, "400 0 0 0 0 0 0"}};
    // Each pad is found at rest, then moves.
    for (const Row& row : rows) {
        *script = PadScript();
        script->pluggedPad[0] = !row.joystick;
        if (row.joystick)
            plugJoystick(0, 1);
        pads->initialize();
        frames(6);
        script->pads[0] = {WORD(row.buttons),  BYTE(row.triggers[0]), BYTE(row.triggers[1]),
                           SHORT(row.axes[0]), SHORT(row.axes[1]),    SHORT(row.axes[2]),
                           SHORT(row.axes[3])};
        if (row.joystick)
            plugJoystick(0, 1, row.buttons, row.hat, row.axes[0], row.axes[1], row.axes[2],
                         row.axes[3]);
        frames(1);
        const std::string read = describe(0);
        EXPECT_EQ(row.read, read.substr(read.find('/') + 3)) << read;
        pads->shutdown();
    }
    // A new dead zone maps again a pad whose state stands still.
    *script = PadScript();
    script->pluggedPad[0] = true;
    script->pads[0].sThumbLX = 16384;
    pads->initialize();
    frames(6);
    const std::string before = describe(0);
    pads->setDeadZone(0.5f);
    frames(1);
    EXPECT_EQ("XInput pad 1/1 0 0.333347 0 0 0 0 0|XInput pad 1/1 0 0 0 0 0 0 0",
              before + "|" + describe(0));
    pads->shutdown();
    std::string accepted;
    for (float fraction : {-0.01f, 0.0f, 0.99999994f, 1.0f, NAN})
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
    script->joysticks = 0; // then every device is in a slot, and a probe finds nothing to do
    frames(21);
    MemStats before, after;
    MemGetStats(&before);
    script->calls = 0;
    frames(100, 1);
    MemGetStats(&after);
    EXPECT_EQ("2 400 0", text("%d %d %llu", probes, script->calls,
                              after.allocations[0] + after.allocations[1] - before.allocations[0] -
                                  before.allocations[1]));
}

} // namespace
