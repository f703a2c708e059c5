#pragma once
// Reading and writing numbers the way the whole program does it: "." as the
// decimal separator whatever the locale, no thousands separator, rounding
// with halves to even.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orv {

// A box or a header field that does not hold a number. The message names
// the offending text ("'abc' is not a valid number").
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& text);
};

// Text quoted from a file or a box in a message: printable characters only
// (others become '?'), cut to `limit` characters with "..." after them.
std::string PrintableExcerpt(std::string_view text, size_t limit = 40);

// Round to the nearest whole number, halves to the even neighbour.
double RoundHalfEven(double v);
// Round (halves to even) to a 32-bit integer, saturating at the type's limits
// (NaN gives 0).
int32_t RoundToInt(double v);
int64_t RoundToInt64(double v);
// Drop the fraction towards zero, saturating like RoundToInt.
int32_t TruncToInt(double v);

// Text to number: leading and trailing blanks are ignored, a leading "+" is
// accepted; anything else that is not a whole decimal number throws.
double ParseNumber(std::string_view text);
// Text to a whole number (no fraction, no exponent); throws ConversionError.
int32_t ParseInteger(std::string_view text);
// Like ParseNumber but answers false instead of throwing.
bool TryParseNumber(std::string_view text, double& value);
bool TryParseInteger(std::string_view text, int32_t& value);

// The edit-box number format: the value rounded to `precision` significant
// digits and shown with `decimals` decimals ("0.711", "61.540"); values with
// more integer digits than `precision` are shown in scientific notation.
std::string FormatNumber(double v, int precision = 7, int decimals = 3);
// The edit-box number format when its text reads back as exactly `v`;
// otherwise the shortest plain text that does ("47.65625"), so that a box
// shows a value in force without changing it when read again.
std::string FormatExactNumber(double v);
// Plain fixed notation with the given number of decimals ("%.3f").
std::string FormatFixed(double v, int decimals);
// Shortest general form with up to 15 significant digits ("0.7093", "61.54", "256").
std::string FormatGeneral(double v);
// Fixed notation right-aligned in a field of `width` characters.
std::string FormatFixedWidth(double v, int width, int decimals);
// A whole number right-aligned in a field of `width` characters.
std::string FormatIntWidth(long long v, int width);
// A field of a row that is read by splitting on blanks: as FormatFixedWidth,
// but a value that fills its field, or more, gets one blank in front of it,
// so that two numbers never run together. Values that fit are unchanged.
std::string FormatFixedColumn(double v, int width, int decimals);

} // namespace orv
