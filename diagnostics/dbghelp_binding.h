// dbghelp, bound at run time. Windows 98 SE and 2000 ship none or an old one, so the
// library must load without it: the minidump and debug-information names are then missing,
// while the stack walk and the export names, which are our own, still work.
#pragma once

#include <windows.h>

#include <dbghelp.h>

struct DbghelpServices {
    decltype(&MiniDumpWriteDump) writeDump;   // null when dbghelp or the function is missing
    decltype(&SymFromAddr) symbolFromAddress; // null unless symbol handling is initialised
};

// Binds dbghelp and initialises symbol handling on the first call; later calls return the
// same services. A call made while another is still binding gets none rather than waiting,
// since it may be a crash inside the binding itself.
const DbghelpServices& dbghelpServices();
