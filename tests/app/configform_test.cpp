#include "device/configform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

class ConfigFormTest : public ::testing::Test {
public:
    QComboBox* Combo(const char* name) { return Form.findChild<QComboBox*>(QString::fromLatin1(name)); }
    QLineEdit* Edit(const char* name) { return Form.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QCheckBox* Check(const char* name) { return Form.findChild<QCheckBox*>(QString::fromLatin1(name)); }
    QLabel* Label(const char* name) { return Form.findChild<QLabel*>(QString::fromLatin1(name)); }

    TPortSettings Stored(TPortSettings settings = {}) {
        Form.StoreSettings(settings);
        return settings;
    }

    TConfigForm Form;
};

} // namespace

TEST_F(ConfigFormTest, ShowsTheDefaultsOfAFreshDevice) {
    for (bool loaded : {false, true}) {
        if (loaded)
            Form.LoadSettings(TPortSettings{});
        EXPECT_EQ(Form.windowTitle(), QStringLiteral("Konfiguracja portu"));
        EXPECT_EQ(Combo("BaudRateCB")->currentText(), QStringLiteral("115200"));
        EXPECT_EQ(Combo("DataBitsCB")->currentText(), QStringLiteral("8 bits"));
        EXPECT_EQ(Combo("StopBitsCB")->currentText(), QStringLiteral("1 bit"));
        EXPECT_EQ(Combo("ParityCB")->currentText(), QStringLiteral("None"));
        EXPECT_EQ(Combo("FlowControlCB")->currentText(), QStringLiteral("None"));
        EXPECT_TRUE(Check("RtsCB")->isChecked());
        EXPECT_TRUE(Check("DtrCB")->isChecked());
        EXPECT_EQ(Edit("XonME")->text(), QStringLiteral("11"));
        EXPECT_EQ(Edit("XoffME")->text(), QStringLiteral("13"));
        EXPECT_EQ(Edit("EventCharME")->text(), QStringLiteral("00"));
        EXPECT_EQ(Edit("ErrorCharME")->text(), QStringLiteral("00"));
        EXPECT_FALSE(Check("EventCharCB")->isChecked());
        EXPECT_FALSE(Check("ErrorCharCB")->isChecked());
        EXPECT_FALSE(Edit("EventCharME")->isEnabled());
        EXPECT_FALSE(Label("EventCharLabel")->isEnabled());
        EXPECT_FALSE(Edit("ErrorCharME")->isEnabled());
        EXPECT_EQ(Edit("RxTimeoutME")->text(), QStringLiteral("300"));
        EXPECT_EQ(Edit("TxTimeoutME")->text(), QStringLiteral("300"));
        EXPECT_FALSE(Check("RxCharCB")->isChecked());
        EXPECT_FALSE(Check("ModemStatCB")->isChecked());
        EXPECT_EQ(Stored(), TPortSettings{}) << "storing the defaults gives the defaults";
    }
    EXPECT_EQ(Combo("BaudRateCB")->count(), 14);
    EXPECT_EQ(Combo("BaudRateCB")->itemText(6), QStringLiteral("14400"));
}

TEST_F(ConfigFormTest, LoadAndStoreRoundTrip) {
    TPortSettings s;
    s.BaudIndex = 13;
    s.DataBitsIndex = 0;
    s.StopBitsIndex = 1;
    s.Parity = 4;
    s.FlowControl = 3;
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
    EXPECT_EQ(Edit("XonME")->text(), QStringLiteral("0A"));
    EXPECT_EQ(Edit("XoffME")->text(), QStringLiteral("F0"));
    EXPECT_TRUE(Edit("EventCharME")->isEnabled());
    EXPECT_TRUE(Label("ErrorCharLabel")->isEnabled());
    EXPECT_EQ(Stored(), s);
}

TEST_F(ConfigFormTest, EditedFieldsAreReadBack) {
    struct Case {
        const char* Name;
        std::function<void(ConfigFormTest&)> Edit;
        std::function<void(TPortSettings&)> Expect;
    };
    const Case cases[] = {
        {"event character 1B with its box",
         [](ConfigFormTest& t) {
             t.Check("EventCharCB")->click();
             t.Edit("EventCharME")->setText("1B");
         },
         [](TPortSettings& s) {
             s.EventChar = 0x1B;
             s.EventCharEnabled = 1;
         }},
        {"lower-case hex", [](ConfigFormTest& t) { t.Edit("ErrorCharME")->setText("fe"); },
         [](TPortSettings& s) { s.ErrorChar = 0xFE; }},
        {"XON and XOFF are read back",
         [](ConfigFormTest& t) {
             t.Edit("XonME")->setText("51");
             t.Edit("XoffME")->setText("53");
         },
         [](TPortSettings& s) {
             s.XonChar = 0x51;
             s.XoffChar = 0x53;
         }},
        {"text that is not hexadecimal keeps the value",
         [](ConfigFormTest& t) { t.Edit("XonME")->setText("ZZ"); }, [](TPortSettings&) {}},
        {"a padded time-out", [](ConfigFormTest& t) { t.Edit("RxTimeoutME")->setText("300   "); },
         [](TPortSettings&) {}},
        {"an emptied time-out keeps the value", [](ConfigFormTest& t) { t.Edit("TxTimeoutME")->setText(""); },
         [](TPortSettings&) {}},
        {"two stop bits", [](ConfigFormTest& t) { t.Combo("StopBitsCB")->setCurrentIndex(1); },
         [](TPortSettings& s) { s.StopBitsIndex = 1; }},
        {"both events",
         [](ConfigFormTest& t) {
             t.Check("RxCharCB")->setChecked(true);
             t.Check("ModemStatCB")->setChecked(true);
         },
         [](TPortSettings& s) { s.EventMask = 3; }},
        {"a typed list entry", [](ConfigFormTest& t) { t.Combo("ParityCB")->setEditText("even"); },
         [](TPortSettings& s) { s.Parity = 2; }},
        {"typed text that matches no item keeps the choice",
         [](ConfigFormTest& t) {
             t.Combo("DataBitsCB")->setEditText("6 bits");
             t.Combo("ParityCB")->setEditText("maybe");
             t.Combo("FlowControlCB")->setEditText("");
         },
         [](TPortSettings&) {}},
        {"a typed rate the list lacks",
         [](ConfigFormTest& t) { t.Combo("BaudRateCB")->setEditText("250000"); },
         [](TPortSettings& s) {
             s.BaudIndex = -1;
             s.TypedBaudRate = 250000;
         }},
        {"a typed rate from the list",
         [](ConfigFormTest& t) { t.Combo("BaudRateCB")->setEditText(" 9600 "); },
         [](TPortSettings& s) { s.BaudIndex = 5; }},
        {"a typed rate that is no rate",
         [](ConfigFormTest& t) { t.Combo("BaudRateCB")->setEditText("fast"); }, [](TPortSettings&) {}},
        {"a typed rate out of reach", [](ConfigFormTest& t) { t.Combo("BaudRateCB")->setEditText("7"); },
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

TEST_F(ConfigFormTest, CharacterBoxesEnableTheirFields) {
    for (const char* prefix : {"EventChar", "ErrorChar"}) {
        const QByteArray p(prefix);
        QCheckBox* box = Check(p + "CB");
        box->click();
        EXPECT_TRUE(Edit(p + "ME")->isEnabled()) << prefix;
        EXPECT_TRUE(Label(p + "Label")->isEnabled()) << prefix;
        box->click();
        EXPECT_FALSE(Edit(p + "ME")->isEnabled()) << prefix;
        EXPECT_FALSE(Label(p + "Label")->isEnabled()) << prefix;
        EXPECT_TRUE(box->isEnabled()) << prefix << ": the box stays usable when unchecked";
    }
}

TEST_F(ConfigFormTest, TypedRateShowsAgainWhenLoaded) {
    TPortSettings s;
    s.BaudIndex = -1;
    s.TypedBaudRate = 250000;
    Form.LoadSettings(s);
    EXPECT_EQ(Combo("BaudRateCB")->currentText(), QStringLiteral("250000"));
    EXPECT_EQ(Stored(), s);
}
