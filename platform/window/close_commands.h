// The window's seam toward the dialog service: the only commands on which the game window lets
// itself be closed. The dialog service sends fatalErrorClose after a fatal error; gameClose is
// accepted the same way for the game's own use.
#pragma once

#include <windows.h>

const WPARAM fatalErrorClose = 100;
const WPARAM gameClose = 101;
