#include "workspace/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace orv {

ConversionError::ConversionError(const std::string& text)
    : std::runtime_error("'" + text + "' is not a valid number") {}

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

std::string FormatFixed(double v, int decimals) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s(buf);
    if (s == "-0" || (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos))
        s.erase(0, 1); // no "-0.000"
    return s;
}

std::string FormatNumber(double v, int precision, int decimals) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    if (v == 0) return FormatFixed(0.0, decimals);
    // Round to `precision` significant digits first.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, v);
    double r = std::strtod(buf, nullptr);
    int exponent = static_cast<int>(std::floor(std::log10(std::fabs(r))));
    if (exponent >= precision) {
        // Too many integer digits for the precision: d.ddddddE+ddd
        std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
        std::string s(buf);
        auto e = s.find('E');
        std::string mant = s.substr(0, e);
        int ex = std::atoi(s.c_str() + e + 1);
        char eb[16];
        std::snprintf(eb, sizeof eb, "E%c%03d", ex < 0 ? '-' : '+', ex < 0 ? -ex : ex);
        return mant + eb;
    }
    return FormatFixed(r, decimals);
}

std::string FormatGeneral(double v) {
    if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v > 0 ? "INF" : "-INF");
    if (v == 0) return "0";
    char buf[64];
    double a = std::fabs(v);
    if (a >= 1e15 || a < 1e-5) {
        std::snprintf(buf, sizeof buf, "%.14E", v);
        std::string s(buf);
        auto e = s.find('E');
        std::string mant = s.substr(0, e);
        if (mant.find('.') != std::string::npos) {
            while (mant.back() == '0') mant.pop_back();
            if (mant.back() == '.') mant.pop_back();
        }
        int ex = std::atoi(s.c_str() + e + 1);
        return mant + "E" + (ex < 0 ? "-" : "") + std::to_string(ex < 0 ? -ex : ex);
    }
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s(buf);
    if (s.find('e') != std::string::npos) {
        // %g chose exponent form for a value we want in plain digits
        std::snprintf(buf, sizeof buf, "%.15f", v);
        s = buf;
    }
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

std::string FormatFixedWidth(double v, int width, int decimals) {
    std::string s = FormatFixed(v, decimals);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
    return s;
}

std::string FormatIntWidth(long long v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
    return s;
}

} // namespace orv
