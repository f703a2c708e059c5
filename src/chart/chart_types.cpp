#include "chart/chart_types.h"

namespace orv {

TColor ColorToRGB(TColor color) {
    if (color >= 0) return color & 0xFFFFFF;
    // The classic desktop scheme, so a chart looks the same on every machine.
    switch (static_cast<uint32_t>(color) & 0xFF) {
    case 0x05: return RGBColor(255, 255, 255);   // window
    case 0x08: return RGBColor(0, 0, 0);         // window text
    case 0x0F: return RGBColor(240, 240, 240);   // button face
    case 0x10: return RGBColor(160, 160, 160);   // button shadow
    case 0x11: return RGBColor(109, 109, 109);   // grey text
    case 0x14: return RGBColor(255, 255, 255);   // button highlight
    default: return RGBColor(0, 0, 0);
    }
}

} // namespace orv
