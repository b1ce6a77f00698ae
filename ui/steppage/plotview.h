#pragma once

#include "plot/canvas.h"

#include <QImage>
#include <QWidget>

// The plot surface of the step page. Plots are drawn onto a backing image of the widget's size, which
// the widget shows, so that what was drawn comes back after a repaint (a window passing over, a tab
// switch) and stays until it is drawn over or wiped.
class TPlotView : public QWidget {
    Q_OBJECT

public:
    explicit TPlotView(QWidget* parent = nullptr);

    // The image at the widget's present size; call update() after drawing on it.
    QImage& Image();
    // The colour of the page around the plot, which an empty surface shows.
    TColor Background() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FImage;
};
