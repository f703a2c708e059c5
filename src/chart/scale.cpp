#include "chart/scale.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "chart/pixels.h"
#include "base/numbers.h"

namespace orv {

namespace {

// More ticks than any sane axis shows; a loop that reaches it has lost its
// step to rounding and stops.
constexpr int kMaxTickLoop = 1000;

constexpr double kLog10Of2 = 0.30102999566398120;
constexpr double kLog10Of5 = 0.69897000433601886;

double PowerOfTen(double k) {
    // Dividing by the exact positive power keeps 0.1, 0.01 ... as close as
    // multiplying by an inexact negative one would not.
    return k >= 0 ? std::pow(10.0, k) : 1.0 / std::pow(10.0, -k);
}

} // namespace

double StepAwayFrom(double value, double step) {
    double moved = value + step;
    if (moved != value || !std::isfinite(value)) return moved;
    double relative = std::fabs(value) * 1e-12;
    return step < 0 ? value - relative : value + relative;
}

bool LogarithmicAllowed(double rangeLow, double rangeHigh, TFigType labelType) {
    return rangeLow >= 1e-100 && rangeHigh >= 1e-100 && labelType != ftDateTime;
}

TTickStep NiceTickStep(int n, double start, double end) {
    TTickStep r;
    if (start == end) {
        r.First = start;
        r.Step = 0;
        r.SubIntervals = 1;
        return r;
    }
    if (n < 1) n = 1;
    double L = std::log10(std::fabs(end - start) / n);
    double k = std::trunc(L);
    double f = L - k;
    if (std::fabs(f) < 1e-10 || std::fabs(f) > 0.9999999999) {
        k = std::nearbyint(L);
        f = 0;
    }
    if (L < 0 && f != 0) k -= 1;
    if (f < 0) f += 1;

    double mantissa;
    if (f < kLog10Of2 + 1e-10) {
        mantissa = 1;
        r.SubIntervals = 5;
    } else if (f < kLog10Of5 + 1e-10) {
        mantissa = 2;
        r.SubIntervals = 4;
    } else {
        mantissa = 5;
        r.SubIntervals = 5;
    }
    double step = mantissa * PowerOfTen(k);
    if (end < start) step = -step;
    r.Step = step;

    // The first multiple of the step at or past start, with a tolerance of a
    // thousandth of a step.
    double sign = step < 0 ? -1.0 : 1.0;
    double m = std::trunc(start / step) - 1;
    double first = m * step;
    for (int guard = 0; guard < 8 && 0.001 * std::fabs(step) < sign * (start - first); ++guard) {
        m += 1;
        first = m * step;
    }
    r.First = first;
    return r;
}

int AutoDecimals(int decPlaces, double rangeLow, double rangeHigh) {
    if (decPlaces != -2 && decPlaces != -3) return decPlaces;
    double r = std::fabs(rangeHigh - rangeLow);
    if (r >= 1000000 || r <= 0.0001) return -1;
    if (r >= 100) return 0;
    return 2 - static_cast<int>(std::nearbyint(std::log(r) / 2.5));
}

std::string FormatTickNumber(double value, int decimals) {
    if (decimals >= 0) return FormatFixed(value, decimals);
    const std::string stars(8, '*');
    if (!std::isfinite(value)) return stars;
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 1);
    std::string text(buf, res.ptr);                 // "2.0e+06"
    auto e = text.find('e');
    if (e == std::string::npos) return stars;
    int exponent = std::atoi(text.c_str() + e + 1);
    if (exponent <= -100 || exponent >= 100) return stars;
    std::string out;
    out += value < 0 ? '-' : ' ';
    out += text.substr(0, e);
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    int a = std::abs(exponent);
    out += static_cast<char>('0' + a / 10);
    out += static_cast<char>('0' + a % 10);
    return out;
}

std::string ApplyScaleInscript(const std::string& inscript, const std::string& number) {
    if (inscript.empty()) return number;
    auto amp = inscript.find('&');
    if (amp == std::string::npos) return inscript + number;
    return inscript.substr(0, amp) + number + inscript.substr(amp + 1);
}

std::string UserTickField(const std::string& userTickText, int i) {
    std::string field;
    size_t begin = 0;
    for (int k = 1;; ++k) {
        size_t bar = userTickText.find('|', begin);
        field = userTickText.substr(begin, bar == std::string::npos ? std::string::npos : bar - begin);
        if (k >= i || bar == std::string::npos) return field;
        begin = bar + 1;
    }
}

int PlaceHorizontalLabel(int tick, int w, int controlWidth) {
    int half = w / 2;
    if (static_cast<long long>(tick) + half >= static_cast<long long>(controlWidth) - 2)
        return controlWidth - 2 * half - 2;
    return tick - std::min(tick - 2, half);
}

TScale::TScale() { CalcTransform(); }

void TScale::SetBounds(int width, int height) {
    Width_ = width;
    Height_ = height;
    CalcTransform();
}

void TScale::SetMarginLeft(int v) { MarginLeft_ = std::max(v, 0); CalcTransform(); }
void TScale::SetMarginRight(int v) { MarginRight_ = std::max(v, 0); CalcTransform(); }
void TScale::SetMarginTop(int v) { MarginTop_ = std::max(v, 0); CalcTransform(); }
void TScale::SetMarginBottom(int v) { MarginBottom_ = std::max(v, 0); CalcTransform(); }

void TScale::SetScaleType(TScaleType t) {
    ScaleType_ = t;
    CalcTransform();
}

void TScale::SetRangeLow(double v) {
    RangeLow_ = v;
    if (RangeLow_ == RangeHigh_) RangeHigh_ = StepAwayFrom(v, 1);
    CalcTransform();
}

void TScale::SetRangeHigh(double v) {
    RangeHigh_ = v;
    if (RangeHigh_ == RangeLow_) RangeLow_ = StepAwayFrom(v, 1);
    CalcTransform();
}

void TScale::SetRange(double low, double high) {
    RangeLow_ = low;
    RangeHigh_ = high;
    if (RangeHigh_ == RangeLow_) RangeLow_ = StepAwayFrom(high, 1);
    CalcTransform();
}

void TScale::SetLogarithmic(bool v) {
    if (v && !LogarithmicAllowed(RangeLow_, RangeHigh_, LabelType_)) return;
    Logarithmic_ = v;
    CalcTransform();
}

void TScale::SetMinTicks(int v) { MinTicks_ = std::clamp(v, 2, 10); }

void TScale::SetDecPlaces(int v) {
    DecPlaces_ = std::clamp(v, -3, 12);
    CalcTransform();
}

void TScale::SetLabelType(TFigType t) {
    LabelType_ = t;
    if (t == ftDateTime) Logarithmic_ = false;
    if (t == ftTime) DecPlaces_ = 4;
    CalcTransform();
}

void TScale::CalcTransform() {
    if (RangeHigh_ == RangeLow_) return;
    double lo = RangeLow_, hi = RangeHigh_;
    if (Logarithmic_) {
        if (!(lo > 0 && hi > 0)) return;
        lo = std::log(lo);
        hi = std::log(hi);
    }
    if (Horizontal()) {
        int c = Width_ - MarginLeft_ - MarginRight_ - 1;
        if (c <= 0) {
            ScaleFactor_ = 0;
            ScaleOffset_ = Width_ / 2.0;
            return;
        }
        ScaleFactor_ = c / (hi - lo);
        ScaleOffset_ = MarginLeft_ - lo * ScaleFactor_;
    } else {
        int c = Height_ - MarginTop_ - MarginBottom_ - 1;
        if (c <= 0) {
            ScaleFactor_ = 0;
            ScaleOffset_ = Width_ / 2.0;
            return;
        }
        ScaleFactor_ = c / (lo - hi);
        ScaleOffset_ = MarginTop_ - hi * ScaleFactor_;
    }
}

int TScale::ValueToPixel(double value) const {
    double p;
    if (Logarithmic_) {
        if (value > 1e-100)
            p = ScaleFactor_ * std::log(value) + ScaleOffset_;
        else
            p = RangeHigh_ >= RangeLow_ ? 0.0 : static_cast<double>(Width_);
    } else {
        p = ScaleFactor_ * value + ScaleOffset_;
    }
    return PixelFromReal(p);
}

int TScale::BaseLine() const {
    switch (ScaleType_) {
    case sctXB: return Height_ - MarginBottom_ - 1;
    case sctXT: return MarginTop_;
    case sctYL: return MarginLeft_;
    case sctYR: return Width_ - MarginRight_ - 1;
    }
    return 0;
}

TScaleTicks TScale::Ticks() const {
    TScaleTicks t;
    double lo = RangeLow_, hi = RangeHigh_;
    if (!std::isfinite(lo) || !std::isfinite(hi)) return t;
    t.Step = NiceTickStep(MinTicks_, lo, hi);
    double step = t.Step.Step;
    double sub = step / t.Step.SubIntervals;
    // Equal ends, or a step lost below the precision of the values, would
    // never advance: such an axis shows its one value.
    if (step == 0 || !std::isfinite(step) || !std::isfinite(t.Step.First) || lo + sub == lo ||
        hi + sub == hi) {
        t.Long.push_back(lo);
        return t;
    }
    double dir = hi > lo ? 1.0 : -1.0;
    double first = t.Step.First;
    if (ShortTicks_) {
        for (int i = 0; i < kMaxTickLoop; ++i) {
            double v = (first - step) + i * sub;
            if (i > 0 && dir * (v - hi) > 0.001 * std::fabs(sub)) break;
            if (dir * v >= dir * lo) t.Short.push_back(v);
        }
    }
    for (int i = 0; i < kMaxTickLoop; ++i) {
        double v = first + i * step;
        if (i > 0 && dir * (v - hi) > 0.001 * std::fabs(step)) break;
        t.Long.push_back(v);
    }
    return t;
}

std::string TScale::LabelText(int i, double value) const {
    if (LabelType_ == ftUserText) return UserTickField(UserTickText_, i);
    int d = AutoDecimals(DecPlaces_, RangeLow_, RangeHigh_);
    double span = RangeHigh_ - RangeLow_;
    std::string text;
    if (std::fabs(value / span) < 1e-14) {
        if (std::fabs(span) > 100000)
            text = d != 0 ? "0.0" : "0";
        else
            text = FormatTickNumber(0.0, d);
    } else {
        text = FormatTickNumber(value, d);
    }
    if (text.size() > 14) text.resize(14);
    return ApplyScaleInscript(ScaleInscript_, text);
}

std::vector<double> TScale::DrawnTickValues() const {
    TScaleTicks t = Ticks();
    std::vector<double> values = t.Short;
    values.insert(values.end(), t.Long.begin(), t.Long.end());
    if (values.size() > 50) values.resize(50);
    return values;
}

int TScale::NumTicks() const { return static_cast<int>(DrawnTickValues().size()); }

double TScale::TickValue(int n) const {
    std::vector<double> values = DrawnTickValues();
    if (n < 1 || n > static_cast<int>(values.size())) return 0;
    return values[n - 1];
}

void TScale::Paint(TChartCanvas& canvas, int ox, int oy) const {
    if (!Visible_) return;
    if (!Transparent_) {
        canvas.SetPen(ColorBackGnd_, psSolid, 1);
        canvas.SetBrush(ColorBackGnd_, false);
        canvas.Rectangle(ox, oy, ox + Width_, oy + Height_);
    }
    canvas.SetPen(ColorScale_, psSolid, 1);
    canvas.SetBrush(ColorBackGnd_, true);

    const bool horizontal = Horizontal();
    const int base = BaseLine() + (horizontal ? oy : ox);
    // Ticks start on the base line and point into the scale's area; `len`
    // pixels including the one on the base line.
    auto tick = [&](double v, int len) {
        int p = ValueToPixel(v);
        int reach = len - 1;
        switch (ScaleType_) {
        case sctXB: canvas.Line(p, base, p, base - reach); break;
        case sctXT: canvas.Line(p, base, p, base + reach); break;
        case sctYL: canvas.Line(base, p, base + reach, p); break;
        case sctYR: canvas.Line(base, p, base - reach, p); break;
        }
    };

    TScaleTicks ticks = Ticks();
    if (ShortTicks_)
        for (double v : ticks.Short) tick(v, 4);
    for (double v : ticks.Long) tick(v, horizontal ? 7 : 6);

    if (LabelType_ != ftNoFigs) {
        const int zeroHeight = canvas.TextExtent("0", Font_).cy;
        for (size_t i = 0; i < ticks.Long.size(); ++i) {
            std::string text = LabelText(static_cast<int>(i) + 1, ticks.Long[i]);
            TSize size = canvas.TextExtent(text, Font_);
            int p = ValueToPixel(ticks.Long[i]);
            int left, top;
            if (horizontal) {
                left = PlaceHorizontalLabel(p, size.cx, Width_);
                top = ScaleType_ == sctXT ? base + 7 : base - size.cy - 7;
            } else {
                top = p - zeroHeight / 2;
                left = ScaleType_ == sctYL ? base + 8 : base - size.cx - 8;
            }
            canvas.TextOut(left, top, text, Font_);
        }
    }

    if (!Caption_.empty()) {
        TSize size = canvas.TextExtent(Caption_, Font_);
        int x, y;
        if (horizontal) {
            x = CaptionPosX_;
            switch (CaptionAnchor_) {
            case uaSclTopLft: x += MarginLeft_; break;
            case uaSclCenter: x += MarginLeft_ + (Width_ - MarginLeft_ - MarginRight_) / 2; break;
            case uaSclBotRgt: x += Width_ - MarginRight_; break;
            }
            y = base + CaptionPosY_;
        } else {
            x = base + CaptionPosX_;
            y = CaptionPosY_;
            switch (CaptionAnchor_) {
            case uaSclTopLft: y += MarginTop_; break;
            case uaSclCenter: y += MarginTop_ + (Height_ - MarginTop_ - MarginBottom_) / 2; break;
            case uaSclBotRgt: y += Height_ - MarginBottom_; break;
            }
        }
        if (CaptionAlignment_ == taRightJustify) x -= size.cx;
        else if (CaptionAlignment_ == taCenter) x -= size.cx / 2;
        canvas.TextOut(x, y, Caption_, Font_);
    }

    if (ShowBaseLine_) {
        // The far end pixel itself stays undrawn, as the chart's frame covers it.
        if (horizontal)
            canvas.Line(MarginLeft_, base, Width_ - MarginRight_ - 2, base);
        else
            canvas.Line(base, MarginTop_, base, Height_ - MarginBottom_ - 2);
    }
}

} // namespace orv
