// The library's lifetime object around the program's run, each step replaced by a line of output.
#include "crash/exception_filter.h"
#include "registry/service_table.h"
#include "sys/shared_library_impl.h"
#include "sys/timer_calibration.h"

namespace {

void step(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, nullptr);
}

} // namespace

void createAllServices() {
    step("services\n");
}
void destroyAllServices() {
    step("-services\n");
}
void SharedLibraryImpl::createSearchDirectories() {
    step("search directories\n");
}
void SharedLibraryImpl::destroySearchDirectories() {
    step("-search directories\n");
}
void calibrateTimerOverhead() {
    step("timer calibration\n");
}
void createCrashCallbackList() {
    step("crash callbacks\n");
}
void destroyCrashCallbackList() {
    step("-crash callbacks\n");
}

int main() {
    step("running\n");
}
