// The main-loop service's private implementation.
#pragma once

#include "MainInterface.h"

class MainImpl : public MainInterface {
public:
    MainImpl();
    ~MainImpl() override;

    void setActivateCallback(ActivateCallback callback) override;
    void setDeactivateCallback(ActivateCallback callback) override;
    void* getInstance() override;
    bool pumpMessages() override;
    unsigned getProcessId() override;
    bool shellOpen(const char* file, const char* directory, const char* parameters, char* errorText,
                   unsigned errorTextSize) override;

    // For the library's own use: PlatWinMain stores the handle, the window procedure has the
    // callbacks called (through app/activation.h).
    void setInstance(void* instance);
    void callActivationCallback(HWND window, bool active) const;

private:
    void* m_instance;
    ActivateCallback m_activate;
    ActivateCallback m_deactivate;
};

// The service's instance pointer, which MainInterface::i() returns.
extern MainImpl* g_mainImpl;

// Row 8 of the service table, registered as "main".
bool createMainService();
bool destroyMainService();
