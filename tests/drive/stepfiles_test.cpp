#include "drive/stepfiles.h"

#include "harness/qtprinters.h"
#include "harness/tuningrecord.h"
#include "tests/support/localescope.h"
#include "tests/support/outcome.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Two tests: the first under settings not all known and with its second sample missing, the second
// under known settings (the standard ones) and hidden from the plot.
std::vector<TTestRecord> TwoTests() {
    TKnownSettings partly;
    partly.Registers[2] = 768; // KP 3
    TKnownSettings all = TKnownSettings::All({213, 1024, 768, 0, 102, 384, 294, 12820, 64});
    all.At = QDateTime::fromString("2026-12-08T10:14:02.500+01:00", Qt::ISODateWithMs);
    const QDateTime ran = QDateTime::fromString("2026-12-08T10:15:30.125+01:00", Qt::ISODateWithMs);
    std::vector<TTestRecord> tests;
    tests.push_back(MakeTestRecord(3, ran, {200, 1000, 4, {1000, MissingSample, 1225, 1200}},
                                   std::make_shared<const TKnownSettings>(partly)));
    tests.push_back(
        MakeTestRecord(7, ran.addSecs(5), {100, 5, 2, {105}}, std::make_shared<const TKnownSettings>(all)));
    return tests;
}

bool ShownButSeven(int number) {
    return number != 7;
}

void SaveTwoTests(const QString& path) {
    SaveSessionFile(path, TwoTests(), ShownButSeven, DefaultMotorData());
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(StepCsv, WritesTheWholeFileOrSaysWhy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("step.csv");
    WriteStepCsv(path, {200, 100000, 3, {100000, MissingSample, 99998}});
    EXPECT_EQ(ReadAll(path), "time_ms,position,relative,commanded,amplitude=200,start=100000,samples=2\n"
                             "0.0,100000,0,100200\n"
                             "1.0,99998,-2,100200\n");

    const QString missing = dir.filePath("no such folder/step.csv");
    EXPECT_TRUE(Outcome([&] {
                    WriteStepCsv(missing, {200, 100000, 1, {100000}});
                }).startsWith("Can't write \"" + missing + "\": "));
}

TEST(HistoryFiles, CsvAndSessionRoundTrip) {
    const TLocaleScope polish(QLocale(QLocale::Polish, QLocale::Poland));
    QTemporaryDir dir;
    const std::vector<TTestRecord> tests = TwoTests();
    const std::vector<const TTestRecord*> both = {&tests[0], &tests[1]};
    WriteTestsCsv(dir.filePath("tests.csv"), both);
    EXPECT_EQ(ReadAll(dir.filePath("tests.csv")), "test,time_ms,position,relative,commanded\n"
                                                  "3,0.0,1000,0,1200\n"
                                                  "3,1.0,1225,225,1200\n"
                                                  "3,1.5,1200,200,1200\n"
                                                  "7,0.0,105,100,105\n");

    const QString path = dir.filePath("session.kses");
    SaveTwoTests(path);
    EXPECT_TRUE(ReadAll(path).contains("\"KP\":\"3.00\"")) << "a point whatever the locale";
    EXPECT_TRUE(ReadAll(path).contains("\"version\":2"));
    const std::vector<TSessionTest> loaded = LoadSessionFile(path);
    ASSERT_EQ(loaded.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const TTestRecord& a = tests[i];
        const TTestRecord& b = loaded[i].Test;
        EXPECT_EQ(b.Number, a.Number);
        EXPECT_EQ(b.RanAt, a.RanAt);
        EXPECT_EQ(loaded[i].Shown, ShownButSeven(a.Number));
        EXPECT_EQ(b.Step.Amplitude, a.Step.Amplitude);
        EXPECT_EQ(b.Step.StartPosition, a.Step.StartPosition);
        EXPECT_EQ(b.Step.SampleCount, a.Step.SampleCount);
        EXPECT_EQ(b.Step.Samples, a.Step.Samples);
        EXPECT_EQ(b.Figures.Integral, a.Figures.Integral);
        EXPECT_EQ(b.Settings->Registers, a.Settings->Registers);
        EXPECT_EQ(b.Settings->At, a.Settings->At);
    }
}

TEST(HistoryFiles, DamagedOrForeignSessionFilesAreRefusedWhole) {
    const TLocaleScope polish(QLocale(QLocale::Polish, QLocale::Poland));
    QTemporaryDir dir;
    const QString path = dir.filePath("session.kses");
    SaveTwoTests(path);
    const QByteArray good = ReadAll(path);
    const QString damaged = "The session file \"" + path + "\" is damaged: ";
    const struct {
        QByteArray From, To;
        QString Error;
    } cases[] = {
        {"{", "[", "\"" + path + "\" is not a Kelmor session file"},
        {"Kelmor session", "Kelmor parameters", "\"" + path + "\" is not a Kelmor session file"},
        {"\"version\":2", "\"version\":3", damaged + "version 3 is not one this Kelmor reads"},
        {"\"number\":7", "\"number\":3", damaged + "test 2: the number 3 comes twice"},
        {"\"amplitude\":100", "\"amplitude\":0",
         damaged + "test 2: amplitude is not a whole number from 1 to 16777215"},
        {"[105]", "[105.5]", damaged + "test 2: a sample is not a whole number from 0 to 16777215"},
        {"[105]", "[105,1,2]", damaged + "test 2: samples is not a list of at most samplesAsked positions"},
        {"\"KP\":\"3.00\"", "\"KP\":3", damaged + "test 1: the setting KP is neither a text nor null"},
        {"\"shown\":false", "\"shown\":0", damaged + "test 2: shown is not true or false"},
        {"\"LimitV\":213", "\"LimitV\":71583",
         damaged + "test 2: the register of LimitV is not a whole number from -71582 to 71582"},
        // Version 1 kept only the texts: each must convert to its register.
        {"\"version\":2", "\"version\":1",
         damaged + "test 1: the setting KP: '3x' is not a valid floating point value"},
    };
    for (const auto& c : cases) {
        QByteArray bytes = good;
        ASSERT_TRUE(bytes.contains(c.From)) << c.From.toStdString();
        bytes.replace(c.From, c.To);
        if (c.To == "\"version\":1")
            bytes.replace("\"KP\":\"3.00\"", "\"KP\":\"3x\"");
        EXPECT_EQ(Outcome([&] { ParseSession(bytes, path); }), c.Error) << c.To.toStdString();
    }
}

// Files of the first version, which kept the settings as texts only, still load: their texts become
// register values as "Wpisz" would write them with the standard motor data.
TEST(HistoryFiles, FirstVersionSessionFilesLoad) {
    const QByteArray version1 =
        R"({"format":"Kelmor session","version":1,"tests":[{"number":2,"ranAt":"2026-12-08T10:15:30.123+01:00",)"
        R"("amplitude":200,"startPosition":100000,"samplesAsked":2,"shown":false,"samples":[100000,100210],)"
        R"("settings":{"at":null,"KV":"4.0","KP":"3,5","KD":null,"KI":"0.4","KG":"0.3","LimitV":"3200",)"
        R"("LimitM":"75","Vj":"3000","aj":"3000"}}]})";
    const std::vector<TSessionTest> loaded = ParseSession(version1, "old.kses");
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_FALSE(loaded[0].Shown);
    const TKnownSettings& settings = *loaded[0].Test.Settings;
    EXPECT_EQ(settings.Register(KV), 1024);
    EXPECT_EQ(settings.Register(KP), 896);
    EXPECT_FALSE(settings.IsKnown(KD));
    EXPECT_EQ(settings.Register(LimitV), 213);
    EXPECT_EQ(settings.Register(KG), 294);
}

// A session file keeps the device beside its tests, its last tuning run whole, for a report made
// later; a file without it reads as before, and a damaged run says where.
TEST(SessionFile, KeepsTheDeviceAndItsTuningRun) {
    QTemporaryDir dir;
    const QString path = dir.filePath("session.kses");
    TSessionDrive drive{
        "DEV2",
        "/dev/ttyUSB1",
        "DRIVE 12V v1.0",
        DefaultMotorData(),
        TKnownSettings::All({213, 1024, 768, 0, 102, 384, 294, 12820, 64}),
        SyntheticRun(4, QDateTime::fromString("2026-12-08T11:00:00.000+01:00", Qt::ISODateWithMs))};
    drive.Motor.RatedSpeed = TFigure(LocalDecimalText("3500,5"));
    drive.Known.Registers[3].reset();
    drive.Run->PredictedOvershoot[5] = std::nan("");
    drive.Run->Applied = true;
    SaveSessionFile(path, TwoTests(), ShownButSeven, drive);

    const TSession session = LoadWholeSession(path);
    ASSERT_EQ(session.Tests.size(), 2u);
    ASSERT_TRUE(session.Drive);
    EXPECT_TRUE(session.SavedAt.isValid());
    const TSessionDrive& read = *session.Drive;
    EXPECT_EQ(QStringList({read.Device, read.Port, read.Identification}),
              QStringList({"DEV2", "/dev/ttyUSB1", "DRIVE 12V v1.0"}));
    EXPECT_EQ(read.Motor.RatedSpeed.Text(), LocalDecimalText("3500,5"));
    EXPECT_EQ(read.Known.Registers, drive.Known.Registers);
    ASSERT_TRUE(read.Run);
    const TTuningRecord& run = *read.Run;
    ASSERT_EQ(run.Rounds.size(), 4u);
    EXPECT_EQ(run.Rounds[3].Registers, drive.Run->Rounds[3].Registers);
    EXPECT_FALSE(run.Rounds[0].Predicted);
    ASSERT_TRUE(run.Rounds[2].Predicted);
    EXPECT_EQ(run.Rounds[2].Predicted->Integral, drive.Run->Rounds[2].Predicted->Integral);
    EXPECT_EQ(run.Rounds[1].Verdict, drive.Run->Rounds[1].Verdict);
    EXPECT_EQ(run.Best, drive.Run->Best);
    ASSERT_TRUE(run.Result);
    EXPECT_EQ(run.Result->Kind, TTuningResult::Best);
    EXPECT_TRUE(run.Applied);
    EXPECT_EQ(run.EndedAt, drive.Run->EndedAt);
    EXPECT_EQ(run.Plan.Highest, drive.Run->Plan.Highest);
    EXPECT_TRUE(std::isnan(run.PredictedOvershoot[5]));
    EXPECT_EQ(run.PredictedOvershoot[6], 9.0);

    SaveTwoTests(path);
    EXPECT_FALSE(LoadWholeSession(path).Drive) << "a file of an earlier Kelmor";

    SaveSessionFile(path, TwoTests(), ShownButSeven, drive);
    QByteArray bytes = ReadAll(path);
    bytes.replace("\"round\":3", "\"round\":4");
    EXPECT_EQ(Outcome([&] { ParseWholeSession(bytes, path); }),
              "The session file \"" + path +
                  "\" is damaged: the device: result.round is not a whole number from 0 to 3");
}
