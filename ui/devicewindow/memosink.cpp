#include "ui/devicewindow/memosink.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

void TMemoSink::AppendText(const char* chars, std::int32_t count) {
    FBatch.append(QLatin1StringView(chars, count));
}

void TMemoSink::AppendLineBreak() {
    ++FLineBreaks;
    FBatch.append(FLineBreaks % LinesPerBlock == 0 ? QChar(u'\n') : QChar(QChar::LineSeparator));
}

void TMemoSink::Select(std::int64_t offset) {
    FSelection = offset;
}

void TMemoSink::Clear() {
    FMemo->clear();
    FBatch.clear();
    FLineBreaks = 0;
    FSelection = -1;
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
    QTextCursor cursor(FMemo->document());
    const std::int64_t textLength = std::int64_t(doc->characterCount()) - 1 + FLineBreaks;
    if (offset >= textLength) {
        cursor.movePosition(QTextCursor::End);
        return cursor;
    }
    // Block b starts with line b * LinesPerBlock, so in the terminal text at its document position
    // plus one for each line break before it. Find the last block starting at or before the offset.
    auto textStart = [](const QTextBlock& block, int number) {
        return block.position() + std::int64_t(number) * LinesPerBlock;
    };
    int low = 0;
    int high = doc->blockCount() - 1;
    while (low < high) {
        const int mid = low + (high - low + 1) / 2;
        if (textStart(doc->findBlockByNumber(mid), mid) <= offset)
            low = mid;
        else
            high = mid - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(low);
    std::int64_t within = offset - textStart(block, low);
    const QString text = block.text();
    // Within the block a line separator stands for the two characters CR LF; the CR and the LF
    // both select it. Past the last character is the block's own separator.
    int index = 0;
    for (; index < text.size(); ++index) {
        const std::int64_t width = text.at(index) == QChar::LineSeparator ? 2 : 1;
        if (within < width)
            break;
        within -= width;
    }
    const int position = block.position() + index;
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return cursor;
}
