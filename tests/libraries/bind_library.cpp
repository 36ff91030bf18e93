// The loader's test libraries: each build chooses its binding exports and their answers.
#include "bind_table.h"

extern "C" {

#ifdef LIBRARY_ID
__declspec(dllexport) unsigned __cdecl getLibraryID() {
    return LIBRARY_ID;
}
#endif

#ifdef SETUP_RESULT
__declspec(dllexport) bool __cdecl setupFunctionTable(void* table) {
    ++*static_cast<int*>(table);
    return SETUP_RESULT;
}
#endif

} // extern "C"
