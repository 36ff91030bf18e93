// Conversions between screen pixels and coordinates normalised over the client area.
#include "input/coordinates.h"

#include "registry/float_rounding.h"

#include <cmath>

namespace {

// whole + part truncated toward zero with no rounding on the way. A float times a pixel count
// is exact in double, and since whole has no fraction only the sign of the sum decides
// whether part's fraction is floored or ceiled; adding in floating point could round a sum
// just below an integer up to it, and differently on x87 than on SSE.
int truncatedSum(int whole, double part) {
    const double wholePart = part >= -whole ? std::floor(part) : std::ceil(part);
    return whole + static_cast<int>(wholePart);
}

} // namespace

// To pixels the window spans W pixels, so 1.0 lands one past the right edge: X0 + x W,
// truncated toward zero, so a slightly negative x still gives the left edge.
int screenX(const ClientArea& area, float x) {
    return truncatedSum(area.left, static_cast<double>(x) * area.width);
}

// Y0 + H (1 - y), taken as (Y0 + H) - H y so that no step rounds.
int screenY(const ClientArea& area, float y) {
    return truncatedSum(area.top + area.height, -(static_cast<double>(y) * area.height));
}

// From pixels the last column (W - 1) maps to 1.0, so a cursor kept inside the window reads
// the full range; the two directions are therefore not exact inverses.
float normalizedX(const ClientArea& area, int x) {
    return roundedQuotient(x - area.left, area.width - 1);
}

// 1 - (y - Y0) / (H - 1), as one quotient so that it is rounded once.
float normalizedY(const ClientArea& area, int y) {
    const int last = area.height - 1;
    return roundedQuotient(last - (y - area.top), last);
}

float normalizedHeight(const ClientArea& area, int pixels) {
    return roundedQuotient(pixels, area.height);
}
