#include "plot/paintercanvas.h"
#include "plot/stepplot.h"

#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>

TEST(PainterCanvas, PaintsWholePixelsByTheBoxRules) {
    constexpr TColor Face = ColorFromRgb(240, 240, 240);
    constexpr TColor Green = ColorFromRgb(0, 128, 0);
    QImage image(16, 14, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        TPainterCanvas canvas(image, Face);
        WipeStepPlot(canvas, 16, 14, Face);
        canvas.SetPenColor(ResponseColor);
        canvas.SetBrushColor(ResponseColor);
        canvas.Ellipse(2, 2, 4, 4);
        canvas.SetPenColor(ExcitationColor);
        canvas.SetBrushColor(ExcitationColor);
        canvas.Ellipse(5, 2, 15, 12);
        canvas.SetPenColor(Green);
        canvas.MoveTo(2, 12);
        canvas.LineTo(6, 12);
    }
    const QStringList expected = {
        "################", //
        "#..............#", //
        "#.rr....bbbb...#", //
        "#.rr..bbbbbbbb.#", //
        "#.....bbbbbbbb.#", //
        "#....bbbbbbbbbb#", //
        "#....bbbbbbbbbb#", //
        "#....bbbbbbbbbb#", //
        "#....bbbbbbbbbb#", //
        "#.....bbbbbbbb.#", //
        "#.....bbbbbbbb.#", //
        "#.......bbbb...#", //
        "#.gggg.........#", //
        "################", //
    };
    const auto symbol = [&](QRgb pixel) {
        const TColor color = ColorFromRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
        return color == BlackColor        ? '#'
               : color == Face            ? '.'
               : color == ResponseColor   ? 'r'
               : color == ExcitationColor ? 'b'
               : color == Green           ? 'g'
                                          : '?';
    };
    QStringList painted;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        for (int x = 0; x < image.width(); ++x)
            row += QLatin1Char(symbol(image.pixel(x, y)));
        painted << row;
    }
    EXPECT_EQ(painted.join('\n').toStdString(), expected.join('\n').toStdString());
}
