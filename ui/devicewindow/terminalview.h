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
    // The selected character and where it stands in toPlainText(); with none selected, the empty
    // text and the position of the caret.
    QString SelectedText() const;
    std::int64_t SelectionStart() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::int64_t LineCount() const { return std::int64_t(FLineStart.size()); }
    std::int64_t LineLength(std::int64_t line) const;
    std::int64_t RowsOf(std::int64_t line) const;
    std::int64_t TotalRows() const;
    // The line holding a character of the terminal text (where a line break counts two), and the
    // character's index in FChars; none past the end.
    bool Locate(std::int64_t offset, std::int64_t& line, std::int64_t& index) const;
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
    std::int64_t FSelected = -1; // index in FChars of the selected character, -1 none
    std::int64_t FSelectedLine = 0;
    bool FChanged = false;
};
