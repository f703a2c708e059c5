#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace orv {

std::string PrintableExcerpt(std::string_view text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
    }
    if (text.size() > limit) out += "...";
    return out;
}

ConversionError::ConversionError(const std::string& text)
    : std::runtime_error("'" + PrintableExcerpt(text) + "' is not a valid number") {}

double RoundHalfEven(double v) { return std::nearbyint(v); }

namespace {
template <typename T>
T saturate(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    if (v <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    return static_cast<T>(v);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}
} // namespace

int32_t RoundToInt(double v) { return saturate<int32_t>(std::nearbyint(v)); }
int64_t RoundToInt64(double v) { return saturate<int64_t>(std::nearbyint(v)); }
int32_t TruncToInt(double v) { return saturate<int32_t>(std::trunc(v)); }

bool TryParseNumber(std::string_view text, double& value) {
    std::string_view s = trim(text);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || s.front() == '+' || (s.size() != trim(text).size() && s.front() == '-')) return false;
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

bool TryParseInteger(std::string_view text, int32_t& value) {
    std::string_view s = trim(text);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || s.front() == '+' || (s.size() != trim(text).size() && s.front() == '-')) return false;
    int32_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    value = v;
    return true;
}

double ParseNumber(std::string_view text) {
    double v = 0;
    if (!TryParseNumber(text, v)) throw ConversionError(std::string(text));
    return v;
}

int32_t ParseInteger(std::string_view text) {
    int32_t v = 0;
    if (!TryParseInteger(text, v)) throw ConversionError(std::string(text));
    return v;
}

namespace {
// Locale-independent conversions: the program writes "." whatever the
// user's locale says.
std::string ToChars(double v, std::chars_format format, int precision) {
    char buf[512];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, format, precision);
    if (ec != std::errc()) return std::string();
    return std::string(buf, ptr);
}

void StripTrailingZeros(std::string& mantissa) {
    if (mantissa.find('.') == std::string::npos) return;
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
}

// "d.dddE+ddd" from to_chars' "d.ddde+dd".
std::string ExponentForm(const std::string& s, bool stripZeros, bool padExponent) {
    auto e = s.find('e');
    std::string mant = s.substr(0, e);
    if (stripZeros) StripTrailingZeros(mant);
    int ex = std::atoi(s.c_str() + e + 1);
    char eb[16];
    if (padExponent) std::snprintf(eb, sizeof eb, "E%c%03d", ex < 0 ? '-' : '+', ex < 0 ? -ex : ex);
    else std::snprintf(eb, sizeof eb, "E%s%d", ex < 0 ? "-" : "", ex < 0 ? -ex : ex);
    return mant + eb;
}
} // namespace

std::string FormatFixed(double v, int decimals) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    std::string s = ToChars(v, std::chars_format::fixed, decimals);
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);   // no "-0.000"
    return s;
}

std::string FormatNumber(double v, int precision, int decimals) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    if (v == 0) return FormatFixed(0.0, decimals);
    // Round to `precision` significant digits first.
    const std::string sci = ToChars(v, std::chars_format::scientific, precision - 1);
    double r = 0;
    std::from_chars(sci.data(), sci.data() + sci.size(), r);
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(r))));
    if (exponent >= precision) return ExponentForm(sci, false, true);   // too many integer digits
    return FormatFixed(r, decimals);
}

std::string FormatExactNumber(double v) {
    std::string s = FormatNumber(v);
    double back = 0;
    if (!std::isfinite(v) || (TryParseNumber(s, back) && back == v)) return s;
    char buf[512];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return ec == std::errc() ? std::string(buf, end) : s;
}

std::string FormatGeneral(double v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    if (v == 0) return "0";
    const double a = std::fabs(v);
    if (a >= 1e15 || a < 1e-5) return ExponentForm(ToChars(v, std::chars_format::scientific, 14), true, false);
    // 15 significant digits, in plain digits.
    const int digits = static_cast<int>(std::floor(std::log10(a))) + 1;
    std::string s = ToChars(v, std::chars_format::fixed, std::max(0, 15 - digits));
    StripTrailingZeros(s);
    return s;
}

std::string FormatFixedWidth(double v, int width, int decimals) {
    std::string s = FormatFixed(v, decimals);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
    return s;
}

std::string FormatFixedColumn(double v, int width, int decimals) {
    std::string s = FormatFixed(v, decimals);
    s.insert(0, static_cast<int>(s.size()) < width ? width - s.size() : 1, ' ');
    return s;
}

std::string FormatIntWidth(long long v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
    return s;
}

} // namespace orv
