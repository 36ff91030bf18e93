// What runs while the library is loaded and unloaded. One static object keeps the order
// explicit: its constructor runs the load steps, its destructor undoes them in reverse.
#include "app/service_table.h"
#include "crash/exception_filter.h"
#include "sys/shared_library_impl.h"
#include "sys/timer_calibration.h"

#include <windows.h>

namespace {

struct LibraryLifetime {
    LibraryLifetime() {
        createAllServices();
        SharedLibraryImpl::createSearchDirectories();
        calibrateTimerOverhead();
        createCrashCallbackList();
    }
    ~LibraryLifetime() {
        destroyCrashCallbackList();
        SharedLibraryImpl::destroySearchDirectories();
        destroyAllServices();
    }
};

LibraryLifetime g_libraryLifetime;

} // namespace

// The runtime's start-up code has run the static constructors before this is called.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(module);
    return TRUE;
}
