#include "plot/paintercanvas.h"
#include "plot/stepplot.h"

#include <QImage>
#include <gtest/gtest.h>
#include <string>

TEST(PainterCanvas, PaintsWholePixelsByTheBoxRules) {
    constexpr TColor Face = ColorFromRgb(240, 240, 240);
    constexpr TColor Blue = ColorFromRgb(0, 0, 255);
    QImage image(16, 14, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        TPainterCanvas canvas(image, Face);
        WipeStepPlot(canvas, 16, 14, Face);
        canvas.SetPenColor(ResponseColor);
        canvas.SetBrushColor(ResponseColor);
        canvas.Ellipse(2, 2, 4, 4);
        canvas.SetPenColor(Blue);
        canvas.SetBrushColor(Blue);
        canvas.Ellipse(5, 2, 15, 12);
        canvas.MoveTo(2, 12);
        canvas.LineTo(6, 12);
    }
    const std::string expected = "################\n"
                                 "#..............#\n"
                                 "#.rr....bbbb...#\n"
                                 "#.rr..bbbbbbbb.#\n"
                                 "#.....bbbbbbbb.#\n"
                                 "#....bbbbbbbbbb#\n"
                                 "#....bbbbbbbbbb#\n"
                                 "#....bbbbbbbbbb#\n"
                                 "#....bbbbbbbbbb#\n"
                                 "#.....bbbbbbbb.#\n"
                                 "#.....bbbbbbbb.#\n"
                                 "#.......bbbb...#\n"
                                 "#.bbbb.........#\n"
                                 "################\n";
    std::string painted;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const TColor color = ColorFromRgb(qRed(p), qGreen(p), qBlue(p));
            painted += color == BlackColor      ? '#'
                       : color == Face          ? '.'
                       : color == ResponseColor ? 'r'
                       : color == Blue          ? 'b'
                                                : '?';
        }
        painted += '\n';
    }
    EXPECT_EQ(painted, expected);
}
