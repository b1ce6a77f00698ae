#pragma once

#include "plot/canvas.h"

#include <QString>
#include <cstdint>
#include <span>
#include <vector>

constexpr TColor GridColor = ColorFromRgb(128, 128, 128);
// Black, so that no test's colour, wherever on the colour wheel, is taken for the commanded step.
constexpr TColor ExcitationColor = BlackColor;
constexpr TColor ResponseColor = ColorFromRgb(255, 0, 0);

// Stands in a test's relative positions for a sample that did not arrive; it is not drawn.
constexpr std::uint32_t NoSample = 0xFFFFFFFF;

// Up to this many tests shown together have colours of their own; beyond it colours repeat.
constexpr int DistinctTestColors = 20;

// The colour of the test at index (0 the oldest) among count tests shown together, the one colour
// the plot and the history give it. The hues of the tests shown are spread evenly around the colour
// wheel, the newest in the response red, and tests shown one after the other get hues far apart; all
// are about as dark as that red, to read on a light background, and more than ten alternate with
// darker ones.
TColor TestColor(int index, int count);

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
    // Positions are in % of each test's own amplitude: the tests' amplitudes differ.
    bool Percent = false;
    // The step's height: the reference's amplitude in pulses, or 100 %.
    double StepY = 0;
};

// The time axis spans the most samples any test asked for and the position axis the step, each with
// a tenth to spare on both sides; the position axis then grows upward in whole tenths of the step,
// the grid's step, until the highest sample of every test lies within it. The step is the reference
// test's amplitude, or 100 % when the tests' amplitudes differ.
TStepWindow StepWindow(std::span<const TPlottedTest> tests, const TPlottedTest& reference);

// Draws the tests over whatever the canvas shows, on a width × height surface, the last of them the
// reference. The plot area spans the surface's width and its height less the legend's rows below it:
// the grid (5 ms and a tenth of the step), the commanded step, and one dot per received sample of
// each test at its relative position in the test's colour, oldest first. The legend, in columns as
// wide as its longest line, filled downward, opens with the grid's steps and, where they apply, that
// the axis is in % of each test's amplitude (each test's line then names its amplitude) and that
// colours repeat; then a line for the step and one per test, each after a disc in its colour. It
// takes at most a third of the height: the newest tests that fit keep their lines, after a line
// counting the older ones left out. The legend texts take the canvas's brush colour as their
// background. Tests must not be empty, width and height non-zero.
void DrawStepTests(TCanvas& canvas, int width, int height, std::span<const TPlottedTest> tests);

// One test alone, in the response red, named "odpowiedź" in the legend.
void DrawStepTest(TCanvas& canvas, int width, int height, std::uint32_t amplitude, int sampleCount,
                  std::span<const std::uint32_t> relative);

// Wipes the plot: the whole surface in the background colour inside a one-pixel black frame. The
// canvas's colours are left as they were.
void WipeStepPlot(TCanvas& canvas, int width, int height, TColor background);
