// The entry point the game's WinMain calls.
#pragma once

#include "AppInterface.h"
#include "PlatformExport.h"

namespace Plat {
namespace App {

// Stores hInstance in the main-loop service and runs app->run(); returns 0 when it returns.
// hPrevInstance, cmdLine and nCmdShow are accepted and ignored. app must not be null.
PLAT_API int PlatWinMain(void* hInstance, void* hPrevInstance, char* cmdLine, int nCmdShow,
                         AppInterface* app);

} // namespace App
} // namespace Plat
