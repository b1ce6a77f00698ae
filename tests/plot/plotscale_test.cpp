#include "plot/plotscale.h"
#include "tests/support/recordingcanvas.h"

#include <gtest/gtest.h>
#include <limits>
#include <tuple>

namespace {

constexpr TColor Pen = ColorFromRgb(1, 2, 3);
constexpr TColor Brush = ColorFromRgb(4, 5, 6);
constexpr TColor Green = ColorFromRgb(0, 128, 0);

auto Box(const TCanvasCall& c) {
    return std::tuple(c.Op, c.X1, c.Y1, c.X2, c.Y2);
}

} // namespace

TEST(PlotScale, MapsTheWorldWindowOntoTheSurface) {
    TRecordingCanvas canvas;
    const TPlotScale scale(0, 0, 560, 372, 0, 0, 600, 240, canvas);
    const struct {
        char Axis;
        double World;
        int Pixel;
    } cases[] = {
        {'x', -250, 46},
        {'x', 250, 513},
        {'x', -300, 0},
        {'x', 300, 560},
        {'x', -300.75, 0}, // -0.7 truncates toward zero
        {'x', -301.4, -1},
        {'y', -100, 341},
        {'y', 99, 32},
        {'y', 120, 0},
        {'y', -120, 372},
        {'y', 1e300, -(1 << 30)},
        {'y', std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Axis == 'x' ? scale.MapX(c.World) : scale.MapY(c.World), c.Pixel)
            << c.Axis << " " << c.World;
}

TEST(PlotScale, MarkersByShapeKeepTheCanvasColours) {
    using enum TCanvasOp;
    const struct {
        int Shape;
        int Size;
        std::vector<std::tuple<TCanvasOp, int, int, int, int>> Calls;
    } cases[] = {
        {msCircle, 10, {{Ellipse, 275, 181, 285, 191}}},
        {msCircle, 3, {{Ellipse, 279, 185, 281, 187}}},
        {msSquare, 2, {{Rectangle, 279, 185, 281, 187}}},
        {msCross, 10, {{Line, 275, 186, 285, 186}, {Line, 280, 181, 280, 191}}},
        {3, 10, {}},
        {255, 10, {}},
    };
    for (const auto& c : cases) {
        TRecordingCanvas canvas;
        canvas.SetPenColor(Pen);
        canvas.SetBrushColor(Brush);
        TPlotScale(0, 0, 560, 372, 0, 0, 600, 240, canvas)
            .DrawMarker(0, 0, c.Size, TMarkerShape(c.Shape), Green);
        std::vector<std::tuple<TCanvasOp, int, int, int, int>> calls;
        for (const TCanvasCall& call : canvas.Calls) {
            calls.push_back(Box(call));
            EXPECT_EQ(call.Pen, Green);
            EXPECT_EQ(call.Brush, Green);
        }
        EXPECT_EQ(calls, c.Calls) << "shape " << c.Shape;
        EXPECT_EQ(canvas.PenColor(), Pen);
        EXPECT_EQ(canvas.BrushColor(), Brush);
    }
}

TEST(PlotScale, GridLinesFromTheLowerLeftCorner) {
    constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    // 100 × 100 pixels over the world -50 .. 50 on both axes.
    const struct {
        double StepX, StepY;
        std::vector<int> Columns, Rows;
    } cases[] = {
        // The corner's lines come once from each direction.
        {50, 50, {0, 0, 50, 100}, {100, 100, 50, 0}},
        {40, 100, {0, 0, 40, 80}, {100, 100, 0}},
        {0, 50, {}, {100, 100, 50, 0}},
        {-10, NaN, {}, {}},
        {1e-300, 50, {0, 0}, {100, 100, 50, 0}},
    };
    for (const auto& c : cases) {
        TRecordingCanvas canvas;
        canvas.SetPenColor(Pen);
        TPlotScale(0, 0, 100, 100, 0, 0, 100, 100, canvas).DrawGrid(c.StepX, c.StepY, Green);
        std::vector<int> columns, rows;
        for (const TCanvasCall& call : canvas.Calls) {
            ASSERT_EQ(call.Pen, Green);
            if (call.X1 == call.X2) {
                EXPECT_EQ(std::tuple(call.Y1, call.Y2), std::tuple(100, 0));
                columns.push_back(call.X1);
            } else {
                EXPECT_EQ(std::tuple(call.X1, call.X2, call.Y1), std::tuple(0, 100, call.Y2));
                rows.push_back(call.Y1);
            }
        }
        EXPECT_EQ(columns, c.Columns) << c.StepX;
        EXPECT_EQ(rows, c.Rows) << c.StepY;
        EXPECT_EQ(canvas.PenColor(), Pen);
    }
}
