#pragma once

#include "plot/canvas.h"

#include <QString>
#include <cstdint>
#include <span>
#include <vector>

constexpr TColor GridColor = ColorFromRgb(128, 128, 128);
constexpr TColor ExcitationColor = ColorFromRgb(0, 0, 255);
constexpr TColor ResponseColor = ColorFromRgb(255, 0, 0);

// Stands in a test's relative positions for a sample that did not arrive; it is not drawn.
constexpr std::uint32_t NoSample = 0xFFFFFFFF;

// The colour of a test on the plot: the newest in the response red, every earlier one a colour of a
// fixed palette, chosen by its number so that it keeps its colour while tests come and go.
TColor TestColor(int number, bool newest);

// One test to draw: the step asked of the drive, the position of each sample relative to the start
// (NoSample where one is missing), its colour and its line in the legend.
struct TPlottedTest {
    std::uint32_t Amplitude = 1; // at least 1
    int SampleCount = 1;         // at least 1
    std::vector<std::uint32_t> Relative;
    TColor Color = ResponseColor;
    QString Label;
};

// The world window of a plot: centred on the step in time, the commanded step centred in position.
struct TStepWindow {
    int SampleCount = 1; // the time axis's length in samples
    double CenterY = 0;
    double SpanX = 0;
    double SpanY = 0;
};

// The time axis spans the most samples any test asked for and the position axis the reference
// test's amplitude, each with a tenth to spare on both sides; the position axis then grows upward
// in whole tenths of the amplitude, the grid's step, until the highest sample of every test lies
// within it.
TStepWindow StepWindow(std::span<const TPlottedTest> tests, const TPlottedTest& reference);

// Draws the tests over whatever the canvas shows, on a width × height surface, the last of them the
// reference: the grid (5 ms and a tenth of the reference's amplitude), the reference's commanded step
// in blue, one dot per received sample of each test at its relative position in the test's colour,
// oldest first, and the legend: the grid's steps, the step, and a line per test in its colour. The
// legend texts take the canvas's brush colour as their background. Tests must not be empty, width and
// height non-zero.
void DrawStepTests(TCanvas& canvas, int width, int height, std::span<const TPlottedTest> tests);

// One test alone, in the response red, named "odpowiedź" in the legend.
void DrawStepTest(TCanvas& canvas, int width, int height, std::uint32_t amplitude, int sampleCount,
                  std::span<const std::uint32_t> relative);

// Wipes the plot: the whole surface in the background colour inside a one-pixel black frame. The
// canvas's colours are left as they were.
void WipeStepPlot(TCanvas& canvas, int width, int height, TColor background);
