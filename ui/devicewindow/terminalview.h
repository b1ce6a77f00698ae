#pragma once

#include "ui/devicewindow/terminalline.h"

#include <QAbstractScrollArea>
#include <QGlyphRun>
#include <QRawFont>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>

// The terminal's text area. It keeps the terminal text itself, one byte per character, and lays
// out and paints only the rows in view, in a fixed-pitch font that wraps long lines at the right
// edge. A general text widget shapes and lays out every line it is given; at the line rate that
// is where nearly all of the time went, and its cost per stored line grew with the text.
// The engineer can select text with the mouse (Shift+click extends it) and copy it with Ctrl+C or
// the context menu; the selection stays on its text while new text arrives. The view follows the
// newest text while it is scrolled to the bottom; scrolled up, it stays where the engineer reads.
class TTerminalView : public QAbstractScrollArea, public TTextSink {
    Q_OBJECT

public:
    explicit TTerminalView(QWidget* parent = nullptr);

    void AppendText(const char* chars, std::int32_t count) override;
    void AppendLineBreak() override;
    void Select(std::int64_t offset) override;

    // Empties the terminal.
    void Clear();
    // Brings the view up to what it was given since the last commit: once per poll.
    void Commit();

    // The text as shown, lines separated by '\n'.
    QString toPlainText() const;
    // The selected text and where it starts in toPlainText(); with none selected, the empty text and
    // the position of the caret.
    QString SelectedText() const;
    std::int64_t SelectionStart() const;
    // Text the engineer selected with the mouse, which Ctrl+C copies.
    bool HasMouseSelection() const { return FMouseSelection && FSelectionEnd > FSelectionStart; }
    void CopySelection() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::int64_t LineCount() const { return std::int64_t(FLineStart.size()); }
    std::int64_t LineLength(std::int64_t line) const;
    std::int64_t RowsOf(std::int64_t line) const;
    std::int64_t TotalRows() const;
    // The length of toPlainText(), where each line break is one character.
    std::int64_t PlainLength() const { return std::int64_t(FChars.size()) + LineCount() - 1; }
    // The line that holds an offset into the text when each line break counts breakWidth characters.
    std::int64_t LineAt(std::int64_t offset, std::int64_t breakWidth) const;
    // The offset in toPlainText() of the character under a point of the viewport, or of the gap
    // before the nearest one.
    std::int64_t PlainOffsetAt(QPoint point) const;
    QString PlainText(std::int64_t from, std::int64_t to) const;
    // The mouse selection from the anchor to an offset of toPlainText().
    void SelectTo(std::int64_t offset);
    void TextArrived();
    void Relayout();

    // Deques, so that a long-grown terminal never copies its whole text to append to it.
    std::deque<char> FChars;             // every line's characters, back to back
    std::deque<std::int64_t> FLineStart; // where each line starts in FChars; the last is open
    std::deque<std::int64_t> FRowStart;  // the first row of each line at the present width
    QRawFont FRawFont;
    // The glyph of each character 0x20..0x7F, so that rows are drawn without shaping them.
    std::array<quint32, 96> FGlyphs{};
    QGlyphRun FRun;
    int FColumns = 80;
    int FRowHeight = 1;
    qreal FCharWidth = 1;
    // The selection, as offsets into toPlainText(); empty, it is the caret.
    std::int64_t FSelectionStart = 0;
    std::int64_t FSelectionEnd = 0;
    // Made with the mouse, so the selection rule leaves it.
    bool FMouseSelection = false;
    // The left button is down on the text: the drag goes on whatever arrives meanwhile.
    bool FDragging = false;
    std::int64_t FAnchor = 0;
    bool FChanged = false;
};
