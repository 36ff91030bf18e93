// The options screen: the player cycles the monitor, its modes and the three window states;
// Enter applies the choice without recreating the window.
#include "demo_options.h"

#include "DisplayInterface.h"
#include "InputInterface.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

const char* const stateNames[] = {"windowed", "full screen", "borderless full screen"};
const unsigned optionKeys[] = {'M', 'O', 'S', VK_RETURN, 'C'};

struct Choice {
    int monitor = 0;
    int mode = 0;
    int state = DisplayInterface::windowed;
    bool apply = false;
    bool copy = false;
} g_choice;

std::string modeText(const DisplayMode& mode) {
    char text[64];
    std::snprintf(text, sizeof text, "%dx%d %d-bit, ", mode.width, mode.height, mode.bitDepth);
    return text + (mode.refresh ? std::to_string(mode.refresh) + " Hz" : "default rate");
}

// The highest mode of the monitor is the natural first choice for full screen.
void chooseMonitor(int monitor) {
    DisplayInterface* display = DisplayInterface::i();
    const int count = display->getMonitorCount();
    g_choice.monitor = count > 0 ? (monitor + count) % count : 0;
    g_choice.mode = display->getModeCount(g_choice.monitor) - 1;
}

// Key callbacks run inside the message handling: they only record what the player asked.
void onOptionKey(unsigned key, int event, void*) {
    if (event != InputInterface::keyPressed)
        return;
    DisplayInterface* display = DisplayInterface::i();
    const int modes = display->getModeCount(g_choice.monitor);
    switch (key) {
    case 'M':
        chooseMonitor(g_choice.monitor + 1);
        break;
    case 'O':
        g_choice.mode = modes > 0 ? (g_choice.mode + 1) % modes : 0;
        break;
    case 'S':
        g_choice.state = (g_choice.state + 1) % 3;
        break;
    case 'C':
        g_choice.copy = true;
        break;
    default:
        g_choice.apply = true;
        break;
    }
}

// The lists were read again: a choice past their ends goes back to the monitor's highest mode.
void onDisplayChange() {
    DisplayInterface* display = DisplayInterface::i();
    std::printf("  options: the displays changed, %d monitor(s) now\n", display->getMonitorCount());
    if (g_choice.monitor >= display->getMonitorCount() ||
        g_choice.mode >= display->getModeCount(g_choice.monitor))
        chooseMonitor(g_choice.monitor);
}

void onScaleChange(HWND, float scale) {
    std::printf("  options: the window moved to a monitor at scale %.2f\n", scale);
}

void postKey(HWND window, WPARAM key) {
    const LPARAM scanCode = LPARAM(MapVirtualKeyA(UINT(key), MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(window, WM_KEYDOWN, key, 1 | scanCode);
    PostMessageA(window, WM_KEYUP, key, 1 | scanCode | (LPARAM(3) << 30));
}

} // namespace

bool startOptions() {
    DisplayInterface* display = DisplayInterface::i();
    InputInterface* input = InputInterface::i();
    if (!display || !input)
        return false;
    chooseMonitor(display->getWindowMonitor());
    display->setDisplayChangeCallback(onDisplayChange);
    display->setScaleCallback(onScaleChange);
    for (unsigned key : optionKeys)
        input->setKeyCallback(key, onOptionKey, nullptr);
    return true;
}

void updateOptions() {
    DisplayInterface* display = DisplayInterface::i();
    if (g_choice.copy) {
        g_choice.copy = false;
        DisplayMode mode = {};
        display->getMode(g_choice.monitor, g_choice.mode, &mode);
        const std::string text = "monitor " + std::to_string(g_choice.monitor + 1) + ", " +
                                 modeText(mode) + ", " + stateNames[g_choice.state];
        char pasted[128] = "";
        const bool copied = display->setClipboardText(text.c_str()) &&
                            display->getClipboardText(pasted, sizeof pasted) > 0;
        std::printf("  options: clipboard %s '%s'\n", copied ? "holds" : "refused", pasted);
    }
    if (!g_choice.apply)
        return;
    g_choice.apply = false;
    DisplayMode mode = {};
    display->getMode(g_choice.monitor, g_choice.mode, &mode);
    const bool applied = display->setWindowState(DisplayInterface::WindowState(g_choice.state),
                                                 g_choice.monitor, &mode);
    std::printf("  options: %s on monitor %d at %s %s; the window is %s\n",
                stateNames[g_choice.state], g_choice.monitor + 1, modeText(mode).c_str(),
                applied ? "applied" : "refused", stateNames[display->getWindowState()]);
}

void drawOptions(HDC canvas) {
    DisplayInterface* display = DisplayInterface::i();
    DisplayMonitor monitor = {};
    DisplayMode mode = {}, current = {};
    display->getMonitor(g_choice.monitor, &monitor);
    display->getMode(g_choice.monitor, g_choice.mode, &mode);
    display->getCurrentMode(g_choice.monitor, &current);
    const RECT& area = monitor.desktop;
    char lines[6][160];
    std::snprintf(lines[0], sizeof lines[0],
                  "OPTIONS   M monitor, O mode, S window, Enter apply, C copy");
    std::snprintf(lines[1], sizeof lines[1], "Monitor %d of %d: %s %s%s", g_choice.monitor + 1,
                  display->getMonitorCount(), monitor.deviceName, monitor.friendlyName,
                  monitor.primary ? " (primary)" : "");
    std::snprintf(lines[2], sizeof lines[2], "  desktop %ldx%ld at %ld,%ld, scale %.2f",
                  area.right - area.left, area.bottom - area.top, area.left, area.top,
                  display->getMonitorScale(g_choice.monitor));
    std::snprintf(lines[3], sizeof lines[3], "Mode %d of %d: %s   (now %s)", g_choice.mode + 1,
                  display->getModeCount(g_choice.monitor), modeText(mode).c_str(),
                  modeText(current).c_str());
    std::snprintf(lines[4], sizeof lines[4], "Window: %s   (now %s)", stateNames[g_choice.state],
                  stateNames[display->getWindowState()]);
    std::snprintf(lines[5], sizeof lines[5], "The window is on monitor %d",
                  display->getWindowMonitor() + 1);
    SetBkMode(canvas, TRANSPARENT);
    SetTextColor(canvas, RGB(255, 255, 255));
    for (int line = 0; line < 6; ++line)
        TextOutA(canvas, 24, 56 + 20 * line, lines[line], int(std::strlen(lines[line])));
}

// Picks the next mode and full screen before the screenshot halfway through, applies it
// later, copies the choice, and goes back to windowed before the end.
void playScriptedOptions(HWND window, int frame) {
    const std::pair<int, WPARAM> script[] = {{4, 'O'},  {8, 'S'},       {64, VK_RETURN},
                                             {72, 'C'}, {76, 'S'},      {78, VK_RETURN},
                                             {80, 'S'}, {82, VK_RETURN}};
    for (const auto& step : script) {
        if (step.first == frame)
            postKey(window, step.second);
    }
}

void stopOptions() {
    DisplayInterface* display = DisplayInterface::i();
    InputInterface* input = InputInterface::i();
    if (!display || !input)
        return;
    for (unsigned key : optionKeys)
        input->clearKeyCallback(key);
    display->setDisplayChangeCallback(nullptr);
    display->setScaleCallback(nullptr);
}
