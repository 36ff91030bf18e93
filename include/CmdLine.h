// Queries over the process's command line: switches, their values and the whole line.
#pragma once

#include "PlatformExport.h"

#include <string>

// Every query reads the runtime's argument vector at the moment of the call; nothing is
// copied or cached, and argument 0 (the program) never takes part. A switch is an argument
// that begins with '-'; its value is the argument right after it unless that one begins with
// '-' too (so "-5" is a switch, never a value). Names match whole switches ignoring case:
// "width" and "-width" find -Width, only "--width" finds --width. The first occurrence of a
// repeated switch wins. A null or empty name is never found. No query reports anything, takes
// a lock or keeps state, so any thread may call them.
namespace CmdLine {

// Kept for callers written against a stored command line: nothing needs setting up, so these
// do nothing and return true, whenever and however often they are called.
PLAT_API bool Setup(int argc, char* const* argv);
PLAT_API bool Setup(const char* commandLine);
PLAT_API bool Shutdown();

// True if the switch stands on the command line.
PLAT_API bool Exist(const char* name);

// Copies the switch's value, cut to size - 1 characters, and fills the rest of the buffer with
// NUL. The buffer holds the empty string when there is no value. False for a missing switch,
// a missing value, a null buffer or a size of 0 (the last two leave the buffer untouched).
PLAT_API bool Get(const char* name, char* buffer, unsigned int size);
// The whole value; the string is emptied first, so it is empty when there is no value.
PLAT_API bool Get(const char* name, std::string& value);
// The value read as sscanf's "%i" reads it (0x hexadecimal, leading 0 octal, trailing text
// ignored). The integer changes only when the result is true.
PLAT_API bool Get(const char* name, int& value);
// The value read as sscanf's "%f" reads it; the float changes only when the result is true.
PLAT_API bool Get(const char* name, float& value);
// "true" or "false" in any case as the value's first word, else an integer (not 0 is true).
// The boolean changes only when the result is true.
PLAT_API bool Get(const char* name, bool& value);

// Appends arguments 1 to N-1 to the NUL-terminated string already in the buffer (normally the
// empty one), each followed by a blank. Stops at the first argument that with its blank would
// take the text past size - 1 characters; no later one is tried. What the buffer held on entry
// counts too, so it is never overrun. A null buffer or a size of 0 is left alone.
PLAT_API void GetEntireString(char* buffer, unsigned int size);

} // namespace CmdLine
