#pragma once

#include <QString>
#include <cstdint>

// A colour as one integer, red in the lowest byte, then green, then blue (0x00BBGGRR).
using TColor = std::uint32_t;

constexpr TColor ColorFromRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return TColor(red) | TColor(green) << 8 | TColor(blue) << 16;
}

constexpr std::uint8_t RedOf(TColor color) {
    return std::uint8_t(color);
}
constexpr std::uint8_t GreenOf(TColor color) {
    return std::uint8_t(color >> 8);
}
constexpr std::uint8_t BlueOf(TColor color) {
    return std::uint8_t(color >> 16);
}

constexpr TColor BlackColor = ColorFromRgb(0, 0, 0);

// The drawing surface the plots draw on. Coordinates are pixels, x to the right and y down. A box
// (x1, y1, x2, y2) covers the columns x1 .. x2 - 1 and the rows y1 .. y2 - 1: it includes its left and
// top edge and excludes its right and bottom edge, so a box of 0, 0, width, height covers the surface
// exactly. Pen and brush are one pixel wide and solid; only their colours change.
class TCanvas {
public:
    virtual ~TCanvas() = default;

    virtual TColor PenColor() const = 0;
    virtual void SetPenColor(TColor color) = 0;
    virtual TColor BrushColor() const = 0;
    virtual void SetBrushColor(TColor color) = 0;

    // Moves the pen without drawing.
    virtual void MoveTo(int x, int y) = 0;
    // A line in the pen colour from the pen position up to, but not including, (x, y); the pen then
    // stands at (x, y).
    virtual void LineTo(int x, int y) = 0;
    // The ellipse inscribed in the box, filled with the brush and outlined with the pen inside the box.
    virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
    // The box filled with the brush and framed with the pen along its inner edge.
    virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
    // The text with its top-left corner at (x, y), on an opaque background of the brush colour.
    virtual void TextOut(int x, int y, const QString& text) = 0;
    // The height in pixels of a line of text as TextOut writes it.
    virtual int TextHeight() const = 0;
    // The width in pixels of the text as TextOut writes it.
    virtual int TextWidth(const QString& text) const = 0;
};
