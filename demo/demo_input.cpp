// The sample game's input, driven by a scripted player that posts real key and mouse
// messages to the game window; the library turns them into table entries and callbacks.
#include "demo_input.h"

#include "InputInterface.h"

#include <cstdio>
#include <string>

namespace {

int g_jumps = 0;
int g_events = 0;
float g_cameraYaw = 0;

const char* eventName(int event) {
    switch (event) {
    case InputInterface::keyPressed:
        return "pressed";
    case InputInterface::keyReleased:
        return "released";
    default:
        return "repeated";
    }
}

void onJump(unsigned, int event, void* jumps) {
    if (event == InputInterface::keyPressed)
        ++*static_cast<int*>(jumps);
}

void onAnyKey(unsigned key, int event, void* events) {
    // Characters typed through SendInput come as this key; the viewer shows them as text.
    if (key == VK_PACKET)
        return;
    ++*static_cast<int*>(events);
    std::printf("  input: %s %s\n", keyName(key).c_str(), eventName(event));
}

void postKey(HWND window, UINT message, WPARAM key, bool repeat = false) {
    UINT scanCode = MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
    LPARAM flags = 1 | (LPARAM(scanCode) << 16);
    if (repeat)
        flags |= LPARAM(1) << 30;
    if (message == WM_KEYUP)
        flags |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    PostMessageA(window, message, key, flags);
}

// Moves the cursor by an offset from the window's middle, as a player turning the camera.
void turnCamera(HWND window, int dx) {
    RECT client;
    GetClientRect(window, &client);
    POINT middle = {client.right / 2 + dx, client.bottom / 2};
    ClientToScreen(window, &middle);
    SetCursorPos(middle.x, middle.y);
    float deltaX = 0, deltaY = 0;
    InputInterface::i()->getMouseDelta(&deltaX, &deltaY);
    g_cameraYaw += deltaX * 90.0f;
    std::printf("  camera: mouse delta %.3f, yaw now %.1f degrees\n", deltaX, g_cameraYaw);
}

} // namespace

// The mouse's codes have no keyboard name.
std::string keyName(unsigned key) {
    switch (key) {
    case 1:
        return "left button";
    case 2:
        return "right button";
    case 4:
        return "middle button";
    default:
        break;
    }
    unsigned short wide[64] = {};
    if (!InputInterface::i()->getKeyName(key, wide, 64))
        return "key " + std::to_string(key);
    std::string name;
    for (unsigned short* c = wide; *c; ++c)
        name += *c < 128 ? char(*c) : '?';
    return name;
}

bool startInput() {
    InputInterface* input = InputInterface::i();
    if (!input || !input->initialize())
        return false;
    input->setKeyCallback(VK_SPACE, onJump, &g_jumps);
    input->addGenericKeyCallback(onAnyKey, &g_events);
    return true;
}

void playScriptedInput(HWND window, int frame) {
    InputInterface* input = InputInterface::i();
    switch (frame) {
    case 10:
        postKey(window, WM_KEYDOWN, VK_SPACE);
        postKey(window, WM_KEYUP, VK_SPACE);
        break;
    case 20:
        postKey(window, WM_KEYDOWN, 'W');
        postKey(window, WM_KEYDOWN, 'W', true);
        break;
    case 25:
        std::printf("  input: W is %s\n", input->isKeyDown('W') ? "held" : "up");
        postKey(window, WM_KEYUP, 'W');
        break;
    case 30:
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240));
        PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(320, 240));
        break;
    case 40:
        input->captureMouse(true);
        turnCamera(window, 32);
        turnCamera(window, -8);
        input->captureMouse(false);
        break;
    default:
        break;
    }
}

void stopInput() {
    InputInterface* input = InputInterface::i();
    if (!input)
        return;
    std::printf("input: %d key events seen, %d jumps\n", g_events, g_jumps);
    input->removeGenericKeyCallback(onAnyKey);
    input->clearKeyCallback(VK_SPACE);
    input->shutdown();
}
