// One source for the loader's test libraries: each build chooses which of the two binding
// exports it has (LIBRARY_ID, SETUP_RESULT) and what they answer.
#include "bind_table.h"

extern "C" {

#ifdef LIBRARY_ID
// The id the loader compares with the one the caller requires.
__declspec(dllexport) unsigned __cdecl getLibraryID() {
    return LIBRARY_ID;
}
#endif

#ifdef SETUP_RESULT
// Counts the call in the caller's table and answers as this build was told to.
__declspec(dllexport) bool __cdecl setupFunctionTable(void* table) {
    ++static_cast<BindTable*>(table)->setupCalls;
    return SETUP_RESULT;
}
#endif

} // extern "C"
