// The window manager's private implementation. The interface makes it one class; its members
// are grouped by job: window_manager_impl.cpp (lifetime, class, creation), window_geometry.cpp,
// window_proc.cpp (messages) and cursor_count.cpp. The display modes and the desktop check need
// nothing of it but the window, so they are functions of their own files.
#pragma once

#include "WindowInterface.h"

#include "input/window_messages.h"

class WindowManagerImpl : public WindowInterface {
public:
    WindowManagerImpl();
    ~WindowManagerImpl() override;

    bool registerWindowClass(void* const* instance, const char* className) override;
    bool unregisterWindowClass(void* const* instance, const char* className) override;
    bool createWindow(HWND* window, void* const* instance, const char* title, int reserved,
                      int width, int height, int bitDepth, bool fullScreen) override;
    bool attachWindow(const HWND* window, LONG_PTR* previousProc) override;
    LONG_PTR setWindowProc(const HWND* window, WNDPROC procedure) override;
    bool showWindow(const HWND* window, bool show) override;
    bool destroyWindow(int reserved1, int reserved2) override;
    bool showCursor(bool show) override;
    void getWindowPosition(int* x, int* y) override;
    int getWidth() override;
    int getHeight() override;
    int getBitDepth() override;
    float getAspectRatio() override;
    int getScreenWidth() override;
    int getScreenHeight() override;
    int getScreenBitDepth() override;
    float getScreenAspectRatio() override;
    HWND getWindowHandle() override;

    // Every message of the game window enters the library here; it finds the manager through
    // g_windowManagerImpl, never through window or class extra bytes.
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void updateGeometry(HWND window);
    LRESULT answerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onActivateApp(HWND window, bool active);

    HWND m_window;
    bool m_fullScreen;
    const char* m_className;
    // Updated on WM_MOVE, WM_SIZE and WM_DISPLAYCHANGE; handed to input with every message.
    ClientArea m_geometry;
    int m_bitDepth;
    // Non-zero once a window was attached; nothing clears it.
    LONG_PTR m_previousWindowProc;
    // The mode asked of createWindow, which every activation of a full-screen window restores.
    int m_requestedWidth;
    int m_requestedHeight;
    int m_requestedBitDepth;
};

// The service's instance pointer, which WindowInterface::i() returns.
extern WindowManagerImpl* g_windowManagerImpl;

// Row 6 of the service table, registered as "WindowManage".
bool createWindowManagerService();
bool destroyWindowManagerService();
