#include "ui/portdialog/portdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

class PortDialogTest : public ::testing::Test {
public:
    QComboBox* Combo(const char* name) { return Form.findChild<QComboBox*>(QString::fromLatin1(name)); }
    QLineEdit* Edit(const char* name) { return Form.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QCheckBox* Check(const char* name) { return Form.findChild<QCheckBox*>(QString::fromLatin1(name)); }
    QLabel* Label(const char* name) { return Form.findChild<QLabel*>(QString::fromLatin1(name)); }

    TPortSettings Stored(TPortSettings settings = {}) {
        Form.StoreSettings(settings);
        return settings;
    }

    TPortDialog Form;
};

} // namespace

TEST_F(PortDialogTest, ShowsTheDefaultsOfAFreshDevice) {
    for (bool loaded : {false, true}) {
        if (loaded)
            Form.LoadSettings(TPortSettings{});
        EXPECT_EQ(Form.windowTitle(), QStringLiteral("Konfiguracja portu"));
        EXPECT_EQ(Combo("baudRateBox")->currentText(), QStringLiteral("115200"));
        EXPECT_EQ(Combo("dataBitsBox")->currentText(), QStringLiteral("8 bits"));
        EXPECT_EQ(Combo("stopBitsBox")->currentText(), QStringLiteral("1 bit"));
        EXPECT_EQ(Combo("parityBox")->currentText(), QStringLiteral("None"));
        EXPECT_EQ(Combo("flowControlBox")->currentText(), QStringLiteral("None"));
        EXPECT_TRUE(Check("rtsCheck")->isChecked());
        EXPECT_TRUE(Check("dtrCheck")->isChecked());
        EXPECT_EQ(Edit("xonEdit")->text(), QStringLiteral("11"));
        EXPECT_EQ(Edit("xoffEdit")->text(), QStringLiteral("13"));
        EXPECT_EQ(Edit("eventCharEdit")->text(), QStringLiteral("00"));
        EXPECT_EQ(Edit("errorCharEdit")->text(), QStringLiteral("00"));
        EXPECT_FALSE(Check("eventCharCheck")->isChecked());
        EXPECT_FALSE(Check("errorCharCheck")->isChecked());
        EXPECT_FALSE(Edit("eventCharEdit")->isEnabled());
        EXPECT_FALSE(Label("eventCharLabel")->isEnabled());
        EXPECT_FALSE(Edit("errorCharEdit")->isEnabled());
        EXPECT_EQ(Edit("rxTimeoutEdit")->text(), QStringLiteral("300"));
        EXPECT_EQ(Edit("txTimeoutEdit")->text(), QStringLiteral("300"));
        EXPECT_FALSE(Check("rxCharEventCheck")->isChecked());
        EXPECT_FALSE(Check("modemStatusEventCheck")->isChecked());
        EXPECT_EQ(Stored(), TPortSettings{}) << "storing the defaults gives the defaults";
    }
    EXPECT_EQ(Combo("baudRateBox")->count(), 14);
    EXPECT_EQ(Combo("baudRateBox")->itemText(6), QStringLiteral("14400"));
}

TEST_F(PortDialogTest, LoadAndStoreRoundTrip) {
    TPortSettings s;
    s.BaudRate = 921600;
    s.DataBits = 7;
    s.StopBits = 2;
    s.Parity = TParity::Space;
    s.FlowControl = TFlowControl::XonXoff;
    s.XonChar = 0x0A;
    s.XoffChar = 0xF0;
    s.EventChar = 0x1B;
    s.ErrorChar = 0x7F;
    s.EventCharEnabled = 1;
    s.ErrorCharEnabled = 1;
    s.Rts = 0;
    s.Dtr = 0;
    s.RxTimeout = 123456;
    s.TxTimeout = 5;
    s.EventMask = 2;
    Form.LoadSettings(s);
    EXPECT_EQ(Edit("xonEdit")->text(), QStringLiteral("0A"));
    EXPECT_EQ(Edit("xoffEdit")->text(), QStringLiteral("F0"));
    EXPECT_TRUE(Edit("eventCharEdit")->isEnabled());
    EXPECT_TRUE(Label("errorCharLabel")->isEnabled());
    EXPECT_EQ(Stored(), s);
}

// With the defaults and LoadAndStoreRoundTrip, every item of every box and a typed rate.
TEST_F(PortDialogTest, SettingsValuesRoundTrip) {
    const TPortSettings cases[] = {
        {.BaudRate = 300, .Parity = TParity::Odd, .FlowControl = TFlowControl::RtsCts},
        {.BaudRate = 1'000'000, .Parity = TParity::Even, .FlowControl = TFlowControl::DtrDsr},
        {.Parity = TParity::Mark},
    };
    for (const TPortSettings& s : cases) {
        Form.LoadSettings(s);
        EXPECT_EQ(Stored(), s) << s.BaudRate << " bit/s, parity " << int(s.Parity);
    }
}

TEST_F(PortDialogTest, EditedFieldsAreReadBack) {
    struct Case {
        const char* Name;
        std::function<void(PortDialogTest&)> Edit;
        std::function<void(TPortSettings&)> Expect;
    };
    const Case cases[] = {
        {"event character 1B with its box",
         [](PortDialogTest& t) {
             t.Check("eventCharCheck")->click();
             t.Edit("eventCharEdit")->setText("1B");
         },
         [](TPortSettings& s) {
             s.EventChar = 0x1B;
             s.EventCharEnabled = 1;
         }},
        {"lower-case hex", [](PortDialogTest& t) { t.Edit("errorCharEdit")->setText("fe"); },
         [](TPortSettings& s) { s.ErrorChar = 0xFE; }},
        {"XON and XOFF are read back",
         [](PortDialogTest& t) {
             t.Edit("xonEdit")->setText("51");
             t.Edit("xoffEdit")->setText("53");
         },
         [](TPortSettings& s) {
             s.XonChar = 0x51;
             s.XoffChar = 0x53;
         }},
        {"text that is not hexadecimal keeps the value",
         [](PortDialogTest& t) { t.Edit("xonEdit")->setText("ZZ"); }, [](TPortSettings&) {}},
        {"a padded time-out", [](PortDialogTest& t) { t.Edit("rxTimeoutEdit")->setText("300   "); },
         [](TPortSettings&) {}},
        {"an emptied time-out keeps the value",
         [](PortDialogTest& t) { t.Edit("txTimeoutEdit")->setText(""); }, [](TPortSettings&) {}},
        {"two stop bits", [](PortDialogTest& t) { t.Combo("stopBitsBox")->setCurrentIndex(1); },
         [](TPortSettings& s) { s.StopBits = 2; }},
        {"both events",
         [](PortDialogTest& t) {
             t.Check("rxCharEventCheck")->setChecked(true);
             t.Check("modemStatusEventCheck")->setChecked(true);
         },
         [](TPortSettings& s) { s.EventMask = 3; }},
        {"a typed list entry", [](PortDialogTest& t) { t.Combo("parityBox")->setEditText("even"); },
         [](TPortSettings& s) { s.Parity = TParity::Even; }},
        {"typed text that matches no item keeps the choice",
         [](PortDialogTest& t) {
             t.Combo("dataBitsBox")->setEditText("6 bits");
             t.Combo("parityBox")->setEditText("maybe");
             t.Combo("flowControlBox")->setEditText("");
         },
         [](TPortSettings&) {}},
        {"a typed rate the list lacks",
         [](PortDialogTest& t) { t.Combo("baudRateBox")->setEditText("250000"); },
         [](TPortSettings& s) { s.BaudRate = 250000; }},
        {"a typed rate from the list",
         [](PortDialogTest& t) { t.Combo("baudRateBox")->setEditText(" 9600 "); },
         [](TPortSettings& s) { s.BaudRate = 9600; }},
        {"a typed rate that is no rate",
         [](PortDialogTest& t) { t.Combo("baudRateBox")->setEditText("fast"); }, [](TPortSettings&) {}},
        {"a typed rate out of reach", [](PortDialogTest& t) { t.Combo("baudRateBox")->setEditText("7"); },
         [](TPortSettings&) {}},
    };
    for (const Case& c : cases) {
        Form.LoadSettings(TPortSettings{});
        c.Edit(*this);
        TPortSettings expected;
        c.Expect(expected);
        EXPECT_EQ(Stored(), expected) << c.Name;
    }
}

TEST_F(PortDialogTest, CharacterBoxesEnableTheirFields) {
    for (const char* prefix : {"eventChar", "errorChar"}) {
        const QByteArray p(prefix);
        QCheckBox* box = Check(p + "Check");
        box->click();
        EXPECT_TRUE(Edit(p + "Edit")->isEnabled()) << prefix;
        EXPECT_TRUE(Label(p + "Label")->isEnabled()) << prefix;
        box->click();
        EXPECT_FALSE(Edit(p + "Edit")->isEnabled()) << prefix;
        EXPECT_FALSE(Label(p + "Label")->isEnabled()) << prefix;
        EXPECT_TRUE(box->isEnabled()) << prefix << ": the box stays usable when unchecked";
    }
}

TEST_F(PortDialogTest, TypedRateShowsAgainWhenLoaded) {
    TPortSettings s;
    s.BaudRate = 250000;
    Form.LoadSettings(s);
    EXPECT_EQ(Combo("baudRateBox")->currentText(), QStringLiteral("250000"));
    EXPECT_EQ(Stored(), s);
}
