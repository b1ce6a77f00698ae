#include "ui/devicewindow/terminalline.h"
#include "ui/devicewindow/typedkey.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The terminal text as the discipline defines it: lines separated by CR LF.
class TRecordingSink : public TTextSink {
public:
    std::string Text;
    std::int64_t Selection = -1;

    void AppendText(const char* chars, std::int32_t count) override { Text.append(chars, size_t(count)); }
    void AppendLineBreak() override { Text += "\r\n"; }
    void Select(std::int64_t offset) override { Selection = offset; }
};

std::string Repeat(char c, int n) {
    return std::string(size_t(n), c);
}

} // namespace

TEST(TerminalLine, ReceivedBytesBecomeLinesAndSelection) {
    struct Case {
        const char* Name;
        std::vector<std::string> Ticks; // each is fed with PutStr, then Flush
        std::string Text;
        std::int64_t Selection;
    };
    const Case cases[] = {
        {"CR ends a line", {"AB\rCD"}, "AB\r\nCD", 85},
        {"CR LF ends it once", {"AB\r\nCD"}, "AB\r\nCD", 85},
        {"lone LF does nothing", {"A\nB"}, "AB", 3},
        {"two CRs leave an empty line", {"AB\r\rC"}, "AB\r\n\r\nC", 166},
        {"80 characters end the line", {Repeat('x', 80)}, Repeat('x', 80) + "\r\n", 83},
        {"CR after 80 adds an empty line", {Repeat('x', 80) + "\r"}, Repeat('x', 80) + "\r\n\r\n", 165},
        {"CR after 79 ends that line only", {Repeat('x', 79) + "\r"}, Repeat('x', 79) + "\r\n", 83},
        {"control bytes dropped, column kept",
         {std::string("A\x08\x09\x07\x1b\x00"
                      "B",
                      7)},
         "AB",
         3},
        {"upper half dropped",
         {"A\x80\xb9\xea\xff"
          "B"},
         "AB",
         3},
        {"DEL shown",
         {"A\x7f"
          "B"},
         "A\x7f"
         "B",
         4},
        {"line over two ticks is one line", {"HEL", "LO\rOK"}, "HELLO\r\nOK", 85},
        {"wrap counts only shown characters",
         {Repeat('y', 78) + "\x01\x02"
                            "zz"
                            "w"},
         Repeat('y', 78) + "zz\r\nw",
         84},
        {"empty tick", {""}, "", 1},
    };
    for (const Case& c : cases) {
        TRecordingSink sink;
        TTerminalLine line(sink);
        for (const std::string& tick : c.Ticks) {
            line.PutStr(reinterpret_cast<const std::uint8_t*>(tick.data()), std::int32_t(tick.size()));
            line.Flush();
        }
        EXPECT_EQ(sink.Text, c.Text) << c.Name;
        EXPECT_EQ(sink.Selection, c.Selection) << c.Name;
        EXPECT_EQ(line.PendingLen(), 0) << c.Name;
    }
}

TEST(TerminalLine, PendingCharactersSurviveASecondPutStrWithoutFlush) {
    TRecordingSink sink;
    TTerminalLine line(sink);
    const std::uint8_t first[] = {'a', 'b'};
    const std::uint8_t second[] = {'c', '\r'};
    line.PutStr(first, 2);
    line.PutStr(second, 2);
    EXPECT_EQ(sink.Text, "abc\r\n");
}

TEST(TypedKey, KeysSendTheirByte) {
    struct Case {
        int Key;
        Qt::KeyboardModifiers Modifiers;
        QString Text;
        int Byte; // -1: nothing is sent
    };
    const Case cases[] = {
        {Qt::Key_P, Qt::ShiftModifier, "P", 0x50},
        {Qt::Key_1, Qt::NoModifier, "1", 0x31},
        {Qt::Key_Return, Qt::NoModifier, "\r", 0x0D},
        {Qt::Key_Enter, Qt::KeypadModifier, "", 0x0D},
        {Qt::Key_Backspace, Qt::NoModifier, "", 0x08},
        {Qt::Key_Escape, Qt::NoModifier, "", 0x1B},
        {Qt::Key_A, Qt::ControlModifier, "a", 0x01},
        {Qt::Key_Z, Qt::ControlModifier, "\x1a", 0x1A},
        {Qt::Key_A, Qt::ControlModifier | Qt::AltModifier, QString(QChar(0x0105)), 0xB9}, // AltGr+A: ą
        {Qt::Key_L, Qt::NoModifier, QString(QChar(0x0141)), 0xA3},                        // Ł
        {Qt::Key_Z, Qt::NoModifier, QString(QChar(0x017C)), 0xBF},                        // ż
        {Qt::Key_E, Qt::NoModifier, QString(QChar(0x20AC)), 0x80},                        // €
        {Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x4E2D)), -1}, // not in the code page
        {Qt::Key_Left, Qt::NoModifier, "", -1},
        {Qt::Key_F1, Qt::NoModifier, "", -1},
        {Qt::Key_Tab, Qt::NoModifier, "\t", -1},
        {Qt::Key_Delete, Qt::NoModifier, "\x7f", -1},
        {Qt::Key_P, Qt::AltModifier, "p", -1}, // a menu's key, not a character
        {Qt::Key_X, Qt::MetaModifier, "x", -1},
        {Qt::Key_P, Qt::ControlModifier | Qt::AltModifier, "\x10", -1},
    };
    for (const Case& c : cases) {
        const std::optional<std::uint8_t> byte = TypedKeyByte(c.Key, c.Modifiers, c.Text);
        EXPECT_EQ(byte ? int(*byte) : -1, c.Byte) << c.Key << " " << c.Text.toStdString();
    }
}
