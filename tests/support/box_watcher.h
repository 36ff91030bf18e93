// Finds the first dialog box shown, of any process, records it and presses a button on it;
// asked to, it first tries every other way out and notes whether the box survived them.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

class BoxWatcher {
public:
    explicit BoxWatcher(int button = IDOK, bool tryOtherWays = false)
        : m_thread([this, button, tryOtherWays] { watch(button, tryOtherWays); }) {}
    ~BoxWatcher() { join(); }

    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    // Read after join: the caption and every child window's text, one per line, and the owner.
    std::string texts;
    bool ownerHidden = false, survivedOtherWays = false;

private:
    static BOOL CALLBACK collectText(HWND child, LPARAM texts) {
        char text[512] = {};
        GetWindowTextA(child, text, sizeof text);
        *reinterpret_cast<std::string*>(texts) += std::string(text) + "\n";
        return TRUE;
    }

    void watch(int button, bool tryOtherWays) {
        HWND box = nullptr;
        for (int attempt = 0; attempt < 200 && !(box && IsWindowVisible(box)); ++attempt) {
            Sleep(50);
            box = FindWindowA("#32770", nullptr);
        }
        if (!box)
            return;
        collectText(box, reinterpret_cast<LPARAM>(&texts));
        EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(&texts));
        const HWND owner = GetWindow(box, GW_OWNER);
        ownerHidden = owner && !IsWindowVisible(owner);
        if (tryOtherWays) {
            PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(box, WM_CLOSE, 0, 0);
            PostMessageA(box, WM_COMMAND, IDNO, 0);
            Sleep(300);
            survivedOtherWays = IsWindow(box) && IsWindowVisible(box);
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    }

    std::thread m_thread;
};
