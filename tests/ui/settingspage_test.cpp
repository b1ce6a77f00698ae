// The tab "Nastawy Regulatora" against the fake device (bytes sent, scripted replies) and against the
// simulated drive (what the drive holds after a write, a bank store and a bank load).

#include "device/port.h"
#include "device/simport.h"
#include "link/deviceslots.h"
#include "tests/support/fakeport.h"
#include "tests/support/localescope.h"
#include "tests/support/modal.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/errorbox/errorbox.h"
#include "ui/mainwindow/mainform.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const char* const SettingNames[] = {"kvEdit",     "kpEdit",     "kdEdit", "kiEdit", "kgEdit",
                                    "limitVEdit", "limitMEdit", "vjEdit", "ajEdit"};
const char* const MotorNames[] = {"ratedVoltageEdit", "windingResistanceEdit", "ratedSpeedEdit",
                                  "ratedCurrentEdit", "supplyVoltageEdit",     "encoderPulsesEdit"};
const QStringList DefaultSettings = {"4,0", "3,0", "0", "0,4", "0,3", "3200", "75", "3000", "3000"};

QLineEdit* Edit(QWidget* window, const char* name) {
    return window->findChild<QLineEdit*>(name);
}

void Click(QWidget* window, const char* name) {
    window->findChild<QAbstractButton*>(name)->click();
}

QStringList Texts(QWidget* window, const char* const* names, int count) {
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << Edit(window, names[i])->text();
    return texts;
}

QStringList SettingTexts(QWidget* window) {
    return Texts(window, SettingNames, 9);
}

// The device window on the fake device 0, with texts in the Polish form; error boxes are recorded.
class SettingsPage : public ::testing::Test {
protected:
    TLocaleScope Polish{QLocale(QLocale::Polish, QLocale::Poland)};
    TFakeDeviceLibrary Fake;
    TFakeDevice& Device = Fake.Device(0);
    TDeviceSlots Slots;
    QStringList Errors;

    void SetUp() override {
        SetErrorBoxHook([this](const QString& message) { Errors << message; });
    }

    void TearDown() override {
        delete FWindow.data();
        SetErrorBoxHook({});
    }

    // A new window, the one before closed; its device has sent nothing and been sent nothing yet.
    TDeviceWindow* NewWindow() {
        delete FWindow.data();
        EXPECT_TRUE(Slots.At(0)->Open());
        FWindow = new TDeviceWindow(*Slots.At(0), true, true);
        Device.ClearCalls();
        Errors.clear();
        return FWindow;
    }

    QByteArrayList Written() const {
        QByteArrayList lines;
        for (const QByteArray& w : Device.Writes())
            lines << w;
        return lines;
    }

    // Clicks a parameter file button and answers its file dialog with path.
    void ChooseFile(const char* button, const QString& path) {
        bool fileDialog = false;
        {
            TModalAnswer answer([&](QDialog* dialog) {
                auto* files = qobject_cast<QFileDialog*>(dialog);
                fileDialog = files != nullptr;
                if (!files)
                    return;
                // The dialog leaves its name box alone while that has the focus, so type into it.
                files->selectFile(path);
                if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(path);
            });
            Click(FWindow, button);
        }
        EXPECT_TRUE(fileDialog) << button;
    }

private:
    QPointer<TDeviceWindow> FWindow;
};

// The drive's side of register dialogues: for each value, the answer to "Pn" CR (echo, value and
// prompt) and to the lone CR that closes the prompt.
std::deque<QByteArray> Dialogues(const QList<int>& values) {
    std::deque<QByteArray> replies;
    for (int n = 0; n < values.size(); ++n) {
        replies.push_back("P" + QByteArray::number(n) + "\r\n" + QByteArray::number(values[n]) + ":");
        replies.push_back("\r\n");
    }
    return replies;
}

} // namespace

TEST_F(SettingsPage, StartsWithTheDefaultTextsAndNoBank) {
    TDeviceWindow* w = NewWindow();
    EXPECT_EQ(SettingTexts(w), DefaultSettings);
    for (const char* radio : {"bank0Radio", "bank1Radio", "bank2Radio", "bank3Radio"})
        EXPECT_FALSE(w->findChild<QRadioButton*>(radio)->isChecked()) << radio;
}

TEST_F(SettingsPage, WpiszSendsTheRegisterWritesInRowOrderUntilABadText) {
    const QByteArrayList all = {"P1 1024\r", "P2 768\r", "P3 0\r",     "P4 102\r", "P6 294\r",
                                "P0 213\r",  "P5 384\r", "P7 12820\r", "P8 64\r"};
    struct Case {
        const char* Name;
        const char* Field; // none: the defaults
        QString Text;
        QByteArrayList Lines;
        QString Message; // empty: none
    };
    const Case cases[] = {
        {"the defaults", nullptr, "", all, ""},
        {"a gain that is no number", "kpEdit", "abc", all.mid(0, 1),
         "'abc' is not a valid floating point value."},
        {"an empty first field", "kvEdit", "", {}, "'' is not a valid floating point value."},
        {"a fractional encoder resolution", "encoderPulsesEdit", "500,5", all.mid(0, 4),
         "'500,5' is not a valid integer value."},
        {"a zero rated speed", "ratedSpeedEdit", "0", all.mid(0, 4), "Floating point division by zero."},
    };
    for (const Case& c : cases) {
        TDeviceWindow* w = NewWindow();
        if (c.Field)
            Edit(w, c.Field)->setText(c.Text);
        Click(w, "writeSettingsButton");
        EXPECT_EQ(Written(), c.Lines) << c.Name;
        EXPECT_EQ(Errors, c.Message.isEmpty() ? QStringList() : QStringList{c.Message}) << c.Name;
        EXPECT_TRUE(Device.CallTexts("ZQ_Read").isEmpty()) << c.Name;
    }
}

TEST_F(SettingsPage, CzytajFillsTheFieldsOnlyFromNineAnswers) {
    const QList<int> registers = {200, 1280, 512, -128, 64, 256, 294, 1170, 100};
    const QStringList shown = {"5,00",    "2,00",  "-0,50",  "0,25",   "0,30",
                               "2400,00", "50,00", "273,78", "4680,00"};
    struct Case {
        const char* Name;
        std::deque<QByteArray> Replies;
        QString Encoder;
        bool Unplugged;
        QStringList Fields;
        QString Message;
    };
    const Case cases[] = {
        {"all nine answered", Dialogues(registers), "500", false, shown, ""},
        {"a drive that falls silent", Dialogues(registers.mid(0, 3)), "500", false, DefaultSettings,
         "The drive did not answer the query for register P3."},
        {"the device unplugged", Dialogues(registers), "500", true, DefaultSettings,
         "The drive did not answer the query for register P0."},
        {"a conversion that fails after the dialogues", Dialogues(registers), "500,5", false,
         shown.mid(0, 4) + DefaultSettings.mid(4), "'500,5' is not a valid integer value."},
    };
    for (const Case& c : cases) {
        TDeviceWindow* w = NewWindow();
        Edit(w, "encoderPulsesEdit")->setText(c.Encoder);
        // Bytes from before the click are purged, else they would be taken for the first echo.
        Device.Received = "X=100000\r\nP0";
        Device.Replies = c.Replies;
        if (c.Unplugged)
            Device.Statuses["ZQ_Read"] = ZQ_IO_ERROR;
        Click(w, "readSettingsButton");
        EXPECT_EQ(SettingTexts(w), c.Fields) << c.Name;
        EXPECT_EQ(Errors, c.Message.isEmpty() ? QStringList() : QStringList{c.Message}) << c.Name;
        const QStringList calls = Device.CallTexts();
        ASSERT_FALSE(calls.isEmpty()) << c.Name;
        EXPECT_EQ(calls.front(), "ZQ_Purge(1)") << c.Name;
        Device.Statuses.clear();
    }
    EXPECT_EQ(Written().mid(0, 4), (QByteArrayList{"P0\r", "\r", "P1\r", "\r"}));
}

TEST_F(SettingsPage, BankButtonsSendTheirLineForTheChosenBankOnly) {
    struct Step {
        int Bank; // -1: none chosen
        const char* Button;
        QByteArrayList Lines;
    };
    const Step steps[] = {
        {-1, "bankStoreButton", {}},      {-1, "bankLoadButton", {}},      {3, "bankStoreButton", {"W3\r"}},
        {3, "bankStoreButton", {"W3\r"}}, {0, "bankLoadButton", {"R0\r"}}, {2, "bankLoadButton", {"R2\r"}},
    };
    TDeviceWindow* w = NewWindow();
    for (const Step& s : steps) {
        const QString radio = QStringLiteral("bank%1Radio").arg(s.Bank);
        if (s.Bank >= 0)
            w->findChild<QRadioButton*>(radio)->click();
        Device.ClearCalls();
        Click(w, s.Button);
        EXPECT_EQ(Written(), s.Lines) << s.Button << " with bank " << s.Bank;
        if (s.Bank >= 0) {
            EXPECT_TRUE(w->findChild<QRadioButton*>(radio)->isChecked()) << s.Bank;
        }
    }
    EXPECT_EQ(SettingTexts(w), DefaultSettings);
    EXPECT_TRUE(Errors.isEmpty());
}

TEST_F(SettingsPage, ParameterFilesKeepEveryTextAndABadOneChangesNone) {
    QTemporaryDir dir;
    TDeviceWindow* w = NewWindow();
    Edit(w, "kvEdit")->setText("7,5");
    Edit(w, "ajEdit")->setText(" 1234 ");
    Edit(w, "windingResistanceEdit")->setText("6,5");
    Edit(w, "encoderPulsesEdit")->setText("1000");
    const QStringList settings = SettingTexts(w);
    const QStringList motor = Texts(w, MotorNames, 6);
    // Without a suffix typed, the file gets the parameter file's own.
    ChooseFile("saveParametersButton", dir.filePath("motor"));
    ASSERT_TRUE(QFile::exists(dir.filePath("motor.kpar")));

    w = NewWindow();
    ChooseFile("loadParametersButton", dir.filePath("motor.kpar"));
    EXPECT_EQ(SettingTexts(w), settings);
    EXPECT_EQ(Texts(w, MotorNames, 6), motor);
    EXPECT_TRUE(Written().isEmpty()) << "loading sends nothing";

    QFile saved(dir.filePath("motor.kpar"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    struct Case {
        const char* Name;
        QByteArray Content;
        QString Message;
    };
    const Case cases[] = {
        {"not a parameter file", "KV = 1\n", "'%1' is not a Kelmor parameter file."},
        {"a value missing", content.left(content.lastIndexOf("EncoderPulses")),
         "The parameter file '%1' is damaged: no value for EncoderPulses."},
        {"a key unknown", content + "KX = 1\n",
         "The parameter file '%1' is damaged: line 17: unknown key 'KX'."},
    };
    for (const Case& c : cases) {
        w = NewWindow();
        const QString path = dir.filePath(QStringLiteral("bad.kpar"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.Content);
        file.close();
        ChooseFile("loadParametersButton", path);
        EXPECT_EQ(SettingTexts(w), DefaultSettings) << c.Name;
        EXPECT_EQ(Edit(w, "encoderPulsesEdit")->text(), "500") << c.Name;
        EXPECT_EQ(Errors, QStringList{c.Message.arg(path)}) << c.Name;
    }
}

namespace {

// The main window's device window on the simulated drive, on the steady clock.
class SettingsWithSimulatedDrive : public ::testing::Test {
protected:
    TLocaleScope Polish{QLocale(QLocale::Polish, QLocale::Poland)};

    void SetUp() override {
        FPortsWasSet = qEnvironmentVariableIsSet("ZQLINK_PORTS");
        FSavedPorts = qgetenv("ZQLINK_PORTS");
        qputenv("ZQLINK_PORTS", "sim");
        ResetSimClock();
        ResetSimulatedDrives();
        SetErrorBoxHook([this](const QString& message) { Errors << message; });
        Form = std::make_unique<TMainForm>();
        Form->OpenDevice0();
        ASSERT_NE(Form->WindowOf(0), nullptr);
        Window = Form->WindowOf(0);
    }

    void TearDown() override {
        Form.reset();
        CloseAllPorts();
        ResetSimulatedDrives();
        SetErrorBoxHook({});
        if (FPortsWasSet)
            qputenv("ZQLINK_PORTS", FSavedPorts);
        else
            qunsetenv("ZQLINK_PORTS");
    }

    // Waits until the terminal's text ends with the drive's last answer, so nothing is still under way.
    bool TerminalEndsWith(const QString& text) {
        auto* memo = Window->findChild<QPlainTextEdit*>(QStringLiteral("terminal"));
        return QTest::qWaitFor([&] { return memo->toPlainText().endsWith(text); }, 5000);
    }

    std::unique_ptr<TMainForm> Form;
    TDeviceWindow* Window = nullptr;
    QStringList Errors;

private:
    bool FPortsWasSet = false;
    QByteArray FSavedPorts;
};

} // namespace

TEST_F(SettingsWithSimulatedDrive, CzytajShowsWhatTheDriveHoldsAfterWritesAndBanks) {
    Edit(Window, "kvEdit")->setText("5");
    Edit(Window, "kpEdit")->setText("2");
    Edit(Window, "kdEdit")->setText("0,5");
    Edit(Window, "vjEdit")->setText("1000");
    Click(Window, "writeSettingsButton");
    ASSERT_TRUE(TerminalEndsWith("P8 64\n"));
    Click(Window, "readSettingsButton");
    EXPECT_EQ(SettingTexts(Window),
              (QStringList{"5,00", "2,00", "0,50", "0,40", "0,30", "3192,00", "75,00", "999,88", "2995,20"}));

    // Store the set in bank 2, write another KP, then load the bank back.
    Click(Window, "bank2Radio");
    Click(Window, "bankStoreButton");
    Edit(Window, "kpEdit")->setText("1");
    Click(Window, "writeSettingsButton");
    Click(Window, "bankLoadButton");
    ASSERT_TRUE(TerminalEndsWith("P8 64\nR2\nOK\n"));
    EXPECT_EQ(Edit(Window, "kpEdit")->text(), "1");
    Click(Window, "readSettingsButton");
    EXPECT_EQ(Edit(Window, "kpEdit")->text(), "2,00");
    EXPECT_EQ(SimulatedDrive(0).BankRegister(2, 2), 512);
    EXPECT_TRUE(Errors.isEmpty()) << Errors.join(' ').toStdString();
}
