#include "plot/tuningmap.h"

#include <QFontMetrics>
#include <QLineF>
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
const QColor KKiColour(70, 70, 70);
// Within this many points of the limit a cell belongs to the border.
constexpr double KBorderPoints = 1.5;
constexpr int KDot = 9;
constexpr int KStart = 16;
// Tests within this share of the box's decades, in both gains, are zoomed to, with this margin
// (log10 2: a factor of 2) around them.
constexpr double KZoomShare = 1.0 / 3;
const double KZoomMargin = std::log10(2.0);
// The least room a tick's label takes along each axis, in pixels.
constexpr int KTickWidth = 40;
constexpr int KTickHeight = 24;

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

// The ticks within [low, high] at the finest of these steps of each decade of which at most `most`
// fit: a zoomed view has few decades to mark.
std::vector<double> Ticks(double low, double high, int most) {
    static const std::vector<std::vector<double>> steps = {
        {1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 5}, {1}};
    std::vector<double> ticks;
    for (const std::vector<double>& mantissas : steps) {
        ticks.clear();
        for (int decade = int(std::floor(std::log10(low))); decade <= int(std::ceil(std::log10(high)));
             ++decade)
            for (const double mantissa : mantissas) {
                const double value = mantissa * std::pow(10.0, decade);
                if (value >= low * 0.999 && value <= high * 1.001)
                    ticks.push_back(value);
            }
        if (int(ticks.size()) <= most)
            break;
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
    std::array<double, 2> box{};
    for (std::size_t i = 0; i < 2; ++i) {
        double low = std::log10(map.Lowest[i]);
        double high = std::log10(map.Highest[i]);
        box[i] = high - low;
        if (map.HasStart && map.Start[i] > 0) {
            low = std::min(low, std::log10(map.Start[i]));
            high = std::max(high, std::log10(map.Start[i]));
        }
        const double margin = std::max(high - low, 0.1) * 0.05;
        FLow[i] = low - margin;
        FSpan[i] = high - low + 2 * margin;
    }
    // Before the first test there is nothing to look at closer.
    if (map.Points.empty())
        return;
    std::array<double, 2> low{INFINITY, INFINITY};
    std::array<double, 2> high{-INFINITY, -INFINITY};
    const auto take = [&](const std::array<double, 2>& gains) {
        if (gains[0] > 0 && gains[1] > 0 && std::isfinite(gains[0]) && std::isfinite(gains[1]))
            for (std::size_t i = 0; i < 2; ++i) {
                low[i] = std::min(low[i], std::log10(gains[i]));
                high[i] = std::max(high[i], std::log10(gains[i]));
            }
    };
    for (const TMapPoint& point : map.Points)
        take(point.Gains);
    if (map.HasStart)
        take(map.Start);
    for (std::size_t i = 0; i < 2; ++i)
        if (!(high[i] - low[i] < box[i] * KZoomShare))
            return;
    for (std::size_t i = 0; i < 2; ++i) {
        const double top = FLow[i] + FSpan[i];
        FLow[i] = std::max(low[i] - KZoomMargin, FLow[i]);
        FSpan[i] = std::min(high[i] + KZoomMargin, top) - FLow[i];
    }
}

std::array<double, 2> TMapScale::Low() const {
    return {std::pow(10.0, FLow[0]), std::pow(10.0, FLow[1])};
}

std::array<double, 2> TMapScale::High() const {
    return {std::pow(10.0, FLow[0] + FSpan[0]), std::pow(10.0, FLow[1] + FSpan[1])};
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
    // A label that would run into the one before is left out; its grid line stays.
    double free = -INFINITY;
    for (const double t : Ticks(scale.Low()[0], scale.High()[0], area.width() / KTickWidth)) {
        const double x = scale.ToPixel({t, 1}).x();
        if (x < area.left() || x > area.right())
            continue;
        painter.setPen(KGridColour);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const QString text = TickText(t);
        const double left = x - metrics.horizontalAdvance(text) / 2.0;
        if (left < free)
            continue;
        painter.setPen(Qt::black);
        painter.drawText(QPointF(left, area.bottom() + metrics.height()), text);
        free = left + metrics.horizontalAdvance(text) + 4;
    }
    free = INFINITY;
    for (const double t : Ticks(scale.Low()[1], scale.High()[1], area.height() / KTickHeight)) {
        const double y = scale.ToPixel({1, t}).y();
        if (y < area.top() || y > area.bottom())
            continue;
        painter.setPen(KGridColour);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        const double baseline = y + metrics.ascent() / 2.0;
        if (baseline > free)
            continue;
        painter.setPen(Qt::black);
        const QString text = TickText(t);
        painter.drawText(QPointF(area.left() - metrics.horizontalAdvance(text) - 4, baseline), text);
        free = baseline - metrics.ascent() - 2;
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

// The tests at one place with one KI share a label: a repeat's numbers, "4, 9".
struct TLabel {
    QPointF At;
    QStringList Numbers;
    QString Ki;
    bool Best = false;
};

std::vector<TLabel> Labels(const TMapScale& scale, const TTuningMap& map) {
    std::vector<TLabel> labels;
    for (std::size_t i = 0; i < map.Points.size(); ++i) {
        const TMapPoint& point = map.Points[i];
        const QPointF p = scale.ToPixel(point.Gains);
        auto same = std::find_if(labels.begin(), labels.end(), [&](const TLabel& label) {
            return QLineF(label.At, p).length() < 1 && label.Ki == point.Ki;
        });
        if (same == labels.end())
            same = labels.insert(labels.end(), TLabel{p, {}, point.Ki});
        same->Numbers << QString::number(point.Number);
        same->Best = same->Best || int(i) == map.Best;
    }
    // The best's label is placed first, so that it is always drawn.
    std::stable_partition(labels.begin(), labels.end(), [](const TLabel& label) { return label.Best; });
    return labels;
}

QFont SmallFont(const QFont& font) {
    QFont small = font;
    if (font.pointSizeF() > 0)
        small.setPointSizeF(font.pointSizeF() * 0.85);
    else
        small.setPixelSize(std::max(1, int(font.pixelSize() * 0.85)));
    return small;
}

// Each label beside its dot, clear of the ring round the best and the start's square: right of it,
// left of it, then below or above either side, the first place inside the plot that covers no dot,
// no start and no label placed before it. One that fits nowhere is left out, but for the best's.
void DrawLabels(QPainter& painter, const TMapScale& scale, const TTuningMap& map) {
    const QFont font = painter.font();
    const QFont small = SmallFont(font);
    const QFontMetricsF metrics(font);
    const QFontMetricsF smallMetrics(small);
    const QRectF area = scale.Area();
    std::vector<QRectF> taken;
    for (std::size_t i = 0; i < map.Points.size(); ++i) {
        const QPointF p = scale.ToPixel(map.Points[i].Gains);
        const double r = int(i) == map.Best ? KDot : KDot / 2.0;
        taken.push_back(QRectF(p.x() - r, p.y() - r, 2 * r, 2 * r));
    }
    if (map.HasStart) {
        const QPointF s = scale.ToPixel(map.Start);
        taken.push_back(QRectF(s.x() - KStart / 2.0, s.y() - KStart / 2.0, KStart, KStart));
    }
    for (const TLabel& label : Labels(scale, map)) {
        const QString number = label.Numbers.join(QStringLiteral(", "));
        const QString ki = label.Ki.isEmpty() ? QString() : QStringLiteral("KI ") + label.Ki;
        const QSizeF size(std::max(metrics.horizontalAdvance(number), smallMetrics.horizontalAdvance(ki)),
                          metrics.height() + (ki.isEmpty() ? 0 : smallMetrics.height()));
        const QPointF p = label.At;
        const double gap = KDot + 2;
        const double right = p.x() + gap;
        const double left = p.x() - gap - size.width();
        const double middle = p.y() - metrics.height() / 2;
        const double below = p.y() + KDot / 2.0;
        const double above = p.y() - KDot / 2.0 - size.height();
        const std::array<QRectF, 6> places = {
            QRectF(QPointF(right, middle), size), QRectF(QPointF(left, middle), size),
            QRectF(QPointF(right, below), size),  QRectF(QPointF(left, below), size),
            QRectF(QPointF(right, above), size),  QRectF(QPointF(left, above), size)};
        const auto fits = [&](const QRectF& r) {
            return area.contains(r) &&
                   std::none_of(taken.begin(), taken.end(), [&](const QRectF& t) { return t.intersects(r); });
        };
        const auto place = std::find_if(places.begin(), places.end(), fits);
        if (place == places.end() && !label.Best)
            continue;
        const QRectF r = place == places.end() ? places[0] : *place;
        taken.push_back(r);
        painter.setPen(Qt::black);
        painter.setFont(font);
        painter.drawText(QPointF(r.left(), r.top() + metrics.ascent()), number);
        if (!ki.isEmpty()) {
            painter.setPen(KKiColour);
            painter.setFont(small);
            painter.drawText(QPointF(r.left(), r.top() + metrics.height() + smallMetrics.ascent()), ki);
        }
    }
    painter.setFont(font);
}

void DrawTests(QPainter& painter, const TMapScale& scale, const TTuningMap& map) {
    painter.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    for (std::size_t i = 1; i < map.Points.size(); ++i)
        painter.drawLine(scale.ToPixel(map.Points[i - 1].Gains), scale.ToPixel(map.Points[i].Gains));
    if (map.HasStart) {
        const QPointF s = scale.ToPixel(map.Start);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(s.x() - KStart / 2.0, s.y() - KStart / 2.0, KStart, KStart));
    }
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
    }
    DrawLabels(painter, scale, map);
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
    // A zoomed view shows the box's border only where it passes through.
    painter.save();
    painter.setClipRect(scale.Area().adjusted(-1, -1, 1, 1));
    painter.setPen(QPen(KBoxColour, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(scale.ToPixel({map.Lowest[0], map.Highest[1]}),
                            scale.ToPixel({map.Highest[0], map.Lowest[1]})));
    painter.restore();
    DrawTests(painter, scale, map);
}
