#include "plot/stepplot.h"

#include "plot/plotscale.h"

#include <QString>
#include <cassert>

namespace {

constexpr int DotSize = 2;
constexpr int LegendDiscSize = 10;

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

} // namespace

void DrawStepTest(TCanvas& canvas, int width, int height, std::uint32_t amplitude, int sampleCount,
                  std::span<const std::uint32_t> relative) {
    assert(amplitude >= 1 && sampleCount >= 1 && width != 0 && height != 0);
    const double a = amplitude;
    const double n = sampleCount;
    // Time 0 at x = -N/2 and the start position at y = -A/2, so the window centres on the step.
    TPlotScale scale(0, 0, width, height, 0, 0, 1.2 * n, 1.2 * a, canvas);
    scale.DrawGrid(10, a / 10, GridColor);

    // The edge has one dot per pulse of the amplitude, which for a large amplitude is far more dots
    // than it has pixel rows.
    const auto edgeY = [&](std::int64_t k) { return double(k) - a / 2; };
    DrawDistinct(
        amplitude, [&](std::int64_t k) { return scale.MapY(edgeY(k)); },
        [&](std::int64_t k) { scale.DrawMarker(-n / 2, edgeY(k), DotSize, msCircle, ExcitationColor); });
    const auto levelX = [&](std::int64_t j) { return double(j) - n / 2; };
    DrawDistinct(
        sampleCount, [&](std::int64_t j) { return scale.MapX(levelX(j)); },
        [&](std::int64_t j) { scale.DrawMarker(levelX(j), a / 2, DotSize, msCircle, ExcitationColor); });

    // A sample that did not come (the largest value, never a position) leaves a gap.
    for (std::size_t i = 0; i < relative.size(); ++i)
        if (relative[i] != UINT32_MAX)
            scale.DrawMarker(double(i) - n / 2, double(relative[i]) - a / 2, DotSize, msCircle,
                             ResponseColor);

    scale.DrawMarker(-5, -0.42 * a, LegendDiscSize, msCircle, ExcitationColor);
    scale.DrawText(0, -0.4 * a, QStringLiteral("wymuszenie"));
    scale.DrawMarker(-5, -0.52 * a, LegendDiscSize, msCircle, ResponseColor);
    scale.DrawText(0, -0.5 * a, QStringLiteral("odpowiedź"));
    scale.DrawText(0, -0.3 * a, QStringLiteral("siatka X= 5[ms]  siatka Y= 10[%]"));
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
