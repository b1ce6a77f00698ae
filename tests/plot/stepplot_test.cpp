#include "harness/qtprinters.h"
#include "plot/plotscale.h"
#include "plot/stepplot.h"
#include "tests/support/recordingcanvas.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <tuple>

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
    for (const int sampleCount : {500, 20}) {
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
                                                                   {Text, Face},
                                                                   {Ellipse, ExcitationColor},
                                                                   {Text, Face},
                                                                   {Ellipse, ResponseColor},
                                                                   {Text, Face}}));

        // The plot area is 560 × 338 above the legend's two rows: time 0 at column 46, 250 ms at 513;
        // the start at row 309, the target at 28.
        const auto step = Discs(canvas, 2, ExcitationColor);
        EXPECT_EQ(step.front(), std::pair(46, 309));
        EXPECT_EQ(step.back(), std::pair(513, 28));
        std::vector<int> responseRows;
        for (const auto& [column, row] : Discs(canvas, 2, ResponseColor))
            responseRows.push_back(row);
        EXPECT_EQ(responseRows, (std::vector{309, 28, 14}));

        // Two columns as wide as the grid's line, filled downward.
        EXPECT_EQ(Discs(canvas, 10, ExcitationColor), (std::vector{std::pair(13, 363)}));
        EXPECT_EQ(Discs(canvas, 10, ResponseColor), (std::vector{std::pair(251, 348)}));
        std::vector<TCanvasCall> texts;
        std::copy_if(canvas.Calls.begin(), canvas.Calls.end(), std::back_inserter(texts),
                     [](const TCanvasCall& c) { return c.Op == Text; });
        EXPECT_EQ(texts,
                  (std::vector<TCanvasCall>{{Text, 22, 342, 22, 342, "siatka X= 5[ms]  siatka Y= 10[%]"},
                                            {Text, 22, 357, 22, 357, "wymuszenie"},
                                            {Text, 260, 342, 260, 342, "odpowiedź"}}));
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

        const TPlotScale scale(0, 0, 560, 338, 0, 0, 600, 1.2 * amplitude, canvas);
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
        tests.push_back({200,
                         500,
                         {200, NoSample, 200},
                         TestColor(int(tests.size()), 3),
                         QString("test %1").arg(number)});
    DrawStepTests(canvas, 560, 372, tests);

    const TColor first = TestColor(0, 3);
    const TColor second = TestColor(1, 3);
    EXPECT_NE(first, second);
    for (const TColor c : {first, second})
        EXPECT_TRUE(c != ResponseColor && c != ExcitationColor && c != GridColor);
    for (const TColor c : {first, second, ResponseColor}) {
        EXPECT_EQ(Discs(canvas, 2, c).size(), 2u) << "the missing sample is not drawn";
        ASSERT_EQ(Discs(canvas, 10, c).size(), 1u);
    }
    std::vector<std::tuple<int, int, QString>> legend;
    for (const TCanvasCall& call : canvas.Calls)
        if (call.Op == TCanvasOp::Text)
            legend.emplace_back(call.X1, call.Y1, call.Text);
    // Three rows of two columns, one line of text (13 + 2 pixels) apart, below a plot area of 323 rows.
    EXPECT_EQ(legend,
              (std::vector<std::tuple<int, int, QString>>{{22, 327, "siatka X= 5[ms]  siatka Y= 10[%]"},
                                                          {22, 342, "wymuszenie"},
                                                          {22, 357, "test 1"},
                                                          {260, 327, "test 2"},
                                                          {260, 342, "test 5"}}));
}

TEST(StepPlot, ShownTestsGetDistinctReadableColoursRoundTheWheel) {
    const auto linear = [](int c) {
        return c <= 10 ? c / 255.0 / 12.92 : std::pow((c / 255.0 + 0.055) / 1.055, 2.4);
    };
    for (int count = 1; count <= DistinctTestColors; ++count) {
        std::vector<TColor> colors;
        std::vector<double> hues;
        for (int i = 0; i < count; ++i) {
            const TColor c = colors.emplace_back(TestColor(i, count));
            hues.push_back(QColor(RedOf(c), GreenOf(c), BlueOf(c)).hsvHueF() * 360);
            const double luminance =
                0.2126 * linear(RedOf(c)) + 0.7152 * linear(GreenOf(c)) + 0.0722 * linear(BlueOf(c));
            EXPECT_GT((0.871 + 0.05) / (luminance + 0.05), 3) << "contrast on the face, " << count;
            EXPECT_TRUE(c != ExcitationColor && c != GridColor) << count;
        }
        EXPECT_EQ(colors.back(), ResponseColor) << "the newest in red";
        for (std::size_t i = 0; i < colors.size(); ++i)
            for (std::size_t k = i + 1; k < colors.size(); ++k)
                EXPECT_GT(std::hypot(RedOf(colors[i]) - RedOf(colors[k]),
                                     GreenOf(colors[i]) - GreenOf(colors[k]),
                                     BlueOf(colors[i]) - BlueOf(colors[k])),
                          25)
                    << count << ": " << i << ", " << k;
        // Round the wheel: no gap between hues much wider than an even share.
        std::sort(hues.begin(), hues.end());
        hues.push_back(hues.front() + 360);
        for (std::size_t i = 1; i < hues.size(); ++i)
            EXPECT_LT(hues[i] - hues[i - 1], 3.5 * 360 / count) << count;
    }
}

TEST(StepPlot, LegendStandsBelowThePlotAreaAndFoldsWhatDoesNotFit) {
    const QString grid = "siatka X= 5[ms]  siatka Y= 10[%]";
    const struct {
        int Count;
        bool TwoAmplitudes;
        std::vector<QString> Others; // the lines that name no test
    } cases[] = {
        {5, false, {grid, "wymuszenie"}},
        {20, false, {grid, "wymuszenie", "+7 starszych"}},
        {25, false, {grid, "kolory się powtarzają", "wymuszenie", "+13 starszych"}},
        {20, true, {grid, "oś Y: % amplitudy", "wymuszenie", "+8 starszych"}},
    };
    for (const auto& c : cases) {
        TRecordingCanvas canvas;
        std::vector<TPlottedTest> tests;
        for (int i = 0; i < c.Count; ++i)
            tests.push_back({c.TwoAmplitudes && i % 2 ? 1000u : 200u, 500, std::vector<std::uint32_t>(500, 0),
                             TestColor(i, c.Count), QString("%1: KP 3,00  KV 4,00  12,50 %").arg(i + 1)});
        DrawStepTests(canvas, 560, 372, tests);
        int lowestDot = 0;
        int legendTop = 372;
        std::vector<QString> others;
        for (const TCanvasCall& call : canvas.Calls) {
            if (call.Op == TCanvasOp::Ellipse && call.X2 - call.X1 == 2)
                lowestDot = std::max(lowestDot, call.Y2);
            if (call.Op == TCanvasOp::Text) {
                legendTop = std::min(legendTop, call.Y1);
                EXPECT_TRUE(call.Y1 + 13 <= 372 && call.X1 + call.Text.size() * 13 / 2 <= 560)
                    << call.Text.toStdString();
                if (!call.Text.contains(": KP"))
                    others.push_back(call.Text);
            }
        }
        EXPECT_LT(lowestDot, legendTop) << c.Count;
        EXPECT_GE(legendTop, 372 * 2 / 3) << c.Count;
        EXPECT_EQ(others, c.Others) << c.Count;
        EXPECT_TRUE(canvas.Calls.back().Text.startsWith(QString("%1: ").arg(c.Count))) << "the newest stays";
    }
}

TEST(StepPlot, DifferentAmplitudesOverlayInPercentOfEach) {
    const TPlottedTest small{200, 500, {0, 100, 250}, TestColor(0, 2), {}};
    const TPlottedTest large{1000, 400, {0, 500, 1250}, ResponseColor, {}};
    const std::vector tests{small, large};
    const TStepWindow window = StepWindow(tests, large);
    EXPECT_TRUE(window.Percent);
    EXPECT_EQ(window.SpanY, 140) << "125 % fits, two tenths up";
    EXPECT_EQ(window.CenterY, 10);

    TRecordingCanvas canvas;
    DrawStepTests(canvas, 560, 372, tests);
    EXPECT_EQ(Discs(canvas, 2, small.Color), Discs(canvas, 2, ResponseColor));
}
