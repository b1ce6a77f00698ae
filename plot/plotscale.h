#pragma once

#include "plot/canvas.h"

#include <QString>
#include <cstdint>

// Point markers. Any other value draws nothing.
enum TMarkerShape : std::uint8_t {
    msCircle = 0, // filled disc
    msSquare = 1, // filled square
    msCross = 2,  // upright cross
};

// Binds a canvas to a rectangle of pixels and a window of world coordinates (given by its centre and
// spans), and draws grid lines, texts and markers in world coordinates. Made for one drawing pass: the
// mapping is fixed at construction, and nothing is kept but what is drawn onto the canvas. Every
// operation leaves the canvas's pen and brush colours as it found them.
//
// The window's minimum x maps to column PixelLeft and its maximum to PixelLeft + PixelWidth; its
// maximum y maps to row PixelTop and its minimum to PixelTop + PixelHeight. The spans and the pixel
// sizes must be non-zero; the canvas must outlive the object.
class TPlotScale {
public:
    TPlotScale(int pixelLeft, int pixelTop, int pixelWidth, int pixelHeight, double centerX, double centerY,
               double spanX, double spanY, TCanvas& canvas);

    // Pixel column and row of a world point, truncated toward zero (-0.7 gives 0). Points far off the
    // surface are held at ±2^30, a NaN maps to 0.
    int MapX(double x) const;
    int MapY(double y) const;

    // Lines through the origin every StepX and StepY, by repeated addition from the origin in both
    // directions, each bound inclusive; the origin's lines are drawn once by each direction. Every line
    // spans the whole of [MinX, MaxX] or [MinY, MaxY]. A step that is not greater than zero draws no
    // lines in its direction, and a pass stops where adding the step no longer moves the position.
    void DrawGridLines(double originX, double originY, double minX, double maxX, double minY, double maxY,
                       double stepX, double stepY, TColor color);
    // DrawGridLines over the whole window.
    void DrawGridFrom(double originX, double originY, double stepX, double stepY, TColor color);
    // DrawGridFrom with the origin at the window's lower-left corner.
    void DrawGrid(double stepX, double stepY, TColor color);

    // The text with its top-left corner at the point, on the canvas's brush colour.
    void DrawText(double x, double y, const QString& text);

    // A marker centred on the point, Size / 2 pixels to each side.
    void DrawMarker(double x, double y, int size, TMarkerShape shape, TColor color);

private:
    void SetRanges(int pixelLeft, int pixelTop, int pixelWidth, int pixelHeight, double centerX,
                   double centerY, double spanX, double spanY);

    double FScaleX = 0;
    double FOffsetX = 0;
    double FScaleY = 0;
    double FOffsetY = 0;
    TCanvas& FCanvas;
    double FCenterX;
    double FCenterY;
    double FSpanX;
    double FSpanY;
};
