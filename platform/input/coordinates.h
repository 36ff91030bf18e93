// Conversions between screen pixels and coordinates normalised over a client area, with y
// growing upwards. Pure arithmetic, the same on both builds.
#pragma once

#include "input/window_messages.h"

int screenX(const ClientArea& area, float x);
int screenY(const ClientArea& area, float y);
float normalizedX(const ClientArea& area, int x);
float normalizedY(const ClientArea& area, int y);
float normalizedHeight(const ClientArea& area, int pixels);
