#include "plot/paintercanvas.h"

#include <QFontMetrics>
#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

QColor ToQColor(TColor color) {
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

// A box with its corners in order; GDI swaps corners given the other way round.
struct TBox {
    long long Left, Top, Right, Bottom;
    bool Empty() const { return Left >= Right || Top >= Bottom; }
};

TBox OrderedBox(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

// The columns [First, Last) of one row of a shape; empty when First >= Last.
struct TSpan {
    long long First = 0;
    long long Last = 0;
};

// The pixels of the ellipse inscribed in a width × height box: those whose centre lies inside it.
// The test is (2c + 1 - w)² h² + (2r + 1 - h)² w² <= w² h², in box-relative pixel coordinates.
class TEllipseSpans {
public:
    TEllipseSpans(long long width, long long height) : FWidth(double(width)), FHeight(double(height)) {}

    TSpan Row(long long row) const {
        if (row < 0 || double(row) >= FHeight)
            return {};
        const double dy = double(2 * row + 1) - FHeight;
        const double room = FWidth * FWidth * FHeight * FHeight - dy * dy * FWidth * FWidth;
        // The widest odd or even offset u = 2c + 1 - w that fits, first estimated, then settled exactly.
        const auto fits = [&](double u) { return u * u * FHeight * FHeight <= room; };
        const long long parity = static_cast<long long>(FWidth) % 2 == 0 ? 1 : 0;
        long long u = static_cast<long long>(std::sqrt(std::max(room, 0.0)) / FHeight);
        if ((u & 1) != parity)
            ++u;
        while (u >= 0 && !fits(double(u)))
            u -= 2;
        while (fits(double(u + 2)))
            u += 2;
        if (u < 0)
            return {};
        const long long width = static_cast<long long>(FWidth);
        return {(width - 1 - u) / 2, (width - 1 + u) / 2 + 1};
    }

private:
    double FWidth;
    double FHeight;
};

} // namespace

TPainterCanvas::TPainterCanvas(QImage& image, TColor background, const QFont& font)
    : FPainter(&image), FWidth(image.width()), FHeight(image.height()), FBrushColor(background) {
    FPainter.setFont(font);
    FPainter.setPen(Qt::black);
}

void TPainterCanvas::FillSpan(int row, long long from, long long to, TColor color) {
    if (row < 0 || row >= FHeight)
        return;
    from = std::max(from, 0LL);
    to = std::min(to, static_cast<long long>(FWidth));
    if (from < to)
        FPainter.fillRect(QRect(int(from), row, int(to - from), 1), ToQColor(color));
}

void TPainterCanvas::LineTo(int x, int y) {
    const QPoint from = std::exchange(FPenPosition, QPoint(x, y));
    long long dx = static_cast<long long>(x) - from.x();
    long long dy = static_cast<long long>(y) - from.y();
    if (dy == 0) {
        if (dx > 0)
            FillSpan(y, from.x(), x, FPenColor);
        else if (dx < 0)
            FillSpan(y, static_cast<long long>(x) + 1, static_cast<long long>(from.x()) + 1, FPenColor);
        return;
    }
    if (dx == 0) {
        const long long top = dy > 0 ? from.y() : static_cast<long long>(y) + 1;
        const long long bottom = dy > 0 ? y : static_cast<long long>(from.y()) + 1;
        const long long first = std::max(top, 0LL);
        const long long last = std::min(bottom, static_cast<long long>(FHeight));
        if (x >= 0 && x < FWidth && first < last)
            FPainter.fillRect(QRect(x, int(first), 1, int(last - first)), ToQColor(FPenColor));
        return;
    }
    // Bresenham along the longer axis, the end point left out.
    const long long stepX = dx > 0 ? 1 : -1;
    const long long stepY = dy > 0 ? 1 : -1;
    dx = std::llabs(dx);
    dy = std::llabs(dy);
    const long long steps = std::max(dx, dy);
    long long error = (dx > dy ? dx : -dy) / 2;
    long long px = from.x();
    long long py = from.y();
    QList<QPoint> points;
    for (long long i = 0; i < steps; ++i) {
        if (px >= 0 && px < FWidth && py >= 0 && py < FHeight)
            points.append(QPoint(int(px), int(py)));
        const long long before = error;
        if (before > -dx) {
            error -= dy;
            px += stepX;
        }
        if (before < dy) {
            error += dx;
            py += stepY;
        }
    }
    FPainter.setPen(ToQColor(FPenColor));
    FPainter.drawPoints(points.constData(), int(points.size()));
    FPainter.setPen(Qt::black);
}

void TPainterCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    const TBox box = OrderedBox(x1, y1, x2, y2);
    if (box.Empty())
        return;
    const TEllipseSpans shape(box.Right - box.Left, box.Bottom - box.Top);
    const long long firstRow = std::max(box.Top, 0LL);
    const long long lastRow = std::min(box.Bottom, static_cast<long long>(FHeight));
    for (long long row = firstRow; row < lastRow; ++row) {
        const long long r = row - box.Top;
        const TSpan span = shape.Row(r);
        const TSpan above = shape.Row(r - 1);
        const TSpan below = shape.Row(r + 1);
        // The outline is every pixel of the shape with a side neighbour outside it.
        const long long inFirst = std::max({span.First + 1, above.First, below.First});
        const long long inLast = std::min({span.Last - 1, above.Last, below.Last});
        FillSpan(int(row), box.Left + span.First, box.Left + span.Last, FPenColor);
        FillSpan(int(row), box.Left + inFirst, box.Left + inLast, FBrushColor);
    }
}

void TPainterCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    const TBox box = OrderedBox(x1, y1, x2, y2);
    if (box.Empty())
        return;
    const long long firstRow = std::max(box.Top, 0LL);
    const long long lastRow = std::min(box.Bottom, static_cast<long long>(FHeight));
    for (long long row = firstRow; row < lastRow; ++row) {
        FillSpan(int(row), box.Left, box.Right, FPenColor);
        if (row != box.Top && row != box.Bottom - 1)
            FillSpan(int(row), box.Left + 1, box.Right - 1, FBrushColor);
    }
}

void TPainterCanvas::TextOut(int x, int y, const QString& text) {
    const QFontMetrics metrics(FPainter.font());
    FPainter.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), ToQColor(FBrushColor));
    FPainter.drawText(QPoint(x, y + metrics.ascent()), text);
}

int TPainterCanvas::TextHeight() const {
    return QFontMetrics(FPainter.font()).height();
}

int TPainterCanvas::TextWidth(const QString& text) const {
    return QFontMetrics(FPainter.font()).horizontalAdvance(text);
}
