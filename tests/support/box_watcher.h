// Finds the first dialog box this process shows, records what it shows and presses a
// button on it, so that modal boxes cannot hang a test.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

class BoxWatcher {
public:
    explicit BoxWatcher(int button = IDOK) : m_button(button), m_thread([this] { watch(); }) {}
    ~BoxWatcher() { join(); }

    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    bool found() const { return m_box != nullptr; }
    const std::string& caption() const { return m_caption; }
    // Every child window's text, one per line.
    const std::string& texts() const { return m_texts; }
    HWND owner() const { return m_owner; }

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
        char caption[256] = {};
        GetWindowTextA(box, caption, sizeof caption);
        m_caption = caption;
        EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(&m_texts));
        m_owner = GetWindow(box, GW_OWNER);
        m_box = box;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(m_button, BN_CLICKED), 0);
    }

    int m_button;
    HWND m_box = nullptr;
    HWND m_owner = nullptr;
    std::string m_caption;
    std::string m_texts;
    std::thread m_thread;
};
