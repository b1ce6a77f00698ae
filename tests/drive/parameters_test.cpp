// The settings as the engineer wants them beside what the drive is known to hold: which rows
// "Wpisz" has yet to send, and why a row would not convert.

#include "drive/parameters.h"

#include "common/numtext.h"
#include "drive/drivemodel.h"
#include "harness/fakeport.h"
#include "harness/qtprinters.h"
#include "tests/support/outcome.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

// A model on a drive whose registers read 100, KP's 700 (2,734375, shown "2,73", which converts
// back to 698).
class ParametersTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.Echo = true;
        for (int n = 0; n < SettingCount; ++n)
            device.Answers[QByteArray("P") + char('0' + n) + '\r'] =
                n == RegisterTable[KP].Register ? "700:" : "100:";
        ASSERT_TRUE(slot.Open());
    }
    TParameters& parameters() { return model.Parameters(); }

    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    TDeviceSlot slot{0, fake.Ports()};
    TDriveModel model{slot};
};

TFigure Figure(const char* text) {
    return TFigure(LocalDecimalText(text));
}

} // namespace

// Only rows the engineer edited count, and only while they would write another register than the
// drive is known to hold.
TEST_F(ParametersTest, UnsentRows) {
    const struct {
        const char* Name;
        std::function<void()> Act;
        std::vector<TSettingRow> Unsent;
    } steps[] = {
        {"nothing known, nothing edited", [] {}, {}},
        {"an edit while nothing is known", [&] { parameters().Want(KD, Figure("2")); }, {KD}},
        {"Czytaj", [&] { parameters().Read(); }, {}},
        {"KP read untouched, its text short of the register", [] {}, {}},
        {"KD edited to the register it holds", [&] { parameters().Want(KD, Figure("0,390625")); }, {}},
        {"KD edited to another", [&] { parameters().Want(KD, Figure("0,5")); }, {KD}},
        {"a text that is no number", [&] { parameters().Want(KI, Figure("x")); }, {KD, KI}},
        {"Wpisz after mending it",
         [&] {
             parameters().Want(KI, Figure("1"));
             parameters().Write();
         },
         {}},
        {"an edit after the write", [&] { parameters().Want(KP, Figure("3")); }, {KP}},
        {"a file's settings, equal but for KG, with KP's edit",
         [&] {
             TSettingNumbers figures = parameters().Wanted();
             figures[KG] = Figure("9");
             parameters().WantAll(figures);
         },
         {KP, KG}},
        {"a raw line forgets the registers the file's rows were compared with",
         [&] {
             parameters().Want(KP, Figure("1"));
             slot.WriteRaw(slot.Lease(TLeaseUse::Raw).value(), "P2 9\r", 5);
         },
         {KV, KP, KD, KI, KG, LimitV, LimitM, Vj, aj}},
    };
    for (const auto& s : steps) {
        s.Act();
        EXPECT_EQ(parameters().Unsent(), s.Unsent) << s.Name;
    }
}

// A problem names the row's own fault; Limit V's goes with KV's.
TEST_F(ParametersTest, Problems) {
    parameters().Want(KI, Figure("x"));
    EXPECT_EQ(parameters().Problem(KI), "'x' is not a valid floating point value");
    EXPECT_EQ(parameters().Problem(KP), "");
    parameters().Want(KV, Figure("y"));
    EXPECT_EQ(parameters().Problem(LimitV), "'y' is not a valid floating point value");
}

// "Wpisz" after "Czytaj" writes back the registers read, not what their two shown decimals stand for.
TEST_F(ParametersTest, WpiszAfterCzytajWritesBackWhatWasRead) {
    parameters().Read();
    device.Written.clear();
    parameters().Write();
    for (const char* line : {"P1 100\r", "P2 700\r", "P0 100\r"})
        EXPECT_TRUE(device.Written.contains(line)) << line << device.Written.toStdString();
}

// A register Czytaj could not confirm is not written back: no row changes, and "Wpisz" sends nothing
// until that row is typed.
TEST_F(ParametersTest, WpiszRefusesARowCzytajCouldNotConfirm) {
    device.Answers["P2\r"] = "7 0:";
    EXPECT_EQ(Outcome([&] { parameters().Read(); }), "' 7 0' is not a valid integer value");
    EXPECT_FALSE(parameters().Known()->IsKnown(KP));
    EXPECT_TRUE(parameters().Known()->IsKnown(KV));
    device.Written.clear();
    EXPECT_EQ(Outcome([&] { parameters().Write(); }),
              "Nothing was written: KP (P2) could not be confirmed when read; read again or type the value");
    EXPECT_TRUE(device.Written.isEmpty());
    parameters().Want(KP, Figure("3,0"));
    EXPECT_EQ(Outcome([&] { parameters().Write(); }), "");
    EXPECT_TRUE(device.Written.contains("P2 768\r"));
}
