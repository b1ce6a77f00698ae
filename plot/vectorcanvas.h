#pragma once

#include "plot/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPointF>

// A canvas that draws shapes, not pixels, on a painter of any device, such as a PDF page: lines,
// ellipses and boxes go out as paths and texts as text, so the drawing keeps its detail at any zoom.
// Coordinates are the canvas's pixels, mapped by the painter's transform; the boxes keep the rules of
// TCanvas (a box covers x1 .. x2 - 1). Texts are written in black with the given font. The painter's
// state is restored when the canvas ends.
class TVectorCanvas final : public TCanvas {
public:
    TVectorCanvas(QPainter& painter, TColor background, const QFont& font);
    ~TVectorCanvas() override;
    TVectorCanvas(const TVectorCanvas&) = delete;
    TVectorCanvas& operator=(const TVectorCanvas&) = delete;

    TColor PenColor() const override { return FPenColor; }
    void SetPenColor(TColor color) override { FPenColor = color; }
    TColor BrushColor() const override { return FBrushColor; }
    void SetBrushColor(TColor color) override { FBrushColor = color; }

    void MoveTo(int x, int y) override { FPenPosition = QPointF(x, y); }
    void LineTo(int x, int y) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void TextOut(int x, int y, const QString& text) override;
    int TextHeight() const override;
    int TextWidth(const QString& text) const override;

private:
    // The painter's pen and brush as the canvas's colours, each set only when it changed.
    void UsePen();
    void UseBrush();
    // The font's measures on the painter's device, whose resolution sets the text's size, not the
    // screen's.
    QFontMetrics Metrics() const;

    QPainter& FPainter;
    TColor FPenColor = BlackColor;
    TColor FBrushColor;
    QPointF FPenPosition;
};
