// Finds the first dialog box this process shows, records what it shows and presses a
// button on it, so that modal boxes cannot hang a test. Asked to, it first tries every other
// way out (Escape, cancel, close, No) and notes whether the box survived them.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

class BoxWatcher {
public:
    explicit BoxWatcher(int button = IDOK, bool tryOtherWays = false)
        : m_button(button), m_tryOtherWays(tryOtherWays), m_thread([this] { watch(); }) {}
    ~BoxWatcher() { join(); }

    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    // What the box showed, read after join: every child window's text one per line.
    std::string caption, texts;
    HWND owner = nullptr;
    bool ownerVisible = false, survivedOtherWays = false;

private:
    static BOOL CALLBACK findBox(HWND window, LPARAM found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[32] = {};
        GetClassNameA(window, className, sizeof className);
        if (process != GetCurrentProcessId() || std::string(className) != "#32770" ||
            !IsWindowVisible(window))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }

    static BOOL CALLBACK collectText(HWND child, LPARAM texts) {
        char text[512] = {};
        GetWindowTextA(child, text, sizeof text);
        *reinterpret_cast<std::string*>(texts) += std::string(text) + "\n";
        return TRUE;
    }

    void watch() {
        HWND box = nullptr;
        for (int attempt = 0; attempt < 100 && !box; ++attempt) {
            Sleep(50);
            EnumWindows(findBox, reinterpret_cast<LPARAM>(&box));
        }
        if (!box)
            return;
        char text[256] = {};
        GetWindowTextA(box, text, sizeof text);
        caption = text;
        EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(&texts));
        owner = GetWindow(box, GW_OWNER);
        ownerVisible = IsWindowVisible(owner);
        if (m_tryOtherWays) {
            PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
            PostMessageA(box, WM_CLOSE, 0, 0);
            PostMessageA(box, WM_COMMAND, IDNO, 0);
            Sleep(300);
            survivedOtherWays = IsWindow(box) && IsWindowVisible(box);
        }
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(m_button, BN_CLICKED), 0);
    }

    int m_button;
    bool m_tryOtherWays;
    std::thread m_thread;
};
