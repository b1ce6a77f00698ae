#include "ui/steppage/plotview.h"

#include <QPaintEvent>
#include <QPainter>

TPlotView::TPlotView(QWidget* parent) : QWidget(parent) {}

QImage& TPlotView::Image() {
    if (FImage.size() != size()) {
        // What was drawn stays where it was; new room shows the background, as the page did.
        QImage image(size(), QImage::Format_RGB32);
        const TColor face = Background();
        image.fill(QColor(RedOf(face), GreenOf(face), BlueOf(face)));
        if (!image.isNull() && !FImage.isNull())
            QPainter(&image).drawImage(0, 0, FImage);
        FImage = image;
    }
    return FImage;
}

TColor TPlotView::Background() const {
    const QColor face = palette().color(QPalette::Window);
    return ColorFromRgb(std::uint8_t(face.red()), std::uint8_t(face.green()), std::uint8_t(face.blue()));
}

void TPlotView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), Image(), event->rect());
}
