#pragma once

#include "ui/devicewindow/terminalline.h"

#include <QString>
#include <cstdint>

class QPlainTextEdit;
class QTextCursor;

// Puts the terminal's text into its text widget. Text and selection are gathered and reach the
// widget in one step at Commit, so a poll that reads many blocks updates the widget once; nothing
// is painted in between, so what the user sees is the same.
//
// The widget's document costs a block per paragraph, several microseconds to insert and some two
// hundred bytes to keep; a terminal fed at full line rate with short lines would spend most of its
// time there. So the lines are kept LinesPerBlock to a paragraph, separated by line separators,
// which the widget shows as line breaks and its plain text reports as newlines like paragraph ends.
// The widget lays out whole paragraphs, so they are kept short enough that laying out the ones in
// view stays cheap (16 measured best against 8 and 32 in the terminal benchmark).
class TMemoSink : public TTextSink {
public:
    static constexpr int LinesPerBlock = 16;

    explicit TMemoSink(QPlainTextEdit* memo) : FMemo(memo) {}

    void AppendText(const char* chars, std::int32_t count) override;
    void AppendLineBreak() override;
    void Select(std::int64_t offset) override;

    // Empties the widget and what is gathered.
    void Clear();
    void Commit();

private:
    // Maps an offset of the terminal text (line breaks as CR LF) to a cursor on the document
    // (one character per line break).
    QTextCursor CursorAt(std::int64_t offset) const;

    QPlainTextEdit* FMemo;
    QString FBatch;
    std::int64_t FLineBreaks = 0; // in the document and the batch together
    std::int64_t FSelection = -1;
};
