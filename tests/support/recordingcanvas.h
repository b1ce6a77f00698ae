#pragma once

// A canvas that keeps every drawing call with the colours it was drawn in, for tests of what a plot
// draws where.

#include "plot/canvas.h"

#include <QString>
#include <vector>

enum class TCanvasOp { Line, Ellipse, Rectangle, Text };

struct TCanvasCall {
    TCanvasOp Op;
    // A line runs from (X1, Y1) to (X2, Y2); a box is X1, Y1, X2, Y2; a text stands at (X1, Y1).
    int X1, Y1, X2, Y2;
    TColor Pen;
    TColor Brush;
    QString Text;
};

class TRecordingCanvas : public TCanvas {
public:
    std::vector<TCanvasCall> Calls;

    TColor PenColor() const override { return FPen; }
    void SetPenColor(TColor color) override { FPen = color; }
    TColor BrushColor() const override { return FBrush; }
    void SetBrushColor(TColor color) override { FBrush = color; }
    void MoveTo(int x, int y) override {
        FX = x;
        FY = y;
    }
    void LineTo(int x, int y) override {
        Record(TCanvasOp::Line, FX, FY, x, y);
        MoveTo(x, y);
    }
    void Ellipse(int x1, int y1, int x2, int y2) override { Record(TCanvasOp::Ellipse, x1, y1, x2, y2); }
    void Rectangle(int x1, int y1, int x2, int y2) override { Record(TCanvasOp::Rectangle, x1, y1, x2, y2); }
    void TextOut(int x, int y, const QString& text) override { Record(TCanvasOp::Text, x, y, x, y, text); }

private:
    void Record(TCanvasOp op, int x1, int y1, int x2, int y2, const QString& text = QString()) {
        Calls.push_back({op, x1, y1, x2, y2, FPen, FBrush, text});
    }

    TColor FPen = BlackColor;
    TColor FBrush = ColorFromRgb(255, 255, 255);
    int FX = 0;
    int FY = 0;
};
