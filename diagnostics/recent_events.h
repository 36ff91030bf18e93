// The ring of recent events inside the diagnostics library.
#pragma once

// Adds prefix and text as one line, replacing the oldest once the ring is full.
void dbRememberEvent(const char* prefix, const char* text);
