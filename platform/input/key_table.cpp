// The key table's storage and the numbering of its entries.
#include "input/key_table.h"

#include <new>

KeyState* g_keyTable = nullptr;
unsigned g_keyStatesMade = 0;

KeyState::KeyState()
    : code(g_keyStatesMade++), down(false), repeatCount(0), pressX(0.0f), pressY(0.0f),
      userData(nullptr), callback(nullptr) {}

bool makeKeyTable() {
    if (!g_keyTable)
        g_keyTable = new (std::nothrow) KeyState[keyTableSize];
    return g_keyTable != nullptr;
}

void freeKeyTable() {
    g_keyStatesMade = 0;
    delete[] g_keyTable;
    g_keyTable = nullptr;
}

KeyState* keyEntry(unsigned key) {
    if (!g_keyTable || key >= keyTableSize)
        return nullptr;
    return &g_keyTable[key];
}
