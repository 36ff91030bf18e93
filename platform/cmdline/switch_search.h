// Finding a switch and its value in the runtime's argument vector.
#pragma once

// The runtime's argument count and strings, read afresh at every call; a count of 0 and a
// null array when the runtime has none.
int argumentCount();
char* const* arguments();

// The index of the first argument that is the named switch, or 0 (argument 0 is the program,
// never a switch) when there is none or the name is null or empty.
int findSwitch(const char* name);

// The value of the named switch: the argument after it unless that begins with '-'; null when
// the switch or its value is missing.
const char* findValue(const char* name);
