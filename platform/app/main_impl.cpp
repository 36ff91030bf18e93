// The main-loop service: a pump that never waits, the activation callbacks and shell open.
#include "app/main_impl.h"

#include "app/activation.h"
#include "registry/interface_members.h"
#include "registry/service_lifetime.h"
#include "registry/windows_error.h"

#include <shellapi.h>

#include <cstring>

MainImpl* g_mainImpl = nullptr;

namespace {

const char* const mainServiceName = "main";

// NOTE: the shell builds its command line in buffers of 1,024 characters and overruns its stack
// beyond them (32-bit Wine's shell32 does from about 1,000), so a longer name with its
// parameters is refused before the shell sees it.
const std::size_t longestShellText = 512;

// One record serves every pump; the pump belongs to the main thread alone.
MSG g_message;

void ignoreActivation(HWND) {}

} // namespace

DEFINE_INTERFACE_MEMBERS(MainInterface)

MainInterface* MainInterface::i() {
    return g_mainImpl;
}

MainImpl::MainImpl()
    : m_instance(nullptr), m_activate(ignoreActivation), m_deactivate(ignoreActivation) {}

MainImpl::~MainImpl() {}

void MainImpl::setActivateCallback(ActivateCallback callback) {
    m_activate = callback;
}

void MainImpl::setDeactivateCallback(ActivateCallback callback) {
    m_deactivate = callback;
}

void* MainImpl::getInstance() {
    return m_instance;
}

bool MainImpl::pumpMessages() {
    Sleep(0);
    while (PeekMessageA(&g_message, nullptr, 0, 0, PM_NOREMOVE)) {
        // Something is queued, so GetMessageA returns at once; 0 means WM_QUIT was taken.
        if (GetMessageA(&g_message, nullptr, 0, 0) == 0)
            return false;
        TranslateMessage(&g_message);
        DispatchMessageA(&g_message);
    }
    return true;
}

unsigned MainImpl::getProcessId() {
    return GetCurrentProcessId();
}

bool MainImpl::shellOpen(const char* file, const char* directory, const char* parameters,
                         char* errorText, unsigned errorTextSize) {
    SHELLEXECUTEINFOA info = {};
    static_assert(sizeof(void*) != 4 || sizeof info == 60, "the 32-bit record is 60 bytes");
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = nullptr;
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = SW_SHOW;
    // The shell reads an empty name as the current directory: no name is no document.
    if (!file || !*file)
        SetLastError(ERROR_INVALID_PARAMETER);
    else if (std::strlen(file) + (parameters ? std::strlen(parameters) : 0) > longestShellText)
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    else if (ShellExecuteExA(&info))
        return true;
    formatWindowsError(GetLastError(), errorText, errorTextSize);
    return false;
}

void MainImpl::setInstance(void* instance) {
    m_instance = instance;
}

void MainImpl::callActivationCallback(HWND window, bool active) const {
    if (ActivateCallback callback = active ? m_activate : m_deactivate)
        callback(window);
}

void callActivationCallback(HWND window, bool active) {
    if (g_mainImpl)
        g_mainImpl->callActivationCallback(window, active);
}

bool createMainService() {
    return createService(g_mainImpl, mainServiceName);
}

bool destroyMainService() {
    return destroyService(g_mainImpl, mainServiceName);
}
