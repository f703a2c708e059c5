#include "chart/rchart.h"

#include <algorithm>
#include <cmath>

#include "chart/pixels.h"

namespace orv {

namespace {

constexpr std::array<TColor, kChartLayers> kLayerColors = {
    clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray,
    clSilver, clRed, clLime, clYellow, clBlue, clFuchsia, clAqua, clWhite};

// Equal ends are moved apart by half the minimum range each; where that is
// below the precision of the value, by a relative amount instead.
void SeparateEqualEnds(double& low, double& high, double minRange) {
    if (low != high) return;
    double half = minRange / 2;
    high = StepAwayFrom(high, half);
    low = StepAwayFrom(low, -half);
}

// One axis of the chart transform: pixel = factor * world + offset, with
// `first` the pixel of world `low` and `last` that of world `high`.
void AxisTransform(bool logarithmic, double low, double high, long double first,
                   long double last, long double length, long double centre,
                   long double& factor, long double& offset) {
    factor = 0;
    offset = centre;
    if (length <= 0) return;
    long double lo = low, hi = high;
    if (logarithmic) {
        lo = std::log(static_cast<long double>(low));
        hi = std::log(static_cast<long double>(high));
    }
    long double f = (last - first) / (hi - lo);
    long double o = (first * hi - last * lo) / (hi - lo);
    if (std::isfinite(f) && std::isfinite(o)) {
        factor = f;
        offset = o;
    }
}

long double AxisToPixel(bool logarithmic, long double factor, long double offset, double v,
                        bool ascending, long double lowEdge, long double highEdge) {
    if (!logarithmic) return factor * v + offset;
    if (v > 1e-100) return factor * std::log(static_cast<long double>(v)) + offset;
    return ascending ? lowEdge : highEdge;
}

double AxisToWorld(bool logarithmic, long double factor, long double offset, int p, double low,
                   double high) {
    // A plot area without room has no inverse: answer the middle of the range.
    if (factor == 0) return logarithmic ? std::sqrt(low * high) : low + (high - low) / 2;
    long double q = (p - offset) / factor;
    return static_cast<double>(logarithmic ? std::exp(q) : q);
}

long double ClampReal(long double p) {
    constexpr long double limit = 2147483647.0L;
    if (std::isnan(p)) return 0;
    return std::clamp(p, -limit, limit);
}

} // namespace

// ---------------------------------------------------------------- TScaleProps

TScaleProps::TScaleProps(bool horizontal)
    : Horizontal_(horizontal), ScaleLocation_(horizontal ? slBottom : slLeft) {}

void TScaleProps::Changed() {
    if (OnChange) OnChange();
}

void TScaleProps::SetCaption(const std::string& v) { Caption_ = v; Changed(); }
void TScaleProps::SetCaptionPosX(int v) { CaptionPosX_ = v; Changed(); }
void TScaleProps::SetCaptionPosY(int v) { CaptionPosY_ = v; Changed(); }
void TScaleProps::SetCaptionAlignment(TAlignment v) { CaptionAlignment_ = v; Changed(); }
void TScaleProps::SetCaptionAnchor(TScaleUnitAnchor v) { CaptionAnchor_ = v; Changed(); }
void TScaleProps::SetColorScale(TColor v) { ColorScale_ = v; Changed(); }
void TScaleProps::SetDecPlaces(int v) { DecPlaces_ = std::clamp(v, -3, 12); Changed(); }
void TScaleProps::SetFont(const TFont& v) { Font_ = v; Changed(); }
void TScaleProps::SetMinTicks(int v) { MinTicks_ = v; Changed(); }
void TScaleProps::SetShortTicks(bool v) { ShortTicks_ = v; Changed(); }
void TScaleProps::SetScaleInscript(const std::string& v) { ScaleInscript_ = v; Changed(); }
void TScaleProps::SetUserTickText(const std::string& v) { UserTickText_ = v; Changed(); }
void TScaleProps::SetScalePos(int v) { ScalePos_ = v; Changed(); }
void TScaleProps::SetVisible(bool v) { Visible_ = v; Changed(); }

void TScaleProps::SetLogarithmic(bool v) {
    if (v && !LogarithmicAllowed(RangeLow_, RangeHigh_, LabelType_)) return;
    Logarithmic_ = v;
    Changed();
}

void TScaleProps::SetLabelType(TFigType v) {
    LabelType_ = v;
    if (v == ftDateTime) Logarithmic_ = false;
    if (v == ftTime) DecPlaces_ = 4;
    Changed();
}

void TScaleProps::SetMinRange(double v) {
    if (!(v > 1e-100)) return;
    MinRange_ = v;
    if (std::fabs(RangeHigh_ - RangeLow_) < v) {
        // Re-centred on the old middle, keeping the axis's direction.
        double centre = RangeLow_ + (RangeHigh_ - RangeLow_) / 2;
        double half = RangeHigh_ >= RangeLow_ ? v / 2 : -v / 2;
        RangeLow_ = StepAwayFrom(centre, -half);
        RangeHigh_ = StepAwayFrom(centre, half);
    }
    Changed();
}

void TScaleProps::SetRangeLow(double v) {
    if (std::fabs(RangeHigh_ - v) < MinRange_) {
        RangeLow_ = v;
        RangeHigh_ = StepAwayFrom(v, MinRange_);
    } else if (Logarithmic_ && v < 1e-100) {
        return;
    } else {
        RangeLow_ = v;
    }
    Changed();
}

void TScaleProps::SetRangeHigh(double v) {
    if (std::fabs(v - RangeLow_) < MinRange_) {
        RangeHigh_ = v;
        RangeLow_ = StepAwayFrom(v, -MinRange_);
    } else if (Logarithmic_ && v < 1e-100) {
        return;
    } else {
        RangeHigh_ = v;
    }
    Changed();
}

void TScaleProps::SetScaleLocation(TScaleLocation v) {
    bool horizontalValue = v == slTop || v == slBottom;
    if (horizontalValue != Horizontal_) return;
    ScaleLocation_ = v;
    Changed();
}

// ---------------------------------------------------------------- TCrossHair

void TCrossHair::SetPosX(double v) { PosX_ = v; Changed(); }
void TCrossHair::SetPosY(double v) { PosY_ = v; Changed(); }
void TCrossHair::SetColor(TColor v) { Color_ = v; Changed(); }
void TCrossHair::SetMode(TCrossHMode v) { Mode_ = v; Changed(); }
void TCrossHair::SetLineType(TPenStyle v) { LineType_ = v; Changed(); }
void TCrossHair::SetLineWid(int v) { LineWid_ = v; Changed(); }
void TCrossHair::SetLayer(int v) { Layer_ = std::clamp(v, 1, kChartLayers); Changed(); }

// ---------------------------------------------------------------- TRChart

TRChart::TRChart() {
    ClassVisible_.fill(1);
    LayerVisible_.fill(1);
    InLayout_ = true;
    for (int n = 1; n <= kChartLayers; ++n) {
        auto& px = PropsX_[n - 1];
        auto& py = PropsY_[n - 1];
        px = std::make_unique<TScaleProps>(true);
        py = std::make_unique<TScaleProps>(false);
        px->ColorScale_ = py->ColorScale_ = kLayerColors[n - 1];
        px->ScalePos_ = ((n - 1) / 2) * 30;
        px->ScaleLocation_ = n % 2 == 1 ? slBottom : slTop;
        py->ScalePos_ = ((n - 1) / 2) * 50;
        py->ScaleLocation_ = n % 2 == 1 ? slLeft : slRight;
        px->OnChange = [this] { ScalePropsChanged(); };
        py->OnChange = [this] { ScalePropsChanged(); };
        ScalesX_[n - 1].SetTransparent(true);
        ScalesY_[n - 1].SetTransparent(true);
    }
    for (int n = 1; n <= 4; ++n) {
        CrossHairs_[n - 1].Layer_ = n;
        CrossHairs_[n - 1].OnChange = [this] { Repaint(); };
    }
    InLayout_ = false;
    SetStandardLayout(rcl_X1Bottom_Y1Left);
}

TRChart::~TRChart() = default;

int TRChart::ClampLayer(int layer) { return std::clamp(layer, 1, kChartLayers); }

TCrossHair& TRChart::CrossHair(int n) { return CrossHairs_[std::clamp(n, 1, 4) - 1]; }
const TCrossHair& TRChart::CrossHair(int n) const { return CrossHairs_[std::clamp(n, 1, 4) - 1]; }
TScaleProps& TRChart::ScaleX(int layer) { return *PropsX_[ClampLayer(layer) - 1]; }
TScaleProps& TRChart::ScaleY(int layer) { return *PropsY_[ClampLayer(layer) - 1]; }
const TScaleProps& TRChart::ScaleX(int layer) const { return *PropsX_[ClampLayer(layer) - 1]; }
const TScaleProps& TRChart::ScaleY(int layer) const { return *PropsY_[ClampLayer(layer) - 1]; }
const TScale& TRChart::ScaleRendererX(int layer) const { return ScalesX_[ClampLayer(layer) - 1]; }
const TScale& TRChart::ScaleRendererY(int layer) const { return ScalesY_[ClampLayer(layer) - 1]; }
const TLayerTransform& TRChart::Transform(int layer) const { return Transforms_[ClampLayer(layer) - 1]; }

bool TRChart::ClassVisible(int cls) const {
    return cls >= 0 && cls <= 255 && ClassVisible_[static_cast<size_t>(cls)] != 0;
}

bool TRChart::LayerVisible(int layer) const {
    return layer >= 1 && layer <= kChartLayers && LayerVisible_[static_cast<size_t>(layer - 1)] != 0;
}

void TRChart::Repaint() {
    if (AutoRedraw_) RequestPaint();
}

void TRChart::RequestPaint() {
    if (OnRepaint) OnRepaint();
}

// ---- display list

void TRChart::AddItem(uint8_t kind, double x, double y, uint8_t markerType) {
    // The capacity is counted in blocks of AllocSize, while the list's
    // memory grows by doubling: a growing series of scans is not copied
    // over and over.
    if (static_cast<int>(Items_.size()) >= ItemCapacity_) ItemCapacity_ += AllocSize_;
    ChartItem item;
    item.Kind = kind;
    item.Layer = CurrentLayer_;
    item.Class = ClassDefault_;
    item.X = x;
    item.Y = y;
    item.Color = DataColor_;
    item.PenStyle = PenStyle_;
    item.FillColor = 0;
    item.LineWidth = LineWidth_;
    item.MarkerType = kind == kItemMarker ? markerType : 0;
    Items_.push_back(item);
    AreaChanged();
}

void TRChart::ClearItems() {
    std::vector<ChartItem>().swap(Items_);
    ItemCapacity_ = 0;
    AreaChanged();
}

void TRChart::MoveTo(double x, double y) { AddItem(kItemMoveTo, x, y, 0); }
void TRChart::LineTo(double x, double y) { AddItem(kItemLineTo, x, y, 0); }
void TRChart::AddMarker(uint8_t markerType, double x, double y) { AddItem(kItemMarker, x, y, markerType); }

void TRChart::ShowItems() { RequestPaint(); }

void TRChart::CopyBitmapToClipboard(bool blackAndWhite) {
    if (OnCopyBitmap) OnCopyBitmap(*this, blackAndWhite);
}

// ---- ranges and transforms

void TRChart::SetLayerRange(int layer, double xLow, double yLow, double xHigh, double yHigh) {
    if (layer == 0) {
        for (int n = 1; n <= kChartLayers; ++n) ApplyLayerRange(n, xLow, yLow, xHigh, yHigh);
    } else if (layer >= 1 && layer <= kChartLayers) {
        ApplyLayerRange(layer, xLow, yLow, xHigh, yHigh);
    } else {
        return;
    }
    ContentChanged();
    RequestPaint();
}

void TRChart::ApplyLayerRange(int layer, double xl, double yl, double xh, double yh) {
    TScaleProps& px = ScaleX(layer);
    TScaleProps& py = ScaleY(layer);
    // A range that is not a number (from empty or broken data) would poison
    // every pixel of the layer: the axis keeps its range.
    if (std::isfinite(xl) && std::isfinite(xh)) {
        SeparateEqualEnds(xl, xh, px.MinRange_);
        px.RangeLow_ = xl;
        px.RangeHigh_ = xh;
    }
    if (std::isfinite(yl) && std::isfinite(yh)) {
        SeparateEqualEnds(yl, yh, py.MinRange_);
        py.RangeLow_ = yl;
        py.RangeHigh_ = yh;
    }
    ScalesX_[layer - 1].SetRange(px.RangeLow_, px.RangeHigh_);
    ScalesY_[layer - 1].SetRange(py.RangeLow_, py.RangeHigh_);
    UpdateTransforms();
}

void TRChart::UpdateTransforms() {
    const long double W = Width_, H = Height_;
    const long double a = Width_ - MarginLeft_ - MarginRight_ - ShadowWidth_;
    const long double b = Height_ - MarginTop_ - MarginBottom_ - ShadowWidth_;
    for (int n = 0; n < kChartLayers; ++n) {
        const TScaleProps& px = *PropsX_[n];
        const TScaleProps& py = *PropsY_[n];
        TLayerTransform& t = Transforms_[n];
        // x low on column MarginLeft, x high on the plot's right edge; y low on
        // the plot's bottom row, y high on row MarginTop (y grows upward).
        AxisTransform(px.Logarithmic_, px.RangeLow_, px.RangeHigh_, MarginLeft_,
                      W - MarginRight_ - ShadowWidth_, a, W / 2, t.XFactor, t.XOffset);
        AxisTransform(py.Logarithmic_, py.RangeLow_, py.RangeHigh_, H - MarginBottom_ - ShadowWidth_,
                      MarginTop_, b, H / 2, t.YFactor, t.YOffset);
    }
}

void TRChart::WorldToPixelReal(int layer, double x, double y, long double& px, long double& py) const {
    int n = ClampLayer(layer) - 1;
    const TScaleProps& sx = *PropsX_[n];
    const TScaleProps& sy = *PropsY_[n];
    const TLayerTransform& t = Transforms_[n];
    px = ClampReal(AxisToPixel(sx.Logarithmic_, t.XFactor, t.XOffset, x, sx.RangeHigh_ >= sx.RangeLow_,
                               0, Width_));
    py = ClampReal(AxisToPixel(sy.Logarithmic_, t.YFactor, t.YOffset, y, sy.RangeHigh_ >= sy.RangeLow_,
                               Height_, 0));
}

void TRChart::WorldToPixel(int layer, double x, double y, int& px, int& py) const {
    long double rx, ry;
    WorldToPixelReal(layer, x, y, rx, ry);
    px = PixelFromReal(rx);
    py = PixelFromReal(ry);
}

void TRChart::PixelToWorld(int layer, int px, int py, double& x, double& y) const {
    int n = ClampLayer(layer) - 1;
    const TScaleProps& sx = *PropsX_[n];
    const TScaleProps& sy = *PropsY_[n];
    const TLayerTransform& t = Transforms_[n];
    x = AxisToWorld(sx.Logarithmic_, t.XFactor, t.XOffset, px, sx.RangeLow_, sx.RangeHigh_);
    y = AxisToWorld(sy.Logarithmic_, t.YFactor, t.YOffset, py, sy.RangeLow_, sy.RangeHigh_);
}

// ---- scales and layout

void TRChart::LayoutScales() {
    const int W = Width_, H = Height_;
    for (int n = 0; n < kChartLayers; ++n) {
        for (bool horizontal : {true, false}) {
            const TScaleProps& p = horizontal ? *PropsX_[n] : *PropsY_[n];
            TScale& s = horizontal ? ScalesX_[n] : ScalesY_[n];
            s.SetBounds(W, H);
            if (horizontal) {
                s.SetMarginLeft(MarginLeft_);
                s.SetMarginRight(MarginRight_ + ShadowWidth_ - 1);
                if (p.ScaleLocation_ == slTop) {
                    s.SetScaleType(sctXB);
                    s.SetMarginBottom(p.ScalePos_ + H - MarginTop_ - 1);
                } else {
                    s.SetScaleType(sctXT);
                    s.SetMarginTop(p.ScalePos_ + H - MarginBottom_ - ShadowWidth_);
                }
            } else {
                s.SetMarginTop(MarginTop_);
                s.SetMarginBottom(MarginBottom_ + ShadowWidth_ - 1);
                if (p.ScaleLocation_ == slRight) {
                    s.SetScaleType(sctYL);
                    s.SetMarginLeft(p.ScalePos_ + W - MarginRight_ - ShadowWidth_);
                } else {
                    s.SetScaleType(sctYR);
                    s.SetMarginRight(p.ScalePos_ + W - MarginLeft_ - 1);
                }
            }
            s.SetColorBackGnd(WindColor_);
            s.SetRange(p.RangeLow_, p.RangeHigh_);
            s.SetVisible(p.Visible_);
            s.SetCaption(p.Caption_);
            s.SetCaptionPosX(p.CaptionPosX_);
            s.SetCaptionPosY(p.CaptionPosY_);
            s.SetCaptionAlignment(p.CaptionAlignment_);
            s.SetCaptionAnchor(p.CaptionAnchor_);
            s.SetColorScale(p.ColorScale_);
            s.SetLabelType(p.LabelType_);
            s.SetDecPlaces(p.DecPlaces_);
            s.SetLogarithmic(p.Logarithmic_);
            s.SetShortTicks(p.ShortTicks_);
            s.SetMinTicks(p.MinTicks_);
            s.SetScaleInscript(p.ScaleInscript_);
            s.SetUserTickText(p.UserTickText_);
            TFont font = p.Font_;
            font.Color = p.ColorScale_;
            s.SetFont(font);
        }
    }
}

void TRChart::GeometryChanged() {
    LayoutScales();
    UpdateTransforms();
    ContentChanged();
    Repaint();
}

void TRChart::ScalePropsChanged() {
    if (InLayout_) return;
    for (int n = 1; n <= kChartLayers; ++n) {
        TScaleProps& px = ScaleX(n);
        TScaleProps& py = ScaleY(n);
        SeparateEqualEnds(px.RangeLow_, px.RangeHigh_, px.MinRange_);
        SeparateEqualEnds(py.RangeLow_, py.RangeHigh_, py.MinRange_);
    }
    GeometryChanged();
}

void TRChart::SetStandardLayout(TrcLayout v) {
    StandardLayout_ = v;
    InLayout_ = true;
    MarginBottom_ = 40;
    MarginTop_ = 20;
    MarginLeft_ = 50;
    MarginRight_ = 20;
    CaptionPosX_ = 0;
    CaptionPosY_ = -16;
    CaptionAlignment_ = taRightJustify;
    CaptionAnchorHoriz_ = cahChartRight;
    CaptionAnchorVert_ = cavChartTop;
    auto place = [](TScaleProps& p, bool visible, TScaleLocation location, int cx, int cy,
                    TAlignment alignment, TScaleUnitAnchor anchor) {
        p.SetVisible(visible);
        p.SetScaleLocation(location);
        p.SetCaptionPosX(cx);
        p.SetCaptionPosY(cy);
        p.SetCaptionAlignment(alignment);
        p.SetCaptionAnchor(anchor);
    };
    place(Scale1X(), true, slBottom, 0, 22, taCenter, uaSclCenter);
    Scale1X().SetScalePos(0);
    place(Scale1Y(), true, slLeft, 0, -16, taLeftJustify, uaSclTopLft);
    Scale1Y().SetScalePos(0);
    for (int n = 2; n <= 4; ++n) {
        place(ScaleX(n), false, slBottom, 10, 100, taCenter, uaSclCenter);
        place(ScaleY(n), false, slLeft, 10, 100, taRightJustify, uaSclTopLft);
    }
    for (int n = 5; n <= kChartLayers; ++n) {
        ScaleX(n).SetVisible(false);
        ScaleY(n).SetVisible(false);
    }
    InLayout_ = false;
    GeometryChanged();
}

// ---- size and properties

void TRChart::SetBounds(int left, int top, int width, int height) {
    Left_ = left;
    Top_ = top;
    Width_ = std::max(width, MarginLeft_ + MarginRight_ + 80 + ShadowWidth_);
    Height_ = std::max(height, MarginTop_ + MarginBottom_ + 20 + ShadowWidth_);
    GeometryChanged();
}

bool TRChart::InPlotArea(int X, int Y) const {
    return MarginLeft_ <= X && X <= Width_ - MarginRight_ - ShadowWidth_ && MarginTop_ <= Y &&
           Y <= Height_ - MarginBottom_ - ShadowWidth_;
}

void TRChart::SetAllocSize(int v) {
    if (v >= 1 && v <= 1000000) AllocSize_ = v;
}

void TRChart::SetMarginLeft(int v) { MarginLeft_ = v; GeometryChanged(); }
void TRChart::SetMarginRight(int v) { MarginRight_ = v; GeometryChanged(); }
void TRChart::SetMarginTop(int v) { MarginTop_ = v; GeometryChanged(); }
void TRChart::SetMarginBottom(int v) { MarginBottom_ = v; GeometryChanged(); }
void TRChart::SetShadowWidth(int v) { ShadowWidth_ = std::clamp(v, 0, 32); GeometryChanged(); }

void TRChart::SetShadowStyle(TShadowStyle v) { ShadowStyle_ = v; WindowChanged(); Repaint(); }
void TRChart::SetShadowColor(TColor v) { ShadowColor_ = v; WindowChanged(); Repaint(); }
void TRChart::SetShadowBakColor(TColor v) { ShadowBakColor_ = v; WindowChanged(); Repaint(); }

void TRChart::SetClassDefault(uint8_t v) {
    if (v != 255) ClassDefault_ = v;
}

void TRChart::SetChartFrameColor(TColor v) { ChartFrameColor_ = v; ContentChanged(); Repaint(); }
void TRChart::SetChartColor(TColor v) { ChartColor_ = v; AreaChanged(); Repaint(); }

void TRChart::SetWindColor(TColor v) {
    WindColor_ = v;
    LayoutScales();
    WindowChanged();
    Repaint();
}

void TRChart::SetGridStyle(GridStyleType v) { GridStyle_ = v; AreaChanged(); Repaint(); }

void TRChart::SetGridDx(double v) {
    if (v < -3) return;
    GridDx_ = v;
    AreaChanged();
    Repaint();
}

void TRChart::SetGridDy(double v) {
    if (v < -3) return;
    GridDy_ = v;
    AreaChanged();
    Repaint();
}

void TRChart::SetGridColor(TColor v) { GridColor_ = v; AreaChanged(); Repaint(); }
void TRChart::SetCaption(const std::string& v) { Caption_ = v; WindowChanged(); Repaint(); }
void TRChart::SetCaptionPosX(int v) { CaptionPosX_ = v; WindowChanged(); Repaint(); }
void TRChart::SetCaptionPosY(int v) { CaptionPosY_ = v; WindowChanged(); Repaint(); }
void TRChart::SetCaptionAlignment(TAlignment v) { CaptionAlignment_ = v; WindowChanged(); Repaint(); }
void TRChart::SetCaptionAnchorHoriz(TCaptionAnchorHoriz v) { CaptionAnchorHoriz_ = v; WindowChanged(); Repaint(); }
void TRChart::SetCaptionAnchorVert(TCaptionAnchorVert v) { CaptionAnchorVert_ = v; WindowChanged(); Repaint(); }
void TRChart::SetFont(const TFont& v) { Font_ = v; WindowChanged(); Repaint(); }

// ---- mouse and keys

void TRChart::MouseMove(TShiftState shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(*this, shift, X, Y);
    LastMouseX_ = X;
    LastMouseY_ = Y;

    if (MouseAction_ == maDragCrossH) {
        if (!(shift & ssLeft)) {
            DragActive_ = false;
        } else if (DragActive_) {
            TCrossHair& ch = CrossHair(DraggedCrossHair_);
            double x, y;
            PixelToWorld(ch.Layer(), X, Y, x, y);
            ch.SetPosX(x);
            ch.SetPosY(y);
            RequestPaint();
            if (OnCrossHairMove) OnCrossHairMove(*this, ch);
        } else {
            // The first move with the button held only picks: the nearest
            // crosshair by the squared pixel distance of its lines, the lower
            // number among equals. Distances are reals: pixels may lie near
            // the ends of the 32-bit range.
            double best = 1.7e308;
            DraggedCrossHair_ = 1;
            for (int n = 1; n <= 4; ++n) {
                const TCrossHair& ch = CrossHair(n);
                int px, py;
                WorldToPixel(ch.Layer(), ch.PosX(), ch.PosY(), px, py);
                auto consider = [&](int linePixel, int mousePixel) {
                    double d = static_cast<double>(linePixel) - mousePixel;
                    if (d * d < best) {
                        best = d * d;
                        DraggedCrossHair_ = n;
                    }
                };
                if (ch.Mode() == chVert || ch.Mode() == chBoth) consider(px, X);
                if (ch.Mode() == chHoriz || ch.Mode() == chBoth) consider(py, Y);
            }
            DragActive_ = true;
        }
    }

    double x, y;
    PixelToWorld(CurrentLayer_, X, Y, x, y);
    bool inChart = InPlotArea(X, Y);
    if (inChart) {
        LastWorldX_ = x;
        LastWorldY_ = y;
    }
    if (!inChart || MouseCursorFixed_) {
        ScreenCursor_ = TChartCursor::crDefault;
    } else {
        switch (MouseAction_) {
        case maNone: ScreenCursor_ = TChartCursor::crCross; break;
        case maPan:
        case maPanHoriz:
        case maPanVert: ScreenCursor_ = TChartCursor::Hand; break;
        case maZoomWind: ScreenCursor_ = TChartCursor::ZoomWindow; break;
        case maZoomDrag: ScreenCursor_ = TChartCursor::ZoomDrag; break;
        case maZoomWindPos: ScreenCursor_ = TChartCursor::ZoomWindowPos; break;
        case maDragCrossH:
        case maDragLabel: ScreenCursor_ = TChartCursor::crDefault; break;
        default: ScreenCursor_ = TChartCursor::Unchanged; break;
        }
    }
    if (OnMouseMoveInChart) OnMouseMoveInChart(*this, inChart, shift, x, y);
}

void TRChart::MouseDown(TMouseButton button, TShiftState shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, X, Y);
}

void TRChart::MouseUp(TMouseButton button, TShiftState shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(*this, button, shift, X, Y);
}

void TRChart::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(*this);
}

void TRChart::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(*this);
}

void TRChart::KeyDown(int& key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(*this, key, shift);
}

void TRChart::KeyUp(int& key, TShiftState shift) {
    if (OnKeyUp) OnKeyUp(*this, key, shift);
}

} // namespace orv
