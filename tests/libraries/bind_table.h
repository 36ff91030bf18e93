// What the loader tests and their test libraries agree on.
#pragma once

const unsigned boundLibraryId = 0x51A7E001u;
const unsigned otherLibraryId = 0x0BADF00Du;

// The function table the tests hand to loadAndBindLibrary; setupFunctionTable counts its
// calls in it, which shows that it ran and was given the caller's pointer.
struct BindTable {
    int setupCalls;
};
