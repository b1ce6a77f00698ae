#pragma once

#include "plot/canvas.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>

// A canvas over an image, such as the backing image a page keeps for its plot so that what is drawn
// survives repaints. It paints whole pixels with no smoothing, to the box rules of TCanvas; texts are
// written in black with the given font. The image must be one QPainter can paint on (RGB32 or ARGB32)
// and must outlive the canvas. Like a fresh paint box's canvas, the pen starts black and the brush in
// the surface's background colour.
class TPainterCanvas final : public TCanvas {
public:
    TPainterCanvas(QImage& image, TColor background, const QFont& font = QFont());

    TColor PenColor() const override { return FPenColor; }
    void SetPenColor(TColor color) override { FPenColor = color; }
    TColor BrushColor() const override { return FBrushColor; }
    void SetBrushColor(TColor color) override { FBrushColor = color; }

    void MoveTo(int x, int y) override { FPenPosition = QPoint(x, y); }
    void LineTo(int x, int y) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void TextOut(int x, int y, const QString& text) override;
    int TextHeight() const override;
    int TextWidth(const QString& text) const override;

private:
    // Paints the columns from .. to - 1 of one row, as far as they lie on the image.
    void FillSpan(int row, long long from, long long to, TColor color);

    QPainter FPainter;
    int FWidth;
    int FHeight;
    TColor FPenColor = BlackColor;
    TColor FBrushColor;
    QPoint FPenPosition;
};
