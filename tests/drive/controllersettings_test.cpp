#include "drive/controllersettings.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "tests/support/localescope.h"
#include "tests/support/qtprinters.h"
#include "tests/support/scriptedexchange.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);

TSettingTexts DefaultSettings() {
    TSettingTexts texts;
    for (int row = 0; row < SettingCount; ++row)
        texts[row] = LocalDecimalText(RegisterTable[row].DefaultText);
    return texts;
}

TMotorData DefaultMotor() {
    return {"12", "6", "4000", LocalDecimalText("0,5"), "12", "500"};
}

// The message of the user-visible error the call throws, or "" when it throws none.
QString ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EKelmorError& error) {
        return error.Message();
    }
    return QString();
}

const QByteArrayList DefaultLines = {"P1 1024\r", "P2 768\r", "P3 0\r",     "P4 102\r", "P6 294\r",
                                     "P0 213\r",  "P5 384\r", "P7 12820\r", "P8 64\r"};
const TRegisterValues DefaultRegisters = {213, 1024, 768, 0, 102, 384, 294, 12820, 64};
const TSettingTexts DefaultShown = {"4,00",    "3,00",  "0,00",    "0,40",   "0,30",
                                    "3195,00", "75,00", "2999,88", "2995,20"};

const QString DivisionByZero = QStringLiteral("Floating point division by zero");
const QString InvalidOperation = QStringLiteral("Invalid floating point operation");
const QString Overflow = QStringLiteral("Floating point overflow");

TEST(ControllerSettings, Write) {
    TLocaleScope scope(Polish);
    const struct {
        const char* Name;
        std::function<void(TSettingTexts&, TMotorData&)> Change;
        qsizetype LinesSent;
        QString Error;
        std::pair<int, QByteArray> ChangedLine;
    } cases[] = {
        {"defaults", [](auto&, auto&) {}, 9, "", {}},
        {"negative gain", [](auto& s, auto&) { s[KP] = "-1,5"; }, 9, "", {1, "P2 -384\r"}},
        {"Limit V of 3000", [](auto& s, auto&) { s[LimitV] = "3000"; }, 9, "", {5, "P0 200\r"}},
        {"point under a comma locale",
         [](auto& s, auto&) { s[KV] = "4.0"; },
         0,
         "'4.0' is not a valid floating point value",
         {}},
        {"fractional encoder",
         [](auto&, auto& m) { m.EncoderPulses = "500,5"; },
         4,
         "'500,5' is not a valid integer value",
         {}},
        {"empty rated voltage",
         [](auto&, auto& m) { m.RatedVoltage = ""; },
         4,
         "'' is not a valid floating point value",
         {}},
        {"zero rated speed", [](auto&, auto& m) { m.RatedSpeed = "0"; }, 4, DivisionByZero, {}},
        {"zero over zero",
         [](auto& s, auto& m) {
             s[KG] = "0";
             m.SupplyVoltage = "0";
         },
         4,
         InvalidOperation,
         {}},
        {"register beyond 32 bits", [](auto& s, auto&) { s[LimitV] = "1E12"; }, 5, Overflow, {}},
        {"negative beyond 32 bits", [](auto& s, auto&) { s[aj] = "-1E15"; }, 8, Overflow, {}},
    };
    for (const auto& c : cases) {
        TSettingTexts settings = DefaultSettings();
        TMotorData motor = DefaultMotor();
        c.Change(settings, motor);
        QByteArrayList sent;
        EXPECT_EQ(ErrorOf([&] { WriteSettings(settings, motor, [&](const QByteArray& l) { sent << l; }); }),
                  c.Error)
            << c.Name;
        QByteArrayList expected = DefaultLines.mid(0, c.LinesSent);
        if (!c.ChangedLine.second.isEmpty())
            expected[c.ChangedLine.first] = c.ChangedLine.second;
        EXPECT_EQ(sent, expected) << c.Name;
    }
}

TEST(ControllerSettings, Show) {
    TLocaleScope scope(Polish);
    const struct {
        const char* Name;
        std::function<void(TRegisterValues&, TMotorData&)> Change;
        qsizetype RowsFilled;
        QString Error;
        std::pair<int, QString> ChangedField;
    } cases[] = {
        {"defaults", [](auto&, auto&) {}, 9, "", {}},
        {"KV of 1023 is shown and used as 4,00", [](auto& r, auto&) { r[1] = 1023; }, 9, "", {}},
        {"largest P0", [](auto& r, auto&) { r[0] = 71582; }, 9, "", {LimitV, "1,07373E+06"}},
        {"fractional encoder",
         [](auto&, auto& m) { m.EncoderPulses = "500,5"; },
         4,
         "'500,5' is not a valid integer value",
         {}},
        {"zero rated voltage", [](auto&, auto& m) { m.RatedVoltage = "0"; }, 4, DivisionByZero, {}},
        {"KV shown as zero", [](auto& r, auto&) { r[1] = -1; }, 5, DivisionByZero, {KV, "0,00"}},
        {"KV and P0 zero",
         [](auto& r, auto&) {
             r[1] = 1;
             r[0] = 0;
         },
         5,
         InvalidOperation,
         {KV, "0,00"}},
        {"zero encoder pulses",
         [](auto&, auto& m) { m.EncoderPulses = "0"; },
         5,
         DivisionByZero,
         {KG, "0,00"}},
        {"P0 above 71582", [](auto& r, auto&) { r[0] = 71583; }, 5, Overflow, {}},
        {"P0 below -71582", [](auto& r, auto&) { r[0] = -71583; }, 5, Overflow, {}},
    };
    for (const auto& c : cases) {
        TRegisterValues registers = DefaultRegisters;
        TMotorData motor = DefaultMotor();
        c.Change(registers, motor);
        TSettingTexts fields;
        fields.fill("old");
        EXPECT_EQ(ErrorOf([&] {
                      ShowRegisters(registers, motor,
                                    [&](TSettingRow row, const QString& t) { fields[row] = t; });
                  }),
                  c.Error)
            << c.Name;
        TSettingTexts expected = DefaultShown;
        std::fill(expected.begin() + c.RowsFilled, expected.end(), "old");
        if (!c.ChangedField.second.isEmpty())
            expected[c.ChangedField.first] = c.ChangedField.second;
        EXPECT_EQ(fields, expected) << c.Name;
    }
}

TEST(ControllerSettings, FeedSpeedOnTheScaleOfVj) {
    TLocaleScope scope(Polish);
    const struct {
        const char *Speed, *Pulses;
        QString Outcome;
    } cases[] = {
        {"3000", "500", "12820"},
        {"0", "500", "1"},
        {"-1E30", "500", "1"},
        {"0,2", "500", "1"},
        {"2999,88", "500,5", "12832"},
        {"1E12", "500", Overflow},
        {"3000.0", "500", "'3000.0' is not a valid floating point value"},
        {"3000", "", "'' is not a valid floating point value"},
    };
    for (const auto& c : cases) {
        QString outcome;
        const QString error = ErrorOf([&] { outcome = QString::number(FeedSpeed(c.Speed, c.Pulses)); });
        EXPECT_EQ(error.isEmpty() ? outcome : error, c.Outcome) << c.Speed;
    }
}

// The nine dialogues run first; a register that does not answer properly changes no field.
TEST(ControllerSettings, Read) {
    TLocaleScope scope(Polish);
    QByteArray replies;
    QByteArrayList log = {TScriptedExchange::PurgeMark()};
    for (int n = 0; n < SettingCount; ++n) {
        replies += "P" + QByteArray::number(n) + "\r\n" + QByteArray::number(DefaultRegisters[n]) + ":\r\n";
        log << "P" + QByteArray::number(n) + "\r"
            << "\r";
    }
    const qsizetype p3 = replies.indexOf("P3");
    const struct {
        const char* Name;
        QByteArray Incoming;
        QString Error;
        qsizetype LogEntries;
    } cases[] = {
        {"all nine", replies, "", log.size()},
        {"P3 silent", replies.left(p3), "The drive did not answer the query for register P3", 8},
        {"trailing space in P8", replies.left(replies.size() - 3) + " :\r\n",
         "' 64 ' is not a valid integer value", log.size() - 1},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        TSettingTexts fields;
        fields.fill("old");
        EXPECT_EQ(ErrorOf([&] {
                      ReadSettings(exchange, DefaultMotor(),
                                   [&](TSettingRow row, const QString& t) { fields[row] = t; });
                  }),
                  c.Error)
            << c.Name;
        EXPECT_EQ(exchange.Log, log.mid(0, c.LogEntries)) << c.Name;
        TSettingTexts expected;
        expected.fill("old");
        EXPECT_EQ(fields, c.Error.isEmpty() ? DefaultShown : expected) << c.Name;
    }
}

} // namespace
