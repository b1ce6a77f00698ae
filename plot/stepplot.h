#pragma once

#include "plot/canvas.h"

#include <cstdint>
#include <span>

constexpr TColor GridColor = ColorFromRgb(128, 128, 128);
constexpr TColor ExcitationColor = ColorFromRgb(0, 0, 255);
constexpr TColor ResponseColor = ColorFromRgb(255, 0, 0);

// Draws one step test over whatever the canvas shows, on a width × height surface: the grid (5 ms and
// a tenth of the amplitude), the commanded step in blue, one red dot per received sample at its
// relative position, and the legend. The time axis spans the samples asked for, the position axis the
// amplitude, each with a tenth to spare on both sides. The legend texts take the canvas's brush colour
// as their background. Amplitude and sampleCount must be at least 1, width and height non-zero.
void DrawStepTest(TCanvas& canvas, int width, int height, std::uint32_t amplitude, int sampleCount,
                  std::span<const std::uint32_t> relative);

// Wipes the plot: the whole surface in the background colour inside a one-pixel black frame. The
// canvas's colours are left as they were.
void WipeStepPlot(TCanvas& canvas, int width, int height, TColor background);
