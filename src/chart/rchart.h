#pragma once
// TRChart: the chart model of every plot window. Sixteen layers, each with
// its own world range and transform; a display list of move-to, line-to and
// marker items in world coordinates; 32 axis scales; four crosshairs; the
// mouse state machine. The model never paints: where the chart would redraw
// it calls OnRepaint (the widget answers with an update), and the painter in
// chart_paint.h turns its state into drawing calls.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chart/chart_types.h"
#include "chart/scale.h"

namespace orv {

class TRChart;

constexpr int kChartLayers = 16;

// Item kinds the program adds.
constexpr uint8_t kItemMarker = 1;
constexpr uint8_t kItemLineTo = 3;
constexpr uint8_t kItemMoveTo = 8;

// One display-list entry.
struct ChartItem {
    double X = 0;
    double Y = 0;
    double X2 = 0;        // second point of two-point kinds (none are added)
    double Y2 = 0;
    TColor Color = 0;     // DataColor when added
    TPenStyle PenStyle = psSolid;
    TColor FillColor = 0;
    int32_t LineWidth = 1;
    uint8_t Class = 0;    // ClassDefault when added
    uint8_t Kind = 0;     // kItemMarker, kItemLineTo, kItemMoveTo
    int32_t Layer = 1;
    int32_t FontSize = 0;
    uint8_t MarkerType = 0;
};

enum TScaleLocation : uint8_t { slTop, slBottom, slLeft, slRight };

// The axis settings of one layer and direction. Every setter stores the
// value and fires OnChange, which the owning chart answers by updating its
// scales and transforms and repainting.
class TScaleProps {
public:
    explicit TScaleProps(bool horizontal);
    TScaleProps(const TScaleProps&) = delete;
    TScaleProps& operator=(const TScaleProps&) = delete;

    bool Horizontal() const { return Horizontal_; }

    const std::string& Caption() const { return Caption_; }
    void SetCaption(const std::string& v);
    int CaptionPosX() const { return CaptionPosX_; }
    void SetCaptionPosX(int v);
    int CaptionPosY() const { return CaptionPosY_; }
    void SetCaptionPosY(int v);
    TAlignment CaptionAlignment() const { return CaptionAlignment_; }
    void SetCaptionAlignment(TAlignment v);
    TScaleUnitAnchor CaptionAnchor() const { return CaptionAnchor_; }
    void SetCaptionAnchor(TScaleUnitAnchor v);
    TColor ColorScale() const { return ColorScale_; }
    void SetColorScale(TColor v);
    int DecPlaces() const { return DecPlaces_; }
    void SetDecPlaces(int v);                 // clamped to -3..12
    const TFont& Font() const { return Font_; }
    void SetFont(const TFont& v);
    bool Logarithmic() const { return Logarithmic_; }
    // True only when both range ends are at least 1e-100 and the labels are
    // not date/time; False always.
    void SetLogarithmic(bool v);
    TFigType LabelType() const { return LabelType_; }
    void SetLabelType(TFigType v);            // ftDateTime: not logarithmic; ftTime: 4 decimals
    int MinTicks() const { return MinTicks_; }
    void SetMinTicks(int v);
    double MinRange() const { return MinRange_; }
    // Values of 1e-100 and less are ignored; a narrower range is re-centred.
    void SetMinRange(double v);
    double RangeLow() const { return RangeLow_; }
    double RangeHigh() const { return RangeHigh_; }
    // A span below MinRange puts the other end MinRange away.
    void SetRangeLow(double v);
    void SetRangeHigh(double v);
    bool ShortTicks() const { return ShortTicks_; }
    void SetShortTicks(bool v);
    const std::string& ScaleInscript() const { return ScaleInscript_; }
    void SetScaleInscript(const std::string& v);
    const std::string& UserTickText() const { return UserTickText_; }
    void SetUserTickText(const std::string& v);
    int ScalePos() const { return ScalePos_; }
    void SetScalePos(int v);                  // pixels outward from the plot's edge
    bool Visible() const { return Visible_; }
    void SetVisible(bool v);
    TScaleLocation ScaleLocation() const { return ScaleLocation_; }
    // slTop/slBottom on a horizontal axis, slLeft/slRight on a vertical one.
    void SetScaleLocation(TScaleLocation v);

    std::function<void()> OnChange;

private:
    friend class TRChart;
    void Changed();

    bool Horizontal_;
    std::string Caption_;
    int CaptionPosX_ = 0, CaptionPosY_ = 0;
    TAlignment CaptionAlignment_ = taCenter;
    TScaleUnitAnchor CaptionAnchor_ = uaSclTopLft;
    TColor ColorScale_ = clBlack;
    int DecPlaces_ = -2;
    TFont Font_;
    bool Logarithmic_ = false;
    TFigType LabelType_ = ftNum;
    int MinTicks_ = 3;
    double MinRange_ = 1e-10;
    double RangeLow_ = 0, RangeHigh_ = 1;
    bool ShortTicks_ = true;
    std::string ScaleInscript_, UserTickText_;
    int ScalePos_ = 0;
    bool Visible_ = false;
    TScaleLocation ScaleLocation_;
};

enum TCrossHMode : uint8_t { chOff, chHoriz, chVert, chBoth };

// A crosshair: a vertical line at world x PosX and/or a horizontal one at
// world y PosY of its layer. Every setter fires OnChange (the chart repaints).
class TCrossHair {
public:
    double PosX() const { return PosX_; }
    void SetPosX(double v);
    double PosY() const { return PosY_; }
    void SetPosY(double v);
    TColor Color() const { return Color_; }
    void SetColor(TColor v);
    TCrossHMode Mode() const { return Mode_; }
    void SetMode(TCrossHMode v);
    TPenStyle LineType() const { return LineType_; }
    void SetLineType(TPenStyle v);
    int LineWid() const { return LineWid_; }
    void SetLineWid(int v);
    int Layer() const { return Layer_; }
    void SetLayer(int v);                     // clamped to 1..16

    std::function<void()> OnChange;

private:
    friend class TRChart;
    void Changed() {
        if (OnChange) OnChange();
    }
    double PosX_ = 0, PosY_ = 0;
    TColor Color_ = clBlack;
    TCrossHMode Mode_ = chOff;
    TPenStyle LineType_ = psSolid;
    int LineWid_ = 1;
    int Layer_ = 1;
};

enum TShadowStyle : uint8_t { ssFlying, ssBox };
enum GridStyleType : uint8_t {
    gsNone, gsPoints, gsVertLines, gsHorizLines, gsLines, gsHorizDotLines, gsVertDotLines, gsDotLines
};
enum TCaptionAnchorHoriz : uint8_t {
    cahControlLeft, cahChartLeft, cahChartCenter, cahChartRight, cahControlRight
};
enum TCaptionAnchorVert : uint8_t {
    cavControlTop, cavChartTop, cavChartCenter, cavChartBottom, cavControlBottom
};
// Only maNone and maDragCrossH act in this program; the others are accepted
// and do nothing.
enum TMouseActMode : uint8_t {
    maNone, maPan, maPanHoriz, maPanVert, maZoomWind, maZoomWindPos, maZoomDrag, maDragCrossH,
    maDragLabel, maRubberBand, maZoom, maRotate, maRotAndZoom, maRotXOnly, maRotZOnly
};
enum TrcLayout : uint8_t { rcl_X1Bottom_Y1Left };

// The cursor the chart asks for over the mouse position.
enum class TChartCursor : uint8_t {
    crDefault,      // the widget's own cursor
    crCross,
    Hand,           // pan actions
    ZoomWindow,
    ZoomDrag,
    ZoomWindowPos,
    Unchanged,
};

// The per-layer transform: pixel = Factor * world + Offset (on a
// logarithmic axis: Factor * ln world + Offset), in control pixels.
struct TLayerTransform {
    long double XFactor = 0, XOffset = 0, YFactor = 0, YOffset = 0;
};

class TRChart {
public:
    TRChart();
    ~TRChart();
    TRChart(const TRChart&) = delete;
    TRChart& operator=(const TRChart&) = delete;

    // ---- display list ----
    // Empties the list and releases its storage. The screen keeps the old
    // picture until ShowItems or the next paint.
    void ClearItems();
    void MoveTo(double x, double y);           // starts a new polyline
    void LineTo(double x, double y);           // line from the previous point
    void AddMarker(uint8_t markerType, double x, double y);  // 17: open circle of 7 pixels
    // Shows the list (asks for a paint).
    void ShowItems();
    int ItemCount() const { return static_cast<int>(Items_.size()); }
    int ItemCapacity() const { return ItemCapacity_; }
    // Item `index` (from 0); std::out_of_range outside the list.
    const ChartItem& Item(int index) const { return Items_.at(static_cast<size_t>(index)); }
    const std::vector<ChartItem>& Items() const { return Items_; }

    // ---- layers and transforms ----
    // Sets the world range of a layer (0 = all sixteen); equal ends are
    // moved apart by half of the axis's MinRange, reversed ends are kept.
    void SetLayerRange(int layer, double xLow, double yLow, double xHigh, double yHigh);
    void WorldToPixel(int layer, double x, double y, int& px, int& py) const;
    // The same before rounding (clamped to the 32-bit range), for painters
    // that clamp further.
    void WorldToPixelReal(int layer, double x, double y, long double& px, long double& py) const;
    void PixelToWorld(int layer, int px, int py, double& x, double& y) const;
    void UpdateTransforms();
    const TLayerTransform& Transform(int layer) const;   // layer clamped to 1..16

    // ---- size (SetBounds raises sizes below the margins' minimum) ----
    void SetBounds(int left, int top, int width, int height);
    int Left() const { return Left_; }
    int Top() const { return Top_; }
    int Width() const { return Width_; }
    int Height() const { return Height_; }
    // Plot area: Width - MarginLeft - MarginRight - ShadowWidth (and likewise
    // in height); the area bitmap is one pixel larger in each direction.
    int PlotWidth() const { return Width_ - MarginLeft_ - MarginRight_ - ShadowWidth_; }
    int PlotHeight() const { return Height_ - MarginTop_ - MarginBottom_ - ShadowWidth_; }
    bool InPlotArea(int X, int Y) const;

    // ---- properties ----
    int AllocSize() const { return AllocSize_; }
    void SetAllocSize(int v);                 // only 1..1000000
    bool AutoRedraw() const { return AutoRedraw_; }
    void SetAutoRedraw(bool v) { AutoRedraw_ = v; }
    int MarginLeft() const { return MarginLeft_; }
    int MarginRight() const { return MarginRight_; }
    int MarginTop() const { return MarginTop_; }
    int MarginBottom() const { return MarginBottom_; }
    void SetMarginLeft(int v);
    void SetMarginRight(int v);
    void SetMarginTop(int v);
    void SetMarginBottom(int v);
    int ShadowWidth() const { return ShadowWidth_; }
    void SetShadowWidth(int v);               // clamped to 0..32
    TShadowStyle ShadowStyle() const { return ShadowStyle_; }
    void SetShadowStyle(TShadowStyle v);
    TColor ShadowColor() const { return ShadowColor_; }
    void SetShadowColor(TColor v);
    TColor ShadowBakColor() const { return ShadowBakColor_; }
    void SetShadowBakColor(TColor v);
    TColor DataColor() const { return DataColor_; }
    void SetDataColor(TColor v) { DataColor_ = v; }          // stamped into later items
    TPenStyle PenStyle() const { return PenStyle_; }
    void SetPenStyle(TPenStyle v) { PenStyle_ = v; }
    uint8_t LineWidth() const { return LineWidth_; }
    void SetLineWidth(uint8_t v) { LineWidth_ = v; }
    uint8_t ClassDefault() const { return ClassDefault_; }
    void SetClassDefault(uint8_t v);          // 255 ignored
    TColor ChartFrameColor() const { return ChartFrameColor_; }
    void SetChartFrameColor(TColor v);
    TColor ChartColor() const { return ChartColor_; }
    void SetChartColor(TColor v);
    TColor WindColor() const { return WindColor_; }
    void SetWindColor(TColor v);
    TColor FillColor() const { return FillColor_; }
    void SetFillColor(TColor v) { FillColor_ = v; }
    GridStyleType GridStyle() const { return GridStyle_; }
    void SetGridStyle(GridStyleType v);
    double GridDx() const { return GridDx_; }
    void SetGridDx(double v);                 // below -3 ignored
    double GridDy() const { return GridDy_; }
    void SetGridDy(double v);
    TColor GridColor() const { return GridColor_; }
    void SetGridColor(TColor v);
    const std::string& Caption() const { return Caption_; }
    void SetCaption(const std::string& v);
    int CaptionPosX() const { return CaptionPosX_; }
    void SetCaptionPosX(int v);
    int CaptionPosY() const { return CaptionPosY_; }
    void SetCaptionPosY(int v);
    TAlignment CaptionAlignment() const { return CaptionAlignment_; }
    void SetCaptionAlignment(TAlignment v);
    TCaptionAnchorHoriz CaptionAnchorHoriz() const { return CaptionAnchorHoriz_; }
    void SetCaptionAnchorHoriz(TCaptionAnchorHoriz v);
    TCaptionAnchorVert CaptionAnchorVert() const { return CaptionAnchorVert_; }
    void SetCaptionAnchorVert(TCaptionAnchorVert v);
    // Font of the chart caption.
    const TFont& Font() const { return Font_; }
    void SetFont(const TFont& v);
    TMouseActMode MouseAction() const { return MouseAction_; }
    void SetMouseAction(TMouseActMode v) { MouseAction_ = v; }
    bool MouseCursorFixed() const { return MouseCursorFixed_; }
    void SetMouseCursorFixed(bool v) { MouseCursorFixed_ = v; }
    TrcLayout StandardLayout() const { return StandardLayout_; }
    void SetStandardLayout(TrcLayout v);
    int CurrentLayer() const { return CurrentLayer_; }
    bool ClassVisible(int cls) const;
    bool LayerVisible(int layer) const;

    // ---- crosshairs (1..4) and axis properties (layers 1..16) ----
    TCrossHair& CrossHair(int n);             // n clamped to 1..4
    const TCrossHair& CrossHair(int n) const;
    TCrossHair& CrossHair1() { return CrossHair(1); }
    TCrossHair& CrossHair2() { return CrossHair(2); }
    TCrossHair& CrossHair3() { return CrossHair(3); }
    TCrossHair& CrossHair4() { return CrossHair(4); }
    TScaleProps& ScaleX(int layer);           // layer clamped to 1..16
    TScaleProps& ScaleY(int layer);
    const TScaleProps& ScaleX(int layer) const;
    const TScaleProps& ScaleY(int layer) const;
    TScaleProps& Scale1X() { return ScaleX(1); }
    TScaleProps& Scale2X() { return ScaleX(2); }
    TScaleProps& Scale3X() { return ScaleX(3); }
    TScaleProps& Scale4X() { return ScaleX(4); }
    TScaleProps& Scale1Y() { return ScaleY(1); }
    TScaleProps& Scale2Y() { return ScaleY(2); }
    TScaleProps& Scale3Y() { return ScaleY(3); }
    TScaleProps& Scale4Y() { return ScaleY(4); }
    // The axis renderers ("RC_FScale_X_n", "RC_FScale_Y_n"), laid out by the chart.
    const TScale& ScaleRendererX(int layer) const;
    const TScale& ScaleRendererY(int layer) const;

    // ---- mouse and keys (the widget forwards its events in control pixels) ----
    void MouseMove(TShiftState shift, int X, int Y);
    void MouseDown(TMouseButton button, TShiftState shift, int X, int Y);
    void MouseUp(TMouseButton button, TShiftState shift, int X, int Y);
    void MouseEnter();
    void MouseLeave();
    void KeyDown(int& key, TShiftState shift);
    void KeyUp(int& key, TShiftState shift);
    bool DragActive() const { return DragActive_; }
    int DraggedCrossHair() const { return DraggedCrossHair_; }
    int LastMouseX() const { return LastMouseX_; }
    int LastMouseY() const { return LastMouseY_; }
    // World position of the last mouse pixel inside the plot area.
    double LastWorldX() const { return LastWorldX_; }
    double LastWorldY() const { return LastWorldY_; }
    TChartCursor ScreenCursor() const { return ScreenCursor_; }

    // Renders the chart (caption, scales, frame and data, no crosshairs) and
    // puts it on the clipboard; done by the widget through OnCopyBitmap.
    void CopyBitmapToClipboard(bool blackAndWhite);

    // ---- change tracking for painters ----
    // Bumped when what the window step draws (background, caption, scales)
    // or what the area step and render step draw (plot area, items) changed.
    uint64_t WindowRevision() const { return WindowRevision_; }
    uint64_t AreaRevision() const { return AreaRevision_; }

    // ---- events ----
    std::function<void()> OnRepaint;          // the chart wants to be painted
    std::function<void(TRChart&, bool blackAndWhite)> OnCopyBitmap;
    std::function<void(TRChart&, bool inChart, TShiftState, double x, double y)> OnMouseMoveInChart;
    std::function<void(TRChart&, TCrossHair&)> OnCrossHairMove;
    std::function<void(TRChart&, TMouseButton, TShiftState, int X, int Y)> OnMouseDown;
    std::function<void(TRChart&, TMouseButton, TShiftState, int X, int Y)> OnMouseUp;
    std::function<void(TRChart&, TShiftState, int X, int Y)> OnMouseMove;
    std::function<void(TRChart&)> OnMouseEnter;
    std::function<void(TRChart&)> OnMouseLeave;
    std::function<void(TRChart&, int& key, TShiftState)> OnKeyDown;
    std::function<void(TRChart&, int& key, TShiftState)> OnKeyUp;

private:
    void AddItem(uint8_t kind, double x, double y, uint8_t markerType);
    void ApplyLayerRange(int layer, double xl, double yl, double xh, double yh);
    void LayoutScales();
    void ScalePropsChanged();
    void GeometryChanged();
    void Repaint();                            // paint if AutoRedraw
    void RequestPaint();                       // paint
    void ContentChanged() { ++WindowRevision_; ++AreaRevision_; }
    void WindowChanged() { ++WindowRevision_; }
    void AreaChanged() { ++AreaRevision_; }
    static int ClampLayer(int layer);

    std::vector<ChartItem> Items_;
    int ItemCapacity_ = 0;
    int AllocSize_ = 1000;
    int CurrentLayer_ = 1;
    std::array<uint8_t, 256> ClassVisible_;
    std::array<uint8_t, kChartLayers> LayerVisible_;
    std::array<TLayerTransform, kChartLayers> Transforms_;
    std::array<TCrossHair, 4> CrossHairs_;
    std::array<std::unique_ptr<TScaleProps>, kChartLayers> PropsX_, PropsY_;
    std::array<TScale, kChartLayers> ScalesX_, ScalesY_;

    int Left_ = 0, Top_ = 0, Width_ = 280, Height_ = 200;
    bool AutoRedraw_ = true;
    int MarginLeft_ = 50, MarginRight_ = 20, MarginTop_ = 20, MarginBottom_ = 40;
    int ShadowWidth_ = 0;
    TShadowStyle ShadowStyle_ = ssFlying;
    TColor ShadowColor_ = clGrayText, ShadowBakColor_ = clBtnFace;
    TColor DataColor_ = clBlack;
    TPenStyle PenStyle_ = psSolid;
    uint8_t LineWidth_ = 1;
    uint8_t ClassDefault_ = 0;
    TColor ChartFrameColor_ = clBlack, ChartColor_ = clWhite, WindColor_ = clBtnFace;
    TColor FillColor_ = 12632256;
    GridStyleType GridStyle_ = gsNone;
    double GridDx_ = 0, GridDy_ = 0;
    TColor GridColor_ = clBlack;
    std::string Caption_;
    int CaptionPosX_ = 0, CaptionPosY_ = -16;
    TAlignment CaptionAlignment_ = taRightJustify;
    TCaptionAnchorHoriz CaptionAnchorHoriz_ = cahChartRight;
    TCaptionAnchorVert CaptionAnchorVert_ = cavChartTop;
    TFont Font_;
    TMouseActMode MouseAction_ = maNone;
    bool MouseCursorFixed_ = true;
    TrcLayout StandardLayout_ = rcl_X1Bottom_Y1Left;

    bool DragActive_ = false;
    int DraggedCrossHair_ = 1;
    int LastMouseX_ = 0, LastMouseY_ = 0;
    double LastWorldX_ = 0, LastWorldY_ = 0;
    TChartCursor ScreenCursor_ = TChartCursor::crDefault;
    bool InLayout_ = false;

    uint64_t WindowRevision_ = 1, AreaRevision_ = 1;
};

} // namespace orv
