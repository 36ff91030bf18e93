// The annotations as the crash report reads them after the fault.
#pragma once

// Room for every pair as "key: value\r\n" and a terminating NUL.
const int annotationTextSize = 32 * (64 + 2 + 256 + 2) + 1;

// Copies every complete pair, in slot order, as "key<between>value<end>" lines; returns the
// length. No heap, no lock: a pair being set at this moment is left out.
int copyCrashAnnotations(char* text, int size, const char* between, const char* end);
