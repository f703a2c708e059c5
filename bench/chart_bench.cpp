// Speed of the chart and the fitter: plotting and redrawing a full 2-theta
// scan, and a circle fit through many ring points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "chart/chart_paint.h"
#include "chart/curve_fit.h"
#include "chart/rchart.h"

#if __has_include(<QImage>)
#define ORV_BENCH_CHART_QT 1
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include "chart/ui/chart_painter.h"
#endif

using namespace orv;

namespace {

constexpr int kScanPoints = 24000;

// A scan as the 2-theta window plots it: 24000 points of peaks on a sloping
// background, in an 800 x 500 chart.
void PlotScan(TRChart& chart) {
    chart.ClearItems();
    chart.SetDataColor(clBlack);
    double top = 0;
    chart.MoveTo(5, 0);
    for (int k = 0; k < kScanPoints; ++k) {
        double t = 5 + k * 0.005;
        double y = 200 + 3 * t + 5000 * std::exp(-std::pow(std::fmod(t, 7.3) - 3.6, 2) / 0.004);
        top = std::max(top, y);
        chart.LineTo(t, y);
    }
    chart.SetLayerRange(1, 5, 0, 5 + kScanPoints * 0.005, 1.1 * top);
    chart.ShowItems();
}

// Counts drawing calls and does nothing else: the core's share of a redraw.
class NullCanvas : public TChartCanvas {
public:
    void SetPen(TColor, TPenStyle, int) override {}
    void SetBrush(TColor, bool) override {}
    void SetBrushClear(bool) override {}
    void Rectangle(int, int, int, int) override {}
    void Line(int, int, int, int) override {}
    void Polyline(const TPoint*, int count) override { Points += count; }
    void Ellipse(int, int, int, int) override {}
    void TextOut(int, int, const std::string&, const TFont&) override {}
    TSize TextExtent(const std::string& text, const TFont&) override {
        return {6 * static_cast<int>(text.size()), 12};
    }
    long Points = 0;
};

void BM_ChartPlotScan(benchmark::State& state) {
    TRChart chart;
    chart.SetBounds(0, 0, 800, 500);
    for (auto _ : state) {
        PlotScan(chart);
        benchmark::DoNotOptimize(chart.ItemCount());
    }
    state.SetItemsProcessed(state.iterations() * kScanPoints);
}
BENCHMARK(BM_ChartPlotScan)->Unit(benchmark::kMillisecond);

void BM_ChartRenderScanCore(benchmark::State& state) {
    TRChart chart;
    chart.SetBounds(0, 0, 800, 500);
    PlotScan(chart);
    NullCanvas canvas;
    for (auto _ : state) {
        PaintAreaStep(chart, canvas, 0, 0);
        PaintRenderStep(chart, canvas, 0, 0);
        benchmark::DoNotOptimize(canvas.Points);
    }
    state.SetItemsProcessed(state.iterations() * kScanPoints);
}
BENCHMARK(BM_ChartRenderScanCore)->Unit(benchmark::kMillisecond);

void BM_CurveFitCircle100k(benchmark::State& state) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> angle(0, 6.283185307179586);
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < 100000; ++i) {
        double a = angle(rng);
        points.emplace_back(1024.3 + 612.5 * std::cos(a), 987.6 + 612.5 * std::sin(a));
    }
    TCurveFit fit;
    for (auto _ : state) {
        fit.ClearPoints();
        for (const auto& [x, y] : points) fit.AddPoint(x, y);
        double r, cx, cy;
        fit.CalcCircleFit(r, cx, cy);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_CurveFitCircle100k)->Unit(benchmark::kMillisecond);

#ifdef ORV_BENCH_CHART_QT
QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "orv_bench";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(argc, argv);
    return app;
}

// The whole control: window step with the scales, plot area, 24000 points.
void BM_ChartRenderScanQt(benchmark::State& state) {
    App();
    TRChart chart;
    chart.SetBounds(0, 0, 800, 500);
    chart.Scale1X().SetCaption("2Theta (deg.)");
    PlotScan(chart);
    for (auto _ : state) {
        QImage image = RenderChartImage(chart, true);
        benchmark::DoNotOptimize(image.bits());
    }
    state.SetItemsProcessed(state.iterations() * kScanPoints);
}
BENCHMARK(BM_ChartRenderScanQt)->Unit(benchmark::kMillisecond);

// What ShowItems costs on screen: only the plot area is redrawn.
void BM_ChartShowItemsQt(benchmark::State& state) {
    App();
    TRChart chart;
    chart.SetBounds(0, 0, 800, 500);
    PlotScan(chart);
    TChartImageCache cache;
    QImage screen(800, 500, QImage::Format_RGB32);
    for (auto _ : state) {
        chart.SetDataColor(clBlack);
        chart.LineTo(125, 0);              // the list changed: the area is redrawn
        QPainter painter(&screen);
        cache.Update(chart);
        cache.Present(chart, painter);
    }
    state.SetItemsProcessed(state.iterations() * kScanPoints);
}
BENCHMARK(BM_ChartShowItemsQt)->Unit(benchmark::kMillisecond);
#endif

} // namespace
