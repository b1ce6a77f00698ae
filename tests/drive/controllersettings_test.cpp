#include "drive/controllersettings.h"

#include "common/numtext.h"
#include "harness/qtprinters.h"
#include "tests/support/localescope.h"
#include "tests/support/outcome.h"
#include "tests/support/scriptedexchange.h"

#include <gtest/gtest.h>

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);

// The motor data tab's defaults with at most one text changed.
TMotorData Motor(TFigure TMotorData::*field = nullptr, const char* text = "") {
    TMotorData motor = DefaultMotorData();
    if (field)
        motor.*field = TFigure(text);
    return motor;
}

// The fields' texts, as the page shows them.
using TSettingTexts = std::array<QString, SettingCount>;

const QByteArrayList DefaultLines = {"P1 1024\r", "P2 768\r", "P3 0\r",     "P4 102\r", "P6 294\r",
                                     "P0 213\r",  "P5 384\r", "P7 12820\r", "P8 64\r"};
const TRegisterValues DefaultRegisters = {213, 1024, 768, 0, 102, 384, 294, 12820, 64};
const TSettingTexts DefaultShown = {"4,00",    "3,00",  "0,00",    "0,40",   "0,30",
                                    "3195,00", "75,00", "2999,88", "2995,20"};
const TSettingTexts Untouched = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};

const QString DivisionByZero = QStringLiteral("Floating point division by zero");
const QString InvalidOperation = QStringLiteral("Invalid floating point operation");
const QString Overflow = QStringLiteral("Floating point overflow");

// Each line goes out as soon as its value is known; an error leaves the lines before it sent.
TEST(ControllerSettings, Write) {
    TLocaleScope scope(Polish);
    const struct {
        int Row;
        const char* Text;
        TFigure TMotorData::*MotorField;
        const char* MotorText;
        qsizetype Sent;
        QString Error;
        QByteArray Changed;
    } cases[] = {
        {-1, "", nullptr, "", 9, "", {}},
        {KP, "-1,5", nullptr, "", 9, "", "P2 -384\r"},
        {KV, "4.0", nullptr, "", 0, "'4.0' is not a valid floating point value", {}},
        {-1, "", &TMotorData::EncoderPulses, "500,5", 4, "'500,5' is not a valid integer value", {}},
        {-1, "", &TMotorData::RatedSpeed, "0", 4, DivisionByZero, {}},
        {KG, "0", &TMotorData::SupplyVoltage, "0", 4, InvalidOperation, {}},
        {LimitV, "1E12", nullptr, "", 5, Overflow, {}},
        // What the read-back could not show is refused before any line goes out.
        {LimitV,
         "1E7",
         nullptr,
         "",
         0,
         "Limit V '1E7' is more than the drive can hold (its register at most 71582 either way)",
         {}},
        {aj, "-1E15", nullptr, "", 8, Overflow, {}},
    };
    for (const auto& c : cases) {
        TSettingNumbers fields = DefaultSettings();
        if (c.Row >= 0)
            fields[c.Row] = TFigure(c.Text);
        QByteArrayList sent;
        const auto send = [&](const QByteArray& line) { sent << line; };
        EXPECT_EQ(Outcome([&] { WriteSettings(fields, Motor(c.MotorField, c.MotorText), send); }), c.Error)
            << c.Row << c.Text << c.MotorText;
        QByteArrayList expected = DefaultLines.mid(0, c.Sent);
        if (!c.Changed.isEmpty())
            expected[c.Row] = c.Changed;
        EXPECT_EQ(sent, expected) << c.Row << c.Text << c.MotorText;
    }
}

// The fields fill in row order; an error leaves the rows before the failing one filled.
TEST(ControllerSettings, Show) {
    TLocaleScope scope(Polish);
    // Only P0 (Limit V) and P1 (KV, which Limit V reads back) differ from the defaults.
    const struct {
        std::int32_t P0, P1;
        TFigure TMotorData::*MotorField;
        const char* MotorText;
        qsizetype Filled;
        QString Error;
        std::pair<int, QString> Changed;
    } cases[] = {
        {213, 1024, nullptr, "", 9, "", {}},
        {213, 1023, nullptr, "", 9, "", {}},
        {71582, 1024, nullptr, "", 9, "", {LimitV, "1,07373E+06"}},
        {213, 1024, &TMotorData::EncoderPulses, "500,5", 4, "'500,5' is not a valid integer value", {}},
        {213, 1024, &TMotorData::RatedVoltage, "0", 4, DivisionByZero, {}},
        {213, -1, nullptr, "", 5, DivisionByZero, {KV, "0,00"}},
        {0, 1, nullptr, "", 5, InvalidOperation, {KV, "0,00"}},
        {71583, 1024, nullptr, "", 5, Overflow, {}},
        {-71583, 1024, nullptr, "", 5, Overflow, {}},
    };
    for (const auto& c : cases) {
        TRegisterValues registers = DefaultRegisters;
        registers[0] = c.P0;
        registers[1] = c.P1;
        TSettingTexts fields = Untouched;
        const auto show = [&](TSettingRow row, const QString& text) { fields[row] = text; };
        EXPECT_EQ(Outcome([&] { FillFromRegisters(registers, Motor(c.MotorField, c.MotorText), show); }),
                  c.Error)
            << c.P0 << ' ' << c.P1 << c.MotorText;
        TSettingTexts expected = Untouched;
        std::copy_n(DefaultShown.begin(), c.Filled, expected.begin());
        if (!c.Changed.second.isEmpty())
            expected[c.Changed.first] = c.Changed.second;
        EXPECT_EQ(fields, expected) << c.P0 << ' ' << c.P1 << c.MotorText;
    }
}

TEST(ControllerSettings, FeedSpeedOnTheScaleOfVj) {
    TLocaleScope scope(Polish);
    const struct {
        const char *Speed, *Pulses;
        QString Outcome;
    } cases[] = {
        {"3000", "500", "12820"},  {"0,2", "500", "1"},
        {"-1E30", "500", "1"},     {"2999,88", "500,5", "12832"},
        {"1E12", "500", Overflow}, {"3000.0", "500", "'3000.0' is not a valid floating point value"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Outcome([&] { return FeedSpeed(TFigure(c.Speed), TFigure(c.Pulses)); }), c.Outcome)
            << c.Speed;
}

// Unlike KG and Limit V, the speed and acceleration of G0 read the encoder resolution as a number.
TEST(ControllerSettings, VjAndAjTakeAFractionalEncoderResolution) {
    TLocaleScope scope(Polish);
    const TMotorData motor = Motor(&TMotorData::EncoderPulses, "500,5");
    const std::tuple<TSettingRow, std::int32_t, QString> cases[] = {{Vj, 12833, "2999,92"},
                                                                    {aj, 64, "2992,21"}};
    for (const auto& [row, registerValue, shown] : cases) {
        const TFigure kv(QStringLiteral("4,0"));
        EXPECT_EQ(RegisterTable[row].ToRegister(TFigure(QStringLiteral("3000")), motor, kv), registerValue)
            << row;
        EXPECT_EQ(FloatToText(RegisterTable[row].ToShown(registerValue, motor, kv)), shown) << row;
    }
}

// The nine dialogues come first; a register that does not answer properly changes no field.
TEST(ControllerSettings, Read) {
    TLocaleScope scope(Polish);
    QByteArray replies;
    QByteArrayList log = {TScriptedExchange::PurgeMark()};
    for (int n = 0; n < SettingCount; ++n) {
        replies += "P" + QByteArray::number(n) + "\r\n" + QByteArray::number(DefaultRegisters[n]) + ":\r\n";
        log << "P" + QByteArray::number(n) + "\r"
            << "\r";
    }
    const struct {
        const char* Name;
        QByteArray Incoming;
        QString Error;
        qsizetype Logged;
    } cases[] = {
        {"all nine", replies, "", log.size()},
        {"P3 silent", replies.left(replies.indexOf("P3")),
         "The drive did not answer the query for register P3", 9},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        TSettingTexts fields = Untouched;
        const auto show = [&](TSettingRow row, const QString& text) { fields[row] = text; };
        EXPECT_EQ(Outcome([&] { FillFromRegisters(QueryRegisters(exchange), Motor(), show); }), c.Error)
            << c.Name;
        EXPECT_EQ(exchange.Log, log.mid(0, c.Logged)) << c.Name;
        EXPECT_EQ(fields, c.Error.isEmpty() ? DefaultShown : Untouched) << c.Name;
    }
}

} // namespace
