// The entry point the game's WinMain calls, and the crash handling around it.
#pragma once

#include "AppInterface.h"
#include "PlatformExport.h"

namespace Plat {
namespace App {

// Runs app->run() and returns 0 when it returns. Unless a debugger is attached or the
// command line holds "notrap" (anywhere, case-sensitive), run is guarded: an exception
// that escapes it, a window procedure or a worker thread runs the crash callbacks, writes
// "<time>_ErrorLog.txt" and "<time>_MiniDump.dmp" beside the executable and ends the
// process with exit code 1. Where the executable's folder refuses new files (a game under
// Program Files), both go to the player's local application data folder, in a sub-folder
// named after the executable ("%LOCALAPPDATA%\MyGame\"; the temporary folder's on systems
// without that folder), which is found and created when the filter is installed. Stores
// hInstance for MainInterface::getInstance. The other arguments are accepted and ignored.
// app must not be null.
PLAT_API int PlatWinMain(void* hInstance, void* hPrevInstance, char* cmdLine, int nCmdShow,
                         AppInterface* app);

// C++ exceptions and the library's frames. The library throws nothing, and a C++ exception
// must not cross its frames: every module carries its own runtime, and on the 32-bit
// product the runtime of the module that throws cannot unwind through another module's
// frames. So an exception that escapes run, or a function the library calls back while
// run is guarded (key, button, capture and activation callbacks, anything reached through
// the game window's procedure), is a crash, on both builds alike: the crash callbacks run,
// the error log's call stack shows the throwing function, the minidump is written (its
// exception code is 0x20474343, GCC's C++ exception code) and the exit code is 1. A catch
// around pumpMessages does not see it; catch inside your callbacks what you mean to handle.
// abort() ends the same way, a second abort (one inside a crash callback) too: while the
// library guards the process, the C runtime's SIGABRT handler is the library's. It calls
// the SIGABRT handler your game installed before EnableExceptionHandling first, and gives
// it back when the library unloads. On i686 the runtime ends an uncaught exception through
// abort, so there abort() reports the C++ exception code too; on x86_64 it reports
// 0x40000015 (STATUS_FATAL_APP_EXIT).
// NOTE: the runtime's error mode becomes "to standard error" for the whole process, so that
// no "abnormal program termination" box waits for a click before the report. A failed
// assert() then prints to standard error, which a windowed game does not show, and its
// Abort/Retry/Ignore box is gone; call _set_error_mode after EnableExceptionHandling if
// you want the box back, abort() then shows it too.
// A report that cannot finish (another thread holds a lock the system needs for it) is cut
// off after 30 seconds: the process ends with exit code 1 all the same.
// This needs a game built with mingw-w64 against msvcrt.dll, as the product is.

// Installs the library's unhandled-exception filter and abort handler unless a debugger is
// attached. PlatWinMain calls it; call it yourself to cover code that runs before
// PlatWinMain.
PLAT_API void EnableExceptionHandling();

// A function the crash filter calls before it writes the report.
//
// Contract: it runs on the faulting thread, inside the filter, in a damaged process: other
// threads keep running, the heap may be corrupt and locks may be held by the dead code.
// Do only what is safe there: flush a file you opened earlier, write a few fixed bytes,
// set a flag. Do not allocate, take locks or call the library's services. Callbacks run
// in the order they were added; if one raises an exception, the rest are skipped and the
// report is still written. The filter does not read user: it is yours.
typedef void (*CrashFunction)();
struct CrashCallback {
    CrashFunction function;
    void* user;
};

// Adds a crash callback; false for a null function, outside the library's lifetime, or
// when 64 are added already (the filter reads them from a fixed array, never the heap).
// Call it from the main thread while no crash can be in progress.
PLAT_API bool AddCrashCallback(CrashFunction function, void* user);

// Takes the current directory out of the process's library search, so that a library the
// game loads by bare name can no longer come from the folder the game was started in (a
// downloads folder, when a file association starts it). Off by default because it changes
// every load of the process, the game's own by bare name included. Where the system has
// SetDefaultDllDirectories (Windows 8; 7 and Vista with KB2533623) the search becomes the
// executable's folder and the system's, so the PATH folders go too; on XP SP1 to 7 without
// it, only the current directory goes. False, with a trace, on older systems, whose search
// stays as it was.
PLAT_API bool RemoveCurrentDirectoryFromLibrarySearch();

// Annotations: key/value pairs every later crash report carries (build id, level name,
// player count), in the error log's "Annotations:" section, in the minidump as a user stream
// (type crashAnnotationStream: "key=value" lines, each ending in a line feed) and in the
// upload's form fields. Set them at any time, from any thread: each pair is copied into fixed
// memory at once, and the crash filter reads it without a lock; a pair being set by another
// thread at the moment of the crash is left out. Setting a key again replaces its value; a
// null value removes the pair. Refused, false and a trace, never cut short: a null or empty
// key, a key longer than crashAnnotationKeyLength or with a character other than letters,
// digits, '_', '-' and '.', a value longer than crashAnnotationValueLength or with a control
// character (a line end, a tab), and a new key when crashAnnotationCapacity are set already.
// No heap allocation unless refused.
const int crashAnnotationCapacity = 32;
const int crashAnnotationKeyLength = 64;
const int crashAnnotationValueLength = 256;
const unsigned crashAnnotationStream = 0x47500001;
PLAT_API bool SetCrashAnnotation(const char* key, const char* value);

// A breadcrumb: one line the game adds to the crash report's "Recent events:" section, beside
// the diagnostics library's traces and warnings. The section keeps the newest 64 lines, each
// cut to 159 characters, in fixed memory: no heap allocation. Any thread; null is ignored.
PLAT_API void AddCrashBreadcrumb(const char* text);

// Crash reports come home: switches on sending the reports of earlier runs to url, an http
// or https address of a crash collection server (Breakpad's and Crashpad's upload form, which
// the common services and their self-hosted servers accept; tools/crash-inbox for your own
// machine). Nothing is ever sent unless playerConsented is true: the report holds the
// player's user name and the paths of the game's files, so ask first.
// Returns at once, true when the sending thread started; false, sending nothing, without
// consent, for a url that is not http or https, or a null or empty product or version.
// The thread sends every pending report (the error log and minidump of an earlier crash,
// beside the executable or in the per-user folder) as an HTTP POST of multipart/form-data:
// the minidump in "upload_file_minidump", the log in "upload_file_errorlog", the product in
// "prod", the version in "ver" (this run's), the report's signature in "signature" and each
// of its annotations in a field of its own name (except one named like those). A report is
// deleted once the server answers 2xx; on an error, a timeout (15 s to connect, 60 s to send
// or receive) or another answer it stays pending for the next start. A report whose minidump
// failed is never sent. Before sending, the oldest reports are deleted, with a trace each,
// until at most pendingReportLimit reports of at most pendingReportBytes bytes together
// remain.
// Call it once, early (before or after PlatWinMain); later calls return false.
const int pendingReportLimit = 10;
const unsigned pendingReportBytes = 16 * 1024 * 1024;
PLAT_API bool EnableCrashUpload(const char* url, const char* product, const char* version,
                                bool playerConsented);

} // namespace App
} // namespace Plat
