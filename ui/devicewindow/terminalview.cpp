#include "ui/devicewindow/terminalview.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cmath>

namespace {

constexpr int KMargin = 3;

// The view's scroll bar repaints only when its slider moves on the screen: as lines arrive, the
// range grows with nearly every poll while the slider, far down a long text, stays where it is.
// Its fusion-style painting was the costliest part of showing a flood of lines.
class TTerminalScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // Range, page and value in one step, with one repaint at most.
    void Set(int maximum, int pageStep, int value) {
        FQuiet = true;
        setRange(0, maximum);
        setPageStep(pageStep);
        setValue(value);
        FQuiet = false;
        Refresh();
    }

protected:
    void sliderChange(SliderChange) override {
        if (!FQuiet)
            Refresh();
    }

private:
    void Refresh() {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect slider =
            style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
        // The arrows grey out at the ends.
        const int ends = (value() == minimum() ? 1 : 0) | (value() == maximum() ? 2 : 0);
        if (slider != FShown || ends != FEnds) {
            FShown = slider;
            FEnds = ends;
            update();
        }
    }

    QRect FShown;
    int FEnds = -1;
    bool FQuiet = false;
};

} // namespace

TTerminalView::TTerminalView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBar(new TTerminalScrollBar(Qt::Vertical, this));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    // The view and its scroll bar paint every pixel themselves, so nothing behind them is painted
    // again with each new line (the group box around them, its frame and caption).
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
    Clear();
}

void TTerminalView::Clear() {
    FChars.clear();
    FLineStart.assign(1, 0);
    FRowStart.assign(1, 0);
    FSelected = -1;
    FSelectedLine = 0;
    FChanged = true;
    Relayout();
    Commit();
}

std::int64_t TTerminalView::LineLength(std::int64_t line) const {
    const std::int64_t end =
        line + 1 < LineCount() ? FLineStart[std::size_t(line + 1)] : std::int64_t(FChars.size());
    return end - FLineStart[std::size_t(line)];
}

std::int64_t TTerminalView::RowsOf(std::int64_t line) const {
    return std::max<std::int64_t>(1, (LineLength(line) + FColumns - 1) / FColumns);
}

std::int64_t TTerminalView::TotalRows() const {
    return FRowStart.back() + RowsOf(LineCount() - 1);
}

void TTerminalView::AppendText(const char* chars, std::int32_t count) {
    FChars.insert(FChars.end(), chars, chars + count);
    FChanged = true;
}

void TTerminalView::AppendLineBreak() {
    FRowStart.push_back(TotalRows());
    FLineStart.push_back(std::int64_t(FChars.size()));
    FChanged = true;
}

bool TTerminalView::Locate(std::int64_t offset, std::int64_t& line, std::int64_t& index) const {
    // Line k starts at FLineStart[k] + 2k of the terminal text, each line break being CR LF.
    std::int64_t low = 0;
    std::int64_t high = LineCount() - 1;
    while (low < high) {
        const std::int64_t mid = low + (high - low + 1) / 2;
        if (FLineStart[std::size_t(mid)] + 2 * mid <= offset)
            low = mid;
        else
            high = mid - 1;
    }
    line = low;
    const std::int64_t within = offset - (FLineStart[std::size_t(line)] + 2 * line);
    if (within < 0 || within >= LineLength(line))
        return false;
    index = FLineStart[std::size_t(line)] + within;
    return true;
}

void TTerminalView::Select(std::int64_t offset) {
    std::int64_t line = 0;
    std::int64_t index = -1;
    if (!Locate(offset, line, index)) {
        // At or past the end, or on a line break: the caret at the end, nothing selected.
        line = LineCount() - 1;
        index = -1;
    }
    // Asked again every poll: with nothing new, nothing needs painting.
    if (index == FSelected && line == FSelectedLine)
        return;
    FSelected = index;
    FSelectedLine = line;
    FChanged = true;
}

void TTerminalView::Commit() {
    if (!FChanged)
        return;
    FChanged = false;
    const int visibleRows = std::max(1, viewport()->height() / FRowHeight);
    auto* bar = static_cast<TTerminalScrollBar*>(verticalScrollBar());
    const int maximum =
        int(std::min<std::int64_t>(std::max<std::int64_t>(0, TotalRows() - visibleRows), INT32_MAX));
    int top = std::min(bar->value(), maximum);
    if (FSelected < 0) {
        top = maximum;
    } else {
        // The selected character's row comes into view.
        const std::int64_t row = FRowStart[std::size_t(FSelectedLine)] +
                                 (FSelected - FLineStart[std::size_t(FSelectedLine)]) / FColumns;
        if (row < top)
            top = int(row);
        else if (row >= top + visibleRows)
            top = int(row - visibleRows + 1);
    }
    bar->Set(maximum, visibleRows, top);
    viewport()->update();
}

void TTerminalView::Relayout() {
    // Glyph advances may be fractional; a row holds only the characters that fit whole.
    const QFontMetricsF metrics(font());
    FCharWidth = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('M')));
    FRowHeight = std::max(1, int(std::ceil(metrics.lineSpacing())));
    FColumns = std::max(1, int((viewport()->width() - 2 * KMargin) / FCharWidth));
    FRawFont = QRawFont::fromFont(font());
    QString printable;
    for (char16_t c = 0x20; c < 0x80; ++c)
        printable += QChar(c);
    const QList<quint32> glyphs = FRawFont.glyphIndexesForString(printable);
    for (qsizetype i = 0; i < glyphs.size() && i < qsizetype(FGlyphs.size()); ++i)
        FGlyphs[std::size_t(i)] = glyphs[i];
    FRun.setRawFont(FRawFont);
    for (std::int64_t line = 1; line < LineCount(); ++line)
        FRowStart[std::size_t(line)] = FRowStart[std::size_t(line - 1)] + RowsOf(line - 1);
}

void TTerminalView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    Relayout();
    FChanged = true;
    if (atEnd)
        FSelected = -1;
    Commit();
}

void TTerminalView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const qreal ascent = FRawFont.ascent();
    const std::int64_t first = verticalScrollBar()->value();
    std::int64_t line =
        std::int64_t(std::upper_bound(FRowStart.begin(), FRowStart.end(), first) - FRowStart.begin()) - 1;
    std::int64_t row = first - FRowStart[std::size_t(line)];
    QList<quint32> glyphs;
    QList<QPointF> positions;
    int y = 0;
    for (; y < viewport()->height() && line < LineCount(); y += FRowHeight) {
        // Row by row, each fill small enough to be done at once rather than handed to threads.
        painter.fillRect(QRect(0, y, viewport()->width(), FRowHeight), palette().base());
        const std::int64_t from = FLineStart[std::size_t(line)] + row * FColumns;
        const std::int64_t count = std::min<std::int64_t>(FColumns, LineLength(line) - row * FColumns);
        if (FSelected >= from && FSelected < from + count) {
            const QRectF box(KMargin + qreal(FSelected - from) * FCharWidth, y, FCharWidth, FRowHeight);
            painter.fillRect(box, palette().highlight());
        }
        glyphs.resize(qsizetype(count));
        positions.resize(qsizetype(count));
        for (std::int64_t i = 0; i < count; ++i) {
            const auto c = std::uint8_t(FChars[std::size_t(from + i)]);
            glyphs[qsizetype(i)] = FGlyphs[std::size_t(c - 0x20)];
            positions[qsizetype(i)] = QPointF(KMargin + qreal(i) * FCharWidth, y + ascent);
        }
        if (count > 0) {
            FRun.setGlyphIndexes(glyphs);
            FRun.setPositions(positions);
            painter.drawGlyphRun(QPointF(0, 0), FRun);
        }
        if (++row >= RowsOf(line)) {
            ++line;
            row = 0;
        }
    }
    if (y < viewport()->height())
        painter.fillRect(QRect(0, y, viewport()->width(), viewport()->height() - y), palette().base());
}

void TTerminalView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Kopiuj wszystko"), this,
                   [this] { QGuiApplication::clipboard()->setText(toPlainText()); });
    menu.exec(event->globalPos());
}

QString TTerminalView::toPlainText() const {
    QString text;
    text.reserve(qsizetype(FChars.size()) + LineCount());
    std::int64_t next = 1;
    for (std::int64_t i = 0; i < std::int64_t(FChars.size()); ++i) {
        while (next < LineCount() && FLineStart[std::size_t(next)] == i) {
            text += QLatin1Char('\n');
            ++next;
        }
        text += QLatin1Char(FChars[std::size_t(i)]);
    }
    for (; next < LineCount(); ++next)
        text += QLatin1Char('\n');
    return text;
}

QString TTerminalView::SelectedText() const {
    return FSelected >= 0 ? QString(QLatin1Char(FChars[std::size_t(FSelected)])) : QString();
}

std::int64_t TTerminalView::SelectionStart() const {
    // One '\n' for each line break before the position.
    return FSelected >= 0 ? FSelected + FSelectedLine : std::int64_t(FChars.size()) + LineCount() - 1;
}
