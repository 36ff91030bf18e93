// The library's twelve services in creation order, beside the load order that walks them. This
// is the one file that includes every service, and it uses only their create and destroy functions.
#include "app/service_table.h"

#include "app/main_impl.h"
#include "input/gamepad_impl.h"
#include "input/input_impl.h"
#include "input/mouse_motion_impl.h"
#include "input/sys_input_impl.h"
#include "input/text_input_impl.h"
#include "registry/named_interface_impl.h"
#include "sys/shared_library_impl.h"
#include "sys/sys_dialog_impl.h"
#include "sys/sys_util_impl.h"
#include "window/display_impl.h"
#include "window/window_manager_impl.h"

namespace {

const unsigned serviceRows = 12;

const ServiceRegistration g_serviceTable[serviceRows] = {
    {"NamedInterface", createRegistry, destroyRegistry},
    {"SharedLibrary", createSharedLibraryService, destroySharedLibraryService},
    {"SysDialog", createSysDialogService, destroySysDialogService},
    {"SysInput", createSysInputService, destroySysInputService},
    {"SysUtil", createSysUtilService, destroySysUtilService},
    {"WindowManage", createWindowManagerService, destroyWindowManagerService},
    {"Input", createInputService, destroyInputService},
    {"TextInput", createTextInputService, destroyTextInputService},
    {"MouseMotion", createMouseMotionService, destroyMouseMotionService},
    {"Main", createMainService, destroyMainService},
    {"Display", createDisplayService, destroyDisplayService},
    {"Gamepad", createGamepadService, destroyGamepadService},
};

} // namespace

void createServices(const ServiceRegistration* table, unsigned rows) {
    for (unsigned row = 0; row < rows; ++row) {
        if (table[row].create)
            table[row].create();
    }
}

void destroyServices(const ServiceRegistration* table, unsigned rows) {
    for (unsigned row = rows; row > 0; --row) {
        if (table[row - 1].destroy)
            table[row - 1].destroy();
    }
}

void createAllServices() {
    createServices(g_serviceTable, serviceRows);
}

void destroyAllServices() {
    destroyServices(g_serviceTable, serviceRows);
}
