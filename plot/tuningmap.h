#pragma once

// The tuning map: the plane of the two gains a search varies, both axes logarithmic, with the box
// the search keeps to, each test a numbered dot coloured by its verdict (with its KI, where the
// search lowers it), the path from one to the next, the start marked, the best ringed, and where the
// model expects the overshoot limit, a shaded border with the region beyond it tinted. Tests that
// cluster in a small part of the box are shown closer, so that their labels can be read. Plain data
// in, pixels out.

#include <QPainter>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

enum class TMapVerdict { Eligible, Overshoot, Other };

struct TMapPoint {
    std::array<double, 2> Gains{};
    int Number = 0; // the test's number in the history
    TMapVerdict Verdict = TMapVerdict::Other;
    QString Ki; // the KI the test ran with, as shown; empty where the run left KI as it was
};

struct TTuningMap {
    std::array<QString, 2> Labels;
    std::array<double, 2> Lowest{1, 1}; // the box, above zero
    std::array<double, 2> Highest{2, 2};
    std::array<double, 2> Start{};
    bool HasStart = false;
    std::vector<TMapPoint> Points; // in the order they were tested
    int Best = -1;                 // index into Points, or -1
    // The overshoot the model expects over the box: Columns × Rows cells, row 0 at the lowest second
    // gain, each the prediction at the cell's centre; empty before the model knows anything.
    int Columns = 0;
    int Rows = 0;
    std::vector<double> Overshoot;
    double Limit = 10;
};

// The point where the map shows gains. The view holds the box and the start; when the tests and the
// start span less than a third of the box in both gains, it holds them instead, with a factor of 2
// around them, as far as the box allows.
class TMapScale {
public:
    TMapScale(const QRect& area, const TTuningMap& map);
    QPointF ToPixel(const std::array<double, 2>& gains) const;
    QRect Area() const { return FArea; }
    // The gains at the view's lower left and upper right corners.
    std::array<double, 2> Low() const;
    std::array<double, 2> High() const;

private:
    QRect FArea;
    std::array<double, 2> FLow;  // log10 of the view's lower corner
    std::array<double, 2> FSpan; // log10 spans
};

// The plot area within a surface of the size given: room is left for the tick labels.
QRect MapArea(const QSize& size);

void DrawTuningMap(QPainter& painter, const QSize& size, const TTuningMap& map);
