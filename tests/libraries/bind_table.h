// What the loader tests and their test libraries agree on: the id, and a function table that
// is a count of setupFunctionTable's calls, which shows it ran and had the caller's pointer.
#pragma once

const unsigned boundLibraryId = 0x51A7E001u;
