#include "plot/plotscale.h"
#include "tests/support/recordingcanvas.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr TColor Pen = ColorFromRgb(1, 2, 3);
constexpr TColor Brush = ColorFromRgb(4, 5, 6);
constexpr TColor Green = ColorFromRgb(0, 128, 0);

} // namespace

TEST(PlotScale, MapsTheWorldWindowOntoTheSurface) {
    TRecordingCanvas canvas;
    const TPlotScale scale(0, 0, 560, 372, 0, 0, 600, 240, canvas);
    // -300.75 lands on -0.7 and -301.4 on -1.3: truncation goes toward zero.
    const std::pair<double, int> columns[] = {{-250, 46}, {250, 513}, {-300, 0}, {-300.75, 0}, {-301.4, -1}};
    const std::pair<double, int> rows[] = {{-100, 341}, {99, 32}, {120, 0}, {-120, 372}, {1e300, -(1 << 30)}};
    for (const auto& [x, column] : columns)
        EXPECT_EQ(scale.MapX(x), column) << x;
    for (const auto& [y, row] : rows)
        EXPECT_EQ(scale.MapY(y), row) << y;
}

TEST(PlotScale, MarkersByShapeKeepTheCanvasColours) {
    using enum TCanvasOp;
    const std::pair<int, std::vector<TCanvasCall>> cases[] = {
        {msCircle, {{Ellipse, 275, 181, 285, 191}}},
        {msSquare, {{Rectangle, 275, 181, 285, 191}}},
        {msCross, {{Line, 275, 186, 285, 186}, {Line, 280, 181, 280, 191}}},
        {3, {}},
    };
    for (const auto& [shape, calls] : cases) {
        TRecordingCanvas canvas;
        canvas.SetPenColor(Pen);
        canvas.SetBrushColor(Brush);
        TPlotScale(0, 0, 560, 372, 0, 0, 600, 240, canvas).DrawMarker(0, 0, 10, TMarkerShape(shape), Green);
        EXPECT_EQ(canvas.Calls, calls) << "shape " << shape;
        EXPECT_EQ(canvas.Colors, std::vector(calls.size(), std::pair(Green, Green)));
        EXPECT_EQ(std::pair(canvas.PenColor(), canvas.BrushColor()), std::pair(Pen, Brush));
    }
}

TEST(PlotScale, GridLinesFromTheLowerLeftCorner) {
    // 100 × 100 pixels over the world -50 .. 50 on both axes; the corner's lines come from both directions.
    const struct {
        double StepX, StepY;
        std::vector<int> Columns, Rows;
    } cases[] = {
        {50, 50, {0, 0, 50, 100}, {100, 100, 50, 0}},
        {0, 50, {}, {100, 100, 50, 0}},
        {-10, std::numeric_limits<double>::quiet_NaN(), {}, {}},
        {1e-300, 100, {0, 0}, {100, 100, 0}},
    };
    for (const auto& c : cases) {
        TRecordingCanvas canvas;
        TPlotScale(0, 0, 100, 100, 0, 0, 100, 100, canvas).DrawGrid(c.StepX, c.StepY, Green);
        std::vector<TCanvasCall> lines;
        for (const int column : c.Columns)
            lines.push_back({TCanvasOp::Line, column, 100, column, 0});
        for (const int row : c.Rows)
            lines.push_back({TCanvasOp::Line, 0, row, 100, row});
        EXPECT_EQ(canvas.Calls, lines) << c.StepX << " " << c.StepY;
        EXPECT_EQ(canvas.Colors, std::vector(lines.size(), std::pair(Green, BlackColor)));
        EXPECT_EQ(canvas.PenColor(), BlackColor);
    }
}
