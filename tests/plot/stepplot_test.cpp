#include "plot/plotscale.h"
#include "plot/stepplot.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordingcanvas.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <set>

namespace {

constexpr TColor Face = ColorFromRgb(240, 240, 240);

// The centres of the discs of one size and colour, in drawing order.
std::vector<std::pair<int, int>> Discs(const TRecordingCanvas& canvas, int size, TColor color) {
    std::vector<std::pair<int, int>> centres;
    for (std::size_t i = 0; i < canvas.Calls.size(); ++i) {
        const TCanvasCall& c = canvas.Calls[i];
        if (c.Op == TCanvasOp::Ellipse && c.X2 - c.X1 == size && canvas.Colors[i].second == color)
            centres.emplace_back(c.X1 + size / 2, c.Y1 + size / 2);
    }
    return centres;
}

} // namespace

TEST(StepPlot, LayoutOnTheDefaultSurface) {
    using enum TCanvasOp;
    for (const auto& [sampleCount, legendColumn] : {std::pair(500, 275), std::pair(20, 163)}) {
        TRecordingCanvas canvas;
        canvas.SetBrushColor(Face);
        DrawStepTest(canvas, 560, 372, 200, sampleCount, std::vector<std::uint32_t>{0, 200, 210});

        // Grid, step, response, then the legend, each in its colour; texts on the canvas's brush.
        std::vector<std::pair<TCanvasOp, TColor>> runs;
        for (std::size_t i = 0; i < canvas.Calls.size(); ++i) {
            const TCanvasOp op = canvas.Calls[i].Op;
            const std::pair run(op, op == Text ? canvas.Colors[i].second : canvas.Colors[i].first);
            if (runs.empty() || runs.back() != run)
                runs.push_back(run);
        }
        EXPECT_EQ(runs, (std::vector<std::pair<TCanvasOp, TColor>>{{Line, GridColor},
                                                                   {Ellipse, ExcitationColor},
                                                                   {Ellipse, ResponseColor},
                                                                   {Ellipse, ExcitationColor},
                                                                   {Text, Face},
                                                                   {Ellipse, ResponseColor},
                                                                   {Text, Face}}));

        // Time 0 at column 46, 250 ms at 513; the start at row 341, the target at 31 (30 by rounding).
        const auto step = Discs(canvas, 2, ExcitationColor);
        EXPECT_EQ(step.front(), std::pair(46, 341));
        EXPECT_TRUE(step.back() == std::pair(513, 31) || step.back() == std::pair(513, 30));
        std::vector<int> responseRows;
        for (const auto& [column, row] : Discs(canvas, 2, ResponseColor))
            responseRows.push_back(row);
        EXPECT_EQ(responseRows, (std::vector{341, step.back().second, 15}));

        EXPECT_EQ(Discs(canvas, 10, ExcitationColor), (std::vector{std::pair(legendColumn, 316)}));
        EXPECT_EQ(Discs(canvas, 10, ResponseColor), (std::vector{std::pair(legendColumn, 347)}));
        std::vector<TCanvasCall> texts;
        std::copy_if(canvas.Calls.begin(), canvas.Calls.end(), std::back_inserter(texts),
                     [](const TCanvasCall& c) { return c.Op == Text; });
        EXPECT_EQ(texts,
                  (std::vector<TCanvasCall>{{Text, 280, 310, 280, 310, "wymuszenie"},
                                            {Text, 280, 341, 280, 341, "odpowiedź"},
                                            {Text, 280, 279, 280, 279, "siatka X= 5[ms]  siatka Y= 10[%]"}}));
    }
}

TEST(StepPlot, EdgeCoversTheRowsOfOneDotPerPulseWithOneDotPerRow) {
    for (const std::uint32_t amplitude : {1u, 200u, 10'000'000u}) {
        TRecordingCanvas canvas;
        DrawStepTest(canvas, 560, 372, amplitude, 500, {});
        std::vector<int> drawn;
        for (const auto& [column, row] : Discs(canvas, 2, ExcitationColor))
            if (column == 46)
                drawn.push_back(row);

        const TPlotScale scale(0, 0, 560, 372, 0, 0, 600, 1.2 * amplitude, canvas);
        std::set<int> perPulse;
        for (std::uint32_t k = 0; k <= amplitude; ++k)
            perPulse.insert(scale.MapY(double(k) - amplitude / 2.0));
        // The level's first dot stands on the edge's column too.
        EXPECT_EQ(std::set(drawn.begin(), drawn.end()), perPulse) << amplitude;
        EXPECT_EQ(drawn.size(), perPulse.size() + 1) << amplitude;
    }
}

TEST(StepPlot, WindowGrowsInGridStepsToKeepTheOvershoot) {
    const struct {
        std::uint32_t Highest;
        double SpanY, CenterY;
    } cases[] = {
        {210, 240, 0},  // 5 %: the usual 1.2 × A
        {220, 240, 0},  // 10 % lies on the top edge
        {250, 280, 20}, // 25 %: two tenths more
        {261, 300, 30}, // just over 1.3 × A
    };
    for (const auto& c : cases) {
        const TPlottedTest test{200, 500, {0, c.Highest, 200}, ResponseColor, {}};
        const TStepWindow window = StepWindow(std::span(&test, 1), test);
        EXPECT_EQ(window.SpanY, c.SpanY) << c.Highest;
        EXPECT_EQ(window.CenterY, c.CenterY) << c.Highest;
        EXPECT_EQ(window.SpanX, 600);
    }
}

TEST(StepPlot, ThreeTestsInTheirColoursWithALegendLineEach) {
    TRecordingCanvas canvas;
    canvas.SetBrushColor(Face);
    std::vector<TPlottedTest> tests;
    for (int number : {1, 2, 5})
        tests.push_back(
            {200, 500, {200, NoSample, 200}, TestColor(number, number == 5), QString("test %1").arg(number)});
    DrawStepTests(canvas, 560, 372, tests);

    const TColor first = TestColor(1, false);
    const TColor second = TestColor(2, false);
    EXPECT_NE(first, second);
    for (const TColor c : {first, second})
        EXPECT_TRUE(c != ResponseColor && c != ExcitationColor && c != GridColor);
    for (const TColor c : {first, second, ResponseColor}) {
        EXPECT_EQ(Discs(canvas, 2, c).size(), 2u) << "the missing sample is not drawn";
        ASSERT_EQ(Discs(canvas, 10, c).size(), 1u);
    }
    std::vector<std::pair<int, QString>> legend;
    for (const TCanvasCall& call : canvas.Calls)
        if (call.Op == TCanvasOp::Text)
            legend.emplace_back(call.Y1, call.Text);
    // The tests' lines one line of text (13 + 2 pixels) apart from the row of a lone test's, the whole
    // legend moved up by the 12 pixels the last line would reach below the surface.
    EXPECT_EQ(legend, (std::vector<std::pair<int, QString>>{{310 - 12, "wymuszenie"},
                                                            {341 - 12, "test 1"},
                                                            {356 - 12, "test 2"},
                                                            {371 - 12, "test 5"},
                                                            {279 - 12, "siatka X= 5[ms]  siatka Y= 10[%]"}}));
}
