#pragma once
// TScale: one axis of a chart: base line, long and short ticks, number
// labels and caption for a linear value range. The number logic lives here;
// the text sizes come from the canvas it paints on.

#include <string>
#include <vector>

#include "chart/chart_canvas.h"
#include "chart/chart_types.h"

namespace orv {

// Orientation and base edge: the base line lies at the bottom (sctXB), top
// (sctXT), left (sctYL) or right (sctYR) edge of the scale's area, and ticks
// and labels extend from it into the area.
enum TScaleType : uint8_t { sctXB, sctXT, sctYL, sctYR };
enum TFigType : uint8_t { ftNoFigs, ftNum, ftTime, ftDateTime, ftUserText };
enum TScaleUnitAnchor : uint8_t { uaSclTopLft, uaSclCenter, uaSclBotRgt };

// The first long tick, the signed step between long ticks and the number of
// short-tick intervals per step.
struct TTickStep {
    double First = 0;
    double Step = 0;
    int SubIntervals = 1;
};

// The 1-2-5 tick step: the largest of 1, 2 or 5 times a power of ten that
// fits at least n times into |end - start|, signed like end - start.
TTickStep NiceTickStep(int n, double start, double end);

// Label decimals: decPlaces itself, or for -2/-3 chosen from the range's
// span (-1 = exponent form).
int AutoDecimals(int decPlaces, double rangeLow, double rangeHigh);

// A tick label: d >= 0 fixed with d decimals; d = -1 exponent form of 8
// characters (" 2.0E+06"), all "*" when the exponent needs three digits.
std::string FormatTickNumber(double value, int decimals);

// "text&unit" puts the number where the "&" stands; without "&" the inscript
// goes in front of the number.
std::string ApplyScaleInscript(const std::string& inscript, const std::string& number);

// Field i (from 1) of "a|b|c"; an i beyond the last field gives the last one.
std::string UserTickField(const std::string& userTickText, int i);

// Whether an axis with these ends and labels may be logarithmic: both ends
// at least 1e-100, and no date/time labels.
bool LogarithmicAllowed(double rangeLow, double rangeHigh, TFigType labelType);

// A value moved by `step` away from itself, or by a relative amount where
// `step` is below the value's precision (so the result always differs).
double StepAwayFrom(double value, double step);

// Left edge of a horizontal label of width w centred on pixel `tick`, kept 2
// pixels inside a control `controlWidth` wide.
int PlaceHorizontalLabel(int tick, int w, int controlWidth);

// Where the ticks of a scale lie, as its Paint draws them.
struct TScaleTicks {
    TTickStep Step;
    std::vector<double> Short;  // drawn short ticks (empty without ShortTicks)
    std::vector<double> Long;   // long ticks, each with a label
};

class TScale {
public:
    TScale();

    // Size of the scale's area (a chart gives its own size).
    void SetBounds(int width, int height);
    int Width() const { return Width_; }
    int Height() const { return Height_; }

    int MarginLeft() const { return MarginLeft_; }
    int MarginRight() const { return MarginRight_; }
    int MarginTop() const { return MarginTop_; }
    int MarginBottom() const { return MarginBottom_; }
    // Negative margins become 0.
    void SetMarginLeft(int v);
    void SetMarginRight(int v);
    void SetMarginTop(int v);
    void SetMarginBottom(int v);

    TScaleType ScaleType() const { return ScaleType_; }
    void SetScaleType(TScaleType t);

    double RangeLow() const { return RangeLow_; }
    double RangeHigh() const { return RangeHigh_; }
    // Equal ends are separated: RangeLow := value + 1 when RangeHigh is set to
    // it (and the mirror image).
    void SetRangeLow(double v);
    void SetRangeHigh(double v);
    // Both ends at once (the chart's way); equal ends are separated as above.
    void SetRange(double low, double high);

    bool Logarithmic() const { return Logarithmic_; }
    // Accepted only when both ends are at least 1e-100 and the labels are not
    // date/time; switching off is always accepted.
    void SetLogarithmic(bool v);

    bool ShortTicks() const { return ShortTicks_; }
    void SetShortTicks(bool v) { ShortTicks_ = v; }
    int MinTicks() const { return MinTicks_; }
    void SetMinTicks(int v);    // kept within 2..10
    int DecPlaces() const { return DecPlaces_; }
    void SetDecPlaces(int v);   // kept within -3..12
    TFigType LabelType() const { return LabelType_; }
    void SetLabelType(TFigType t);
    bool ShowBaseLine() const { return ShowBaseLine_; }
    void SetShowBaseLine(bool v) { ShowBaseLine_ = v; }
    bool Transparent() const { return Transparent_; }
    void SetTransparent(bool v) { Transparent_ = v; }
    bool Visible() const { return Visible_; }
    void SetVisible(bool v) { Visible_ = v; }

    TColor ColorScale() const { return ColorScale_; }
    void SetColorScale(TColor c) { ColorScale_ = c; }
    TColor ColorBackGnd() const { return ColorBackGnd_; }
    void SetColorBackGnd(TColor c) { ColorBackGnd_ = c; }
    const TFont& Font() const { return Font_; }
    void SetFont(const TFont& f) { Font_ = f; }

    const std::string& Caption() const { return Caption_; }
    void SetCaption(const std::string& s) { Caption_ = s; }
    int CaptionPosX() const { return CaptionPosX_; }
    int CaptionPosY() const { return CaptionPosY_; }
    void SetCaptionPosX(int v) { CaptionPosX_ = v; }
    void SetCaptionPosY(int v) { CaptionPosY_ = v; }
    TAlignment CaptionAlignment() const { return CaptionAlignment_; }
    void SetCaptionAlignment(TAlignment a) { CaptionAlignment_ = a; }
    TScaleUnitAnchor CaptionAnchor() const { return CaptionAnchor_; }
    void SetCaptionAnchor(TScaleUnitAnchor a) { CaptionAnchor_ = a; }
    const std::string& UserTickText() const { return UserTickText_; }
    void SetUserTickText(const std::string& s) { UserTickText_ = s; }
    const std::string& ScaleInscript() const { return ScaleInscript_; }
    void SetScaleInscript(const std::string& s) { ScaleInscript_ = s; }

    double ScaleFactor() const { return ScaleFactor_; }
    double ScaleOffset() const { return ScaleOffset_; }
    // Pixel along the axis, rounded halves to even, clamped to the 32-bit range.
    int ValueToPixel(double value) const;

    // Pixel of the base line (without a render offset).
    int BaseLine() const;
    // The ticks Paint draws.
    TScaleTicks Ticks() const;
    // Label of long tick i (from 1) at `value`.
    std::string LabelText(int i, double value) const;
    // Values of the ticks drawn (short ones first), at most 50.
    int NumTicks() const;
    // Entry n (from 1) of those values; 0 outside 1..NumTicks.
    double TickValue(int n) const;

    // Draws the scale onto `canvas` at offsets (ox, oy); a hidden scale draws
    // nothing. An opaque scale first fills its area with ColorBackGnd.
    void Paint(TChartCanvas& canvas, int ox = 0, int oy = 0) const;

private:
    void CalcTransform();
    bool Horizontal() const { return ScaleType_ == sctXB || ScaleType_ == sctXT; }
    std::vector<double> DrawnTickValues() const;

    int Width_ = 400, Height_ = 400;
    int MarginLeft_ = 20, MarginRight_ = 20, MarginTop_ = 20, MarginBottom_ = 20;
    TScaleType ScaleType_ = sctXB;
    double RangeLow_ = 0, RangeHigh_ = 100;
    double ScaleFactor_ = 1, ScaleOffset_ = 0;
    bool Logarithmic_ = false;
    bool ShortTicks_ = true;
    int MinTicks_ = 3;
    int DecPlaces_ = -2;
    TFigType LabelType_ = ftNum;
    bool ShowBaseLine_ = true;
    bool Transparent_ = false;
    bool Visible_ = true;
    TColor ColorScale_ = clBlack;
    TColor ColorBackGnd_ = clBtnFace;
    TFont Font_;
    std::string Caption_;
    int CaptionPosX_ = 4, CaptionPosY_ = 4;
    TAlignment CaptionAlignment_ = taCenter;
    TScaleUnitAnchor CaptionAnchor_ = uaSclTopLft;
    std::string UserTickText_;
    std::string ScaleInscript_;
};

} // namespace orv
