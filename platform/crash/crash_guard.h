// Structured-exception guards. The compilers have no __try, so each guard is built from
// the frame-handler primitives of its architecture, kept in one file per guard kind.
#pragma once

class AppInterface;

// Calls body(argument); true when it returned, false when it raised an exception, which
// is then handled here and goes no further.
bool runGuarded(void (*body)(void*), void* argument);

// Calls body(argument) inside a guard whose filter hands any exception to
// platExceptionFilter and then lets the search for a handler go on.
void runReported(void (*body)(void*), void* argument);

// Calls app->run() inside the reporting guard.
void runAppGuarded(AppInterface* app);

// True while run is guarded: code that calls back into the game (the window procedure)
// then reports from its own guard too, so that a C++ exception cannot pass the library's
// frames to be caught further out on one build and not on the other.
extern bool g_reportingGuardUp;
