// dbghelp, bound at run time. Windows 98 SE and 2000 ship none or an old one, so the
// library must load without it: the minidump is then missing, while the stack walk and the
// names, which are our own, still work. Its symbol handling is not used: it names nothing
// of a mingw-built module, and at crash time it would load symbols for the first time,
// under dbghelp's lock, from the heap, perhaps from a symbol server the player's
// environment names.
#pragma once

#include <windows.h>

#include <dbghelp.h>

struct DbghelpServices {
    decltype(&MiniDumpWriteDump) writeDump; // null when dbghelp or the function is missing
};

// Binds dbghelp on the first call; later calls return the same services. A call made while another
// is still binding gets none rather than waiting, since it may be a crash inside the binding
// itself.
const DbghelpServices& dbghelpServices();
