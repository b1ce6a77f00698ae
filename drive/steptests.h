#pragma once

#include "common/numtext.h"
#include "drive/testrecord.h"

#include <QObject>
#include <optional>
#include <vector>

class TDriveModel;
class TExchange;

// The step tests of a device and their history: each test measured with the settings known when it
// ran, kept in the order the tests ran, removed or added from a session file.
class TStepTests : public QObject {
    Q_OBJECT

public:
    explicit TStepTests(TDriveModel& model);

    struct TOutcome {
        // A copy: a listener to Changed may add or remove tests, and no reference into the history
        // outlives that.
        TTestRecord Test;
        // The measurement time asked for was longer than the drive records; "250" stands for it.
        bool TimeCapped;
    };
    // One step test, with the read-back first when asked, so the record's settings are exact. The
    // test joins the history.
    TOutcome Run(const TFigure& amplitude, const TFigure& time, bool readSettingsFirst);
    // The same within an exchange the caller holds. The step starts from a position confirmed against
    // `expected`, where the caller left the motor, or else the model's witness (MeasureStep); the test's
    // records are the next witness.
    TOutcome Run(TExchange& exchange, const TFigure& amplitude, const TFigure& time, bool readSettingsFirst,
                 std::optional<std::int32_t> expected = std::nullopt);

    // The history, oldest first.
    const std::vector<TTestRecord>& All() const { return FTests; }
    const TTestRecord* Find(int number) const;
    void Remove(const std::vector<int>& numbers);
    // Tests read from a session file join the history. They keep their numbers in an empty history,
    // and are numbered on after the last test otherwise; the numbers they got are returned, in order.
    std::vector<int> Add(std::vector<TTestRecord> tests);

signals:
    // Tests were added or removed.
    void Changed();

private:
    TDriveModel& FModel;
    std::vector<TTestRecord> FTests;
    int FNextNumber = 1;
};
