#pragma once
// Real pixel positions to whole pixels, as every chart conversion does it.

#include <cmath>

namespace orv {

// Clamped to -2147483647..2147483647 first, then rounded halves to even, so
// no world value can overflow the conversion; NaN gives 0.
inline int PixelFromReal(long double p) {
    if (std::isnan(p)) return 0;
    constexpr long double limit = 2147483647.0L;
    if (p > limit) p = limit;
    if (p < -limit) p = -limit;
    // rint rounds like nearbyint in the default mode (halves to even) but
    // does not save and restore the floating-point state, which made every
    // point of a scan several times dearer.
    return static_cast<int>(std::rint(p));
}

} // namespace orv
