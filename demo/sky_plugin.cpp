// A small plug-in of the sample game, loaded and bound at run time through the library.
#include "plugin_table.h"

#include <windows.h>

namespace {

const char* pluginName() {
    return "day-night sky";
}

unsigned mix(unsigned from, unsigned to, float share) {
    unsigned result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        float a = float((from >> shift) & 0xff), b = float((to >> shift) & 0xff);
        result |= unsigned(a + (b - a) * share) << shift;
    }
    return result;
}

unsigned skyColour(float hour) {
    const unsigned night = 0x0b1030, noon = 0x87ceeb;
    float fromNoon = hour > 12 ? hour - 12 : 12 - hour;
    return mix(noon, night, fromNoon > 12 ? 1.0f : fromNoon / 12);
}

} // namespace

extern "C" __declspec(dllexport) unsigned getLibraryID() {
    return skyPluginId;
}

// Called once by the loader with the game's table; caller-cleans by contract.
extern "C" __declspec(dllexport) int __cdecl setupFunctionTable(void* table) {
    SkyPluginTable* functions = static_cast<SkyPluginTable*>(table);
    if (!functions)
        return 0;
    functions->name = pluginName;
    functions->skyColour = skyColour;
    return 1;
}
