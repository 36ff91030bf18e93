// A game built outside the project against the installed package: it finds its services by
// accessor and by name, has the library fill a std::string from its command line and frees
// it, and with -crash writes through a bad pointer so the library leaves its crash report.
// Exit code 0 when every check holds, 2 when one fails.
#include "CmdLine.h"
#include "MainInterface.h"
#include "NamedInterface.h"
#include "PlatApp.h"
#include "contracts/memory.h"

#include <cstdio>
#include <string>

namespace {

int* volatile g_badAddress = reinterpret_cast<int*>(16);

bool check(bool holds, const char* what) {
    std::printf("%s: %s\n", what, holds ? "ok" : "FAILED");
    return holds;
}

// The library allocates the value from memory.dll; this game's delete must give it back
// there, which only the package's operators do.
bool levelStringRoundTrip() {
    MemStats before = {};
    MemGetStats(&before);
    bool found = false;
    {
        std::string level;
        found = CmdLine::Get("level", level) && level.size() > 15;
        std::printf("level '%s'\n", level.c_str());
    }
    MemStats after = {};
    MemGetStats(&after);
    return found && after.allocations[memKindSingle] > before.allocations[memKindSingle] &&
           after.liveBlocks[memKindSingle] == before.liveBlocks[memKindSingle];
}

__attribute__((noinline)) void crashOnRequest() {
    std::printf("crashing on request\n");
    std::fflush(stdout);
    *g_badAddress = 1;
}

class ConsumerGame : public AppInterface {
public:
    int result = 2;

    const char* name() const override { return "Consumer game"; }
    int run() override {
        if (CmdLine::Exist("crash"))
            crashOnRequest();
        MainInterface* main = MainInterface::i();
        bool ok = check(main != nullptr, "main loop by accessor");
        ok &= check(NamedInterface::i()->getInterface("main") == main, "main loop by name");
        ok &= check(levelStringRoundTrip(), "string filled by the library, freed by the game");
        result = ok ? 0 : 2;
        return result;
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    ConsumerGame game;
    Plat::App::PlatWinMain(instance, previous, commandLine, show, &game);
    return game.result;
}
