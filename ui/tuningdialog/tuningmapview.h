#pragma once

#include "plot/tuningmap.h"

#include <QWidget>

// The tuning map on screen, redrawn at any size from the data it was last given; its context menu
// saves it as PNG.
class TTuningMapView : public QWidget {
    Q_OBJECT

public:
    explicit TTuningMapView(QWidget* parent = nullptr);

    void SetMap(TTuningMap map);
    const TTuningMap& Map() const { return FMap; }
    // The map as drawn at the view's size.
    QImage Image() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Save();

    TTuningMap FMap;
};
