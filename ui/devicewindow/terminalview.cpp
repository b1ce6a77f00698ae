#include "ui/devicewindow/terminalview.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
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
    FSelectionStart = 0;
    FSelectionEnd = 0;
    FMouseSelection = false;
    FDragging = false;
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
    TextArrived();
}

void TTerminalView::AppendLineBreak() {
    FRowStart.push_back(TotalRows());
    FLineStart.push_back(std::int64_t(FChars.size()));
    TextArrived();
}

// Text only ever goes at the end, so the offsets of a selection keep naming the same characters,
// also when the line that holds its end goes on. A press that has not yet dragged keeps its anchor;
// with nothing selected, the selection rule applies again.
void TTerminalView::TextArrived() {
    FMouseSelection = FDragging || HasMouseSelection();
    FChanged = true;
}

std::int64_t TTerminalView::LineAt(std::int64_t offset, std::int64_t breakWidth) const {
    // Line k starts at FLineStart[k] + breakWidth × k.
    std::int64_t low = 0;
    std::int64_t high = LineCount() - 1;
    while (low < high) {
        const std::int64_t mid = low + (high - low + 1) / 2;
        if (FLineStart[std::size_t(mid)] + breakWidth * mid <= offset)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

void TTerminalView::Select(std::int64_t offset) {
    if (FMouseSelection)
        return;
    // The offset counts each line break as CR LF.
    const std::int64_t line = LineAt(offset, 2);
    const std::int64_t within = offset - (FLineStart[std::size_t(line)] + 2 * line);
    // At or past the end, or on a line break: the caret at the end, nothing selected.
    std::int64_t start = PlainLength();
    std::int64_t end = start;
    if (within >= 0 && within < LineLength(line)) {
        start = FLineStart[std::size_t(line)] + line + within;
        end = start + 1;
    }
    // Asked again every poll: with nothing new, nothing needs painting.
    if (start == FSelectionStart && end == FSelectionEnd)
        return;
    FSelectionStart = start;
    FSelectionEnd = end;
    FChanged = true;
}

void TTerminalView::Commit() {
    if (!FChanged)
        return;
    FChanged = false;
    const int visibleRows = std::max(1, viewport()->height() / FRowHeight);
    auto* bar = static_cast<TTerminalScrollBar*>(verticalScrollBar());
    // Scrolled up, the engineer is reading: new text does not pull the view away.
    const bool following = bar->value() >= bar->maximum();
    const int maximum =
        int(std::min<std::int64_t>(std::max<std::int64_t>(0, TotalRows() - visibleRows), INT32_MAX));
    int top = std::min(bar->value(), maximum);
    // A selection made with the mouse does not hold the view: at the bottom it follows the newest
    // text, as a desktop terminal does.
    if (following && (FMouseSelection || FSelectionEnd == FSelectionStart)) {
        top = maximum;
    } else if (following) {
        // The character the selection rule chose comes into view.
        const std::int64_t line = LineAt(FSelectionStart, 1);
        const std::int64_t row = FRowStart[std::size_t(line)] +
                                 (FSelectionStart - line - FLineStart[std::size_t(line)]) / FColumns;
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
    Relayout();
    FChanged = true;
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
        // The row's part of the selection, in offsets of the text with one character per line break.
        const std::int64_t rowStart = from + line;
        const std::int64_t first = std::max(FSelectionStart, rowStart);
        const std::int64_t last = std::min(FSelectionEnd, rowStart + count);
        if (first < last) {
            const QRectF box(KMargin + qreal(first - rowStart) * FCharWidth, y,
                             qreal(last - first) * FCharWidth, FRowHeight);
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
    menu.addAction(QStringLiteral("Kopiuj"), this, [this] { CopySelection(); })
        ->setEnabled(HasMouseSelection());
    menu.addAction(QStringLiteral("Kopiuj wszystko"), this,
                   [this] { QGuiApplication::clipboard()->setText(toPlainText()); });
    menu.exec(event->globalPos());
}

void TTerminalView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    if (event->matches(QKeySequence::Copy))
        CopySelection();
    else if (event->key() == Qt::Key_End)
        bar->setValue(bar->maximum());
    else if (event->key() == Qt::Key_Home)
        bar->setValue(bar->minimum());
    else
        QAbstractScrollArea::keyPressEvent(event);
}

std::int64_t TTerminalView::PlainOffsetAt(QPoint point) const {
    const std::int64_t row =
        verticalScrollBar()->value() + std::int64_t(std::floor(double(point.y()) / FRowHeight));
    if (row < 0)
        return 0;
    if (row >= TotalRows())
        return PlainLength();
    const std::int64_t line =
        std::int64_t(std::upper_bound(FRowStart.begin(), FRowStart.end(), row) - FRowStart.begin()) - 1;
    const std::int64_t column =
        std::clamp<std::int64_t>(std::llround((point.x() - KMargin) / FCharWidth), 0, FColumns);
    const std::int64_t within =
        std::min((row - FRowStart[std::size_t(line)]) * FColumns + column, LineLength(line));
    return FLineStart[std::size_t(line)] + line + within;
}

void TTerminalView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const std::int64_t offset = PlainOffsetAt(event->position().toPoint());
    // Shift+click extends the selection, also to text that was scrolled out of view.
    if (!(event->modifiers() & Qt::ShiftModifier) || !FMouseSelection)
        FAnchor = offset;
    FMouseSelection = true;
    FDragging = true;
    SelectTo(offset);
}

void TTerminalView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        FDragging = false;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TTerminalView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !FMouseSelection)
        return;
    const QPoint point = event->position().toPoint();
    // Dragging beyond the top or the bottom scrolls on.
    QScrollBar* bar = verticalScrollBar();
    if (point.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (point.y() >= viewport()->height())
        bar->setValue(bar->value() + 1);
    SelectTo(PlainOffsetAt(point));
}

void TTerminalView::SelectTo(std::int64_t offset) {
    FSelectionStart = std::min(FAnchor, offset);
    FSelectionEnd = std::max(FAnchor, offset);
    viewport()->update();
}

void TTerminalView::CopySelection() const {
    if (FSelectionEnd > FSelectionStart)
        QGuiApplication::clipboard()->setText(SelectedText());
}

QString TTerminalView::toPlainText() const {
    return PlainText(0, PlainLength());
}

QString TTerminalView::PlainText(std::int64_t from, std::int64_t to) const {
    QString text;
    text.reserve(qsizetype(std::max<std::int64_t>(0, to - from)));
    // Offset p of line k is character p - k of FChars, up to the line's break.
    std::int64_t line = LineAt(from, 1);
    for (std::int64_t p = from; p < to; ++p) {
        if (line + 1 < LineCount() && p - line == FLineStart[std::size_t(line + 1)]) {
            text += QLatin1Char('\n');
            ++line;
        } else {
            text += QLatin1Char(FChars[std::size_t(p - line)]);
        }
    }
    return text;
}

QString TTerminalView::SelectedText() const {
    return PlainText(FSelectionStart, FSelectionEnd);
}

std::int64_t TTerminalView::SelectionStart() const {
    return FSelectionStart;
}
