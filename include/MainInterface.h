// The main-loop service: message pumping, activation callbacks, process facilities.
#pragma once

#include "PlatformExport.h"

#include <windows.h>

// Called on the main thread with the game window when the application is switched to or
// away from, usually from inside pumpMessages, and also from window calls to which the
// system answers at once (creating or showing the window). It may call any service.
typedef void (*ActivateCallback)(HWND window);

class PLAT_API MainInterface {
public:
    MainInterface();
    MainInterface(const MainInterface&);
    MainInterface& operator=(const MainInterface&);

    // Null is accepted and means nobody is told.
    virtual void setActivateCallback(ActivateCallback callback) = 0;
    virtual void setDeactivateCallback(ActivateCallback callback) = 0;
    // The instance handle given to PlatWinMain; null before it.
    virtual void* getInstance() = 0;
    // Dispatches everything queued for this thread and returns at once without waiting;
    // false when WM_QUIT was taken (messages behind it stay queued). Main thread only.
    // While PlatWinMain guards run, each message is handled inside the crash guard: an
    // exception from a callback it reaches (key and activation callbacks, your window
    // procedure) is a crash report and exit code 1, on x86_64 as on i686, and never reaches
    // a catch around pumpMessages. Only under a debugger, or with "notrap" on the command
    // line, does such a catch see it on x86_64 (on i686 it cannot cross the library's frames
    // at all: the runtime aborts).
    virtual bool pumpMessages() = 0;
    virtual unsigned getProcessId() = 0;
    // Opens a document or address through the shell without any shell dialog; on failure
    // writes the system's error text into errorText, cut to errorTextSize - 1 characters
    // (nothing for a null errorText or a size of 0), and returns false. A null or empty file
    // fails with the text of ERROR_INVALID_PARAMETER, a file and parameters of more than 512
    // characters together with that of ERROR_FILENAME_EXCED_RANGE (the shell would overrun).
    virtual bool shellOpen(const char* file, const char* directory, const char* parameters,
                           char* errorText, unsigned errorTextSize) = 0;

    // The library's main-loop service, or null outside the library's lifetime.
    static MainInterface* i();

protected:
    virtual ~MainInterface();
};
