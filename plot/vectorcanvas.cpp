#include "plot/vectorcanvas.h"

#include <QFontMetrics>
#include <algorithm>

namespace {

QColor ToQColor(TColor color) {
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

// A box's outline runs through the centres of its edge pixels.
QRectF InnerBox(int x1, int y1, int x2, int y2) {
    const double left = std::min(x1, x2), top = std::min(y1, y2);
    const double right = std::max(x1, x2), bottom = std::max(y1, y2);
    return QRectF(left + 0.5, top + 0.5, std::max(right - left - 1, 0.0), std::max(bottom - top - 1, 0.0));
}

} // namespace

TVectorCanvas::TVectorCanvas(QPainter& painter, TColor background, const QFont& font)
    : FPainter(painter), FBrushColor(background) {
    FPainter.save();
    FPainter.setFont(font);
    FPainter.setRenderHint(QPainter::Antialiasing, false);
}

TVectorCanvas::~TVectorCanvas() {
    FPainter.restore();
}

QFontMetrics TVectorCanvas::Metrics() const {
    return QFontMetrics(FPainter.font(), FPainter.device());
}

void TVectorCanvas::UsePen() {
    const QColor color = ToQColor(FPenColor);
    if (FPainter.pen().color() != color || FPainter.pen().widthF() != 1.0)
        FPainter.setPen(QPen(color, 1.0));
}

void TVectorCanvas::UseBrush() {
    const QColor color = ToQColor(FBrushColor);
    if (FPainter.brush().style() != Qt::SolidPattern || FPainter.brush().color() != color)
        FPainter.setBrush(color);
}

void TVectorCanvas::LineTo(int x, int y) {
    UsePen();
    // Through the pixels' centres, as the pixel canvas's lines run.
    FPainter.drawLine(FPenPosition + QPointF(0.5, 0.5), QPointF(x + 0.5, y + 0.5));
    FPenPosition = QPointF(x, y);
}

void TVectorCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    UsePen();
    UseBrush();
    FPainter.drawEllipse(InnerBox(x1, y1, x2, y2));
}

void TVectorCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    UsePen();
    UseBrush();
    FPainter.drawRect(InnerBox(x1, y1, x2, y2));
}

void TVectorCanvas::TextOut(int x, int y, const QString& text) {
    const QFontMetrics metrics = Metrics();
    const QRect box(x, y, metrics.horizontalAdvance(text), metrics.height());
    FPainter.fillRect(box, ToQColor(FBrushColor));
    FPainter.setPen(Qt::black);
    FPainter.drawText(QPointF(x, y + metrics.ascent()), text);
}

int TVectorCanvas::TextHeight() const {
    return Metrics().height();
}

int TVectorCanvas::TextWidth(const QString& text) const {
    return Metrics().horizontalAdvance(text);
}
