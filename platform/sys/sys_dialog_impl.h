// The dialog service's private implementation.
#pragma once

#include "SysDialogInterface.h"

#include <windows.h>

class SysDialogImpl : public SysDialogInterface {
public:
    SysDialogImpl();
    ~SysDialogImpl() override;

    int messageBox(const char* caption, const char* text) override;
    int dialogBox(unsigned short templateId, const char* text, int controlId) override;
    [[noreturn]] void fatalError(int exitCode, const char* text, bool debugBreak) override;

private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    const char* m_dialogText; // set only while dialogBox runs
    int m_dialogControlId;
};

// The service's instance; the dialog procedure finds the text through it.
extern SysDialogImpl* g_sysDialogImpl;

// Row 3 of the service table, registered as "SysDialog".
bool createSysDialogService();
bool destroySysDialogService();
