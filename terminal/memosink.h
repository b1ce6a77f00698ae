#pragma once

#include "terminal/terminalline.h"

#include <QString>
#include <cstdint>

class QPlainTextEdit;
class QTextCursor;

// Puts the terminal's text into its text widget. Text and selection are gathered and reach the
// widget in one step at Commit, so a poll that reads many blocks updates the widget once; nothing
// is painted in between, so what the user sees is the same.
class TMemoSink : public TTextSink {
public:
    explicit TMemoSink(QPlainTextEdit* memo) : FMemo(memo) {}

    void AppendText(const char* chars, std::int32_t count) override;
    void AppendLineBreak() override;
    void Select(std::int64_t offset) override;

    void Commit();

private:
    // The widget keeps one separator per line break where the terminal text has CR LF; this maps
    // an offset of the terminal text to a cursor on the widget's document.
    QTextCursor CursorAt(std::int64_t offset) const;

    QPlainTextEdit* FMemo;
    QString FBatch;
    std::int64_t FSelection = -1;
};
