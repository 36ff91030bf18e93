// The exported entry point that the game's WinMain hands its arguments and application to.
#include "PlatApp.h"

#include "app/main_impl.h"

int Plat::App::PlatWinMain(void* hInstance, void*, char*, int, AppInterface* app) {
    if (g_mainImpl)
        g_mainImpl->setInstance(hInstance);
    app->run();
    return 0;
}
