#include "plot/stepplot.h"

#include "plot/plotscale.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <numbers>
#include <numeric>
#include <optional>

namespace {

constexpr int DotSize = 2;
constexpr int LegendDiscSize = 10;
// The legend stands below the plot area, a gap apart from it and a margin from the left edge; a text
// stands right of its disc, and a column from the next by the column gap.
constexpr int LegendGap = 4;
constexpr int LegendMargin = 8;
constexpr int LegendTextOffset = LegendDiscSize + 4;
constexpr int LegendColumnGap = 16;
// Tenths of the step: the grid's step in position, and the room above the target and below the
// start.
constexpr std::uint64_t Tenths = 10;
constexpr std::uint64_t TopTenths = 11;
// Test colours go round the OKLCH hue wheel from the response red: there equal steps of hue look
// equally far apart, where evenly spaced HSV hues crowd the greens. Each is as vivid as the screen
// shows it at one lightness; at 0.6 they stand out on the light grey face by more than 3 : 1, and
// none is near white. Where hues lie closer than a tenth of the wheel, every other one is darker too.
constexpr double RedHue = 29.2339;
constexpr double Lightness = 0.6;
constexpr double DarkLightness = 0.46;
// Stepping through the hues by about this share of the wheel (that of the golden ratio) puts tests
// shown one after the other, which are often alike, far apart in colour.
constexpr double HueStride = 0.382;

// The linear sRGB of an OKLab colour.
std::array<double, 3> LinearRgb(double lightness, double a, double b) {
    const double l = std::pow(lightness + 0.3963377774 * a + 0.2158037573 * b, 3);
    const double m = std::pow(lightness - 0.1055613458 * a - 0.0638541728 * b, 3);
    const double s = std::pow(lightness - 0.0894841775 * a - 1.2914855480 * b, 3);
    return {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
            -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
            -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
}

std::uint8_t GammaByte(double linear) {
    const double c = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return std::uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255));
}

// The most saturated colour of the hue (in degrees) at the lightness that the screen can show.
TColor VividColor(double lightness, double hue) {
    const double radians = hue * std::numbers::pi / 180;
    const auto at = [&](double chroma) {
        return LinearRgb(lightness, chroma * std::cos(radians), chroma * std::sin(radians));
    };
    double low = 0;
    double high = 0.4;
    while (high - low > 1e-9) {
        const double middle = (low + high) / 2;
        const std::array<double, 3> rgb = at(middle);
        const bool shown = std::all_of(rgb.begin(), rgb.end(), [](double c) { return c >= 0 && c <= 1; });
        (shown ? low : high) = middle;
    }
    const std::array<double, 3> rgb = at(low);
    return ColorFromRgb(GammaByte(rgb[0]), GammaByte(rgb[1]), GammaByte(rgb[2]));
}

// The step, nearest HueStride of the number of hues, that visits every hue once going round.
int HueStep(int hues) {
    const double ideal = HueStride * hues;
    int best = 1;
    for (int stride = 2; stride < hues; ++stride)
        if (std::gcd(stride, hues) == 1 && std::abs(stride - ideal) < std::abs(best - ideal))
            best = stride;
    return best;
}

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

// The commanded step of the reference, StepY high: one dot per pulse up the edge at time 0, one per
// sample along the target level; for a large amplitude far more dots than the edge has pixel rows.
void DrawExcitation(TPlotScale& scale, std::uint32_t amplitude, const TStepWindow& window) {
    const double s = window.StepY;
    const double n = window.SampleCount;
    const double perPulse = s / amplitude;
    const auto edgeY = [&](std::int64_t k) { return double(k) * perPulse - s / 2; };
    DrawDistinct(
        amplitude, [&](std::int64_t k) { return scale.MapY(edgeY(k)); },
        [&](std::int64_t k) { scale.DrawMarker(-n / 2, edgeY(k), DotSize, msCircle, ExcitationColor); });
    const auto levelX = [&](std::int64_t j) { return double(j) - n / 2; };
    DrawDistinct(
        window.SampleCount, [&](std::int64_t j) { return scale.MapX(levelX(j)); },
        [&](std::int64_t j) { scale.DrawMarker(levelX(j), s / 2, DotSize, msCircle, ExcitationColor); });
}

// A line of the legend, with a disc in its colour before it, or without.
struct TLegendLine {
    QString Text;
    std::optional<TColor> Disc;
};

// The legend's lines as they fit below the plot area, filled column by column, and what is left of
// the height for the plot area.
struct TLegend {
    std::vector<TLegendLine> Lines;
    int Rows = 0;
    int ColumnWidth = 0;
    int LineStep = 1;
    int PlotHeight = 0;
};

TLegend LayOutLegend(const TCanvas& canvas, int width, int height, std::span<const TPlottedTest> tests,
                     bool percent) {
    TLegend legend;
    std::vector<TLegendLine> notes = {{QStringLiteral("siatka X= 5[ms]  siatka Y= 10[%]"), {}}};
    if (percent)
        notes.push_back({QStringLiteral("oś Y: % amplitudy"), {}});
    if (tests.size() > std::size_t(DistinctTestColors))
        notes.push_back({QStringLiteral("kolory się powtarzają"), {}});
    const auto label = [&](const TPlottedTest& test) {
        // Each test is drawn in % of its own amplitude, so the legend tells the amplitudes apart.
        return percent ? QStringLiteral("%1  A=%2").arg(test.Label).arg(test.Amplitude) : test.Label;
    };
    const QString excitation = QStringLiteral("wymuszenie");

    int widest = canvas.TextWidth(excitation);
    for (const TPlottedTest& test : tests)
        widest = std::max(widest, canvas.TextWidth(label(test)));
    for (const TLegendLine& note : notes)
        widest = std::max(widest, canvas.TextWidth(note.Text));
    legend.LineStep = std::max(canvas.TextHeight() + 2, 1);
    legend.ColumnWidth = LegendTextOffset + widest + LegendColumnGap;
    // The last column needs no gap after it.
    const int columns = std::max((width - LegendMargin + LegendColumnGap) / legend.ColumnWidth, 1);
    // The plot area keeps two thirds of the height.
    const int maxRows = std::max(height / 3 - LegendGap, 0) / legend.LineStep;
    const auto room = std::size_t(columns * maxRows);

    // The newest tests that fit keep their lines, after one that counts the others.
    const std::size_t all = tests.size() + notes.size() + 1;
    const std::size_t fixed = notes.size() + 2;
    const std::size_t kept = all <= room ? tests.size() : room > fixed ? room - fixed : 0;
    // The notes on the axes head the legend.
    legend.Lines = notes;
    legend.Lines.push_back({excitation, ExcitationColor});
    if (kept < tests.size())
        legend.Lines.push_back({QStringLiteral("+%1 starszych").arg(tests.size() - kept), {}});
    for (const TPlottedTest& test : tests.last(kept))
        legend.Lines.push_back({label(test), test.Color});
    legend.Lines.resize(std::min(legend.Lines.size(), room));

    legend.Rows = (int(legend.Lines.size()) + columns - 1) / columns;
    legend.PlotHeight = height - (legend.Rows > 0 ? legend.Rows * legend.LineStep + LegendGap : 0);
    return legend;
}

void DrawLegend(TCanvas& canvas, const TLegend& legend) {
    const int top = legend.PlotHeight + LegendGap;
    const int discTop = (canvas.TextHeight() - LegendDiscSize) / 2;
    for (std::size_t i = 0; i < legend.Lines.size(); ++i) {
        const TLegendLine& line = legend.Lines[i];
        const int x = LegendMargin + int(i) / legend.Rows * legend.ColumnWidth;
        const int y = top + int(i) % legend.Rows * legend.LineStep;
        if (line.Disc) {
            const TColor pen = canvas.PenColor();
            const TColor brush = canvas.BrushColor();
            canvas.SetPenColor(*line.Disc);
            canvas.SetBrushColor(*line.Disc);
            canvas.Ellipse(x, y + discTop, x + LegendDiscSize, y + discTop + LegendDiscSize);
            canvas.SetPenColor(pen);
            canvas.SetBrushColor(brush);
        }
        canvas.TextOut(x + LegendTextOffset, y, line.Text);
    }
}

// The fewest whole tenths k above the usual top at 1.1 × A that bring the highest sample within:
// 10 × highest <= (11 + k) × A.
std::uint64_t TenthsAbove(std::uint64_t highest, std::uint64_t a) {
    return Tenths * highest <= TopTenths * a ? 0 : (Tenths * highest - TopTenths * a + a - 1) / a;
}

} // namespace

TColor TestColor(int index, int count) {
    const int hues = std::clamp(count, 1, DistinctTestColors);
    const int fromNewest = std::max(count - 1 - index, 0) % hues;
    const int hue = fromNewest * HueStep(hues) % hues;
    if (hue == 0)
        return ResponseColor;
    const bool dark = hues > 10 && hue % 2 == 1;
    return VividColor(dark ? DarkLightness : Lightness, RedHue + 360.0 * hue / hues);
}

TStepWindow StepWindow(std::span<const TPlottedTest> tests, const TPlottedTest& reference) {
    int sampleCount = reference.SampleCount;
    bool percent = false;
    std::uint64_t k = 0;
    for (const TPlottedTest& test : tests) {
        sampleCount = std::max(sampleCount, test.SampleCount);
        percent = percent || test.Amplitude != reference.Amplitude;
        std::uint64_t highest = 0;
        for (const std::uint32_t r : test.Relative)
            if (r != NoSample)
                highest = std::max<std::uint64_t>(highest, r);
        k = std::max(k, TenthsAbove(highest, test.Amplitude));
    }
    const double step = percent ? 100 : double(reference.Amplitude);
    const double tenth = step / double(Tenths);
    return {sampleCount,
            double(k) * tenth / 2,
            1.2 * double(sampleCount),
            1.2 * step + double(k) * tenth,
            percent,
            step};
}

void DrawStepTests(TCanvas& canvas, int width, int height, std::span<const TPlottedTest> tests) {
    assert(!tests.empty() && width != 0 && height != 0);
    const TPlottedTest& reference = tests.back();
    assert(reference.Amplitude >= 1 && reference.SampleCount >= 1);
    const TStepWindow window = StepWindow(tests, reference);
    const TLegend legend = LayOutLegend(canvas, width, height, tests, window.Percent);
    const double s = window.StepY;
    const double n = window.SampleCount;
    // Time 0 at x = -N/2 and the start position at y = -S/2, so the window centres on the step.
    TPlotScale scale(0, 0, width, legend.PlotHeight, 0, window.CenterY, window.SpanX, window.SpanY, canvas);
    scale.DrawGrid(10, s / 10, GridColor);
    DrawExcitation(scale, reference.Amplitude, window);
    for (const TPlottedTest& test : tests) {
        const double perPulse = s / test.Amplitude;
        for (std::size_t i = 0; i < test.Relative.size(); ++i)
            if (test.Relative[i] != NoSample)
                scale.DrawMarker(double(i) - n / 2, double(test.Relative[i]) * perPulse - s / 2, DotSize,
                                 msCircle, test.Color);
    }
    DrawLegend(canvas, legend);
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
