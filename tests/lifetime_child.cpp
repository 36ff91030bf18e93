// The library's lifetime object around the program's run, each step replaced by a line of output.
#include "app/service_table.h"
#include "crash/exception_filter.h"
#include "sys/shared_library_impl.h"
#include "sys/timer_calibration.h"

namespace {

void step(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, nullptr);
}

#define STEP(function, line)                                                                       \
    void function() {                                                                              \
        step(line);                                                                                \
    }

} // namespace

STEP(createAllServices, "services\n")
STEP(destroyAllServices, "-services\n")
STEP(SharedLibraryImpl::createSearchDirectories, "search directories\n")
STEP(SharedLibraryImpl::destroySearchDirectories, "-search directories\n")
STEP(calibrateTimerOverhead, "timer calibration\n")
STEP(createCrashCallbackList, "crash callbacks\n")
STEP(destroyCrashCallbackList, "-crash callbacks\n")

int main() {
    step("running\n");
}
