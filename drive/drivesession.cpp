#include "drive/drivesession.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "drive/steptest.h"
#include "link/deviceslot.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr std::uint8_t CR = '\r';

bool Contains(const std::vector<int>& numbers, int number) {
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

// The test of a number in a history, const or not; none when it is not there.
template <typename Tests> auto FindTest(Tests& tests, int number) -> decltype(&tests.front()) {
    const auto it =
        std::find_if(tests.begin(), tests.end(), [&](const TTestRecord& t) { return t.Number == number; });
    return it == tests.end() ? nullptr : &*it;
}

} // namespace

TDriveSession::TDriveSession(TDeviceSlot& slot, QObject* parent)
    : QObject(parent), FSlot(&slot), FMotor(DefaultMotorData()), FSettings(DefaultSettingTexts()),
      FKnown(std::make_shared<const TKnownSettings>()) {
    connect(&slot, &TDeviceSlot::DeviceBack, this, [this] {
        // The drive may have been switched off meanwhile.
        ForgetKnownSettings();
        if (const std::optional<TRegisterValues> registers = std::exchange(FPendingRegisters, std::nullopt)) {
            WriteRegisters(*registers);
            if (!FPendingRegisters)
                emit RestoreWritten();
        }
    });
}

void TDriveSession::SetMotorText(const TMotorField& field, const QString& text) {
    if (FMotor.*field.Text == text)
        return;
    FMotor.*field.Text = text;
    emit MotorDataChanged();
}

void TDriveSession::SetMotorData(const TMotorData& motor) {
    FMotor = motor;
    emit MotorDataChanged();
}

void TDriveSession::SetSettingText(TSettingRow row, const QString& text) {
    if (FSettings[std::size_t(row)] == text)
        return;
    FSettings[std::size_t(row)] = text;
    emit SettingTextsChanged();
}

void TDriveSession::SetSettingTexts(const TSettingTexts& texts) {
    FSettings = texts;
    emit SettingTextsChanged();
}

void TDriveSession::Publish(TKnownSettings known) {
    known.At = QDateTime::currentDateTime();
    FKnown = std::make_shared<const TKnownSettings>(std::move(known));
    emit KnownSettingsChanged();
}

void TDriveSession::ForgetKnownSettings() {
    TKnownSettings none;
    none.At = FKnown->At;
    FKnown = std::make_shared<const TKnownSettings>(std::move(none));
    emit KnownSettingsChanged();
}

void TDriveSession::RequireDriveFree() const {
    if (FSlot && FSlot->IsLost())
        throw EKelmorError(QStringLiteral("%1 — connection lost: nothing was sent").arg(FSlot->Name()));
    if (LinePending())
        throw EKelmorError(QStringLiteral("A line typed in the terminal is not finished: press Enter or "
                                          "clear it with Backspace first"));
}

void TDriveSession::ReadSettings() {
    if (!FSlot)
        return;
    RequireDriveFree();
    // The exchange holds the poll off, so no byte of the dialogues reaches the terminal.
    const std::unique_ptr<TExchange> exchange = FSlot->BeginExchange();
    ReadSettings(*exchange);
}

void TDriveSession::ReadSettings(TExchange& exchange) {
    const TRegisterValues registers = QueryRegisters(exchange);
    // A conversion that fails leaves the rows before it filled, and known.
    TKnownSettings known = *FKnown;
    const auto publish = [&] {
        Publish(std::move(known));
        emit SettingTextsChanged();
    };
    try {
        ShowRegisters(registers, FMotor, [&](TSettingRow row, const QString& text) {
            FSettings[std::size_t(row)] = text;
            known.Texts[std::size_t(row)] = text;
        });
    } catch (...) {
        publish();
        throw;
    }
    publish();
}

void TDriveSession::WriteSettings() {
    WriteSettings(FSettings);
}

void TDriveSession::WriteSettings(const TSettingTexts& texts) {
    RequireDriveFree();
    TKnownSettings known = *FKnown;
    int row = 0;
    try {
        // The lines go out in row order, each once its value is known.
        ::WriteSettings(texts, FMotor, [&](const QByteArray& line) {
            if (!SendWritten(line))
                RequireDriveFree();
            known.Texts[std::size_t(row)] = texts[std::size_t(row)];
            ++row;
        });
    } catch (...) {
        if (row > 0)
            Publish(std::move(known));
        throw;
    }
    Publish(std::move(known));
}

void TDriveSession::WriteRegisters(const TRegisterValues& registers) {
    for (const TRegisterRow& row : RegisterTable)
        if (!SendWritten(RegisterWriteLine(row.Register, registers[std::size_t(row.Register)]))) {
            // All nine again once the device is back: which of them arrived is not known.
            FPendingRegisters = registers;
            return;
        }
    FPendingRegisters.reset();
    TKnownSettings known;
    try {
        ShowRegisters(registers, FMotor,
                      [&](TSettingRow row, const QString& text) { known.Texts[std::size_t(row)] = text; });
    } catch (const EKelmorError&) {
        // The motor data cannot show every register; those it cannot show stay unknown.
    }
    Publish(std::move(known));
}

void TDriveSession::ApplyRegisters(const TRegisterValues& registers) {
    RequireDriveFree();
    WriteRegisters(registers);
    if (FPendingRegisters) {
        // A loss found by the write itself: nothing is kept for later that the user did not ask to wait.
        FPendingRegisters.reset();
        RequireDriveFree();
    }
    TSettingTexts texts = FSettings;
    try {
        ShowRegisters(registers, FMotor,
                      [&](TSettingRow row, const QString& text) { texts[std::size_t(row)] = text; });
    } catch (const EKelmorError&) {
        // The rows the motor data cannot show keep their texts.
    }
    SetSettingTexts(texts);
}

void TDriveSession::SetBusy(bool busy) {
    if (FBusy == busy)
        return;
    FBusy = busy;
    emit BusyChanged(busy);
}

void TDriveSession::StoreBank(int bank) {
    if (const std::optional<QByteArray> line = BankStoreLine(bank)) {
        RequireDriveFree();
        Send(*line);
    }
}

void TDriveSession::LoadBank(int bank) {
    if (const std::optional<QByteArray> line = BankLoadLine(bank)) {
        RequireDriveFree();
        Send(*line);
        ForgetKnownSettings();
    }
}

TDriveSession::TStepOutcome TDriveSession::RunStepTest(const QString& amplitudeText, const QString& timeText,
                                                       bool readSettingsFirst) {
    if (!FSlot)
        throw EKelmorError(QStringLiteral("The device is closed"));
    RequireDriveFree();
    // Holds the poll off for the whole test; it runs again however the test ends.
    const std::unique_ptr<TExchange> exchange = FSlot->BeginExchange();
    return RunStepTest(*exchange, amplitudeText, timeText, readSettingsFirst);
}

TDriveSession::TStepOutcome TDriveSession::RunStepTest(TExchange& exchange, const QString& amplitudeText,
                                                       const QString& timeText, bool readSettingsFirst) {
    if (readSettingsFirst)
        ReadSettings(exchange);
    TStepMeasurement measurement = MeasureStep(exchange, amplitudeText, timeText);
    FTests.push_back(
        MakeTestRecord(FNextNumber++, QDateTime::currentDateTime(), std::move(measurement.Record), FKnown));
    emit HistoryChanged();
    return {FTests.back(), measurement.TimeCapped};
}

void TDriveSession::SetMode(int mode) {
    Send(ModeLine(mode));
}

void TDriveSession::SetSetPoint(std::int32_t value) {
    Send(SetPointLine(value));
}

void TDriveSession::Identify() {
    Send(IdentifyLine());
}

void TDriveSession::ShowPosition() {
    Send(PositionLine());
}

void TDriveSession::RapidMove(const QString& targetText) {
    const QByteArray line = RapidMoveLine(MoveTargetBytes(targetText));
    RequireDriveFree();
    Send(line);
}

void TDriveSession::FeedMove(const QString& targetText, const QString& speedText) {
    const std::int32_t speed = FeedSpeed(speedText, FMotor.EncoderPulses);
    const QByteArray line = FeedMoveLine(MoveTargetBytes(targetText), speed);
    RequireDriveFree();
    Send(line);
}

void TDriveSession::SendTyped(std::uint8_t byte) {
    if (!FSlot || FSlot->Write(&byte, 1) == 0)
        return;
    constexpr std::uint8_t Backspace = 0x08, Delete = 0x7F, LineFeed = '\n', FirstUnheld = 0x80;
    if (byte == CR) {
        FTypedLength = 0;
    } else if (byte == Backspace || byte == Delete) {
        FTypedLength = std::max(FTypedLength - 1, 0);
    } else if (byte != LineFeed && byte < FirstUnheld && FTypedLength++ == 0) {
        // Any line typed may set a register, answer a register prompt or load a bank; while it is
        // unfinished, the next command line would be taken as its end.
        ForgetKnownSettings();
    }
}

void TDriveSession::Send(const QByteArray& line) {
    if (FSlot)
        FSlot->WriteLine(line);
}

bool TDriveSession::SendWritten(const QByteArray& line) {
    if (!FSlot || FSlot->IsLost())
        return false;
    FSlot->WriteLine(line);
    return !FSlot->IsLost();
}

TTestRecord* TDriveSession::Find(int number) {
    return FindTest(FTests, number);
}

const TTestRecord* TDriveSession::Test(int number) const {
    return FindTest(FTests, number);
}

void TDriveSession::SetShown(int number, bool shown) {
    TTestRecord* test = Find(number);
    if (!test || test->Shown == shown)
        return;
    test->Shown = shown;
    emit ShownChanged();
}

void TDriveSession::ShowOnly(const std::vector<int>& numbers) {
    for (TTestRecord& test : FTests)
        test.Shown = Contains(numbers, test.Number);
    emit ShownChanged();
}

void TDriveSession::HideAll() {
    ShowOnly({});
}

void TDriveSession::Remove(const std::vector<int>& numbers) {
    const auto removed =
        std::erase_if(FTests, [&](const TTestRecord& t) { return Contains(numbers, t.Number); });
    if (removed > 0)
        emit HistoryChanged();
}

void TDriveSession::AddTests(std::vector<TTestRecord> tests) {
    if (tests.empty())
        return;
    if (FTests.empty()) {
        for (const TTestRecord& test : tests)
            FNextNumber = std::max(FNextNumber, test.Number + 1);
    } else {
        for (TTestRecord& test : tests)
            test.Number = FNextNumber++;
    }
    FTests.insert(FTests.end(), std::make_move_iterator(tests.begin()), std::make_move_iterator(tests.end()));
    emit HistoryChanged();
}
