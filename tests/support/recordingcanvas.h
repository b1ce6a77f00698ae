#pragma once

// A canvas that keeps every drawing call and the colours it was drawn in.

#include "plot/canvas.h"

#include <QString>
#include <utility>
#include <vector>

enum class TCanvasOp { Line, Ellipse, Rectangle, Text };

// A line from (X1, Y1) to (X2, Y2), a box X1, Y1, X2, Y2, or a text at (X1, Y1).
struct TCanvasCall {
    TCanvasOp Op;
    int X1, Y1, X2, Y2;
    QString Text = {};
    bool operator==(const TCanvasCall&) const = default;
};

class TRecordingCanvas : public TCanvas {
public:
    std::vector<TCanvasCall> Calls;
    std::vector<std::pair<TColor, TColor>> Colors; // the pen and brush colour of each call

    TColor PenColor() const override { return FPen; }
    void SetPenColor(TColor color) override { FPen = color; }
    TColor BrushColor() const override { return FBrush; }
    void SetBrushColor(TColor color) override { FBrush = color; }
    void MoveTo(int x, int y) override { FAt = {x, y}; }
    void LineTo(int x, int y) override {
        Record({TCanvasOp::Line, FAt.first, FAt.second, x, y});
        FAt = {x, y};
    }
    void Ellipse(int x1, int y1, int x2, int y2) override { Record({TCanvasOp::Ellipse, x1, y1, x2, y2}); }
    void Rectangle(int x1, int y1, int x2, int y2) override {
        Record({TCanvasOp::Rectangle, x1, y1, x2, y2});
    }
    void TextOut(int x, int y, const QString& text) override { Record({TCanvasOp::Text, x, y, x, y, text}); }
    int TextHeight() const override { return 13; }
    // With no font to measure by, every character is taken as half a line wide.
    int TextWidth(const QString& text) const override { return int(text.size()) * TextHeight() / 2; }

private:
    void Record(const TCanvasCall& call) {
        Calls.push_back(call);
        Colors.emplace_back(FPen, FBrush);
    }

    TColor FPen = BlackColor;
    TColor FBrush = BlackColor;
    std::pair<int, int> FAt;
};
