#include "plot/stepplot.h"

#include "plot/plotscale.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace {

constexpr int DotSize = 2;
constexpr int LegendDiscSize = 10;
// Tenths of the amplitude: the grid's step in position, and the room above the target and below the
// start.
constexpr std::uint64_t Tenths = 10;
constexpr std::uint64_t TopTenths = 11;

// Well apart from each other, from the response red, the excitation blue and the grid's grey.
constexpr std::array<TColor, 8> EarlierColors = {
    ColorFromRgb(0, 150, 0),   ColorFromRgb(230, 120, 0), ColorFromRgb(150, 0, 200),
    ColorFromRgb(0, 160, 160), ColorFromRgb(140, 80, 20), ColorFromRgb(220, 0, 150),
    ColorFromRgb(130, 130, 0), ColorFromRgb(0, 140, 220),
};

// Draws item k for k = 0 .. last whose key (a pixel row or column, monotone in k) differs from that
// of the item before it. Items with the same key draw the same pixels, so the picture is that of
// drawing every item, at the cost of one item per distinct key: the next key is found by bisection.
template <typename Key, typename Draw> void DrawDistinct(std::int64_t last, Key key, Draw draw) {
    for (std::int64_t k = 0; k <= last;) {
        const int current = key(k);
        draw(k);
        std::int64_t low = k + 1;
        std::int64_t high = last + 1;
        while (low < high) {
            const std::int64_t middle = low + (high - low) / 2;
            if (key(middle) == current)
                low = middle + 1;
            else
                high = middle;
        }
        k = low;
    }
}

// The commanded step of the reference: one dot per pulse up the edge at time 0, one per sample along
// the target level; for a large amplitude far more dots than the edge has pixel rows.
void DrawExcitation(TPlotScale& scale, std::uint32_t amplitude, int sampleCount, double n) {
    const double a = amplitude;
    const auto edgeY = [&](std::int64_t k) { return double(k) - a / 2; };
    DrawDistinct(
        amplitude, [&](std::int64_t k) { return scale.MapY(edgeY(k)); },
        [&](std::int64_t k) { scale.DrawMarker(-n / 2, edgeY(k), DotSize, msCircle, ExcitationColor); });
    const auto levelX = [&](std::int64_t j) { return double(j) - n / 2; };
    DrawDistinct(
        sampleCount, [&](std::int64_t j) { return scale.MapX(levelX(j)); },
        [&](std::int64_t j) { scale.DrawMarker(levelX(j), a / 2, DotSize, msCircle, ExcitationColor); });
}

// The legend below the middle of the plot: the grid's steps, the step, then one line per test, each
// with its disc left of it. The first three lines stand a tenth of the amplitude apart, further lines
// one line of text apart; a legend too long for the room below moves up.
void DrawLegend(TCanvas& canvas, TPlotScale& scale, int height, std::span<const TPlottedTest> tests,
                double a) {
    const int gridRow = scale.MapY(-0.3 * a);
    const int excitationRow = scale.MapY(-0.4 * a);
    const int firstTestRow = scale.MapY(-0.5 * a);
    const int discOffset = scale.MapY(-0.52 * a) - firstTestRow;
    const int lineStep = std::max(canvas.TextHeight() + 2, 1);
    const int lastBottom = firstTestRow + int(tests.size() - 1) * lineStep + canvas.TextHeight();
    const int shift = std::clamp(lastBottom - height, 0, std::max(gridRow, 0));
    const int column = scale.MapX(0);
    const int discColumn = scale.MapX(-5);
    const auto disc = [&](int textRow, TColor color) {
        const TColor pen = canvas.PenColor();
        const TColor brush = canvas.BrushColor();
        canvas.SetPenColor(color);
        canvas.SetBrushColor(color);
        const int half = LegendDiscSize / 2;
        const int row = textRow + discOffset;
        canvas.Ellipse(discColumn - half, row - half, discColumn + half, row + half);
        canvas.SetPenColor(pen);
        canvas.SetBrushColor(brush);
    };
    disc(excitationRow - shift, ExcitationColor);
    canvas.TextOut(column, excitationRow - shift, QStringLiteral("wymuszenie"));
    for (std::size_t i = 0; i < tests.size(); ++i) {
        const int row = firstTestRow + int(i) * lineStep - shift;
        disc(row, tests[i].Color);
        canvas.TextOut(column, row, tests[i].Label);
    }
    canvas.TextOut(column, gridRow - shift, QStringLiteral("siatka X= 5[ms]  siatka Y= 10[%]"));
}

} // namespace

TColor TestColor(int number, bool newest) {
    if (newest)
        return ResponseColor;
    const auto index = std::size_t(std::max(number - 1, 0)) % EarlierColors.size();
    return EarlierColors[index];
}

TStepWindow StepWindow(std::span<const TPlottedTest> tests, const TPlottedTest& reference) {
    int sampleCount = reference.SampleCount;
    std::uint64_t highest = 0;
    for (const TPlottedTest& test : tests) {
        sampleCount = std::max(sampleCount, test.SampleCount);
        for (const std::uint32_t r : test.Relative)
            if (r != NoSample)
                highest = std::max<std::uint64_t>(highest, r);
    }
    const std::uint64_t a = reference.Amplitude;
    // The fewest whole tenths k above the usual top at 1.1 × A that bring the highest sample within:
    // 10 × highest <= (11 + k) × A.
    const std::uint64_t k =
        Tenths * highest <= TopTenths * a ? 0 : (Tenths * highest - TopTenths * a + a - 1) / a;
    const double tenth = double(a) / double(Tenths);
    return {sampleCount, double(k) * tenth / 2, 1.2 * double(sampleCount),
            1.2 * double(a) + double(k) * tenth};
}

void DrawStepTests(TCanvas& canvas, int width, int height, std::span<const TPlottedTest> tests) {
    assert(!tests.empty() && width != 0 && height != 0);
    const TPlottedTest& reference = tests.back();
    assert(reference.Amplitude >= 1 && reference.SampleCount >= 1);
    const TStepWindow window = StepWindow(tests, reference);
    const double a = reference.Amplitude;
    const double n = window.SampleCount;
    // Time 0 at x = -N/2 and the start position at y = -A/2, so the window centres on the step.
    TPlotScale scale(0, 0, width, height, 0, window.CenterY, window.SpanX, window.SpanY, canvas);
    scale.DrawGrid(10, a / 10, GridColor);
    DrawExcitation(scale, reference.Amplitude, window.SampleCount, n);
    for (const TPlottedTest& test : tests)
        for (std::size_t i = 0; i < test.Relative.size(); ++i)
            if (test.Relative[i] != NoSample)
                scale.DrawMarker(double(i) - n / 2, double(test.Relative[i]) - a / 2, DotSize, msCircle,
                                 test.Color);
    DrawLegend(canvas, scale, height, tests, a);
}

void DrawStepTest(TCanvas& canvas, int width, int height, std::uint32_t amplitude, int sampleCount,
                  std::span<const std::uint32_t> relative) {
    const TPlottedTest test{amplitude,
                            sampleCount,
                            {relative.begin(), relative.end()},
                            ResponseColor,
                            QStringLiteral("odpowiedź")};
    DrawStepTests(canvas, width, height, std::span(&test, 1));
}

void WipeStepPlot(TCanvas& canvas, int width, int height, TColor background) {
    const TColor pen = canvas.PenColor();
    const TColor brush = canvas.BrushColor();
    canvas.SetPenColor(BlackColor);
    canvas.SetBrushColor(background);
    canvas.Rectangle(0, 0, width, height);
    canvas.SetPenColor(pen);
    canvas.SetBrushColor(brush);
}
