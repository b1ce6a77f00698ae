#include "drive/steptests.h"

#include "common/errors.h"
#include "drive/drivemodel.h"
#include "drive/steptest.h"
#include "link/deviceslot.h"

#include <algorithm>
#include <memory>

TStepTests::TStepTests(TDriveModel& model) : FModel(model) {}

TStepTests::TOutcome TStepTests::Run(const TFigure& amplitude, const TFigure& time, bool readSettingsFirst) {
    const TDriveLease lease = FModel.Lease();
    // Holds the poll off for the whole test; it runs again however the test ends.
    const std::unique_ptr<TExchange> exchange = lease.Slot()->BeginExchange(lease);
    return Run(*exchange, amplitude, time, readSettingsFirst);
}

TStepTests::TOutcome TStepTests::Run(TExchange& exchange, const TFigure& amplitude, const TFigure& time,
                                     bool readSettingsFirst, std::optional<std::int32_t> expected) {
    FModel.RequireStepMode();
    if (readSettingsFirst)
        FModel.Parameters().Read(exchange);
    const std::optional<std::int32_t> witness = expected ? expected : FModel.Witness();
    // Whatever happens from here, the motor may move: only the records of a test that ended say where.
    FModel.ForgetWitness();
    FModel.SamplesStored();
    TStepMeasurement measurement = MeasureStep(exchange, amplitude, time, witness);
    if (measurement.SetPointZeroed)
        FModel.SetPointConfirmed(0);
    FModel.Witnessed(RecordedEnd(measurement.Record));
    FTests.push_back(MakeTestRecord(FNextNumber++, QDateTime::currentDateTime(),
                                    std::move(measurement.Record), FModel.Parameters().Known()));
    TOutcome outcome{FTests.back(), measurement.TimeCapped};
    emit Changed();
    return outcome;
}

const TTestRecord* TStepTests::Find(int number) const {
    const auto it =
        std::find_if(FTests.begin(), FTests.end(), [&](const TTestRecord& t) { return t.Number == number; });
    return it == FTests.end() ? nullptr : &*it;
}

void TStepTests::Remove(const std::vector<int>& numbers) {
    const auto removed = std::erase_if(FTests, [&](const TTestRecord& t) {
        return std::find(numbers.begin(), numbers.end(), t.Number) != numbers.end();
    });
    if (removed > 0)
        emit Changed();
}

std::vector<int> TStepTests::Add(std::vector<TTestRecord> tests) {
    if (FTests.empty()) {
        for (const TTestRecord& test : tests)
            FNextNumber = std::max(FNextNumber, test.Number + 1);
    } else {
        for (TTestRecord& test : tests)
            test.Number = FNextNumber++;
    }
    std::vector<int> numbers;
    for (const TTestRecord& test : tests)
        numbers.push_back(test.Number);
    FTests.insert(FTests.end(), std::make_move_iterator(tests.begin()), std::make_move_iterator(tests.end()));
    if (!numbers.empty())
        emit Changed();
    return numbers;
}
