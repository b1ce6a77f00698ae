#include "drive/parameterfile.h"

#include "harness/qtprinters.h"
#include "tests/support/localescope.h"
#include "tests/support/outcome.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QLocale Polish(QLocale::Polish, QLocale::Poland);

TParameterSet SampleSet() {
    TParameterSet set;
    for (int row = 0; row < SettingCount; ++row)
        set.Settings[row] = TFigure(QString::fromLatin1(RegisterTable[row].DefaultText));
    set.Settings[KD] = TFigure(" -0,5 ");
    set.Settings[Vj] = TFigure(QString::fromUtf8("zła = wartość"));
    set.Motor = DefaultMotorData();
    set.Motor.SupplyVoltage = TFigure("");
    return set;
}

bool operator==(const TParameterSet& a, const TParameterSet& b) {
    const auto motor = [](const TMotorData& m) {
        QStringList texts;
        for (const TMotorField& field : MotorFieldTable)
            texts << (m.*field.Number).Text();
        return texts;
    };
    return a.Settings == b.Settings && motor(a.Motor) == motor(b.Motor);
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A saved set loads back as it was; a file that is not one of ours or is damaged loads nothing and
// says why.
TEST(ParameterFile, SaveAndLoad) {
    TLocaleScope locale(Polish);
    QTemporaryDir dir;
    const QString path = dir.filePath("motor.txt");
    SaveParameterFile(path, SampleSet());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    EXPECT_TRUE(good.startsWith("Kelmor parameters 1\nKV = 4.0\nKP = 3.0\nKD =  -0.5 \n"))
        << good.toStdString();
    EXPECT_TRUE(good.endsWith("SupplyVoltage = \nEncoderPulses = 500\n")) << good.toStdString();
    const QString damaged = QStringLiteral("The parameter file '%1' is damaged: ").arg(path);
    const QString notOurs = QStringLiteral("'%1' is not a Kelmor parameter file").arg(path);

    const struct {
        const char* Name;
        QByteArray Content;
        QString Error;
    } cases[] = {
        {"as saved", good, ""},
        {"saved with the locale's comma", QByteArray(good).replace('.', ','), ""},
        {"CR LF and comments after the heading",
         QByteArray(good).replace("\n", "\r\n").replace("KV = 4.0", "\r\n# tuned\r\nKV=4.0"), ""},
        {"another version", QByteArray(good).replace("parameters 1", "parameters 2"), notOurs},
        {"too large", good + QByteArray(70000, '#'), notOurs},
        {"missing key", QByteArray(good).replace("LimitM = 75\n", ""), damaged + "no value for LimitM"},
        {"unknown key", good + "Gain = 5\n", damaged + "line 17: unknown key 'Gain'"},
        {"second value", good + "KV = 5\n", damaged + "line 17: a second value for KV"},
        {"no equals sign", QByteArray(good).replace("KP = ", "KP "),
         damaged + "line 3: no '=' after the key"},
        {"control character", QByteArray(good).replace("KP = 3.0", "KP = 3\t0"),
         damaged + "line 3: a control character in the value of KP"},
        {"not UTF-8", QByteArray(good).replace("KP = 3.0", "KP = 3\xB3"), damaged + "it is not UTF-8 text"},
    };
    for (const auto& c : cases) {
        WriteBytes(path, c.Content);
        TParameterSet loaded;
        EXPECT_EQ(Outcome([&] { loaded = LoadParameterFile(path); }), c.Error) << c.Name;
        if (c.Error.isEmpty()) {
            EXPECT_TRUE(loaded == SampleSet()) << c.Name;
        }
    }
    EXPECT_EQ(Outcome([&] { LoadParameterFile(dir.filePath("absent.txt")); }).left(10), "Can't read");
}

TEST(ParameterFile, FailedSaveLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("motor.txt");
    WriteBytes(path, "old");
    TParameterSet set = SampleSet();
    set.Motor.RatedCurrent = TFigure("0,5\n");
    EXPECT_EQ(Outcome([&] { SaveParameterFile(path, set); }),
              "The text of RatedCurrent holds a control character and cannot be saved");
    EXPECT_EQ(
        Outcome([&] { SaveParameterFile(dir.filePath("no/such/dir/motor.txt"), SampleSet()); }).left(11),
        "Can't write");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "old");
}

} // namespace
