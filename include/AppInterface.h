// What the game implements and hands to Plat::App::PlatWinMain.
#pragma once

// The library calls run once per PlatWinMain, ignores its result, keeps no pointer to the
// object afterwards and never copies or destroys it.
class AppInterface {
public:
    // The game's own name, for its own use: the library never calls this.
    virtual const char* name() const = 0;
    // The whole game runs inside this call, on the main thread.
    virtual int run() = 0;

    virtual ~AppInterface() {}
};
