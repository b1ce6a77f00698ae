#include "terminal/memosink.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

void TMemoSink::AppendText(const char* chars, std::int32_t count) {
    FBatch.append(QLatin1StringView(chars, count));
}

void TMemoSink::AppendLineBreak() {
    FBatch.append(QLatin1Char('\n'));
}

void TMemoSink::Select(std::int64_t offset) {
    FSelection = offset;
}

void TMemoSink::Commit() {
    if (!FBatch.isEmpty()) {
        QTextCursor end(FMemo->document());
        end.movePosition(QTextCursor::End);
        end.insertText(FBatch);
        FBatch.clear();
    }
    if (FSelection >= 0) {
        FMemo->setTextCursor(CursorAt(FSelection));
        FMemo->ensureCursorVisible();
        FSelection = -1;
    }
}

QTextCursor TMemoSink::CursorAt(std::int64_t offset) const {
    const QTextDocument* doc = FMemo->document();
    const int blocks = doc->blockCount();
    const std::int64_t textLength = std::int64_t(doc->characterCount()) - 1 + (blocks - 1);
    QTextCursor cursor(FMemo->document());
    if (offset >= textLength) {
        cursor.movePosition(QTextCursor::End);
        return cursor;
    }
    // A line starts in the terminal text at its document position plus one for every line break
    // before it; find the last line starting at or before the offset.
    int low = 0;
    int high = blocks - 1;
    while (low < high) {
        const int mid = low + (high - low + 1) / 2;
        if (doc->findBlockByNumber(mid).position() + std::int64_t(mid) <= offset)
            low = mid;
        else
            high = mid - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(low);
    const std::int64_t within = offset - (block.position() + std::int64_t(low));
    // The CR and the LF of a line's end are both its one separator in the document.
    const int position = block.position() + int(std::min<std::int64_t>(within, block.length() - 1));
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return cursor;
}
