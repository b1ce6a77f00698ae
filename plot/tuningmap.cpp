#include "plot/tuningmap.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace {

const QColor KEligible(0, 150, 0);
const QColor KOvershoot(220, 0, 0);
const QColor KOther(230, 140, 0);
const QColor KBoxColour(60, 60, 60);
const QColor KGridColour(215, 215, 215);
const QColor KBeyond(255, 0, 0, 28);
const QColor KBorder(255, 0, 0, 90);
// Within this many points of the limit a cell belongs to the border.
constexpr double KBorderPoints = 1.5;
constexpr int KDot = 9;

QColor VerdictColour(TMapVerdict verdict) {
    switch (verdict) {
    case TMapVerdict::Eligible:
        return KEligible;
    case TMapVerdict::Overshoot:
        return KOvershoot;
    default:
        return KOther;
    }
}

// The 1, 2, 5 steps of each decade within [low, high].
std::vector<double> Ticks(double low, double high) {
    std::vector<double> ticks;
    for (int decade = int(std::floor(std::log10(low))); decade <= int(std::ceil(std::log10(high))); ++decade)
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double value = mantissa * std::pow(10.0, decade);
            if (value >= low * 0.999 && value <= high * 1.001)
                ticks.push_back(value);
        }
    return ticks;
}

QString TickText(double value) {
    return QString::number(value, 'g', 3);
}

} // namespace

QRect MapArea(const QSize& size) {
    return QRect(QPoint(48, 12), QPoint(size.width() - 14, size.height() - 40));
}

TMapScale::TMapScale(const QRect& area, const TTuningMap& map) : FArea(area) {
    for (std::size_t i = 0; i < 2; ++i) {
        double low = std::log10(map.Lowest[i]);
        double high = std::log10(map.Highest[i]);
        if (map.HasStart && map.Start[i] > 0) {
            low = std::min(low, std::log10(map.Start[i]));
            high = std::max(high, std::log10(map.Start[i]));
        }
        const double margin = std::max(high - low, 0.1) * 0.05;
        FLow[i] = low - margin;
        FSpan[i] = high - low + 2 * margin;
    }
}

QPointF TMapScale::ToPixel(const std::array<double, 2>& gains) const {
    const double x = (std::log10(gains[0]) - FLow[0]) / FSpan[0];
    const double y = (std::log10(gains[1]) - FLow[1]) / FSpan[1];
    return {FArea.left() + x * FArea.width(), FArea.bottom() - y * FArea.height()};
}

namespace {

void DrawAxes(QPainter& painter, const TMapScale& scale, const TTuningMap& map) {
    const QRect area = scale.Area();
    const QFontMetrics metrics = painter.fontMetrics();
    for (const double t : Ticks(map.Lowest[0] / 2, map.Highest[0] * 2)) {
        const double x = scale.ToPixel({t, 1}).x();
        if (x < area.left() || x > area.right())
            continue;
        painter.setPen(KGridColour);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(Qt::black);
        const QString text = TickText(t);
        painter.drawText(QPointF(x - metrics.horizontalAdvance(text) / 2.0, area.bottom() + metrics.height()),
                         text);
    }
    for (const double t : Ticks(map.Lowest[1] / 2, map.Highest[1] * 2)) {
        const double y = scale.ToPixel({1, t}).y();
        if (y < area.top() || y > area.bottom())
            continue;
        painter.setPen(KGridColour);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(Qt::black);
        const QString text = TickText(t);
        painter.drawText(
            QPointF(area.left() - metrics.horizontalAdvance(text) - 4, y + metrics.ascent() / 2.0), text);
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(area.left(), area.bottom() + metrics.height() + 2, area.width(), metrics.height()),
                     Qt::AlignHCenter, map.Labels[0] + QStringLiteral(" (log)"));
    painter.save();
    painter.translate(12, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-area.height() / 2, -metrics.height() + 4, area.height(), metrics.height()),
                     Qt::AlignHCenter, map.Labels[1] + QStringLiteral(" (log)"));
    painter.restore();
}

void DrawPrediction(QPainter& painter, const TMapScale& scale, const TTuningMap& map) {
    if (map.Columns <= 0 || map.Rows <= 0 || map.Overshoot.size() != std::size_t(map.Columns * map.Rows))
        return;
    const auto corner = [&](int column, int row) {
        const auto at = [&](std::size_t i, int k, int count) {
            return map.Lowest[i] * std::pow(map.Highest[i] / map.Lowest[i], double(k) / count);
        };
        return scale.ToPixel({at(0, column, map.Columns), at(1, row, map.Rows)});
    };
    painter.setPen(Qt::NoPen);
    for (int row = 0; row < map.Rows; ++row)
        for (int column = 0; column < map.Columns; ++column) {
            const double overshoot = map.Overshoot[std::size_t(row * map.Columns + column)];
            if (std::isnan(overshoot) || overshoot < map.Limit - KBorderPoints)
                continue;
            painter.setBrush(overshoot <= map.Limit + KBorderPoints ? KBorder : KBeyond);
            painter.drawRect(QRectF(corner(column, row + 1), corner(column + 1, row)));
        }
}

void DrawTests(QPainter& painter, const TMapScale& scale, const TTuningMap& map) {
    painter.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    for (std::size_t i = 1; i < map.Points.size(); ++i)
        painter.drawLine(scale.ToPixel(map.Points[i - 1].Gains), scale.ToPixel(map.Points[i].Gains));
    if (map.HasStart) {
        const QPointF s = scale.ToPixel(map.Start);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(s.x() - 8, s.y() - 8, 16, 16));
    }
    const QFontMetrics metrics = painter.fontMetrics();
    for (std::size_t i = 0; i < map.Points.size(); ++i) {
        const TMapPoint& point = map.Points[i];
        const QPointF p = scale.ToPixel(point.Gains);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(VerdictColour(point.Verdict));
        painter.drawEllipse(p, KDot / 2.0, KDot / 2.0);
        if (int(i) == map.Best) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(Qt::black, 2));
            painter.drawEllipse(p, KDot, KDot);
        }
        painter.setPen(Qt::black);
        painter.drawText(QPointF(p.x() + KDot / 2.0 + 2, p.y() - KDot / 2.0 - 1 + metrics.ascent() / 2.0),
                         QString::number(point.Number));
    }
}

} // namespace

void DrawTuningMap(QPainter& painter, const QSize& size, const TTuningMap& map) {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const TMapScale scale(MapArea(size), map);
    painter.save();
    painter.setClipRect(scale.Area());
    DrawPrediction(painter, scale, map);
    painter.restore();
    DrawAxes(painter, scale, map);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(KBoxColour, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(scale.ToPixel({map.Lowest[0], map.Highest[1]}),
                            scale.ToPixel({map.Highest[0], map.Lowest[1]})));
    DrawTests(painter, scale, map);
}
