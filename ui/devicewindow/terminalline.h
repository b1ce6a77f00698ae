#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Where the terminal's line discipline puts its text. The text is a list of lines separated by
// CR LF; the discipline only ever appends at its end.
class TTextSink {
public:
    virtual ~TTextSink() = default;

    // Printable characters (0x20..0x7F) to go at the end of the current line.
    virtual void AppendText(const char* chars, std::int32_t count) = 0;
    // Ends the current line (CR LF in the text).
    virtual void AppendLineBreak() = 0;
    // Selects the one character at this offset of the text (lines counted with their CR LF) and
    // scrolls it into view; an offset at or beyond the end puts the caret at the end instead.
    virtual void Select(std::int64_t offset) = 0;
};

// The terminal's 80-column line discipline: printable ASCII and 0x7F are shown, a carriage return
// ends the line, the 80th character ends it too, and every other byte is dropped.
class TTerminalLine {
public:
    static constexpr std::int32_t Columns = 80;

    explicit TTerminalLine(TTextSink& sink) : FSink(sink) {}

    // Back to an empty terminal: the sink's text is cleared by its owner.
    void Clear();

    // Feeds received bytes; completed lines go to the sink at once, the rest waits for Flush.
    void PutStr(const std::uint8_t* bytes, std::int32_t count);
    // Hands the characters still pending to the sink and applies the selection rule.
    void Flush();

    std::int64_t LineCount() const { return FLineCount; }
    std::int32_t Column() const { return FColumn; }
    std::int32_t PendingLen() const { return FPendingLen; }

private:
    void ApplySelection();

    TTextSink& FSink;
    // 64 bits so that the line count and the selection offset cannot overflow however long the
    // terminal runs.
    std::int64_t FLineCount = 0;
    std::int32_t FColumn = 0;
    std::int32_t FPendingLen = 0;
    // Emptied at least every 80 stored characters, so it never fills.
    std::array<char, 256> FPending{};
};
