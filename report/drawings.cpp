#include "report/drawings.h"

#include "drive/registertable.h"

namespace {

TMapVerdict MapVerdict(TRoundVerdict verdict) {
    switch (verdict) {
    case TRoundVerdict::Eligible:
        return TMapVerdict::Eligible;
    case TRoundVerdict::Overshoot:
        return TMapVerdict::Overshoot;
    default:
        return TMapVerdict::Other;
    }
}

} // namespace

std::vector<TPlottedTest> PlottedTests(const std::vector<const TTestRecord*>& tests) {
    static_assert(MissingSample == NoSample, "a missing sample stays missing on the plot");
    std::vector<TPlottedTest> plotted;
    plotted.reserve(tests.size());
    for (const TTestRecord* test : tests)
        plotted.push_back({test->Step.Amplitude, test->Step.SampleCount, RelativeSamples(test->Step),
                           TestColor(int(plotted.size()), int(tests.size())), LegendText(*test)});
    return plotted;
}

TTuningMap RunMap(const TTuningRecord& run, const TMotorData& motor) {
    const TTuningPlan& plan = run.Plan;
    TTuningMap map;
    map.Labels = {SettingLabel(plan.Rows[0]), SettingLabel(plan.Rows[1])};
    map.Lowest = plan.Lowest;
    map.Highest = plan.Highest;
    map.Start = run.StartGains;
    map.HasStart = true;
    map.Limit = plan.Criterion.OvershootLimit;
    const bool ki = SearchesKi(plan);
    for (std::size_t i = 0; i < run.Rounds.size(); ++i) {
        const TTuningRound& round = run.Rounds[i];
        if (round.TestNumber == 0)
            continue;
        if (run.Best && *run.Best == i)
            map.Best = int(map.Points.size());
        map.Points.push_back({round.Gains, round.TestNumber, MapVerdict(round.Verdict),
                              ki ? SettingText(TKnownSettings::All(round.Registers), KI, motor) : QString()});
    }
    if (run.PredictedOvershoot.size() == std::size_t(TuningMapCells * TuningMapCells)) {
        map.Columns = map.Rows = TuningMapCells;
        map.Overshoot = run.PredictedOvershoot;
    }
    return map;
}
