// The tab "Nastawy Regulatora" wired to the fake device and to the simulated drive; the lines, the
// dialogues and the conversions are the drive layer's tests.

#include "harness/fakeport.h"
#include "link/deviceslots.h"
#include "tests/support/localescope.h"
#include "tests/support/modal.h"
#include "tests/support/portsscope.h"
#include "tests/support/simulatedlines.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/devicewindow/terminalview.h"
#include "ui/mainwindow/mainform.h"

#include <QAbstractButton>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);
const QStringList DefaultTexts = {"4,0", "3,0", "0", "0,4", "0,3", "3200", "75", "3000", "3000"};

QLineEdit* Edit(QWidget* window, const char* name) {
    return window->findChild<QLineEdit*>(name);
}

// Types the text into the field over what it holds, as a user would.
void Type(QWidget* window, const char* name, const QString& text) {
    QLineEdit* edit = Edit(window, name);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

void Click(QWidget* window, const char* name) {
    window->findChild<QAbstractButton*>(name)->click();
}

// The nine setting texts, then the six motor data texts.
QStringList Texts(QWidget* window, int count = 9) {
    static const QStringList names = QStringLiteral("kv kp kd ki kg limitV limitM vj aj ratedVoltage "
                                                    "windingResistance ratedSpeed ratedCurrent supplyVoltage "
                                                    "encoderPulses")
                                         .split(' ');
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << window->findChild<QLineEdit*>(names[i] + "Edit")->text();
    return texts;
}

// The device window on the fake device 0; error boxes are recorded.
class SettingsPage : public ::testing::Test {
protected:
    TLocaleScope Locale{Polish};
    TFakeDeviceLibrary Fake;
    TFakeDevice& Device = Fake.Device(0);
    TDeviceSlots Slots{Fake.Ports()};
    QStringList Errors;
    TErrorBoxes ErrorBoxes{Errors};

    void TearDown() override { delete FWindow.data(); }

    // A new window, the one before closed, on a new model as the program starts with; nothing sent
    // to its device yet.
    TDeviceWindow* NewWindow() {
        delete FWindow.data();
        EXPECT_TRUE(Slots.At(0)->Open());
        FModel = std::make_unique<TDriveModel>(*Slots.At(0));
        FWindow = new TDeviceWindow(*FModel);
        Device.ClearCalls();
        Errors.clear();
        return FWindow;
    }

    QByteArrayList Written() const {
        const std::vector<QByteArray> writes = Device.Writes();
        return QByteArrayList(writes.begin(), writes.end());
    }

    void ChooseFile(const char* button, const QString& path) {
        const TModalAnswer answer = FileAnswer(path);
        Click(FWindow, button);
    }

private:
    std::unique_ptr<TDriveModel> FModel;
    QPointer<TDeviceWindow> FWindow;
};

} // namespace

TEST_F(SettingsPage, WpiszSendsTheLinesUntilABadText) {
    const QByteArrayList all = {"P1 1024\r", "P2 768\r", "P3 0\r",     "P4 102\r", "P6 294\r",
                                "P0 213\r",  "P5 384\r", "P7 12820\r", "P8 64\r"};
    // The default texts follow the locale.
    // A drive confirms each line by its echo.
    Device.Echo = true;
    for (const QLocale& locale : {Polish, QLocale::c()}) {
        TLocaleScope scope(locale);
        Click(NewWindow(), "writeSettingsButton");
        EXPECT_EQ(Written(), all) << locale.name().toStdString();
        EXPECT_EQ(Errors, QStringList());
    }

    // The motor data come from their own tab.
    TDeviceWindow* w = NewWindow();
    Edit(w, "encoderPulsesEdit")->setText("500,5");
    Click(w, "writeSettingsButton");
    EXPECT_EQ(Written(), all.mid(0, 4));
    EXPECT_EQ(Errors, QStringList("'500,5' is not a valid integer value."));
}

// Direct, and behind a converter whose timer hands on the answers every 16 ms.
class SettingsPageOnALine : public SettingsPage, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(Lines, SettingsPageOnALine, ::testing::Values(0, 16));

TEST_P(SettingsPageOnALine, CzytajFillsTheFieldsOnlyFromNineAnswers) {
    Device.LatencyMs = GetParam();
    const QList<int> registers = {200, 1280, 512, -128, 64, 256, 294, 1170, 100};
    const QStringList shown = {"5,00",    "2,00",  "-0,50",  "0,25",   "0,30",
                               "2400,00", "50,00", "273,78", "4680,00"};
    const std::tuple<int, bool, QString> cases[] = {
        {9, false, ""},
        {3, false, "The drive did not answer the query for register P3."},
        {9, true, "The drive did not answer the query for register P0."}, // the device unplugged
    };
    for (const auto& [answered, unplugged, message] : cases) {
        TDeviceWindow* w = NewWindow();
        // Bytes from before the click are purged, else they would be taken for the first echo.
        Device.Received = "X=100000\r\nP0";
        Device.Answers = {{"\r", "\r\n"}};
        for (int n = 0; n < answered; ++n) {
            const QByteArray query = "P" + QByteArray::number(n) + "\r";
            Device.Answers[query] = query + "\n" + QByteArray::number(registers[n]) + ":";
        }
        Device.Statuses.clear();
        if (unplugged)
            Device.Statuses["ZQ_Read"] = ZQ_IO_ERROR;
        Click(w, "readSettingsButton");
        EXPECT_EQ(Texts(w), message.isEmpty() ? shown : DefaultTexts) << message.toStdString();
        EXPECT_EQ(Errors.join(""), message);
    }
}

TEST_F(SettingsPage, BankButtonsSendForAChosenBankOnly) {
    TDeviceWindow* w = NewWindow();
    Click(w, "bankStoreButton");
    Click(w, "bankLoadButton");
    EXPECT_EQ(Written(), QByteArrayList()) << "no bank is chosen at first";
    Click(w, "bank3Radio");
    Click(w, "bankStoreButton");
    Click(w, "bank0Radio");
    Click(w, "bankLoadButton");
    EXPECT_EQ(Written(), (QByteArrayList{"W3\r", "R0\r"}));
}

TEST_F(SettingsPage, ParameterFilesKeepEveryTextAndADamagedOneChangesNone) {
    QTemporaryDir dir;
    TDeviceWindow* w = NewWindow();
    Type(w, "kvEdit", "7,5");
    Type(w, "ajEdit", " 1234 ");
    Edit(w, "windingResistanceEdit")->setText("6,5");
    const QStringList texts = Texts(w, 15);
    // Without a suffix typed, the file gets the parameter files' own.
    ChooseFile("saveParametersButton", dir.filePath("motor"));
    const QString saved = dir.filePath("motor.kpar");

    w = NewWindow();
    ChooseFile("loadParametersButton", saved);
    EXPECT_EQ(Texts(w, 15), texts);
    EXPECT_TRUE(Written().isEmpty());

    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.readAll().indexOf("EncoderPulses")));
    file.close();
    w = NewWindow();
    const QStringList before = Texts(w, 15);
    ChooseFile("loadParametersButton", saved);
    EXPECT_EQ(Texts(w, 15), before);
    EXPECT_EQ(Errors.join(""), "The parameter file '" + saved + "' is damaged: no value for EncoderPulses.");
}

class SettingsWithSimulatedDrive : public ::testing::TestWithParam<TSimulatedLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, SettingsWithSimulatedDrive, ::testing::ValuesIn(SimulatedLines), LineName);

TEST_P(SettingsWithSimulatedDrive, CzytajShowsWhatTheDriveHoldsAfterWritesAndBanks) {
    TLocaleScope locale(Polish);
    TPortsScope simulated(GetParam().Ports());
    QStringList errors;
    {
        TErrorBoxes boxes(errors);
        TMainForm form(simulated.Ports());
        Trigger(form, "openDev0Action");
        TDeviceWindow* w = WindowOf(form, 0);
        ASSERT_NE(w, nullptr);
        // Once the drive's last answer shows in the terminal, nothing is under way any more.
        auto* memo = w->findChild<TTerminalView*>(QStringLiteral("terminal"));
        const auto shown = [&](const QString& end) {
            return QTest::qWaitFor([&] { return memo->toPlainText().endsWith(end); }, 5000);
        };

        Type(w, "kvEdit", "5");
        Type(w, "kdEdit", "0,5");
        Type(w, "vjEdit", "1000");
        Click(w, "writeSettingsButton");
        Click(w, "readSettingsButton");
        EXPECT_EQ(Texts(w), (QStringList{"5,00", "3,00", "0,50", "0,40", "0,30", "3192,00", "75,00", "999,88",
                                         "2995,20"}));

        // Store the set in bank 2, write another KP, load the bank back: the stored KP returns.
        Click(w, "bank2Radio");
        Click(w, "bankStoreButton");
        Type(w, "kpEdit", "1");
        Click(w, "writeSettingsButton");
        Click(w, "bankLoadButton");
        ASSERT_TRUE(shown("R2\nOK\n"));
        EXPECT_EQ(Edit(w, "kpEdit")->text(), "1");
        Click(w, "readSettingsButton");
        EXPECT_EQ(Edit(w, "kpEdit")->text(), "3,00");
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
}
