#pragma once
// Small value types shared by the chart, its axis scales and their painters:
// colours as the forms store them (0x00BBGGRR, system colours with the high
// bit set), pen styles, alignments, fonts, mouse buttons and shift states.

#include <cstdint>
#include <string>

namespace orv {

using TColor = int32_t;

constexpr TColor RGBColor(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// The sixteen standard colours, in the order the chart gives them to its layers.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// System colours: resolved to fixed RGB values by ColorToRGB.
constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010u);
constexpr TColor clGrayText = static_cast<TColor>(0x80000011u);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014u);

// The plain RGB value of a colour (system colours resolved to the classic
// desktop scheme), still as 0x00BBGGRR.
TColor ColorToRGB(TColor color);
inline int ColorRed(TColor c) { return ColorToRGB(c) & 0xFF; }
inline int ColorGreen(TColor c) { return (ColorToRGB(c) >> 8) & 0xFF; }
inline int ColorBlue(TColor c) { return (ColorToRGB(c) >> 16) & 0xFF; }

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

struct TFont {
    std::string Name;   // empty: the desktop's default sans-serif face
    int Size = 8;       // points
    TColor Color = clWindowText;
    bool Bold = false;
    bool Italic = false;
    bool operator==(const TFont&) const = default;
};

struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;
};

enum class TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

// A set of held keys and buttons, as the mouse and key events report it.
using TShiftState = uint8_t;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;
constexpr TShiftState ssLeft = 8;
constexpr TShiftState ssRight = 16;
constexpr TShiftState ssMiddle = 32;
constexpr TShiftState ssDouble = 64;

} // namespace orv
