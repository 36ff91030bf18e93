// The window manager's private implementation.
#pragma once

#include "WindowInterface.h"

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

    // Display modes of the primary display.
    bool checkDesktopColourDepth();
    void switchToFullScreen(int width, int height, int bitDepth);
    void restoreDisplayMode();
    static void traceDisplayChangeResult(LONG code);

    HWND m_window;
    bool m_fullScreen;
    const char* m_className;
    int m_windowX;
    int m_windowY;
    int m_clientWidth;
    int m_clientHeight;
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
