// The library-wide table of the 256 key states that the input services share.
#pragma once

#include "InputInterface.h"

const unsigned keyTableSize = 256;

// One key of the table. Entries number themselves from the construction counter, so a table
// made in one piece holds the codes 0 to 255 in order.
struct KeyState {
    KeyState();

    unsigned code;
    bool down;
    unsigned repeatCount; // down reports since the last release or clear
    float pressX;         // cursor position at the last down report
    float pressY;
    void* userData;
    KeyCallback callback;
};

// The table, null before initialize and after shutdown; the system input service updates it
// from the window procedure and the key operations need no object.
extern KeyState* g_keyTable;
// The code the next KeyState made gets.
extern unsigned g_keyStatesMade;

// Makes the table unless it exists; false when it cannot be allocated.
bool makeKeyTable();
// Frees the table and starts the numbering again at 0.
void freeKeyTable();
// The key's entry, or null for a code of 256 or more or while there is no table.
KeyState* keyEntry(unsigned key);
