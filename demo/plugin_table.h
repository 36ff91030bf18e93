// What the sample game and its plug-in agree on: the id the loader checks and the table the
// plug-in fills in when it is bound.
#pragma once

const unsigned skyPluginId = 0x534B5931u; // "SKY1"

struct SkyPluginTable {
    const char* (*name)();
    // The sky colour at a time of day given in hours, as 0xRRGGBB.
    unsigned (*skyColour)(float hour);
};
