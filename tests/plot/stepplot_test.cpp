#include "plot/plotscale.h"
#include "plot/stepplot.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordingcanvas.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

constexpr TColor Face = ColorFromRgb(240, 240, 240);

// The centres of the discs of one size and colour, in drawing order.
std::vector<std::pair<int, int>> Discs(const TRecordingCanvas& canvas, int size, TColor color) {
    std::vector<std::pair<int, int>> centres;
    for (const TCanvasCall& c : canvas.Calls)
        if (c.Op == TCanvasOp::Ellipse && c.X2 - c.X1 == size && c.Brush == color)
            centres.emplace_back(c.X1 + size / 2, c.Y1 + size / 2);
    return centres;
}

} // namespace

TEST(StepPlot, LayoutOnTheDefaultSurface) {
    const struct {
        int SampleCount;
        int LegendDiscColumn;
    } cases[] = {{500, 275}, {20, 163}};
    for (const auto& c : cases) {
        TRecordingCanvas canvas;
        canvas.SetBrushColor(Face);
        const std::vector<std::uint32_t> relative = {0, 200, 210};
        DrawStepTest(canvas, 560, 372, 200, c.SampleCount, relative);

        // Grid, then the step, then the response, then the legend, each in its colour.
        std::vector<std::pair<TCanvasOp, TColor>> runs;
        for (const TCanvasCall& call : canvas.Calls) {
            const std::pair run(call.Op, call.Op == TCanvasOp::Text ? call.Brush : call.Pen);
            if (runs.empty() || runs.back() != run)
                runs.push_back(run);
        }
        using enum TCanvasOp;
        const std::vector<std::pair<TCanvasOp, TColor>> order = {{Line, GridColor},
                                                                 {Ellipse, ExcitationColor},
                                                                 {Ellipse, ResponseColor},
                                                                 {Ellipse, ExcitationColor},
                                                                 {Text, Face},
                                                                 {Ellipse, ResponseColor},
                                                                 {Text, Face}};
        EXPECT_EQ(runs, order);

        const auto edge = Discs(canvas, 2, ExcitationColor);
        ASSERT_FALSE(edge.empty());
        EXPECT_EQ(edge.front(), std::pair(46, 341)); // time 0 at the start level
        const auto response = Discs(canvas, 2, ResponseColor);
        ASSERT_EQ(response.size(), 3u);
        EXPECT_EQ(response[0], std::pair(46, 341));
        EXPECT_EQ(edge.back().first, 513); // the level ends with the measurement
        EXPECT_TRUE(edge.back().second == 31 || edge.back().second == 30);
        EXPECT_TRUE(response[1].second == 31 || response[1].second == 30);
        EXPECT_EQ(response[2].second, 15);

        EXPECT_EQ(Discs(canvas, 10, ExcitationColor), (std::vector{std::pair(c.LegendDiscColumn, 316)}));
        EXPECT_EQ(Discs(canvas, 10, ResponseColor), (std::vector{std::pair(c.LegendDiscColumn, 347)}));
        std::vector<std::tuple<int, int, QString>> texts;
        for (const TCanvasCall& call : canvas.Calls)
            if (call.Op == Text)
                texts.emplace_back(call.X1, call.Y1, call.Text);
        const std::vector<std::tuple<int, int, QString>> legend = {
            {280, 310, "wymuszenie"},
            {280, 341, "odpowiedź"},
            {280, 279, "siatka X= 5[ms]  siatka Y= 10[%]"}};
        EXPECT_EQ(texts, legend);
    }
}

TEST(StepPlot, EdgeCoversTheRowsOfOneDotPerPulseWithOneDotPerRow) {
    for (const std::uint32_t amplitude : {1u, 7u, 200u, 1000u, 10'000'000u}) {
        TRecordingCanvas canvas;
        DrawStepTest(canvas, 560, 372, amplitude, 500, {});
        std::vector<int> drawn;
        for (const auto& [column, row] : Discs(canvas, 2, ExcitationColor))
            if (column == 46)
                drawn.push_back(row);

        TRecordingCanvas scratch;
        const TPlotScale scale(0, 0, 560, 372, 0, 0, 600, 1.2 * amplitude, scratch);
        std::set<int> perPulse;
        for (std::uint32_t k = 0; k <= amplitude; ++k)
            perPulse.insert(scale.MapY(double(k) - amplitude / 2.0));
        // The level's first dot stands on the edge's column too.
        EXPECT_EQ(std::set(drawn.begin(), drawn.end()), perPulse) << amplitude;
        EXPECT_EQ(drawn.size(), perPulse.size() + 1) << amplitude;
    }
}

TEST(StepPlot, WipeIsOneFramedRectangleOverTheSurface) {
    TRecordingCanvas canvas;
    canvas.SetPenColor(ExcitationColor);
    WipeStepPlot(canvas, 560, 372, Face);
    ASSERT_EQ(canvas.Calls.size(), 1u);
    const TCanvasCall& wipe = canvas.Calls[0];
    EXPECT_EQ(std::tuple(wipe.Op, wipe.X1, wipe.Y1, wipe.X2, wipe.Y2, wipe.Pen, wipe.Brush),
              std::tuple(TCanvasOp::Rectangle, 0, 0, 560, 372, BlackColor, Face));
    EXPECT_EQ(canvas.PenColor(), ExcitationColor);
}
