#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The command lines the program sends to the drive, each built whole so that it goes out in one
// write: a keyword, a selector digit or a space and an argument, and a CR. Arguments are plain
// decimal: a minus sign when negative, no plus sign, no leading zeros.

// "Pn" CR, the query of register n (0..8).
QByteArray RegisterQueryLine(int n);
// A lone CR, which closes a register prompt without giving a new value.
QByteArray PromptCloseLine();
// "Pn " v CR: sets register n (0..8) to value.
QByteArray RegisterWriteLine(int n, std::int32_t value);

// "Wn" CR and "Rn" CR, store into and load from bank n; none when no bank is selected (the index
// is outside 0..3).
std::optional<QByteArray> BankStoreLine(int selectedBank);
std::optional<QByteArray> BankLoadLine(int selectedBank);

// The drive's control modes, by the digit of their mode line: 0 voltage, 1 torque, 2 speed, 3 position.
constexpr int ModeCount = 4;

// "Mn" CR, the diagnostic mode n (0..3).
QByteArray ModeLine(int mode);
// "S " v CR: the set-point, or the number of samples the next step records.
QByteArray SetPointLine(std::int32_t value);
// "i" CR, identification.
QByteArray IdentifyLine();
// "l" CR, the position shown in the terminal.
QByteArray PositionLine();
// "L " CR CR, the position query whose reply ReadPosition reads.
QByteArray PositionQueryLine();
// "J " v CR: step to position target and stream the recorded samples.
QByteArray StepLine(std::int32_t target);
// The bytes of a move's target as typed. Throws EKelmorError for what would break the command line
// (a line break, which would send the rest as a second command, or a character the drive's code page,
// Windows-1250, lacks) and for anything but a whole number the drive reads as typed: digits, a minus
// sign in front, within 32 bits.
QByteArray MoveTargetBytes(const QString& target);
// "G0 " target CR, a rapid move; target is the bytes of the text as typed, unchecked.
QByteArray RapidMoveLine(const QByteArray& target);
// "G1 " target SP speed CR, a feed move at speed in drive units.
QByteArray FeedMoveLine(const QByteArray& target, std::int32_t speed);

// A line as the drive reads it, without its CR: what the lines above build, read back from a line
// typed or sent by hand, so that both ways live here.
struct TParsedLine {
    enum TKind { Other, Identify, Mode, SetPoint, Move };
    TKind Kind = Other;
    // The mode or the set-point the drive takes from it; none where it would not take one (a mode
    // outside 0..3, a set-point that is no plain decimal).
    std::optional<std::int32_t> Value;
};
TParsedLine ParseCommandLine(const QByteArray& line);
