#include "ui/devicewindow/terminalline.h"

void TTerminalLine::Clear() {
    FLineCount = 0;
    FColumn = 0;
    FPendingLen = 0;
}

void TTerminalLine::PutStr(const std::uint8_t* bytes, std::int32_t count) {
    // Pending is empty after every Flush; characters still pending from an earlier call without
    // a Flush are kept rather than dropped.
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b == 0x0D) {
            FColumn = Columns - 1;
        } else if (b < 0x20 || b >= 0x80) {
            // Other control bytes and the upper half (the drive's code page is not ours) are not
            // shown and do not move the column.
            continue;
        } else {
            FPending[std::size_t(FPendingLen++)] = char(b);
        }
        if (++FColumn == Columns) {
            FSink.AppendText(FPending.data(), FPendingLen);
            FPendingLen = 0;
            ++FLineCount;
            FColumn = 0;
            FSink.AppendLineBreak();
            ApplySelection();
        }
    }
}

void TTerminalLine::Flush() {
    if (FPendingLen > 0)
        FSink.AppendText(FPending.data(), FPendingLen);
    ApplySelection();
    FPendingLen = 0;
}

void TTerminalLine::ApplySelection() {
    // Past the newest character: every completed line holds its characters and its CR LF.
    FSink.Select(std::int64_t(Columns + 2) * FLineCount + FColumn + 1);
}
