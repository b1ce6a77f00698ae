#include "plot/plotscale.h"

#include <cmath>

namespace {

// Far beyond any surface, and small enough that a marker box of any int size around it stays in range.
constexpr int PixelLimit = 1 << 30;

int TruncToPixel(double value) {
    if (std::isnan(value))
        return 0;
    if (value <= -PixelLimit)
        return -PixelLimit;
    if (value >= PixelLimit)
        return PixelLimit;
    return static_cast<int>(value);
}

// Saves the pen colour and gives it back when the drawing is done.
class TPenColorScope {
public:
    TPenColorScope(TCanvas& canvas, TColor color) : FCanvas(canvas), FSaved(canvas.PenColor()) {
        canvas.SetPenColor(color);
    }
    ~TPenColorScope() { FCanvas.SetPenColor(FSaved); }
    TPenColorScope(const TPenColorScope&) = delete;
    TPenColorScope& operator=(const TPenColorScope&) = delete;

private:
    TCanvas& FCanvas;
    TColor FSaved;
};

// Calls draw(position) from the origin outward by repeated addition of delta while the position stays
// within the bound. A step of zero or below never reaches the bound, and one too small to change the
// position never moves, so both end the pass.
template <typename Within, typename Draw>
void WalkLines(double origin, double step, double delta, Within within, Draw draw) {
    if (!(step > 0))
        return;
    for (double position = origin; within(position);) {
        draw(position);
        const double next = position + delta;
        if (next == position)
            return;
        position = next;
    }
}

} // namespace

TPlotScale::TPlotScale(int pixelLeft, int pixelTop, int pixelWidth, int pixelHeight, double centerX,
                       double centerY, double spanX, double spanY, TCanvas& canvas)
    : FCanvas(canvas), FCenterX(centerX), FCenterY(centerY), FSpanX(spanX), FSpanY(spanY) {
    SetRanges(pixelLeft, pixelTop, pixelWidth, pixelHeight, centerX, centerY, spanX, spanY);
}

void TPlotScale::SetRanges(int pixelLeft, int pixelTop, int pixelWidth, int pixelHeight, double centerX,
                           double centerY, double spanX, double spanY) {
    FScaleX = pixelWidth / spanX;
    FOffsetX = pixelLeft - (centerX - spanX / 2) * FScaleX;
    FScaleY = -pixelHeight / spanY;
    FOffsetY = pixelTop - (centerY + spanY / 2) * FScaleY;
}

int TPlotScale::MapX(double x) const {
    return TruncToPixel(FScaleX * x + FOffsetX);
}

int TPlotScale::MapY(double y) const {
    return TruncToPixel(FScaleY * y + FOffsetY);
}

void TPlotScale::DrawGridLines(double originX, double originY, double minX, double maxX, double minY,
                               double maxY, double stepX, double stepY, TColor color) {
    const TPenColorScope pen(FCanvas, color);
    const int left = MapX(minX);
    const int right = MapX(maxX);
    const int bottom = MapY(minY);
    const int top = MapY(maxY);
    const auto vertical = [&](double x) {
        const int column = MapX(x);
        FCanvas.MoveTo(column, bottom);
        FCanvas.LineTo(column, top);
    };
    const auto horizontal = [&](double y) {
        const int row = MapY(y);
        FCanvas.MoveTo(left, row);
        FCanvas.LineTo(right, row);
    };
    WalkLines(
        originX, stepX, -stepX, [&](double x) { return x >= minX; }, vertical);
    WalkLines(
        originX, stepX, stepX, [&](double x) { return x <= maxX; }, vertical);
    WalkLines(
        originY, stepY, -stepY, [&](double y) { return y >= minY; }, horizontal);
    WalkLines(
        originY, stepY, stepY, [&](double y) { return y <= maxY; }, horizontal);
}

void TPlotScale::DrawGridFrom(double originX, double originY, double stepX, double stepY, TColor color) {
    DrawGridLines(originX, originY, FCenterX - FSpanX / 2, FCenterX + FSpanX / 2, FCenterY - FSpanY / 2,
                  FCenterY + FSpanY / 2, stepX, stepY, color);
}

void TPlotScale::DrawGrid(double stepX, double stepY, TColor color) {
    DrawGridFrom(FCenterX - FSpanX / 2, FCenterY - FSpanY / 2, stepX, stepY, color);
}

void TPlotScale::DrawText(double x, double y, const QString& text) {
    FCanvas.TextOut(MapX(x), MapY(y), text);
}

void TPlotScale::DrawMarker(double x, double y, int size, TMarkerShape shape, TColor color) {
    const int column = MapX(x);
    const int row = MapY(y);
    const int half = size / 2;
    const TColor savedPen = FCanvas.PenColor();
    const TColor savedBrush = FCanvas.BrushColor();
    FCanvas.SetPenColor(color);
    FCanvas.SetBrushColor(color);
    switch (shape) {
    case msCircle:
        FCanvas.Ellipse(column - half, row - half, column + half, row + half);
        break;
    case msSquare:
        FCanvas.Rectangle(column - half, row - half, column + half, row + half);
        break;
    case msCross:
        FCanvas.MoveTo(column - half, row);
        FCanvas.LineTo(column + half, row);
        FCanvas.MoveTo(column, row - half);
        FCanvas.LineTo(column, row + half);
        break;
    }
    FCanvas.SetPenColor(savedPen);
    FCanvas.SetBrushColor(savedBrush);
}
