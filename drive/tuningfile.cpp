#include "drive/tuningfile.h"

#include "drive/jsonfields.h"

#include <QJsonArray>
#include <cmath>

namespace {

const char* const VerdictNames[] = {"eligible", "samplesMissing", "overshoot", "notSettled"};
const char* const RoleNames[] = {"planned", "confirmation", "backOff", "fallback"};
const char* const KindNames[] = {"best", "backedOff", "backOffFailed", "backOffUnsafe"};

template <std::size_t N>
int NameIndex(const QJsonValue& value, const char* const (&names)[N], const QString& field) {
    for (std::size_t i = 0; i < N; ++i)
        if (value.toString() == QLatin1String(names[i]))
            return int(i);
    BadField(QStringLiteral("%1 is not one of its names").arg(field));
}

QJsonArray Pair(const std::array<double, 2>& pair) {
    return {pair[0], pair[1]};
}

std::array<double, 2> ReadPair(const QJsonValue& value, const QString& name) {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != 2)
        BadField(QStringLiteral("%1 is not a pair of numbers").arg(name));
    return {NumberField(array[0], name), NumberField(array[1], name)};
}

QJsonArray Registers(const TRegisterValues& registers) {
    QJsonArray array;
    for (const std::int32_t value : registers)
        array.append(value);
    return array;
}

TRegisterValues ReadRegisters(const QJsonValue& value, const QString& name) {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != SettingCount)
        BadField(QStringLiteral("%1 is not a list of nine registers").arg(name));
    TRegisterValues registers{};
    for (int n = 0; n < SettingCount; ++n)
        registers[std::size_t(n)] = std::int32_t(WholeField(array[n], name, INT32_MIN, INT32_MAX));
    return registers;
}

TSettingRow ReadRow(const QJsonValue& value) {
    for (int row = 0; row < SettingCount; ++row)
        if (value.toString() == QLatin1String(RegisterTable[std::size_t(row)].Key))
            return TSettingRow(row);
    BadField(QStringLiteral("rows names no setting"));
}

QJsonObject PlanObject(const TTuningPlan& plan) {
    return {{QStringLiteral("search"), plan.Search},
            {QStringLiteral("rows"), QJsonArray{QLatin1String(RegisterTable[plan.Rows[0]].Key),
                                                QLatin1String(RegisterTable[plan.Rows[1]].Key)}},
            {QStringLiteral("from"), plan.From},
            {QStringLiteral("to"), plan.To},
            {QStringLiteral("steps"), plan.Steps},
            {QStringLiteral("geometric"), plan.Geometric},
            {QStringLiteral("lowest"), Pair(plan.Lowest)},
            {QStringLiteral("highest"), Pair(plan.Highest)},
            {QStringLiteral("maxTests"), plan.MaxTests},
            {QStringLiteral("overshootLimit"), plan.Criterion.OvershootLimit},
            {QStringLiteral("backOff"), plan.Criterion.BackOffPercent},
            {QStringLiteral("returnToStart"), plan.ReturnToStart},
            {QStringLiteral("amplitude"), plan.Amplitude.Text()},
            {QStringLiteral("time"), plan.Time.Text()},
            {QStringLiteral("kiFloor"), plan.KiFloor ? QJsonValue(*plan.KiFloor) : QJsonValue()}};
}

// A number a file written before it was kept may lack: NaN then.
double OptionalNumber(const TFieldReader& o, const char* name) {
    const QJsonValue value = o.Value(name);
    return value.isUndefined() || value.isNull() ? std::nan("") : o.Number(name);
}

TTuningPlan ReadPlan(const TFieldReader& o) {
    TTuningPlan plan;
    plan.Search = o.Flag("search");
    const QJsonArray rows = o.Value("rows").toArray();
    if (rows.size() != 2)
        BadField(QStringLiteral("rows is not a pair of settings"));
    plan.Rows = {ReadRow(rows[0]), ReadRow(rows[1])};
    plan.From = o.Number("from");
    plan.To = o.Number("to");
    plan.Steps = int(o.Whole("steps", 0, MaxSweepSteps));
    plan.Geometric = o.Flag("geometric");
    plan.Lowest = ReadPair(o.Value("lowest"), QStringLiteral("lowest"));
    plan.Highest = ReadPair(o.Value("highest"), QStringLiteral("highest"));
    plan.MaxTests = int(o.Whole("maxTests", 0, MaxSearchTests));
    plan.Criterion.OvershootLimit = o.Number("overshootLimit");
    plan.Criterion.BackOffPercent = o.Number("backOff");
    plan.ReturnToStart = o.Flag("returnToStart");
    plan.Amplitude = TFigure(o.Text("amplitude"));
    plan.Time = TFigure(o.Text("time"));
    if (const double floor = OptionalNumber(o, "kiFloor"); !std::isnan(floor))
        plan.KiFloor = floor;
    return plan;
}

QJsonObject RoundObject(const TTuningRound& round) {
    QJsonObject object{{QStringLiteral("test"), round.TestNumber},
                       {QStringLiteral("gains"), Pair(round.Gains)},
                       {QStringLiteral("verdict"), QLatin1String(VerdictNames[int(round.Verdict)])},
                       {QStringLiteral("score"), round.Score},
                       {QStringLiteral("overshoot"), double(round.Overshoot)},
                       {QStringLiteral("role"), QLatin1String(RoleNames[int(round.Role)])},
                       {QStringLiteral("registers"), Registers(round.Registers)}};
    if (!std::isnan(round.Ki))
        object.insert(QStringLiteral("ki"), round.Ki);
    if (const std::optional<TTunerPrediction>& p = round.Predicted)
        object.insert(QStringLiteral("predicted"), QJsonArray{p->Overshoot, p->OvershootSd, p->Integral,
                                                              p->IntegralSd, p->Eligible, p->OverTwiceLimit});
    return object;
}

TTuningRound ReadRound(const TFieldReader& o) {
    TTuningRound round;
    round.TestNumber = int(o.Whole("test", 1, 1'000'000'000));
    round.Gains = ReadPair(o.Value("gains"), QStringLiteral("gains"));
    round.Verdict = TRoundVerdict(NameIndex(o.Value("verdict"), VerdictNames, QStringLiteral("verdict")));
    round.Score = o.Number("score");
    round.Overshoot = float(o.Number("overshoot"));
    round.Role = TRoundRole(NameIndex(o.Value("role"), RoleNames, QStringLiteral("role")));
    round.Registers = ReadRegisters(o.Value("registers"), QStringLiteral("registers"));
    round.Ki = OptionalNumber(o, "ki");
    if (const QJsonValue value = o.Value("predicted"); !value.isUndefined()) {
        const QJsonArray p = value.toArray();
        if (p.size() != 6)
            BadField(QStringLiteral("predicted is not six numbers"));
        std::array<double, 6> n{};
        for (int i = 0; i < 6; ++i)
            n[std::size_t(i)] = NumberField(p[i], QStringLiteral("predicted"));
        round.Predicted = TTunerPrediction{n[0], n[1], n[2], n[3], n[4], n[5]};
    }
    return round;
}

} // namespace

QJsonObject TuningObject(const TTuningRecord& run) {
    QJsonArray rounds;
    for (const TTuningRound& round : run.Rounds)
        rounds.append(RoundObject(round));
    QJsonArray predicted;
    for (const double overshoot : run.PredictedOvershoot)
        predicted.append(std::isfinite(overshoot) ? QJsonValue(overshoot) : QJsonValue());
    QJsonObject object{{QStringLiteral("plan"), PlanObject(run.Plan)},
                       {QStringLiteral("start"), Pair(run.StartGains)},
                       {QStringLiteral("rounds"), rounds},
                       {QStringLiteral("best"), run.Best ? QJsonValue(qint64(*run.Best)) : QJsonValue()},
                       {QStringLiteral("endReason"), run.EndReason},
                       {QStringLiteral("endedAt"), TimeValue(run.EndedAt)},
                       {QStringLiteral("applied"), run.Applied},
                       {QStringLiteral("predictedOvershoot"), predicted}};
    if (const std::optional<TTuningResult>& result = run.Result)
        object.insert(QStringLiteral("result"),
                      QJsonObject{{QStringLiteral("round"), qint64(result->Round)},
                                  {QStringLiteral("registers"), Registers(result->Registers)},
                                  {QStringLiteral("kind"), QLatin1String(KindNames[result->Kind])},
                                  {QStringLiteral("confirmed"), result->Confirmed}});
    if (!std::isnan(run.StartKi))
        object.insert(QStringLiteral("startKi"), run.StartKi);
    return object;
}

TTuningRecord ReadTuning(const QJsonObject& object) {
    const TFieldReader o(object);
    TTuningRecord run;
    run.Plan = ReadPlan(TFieldReader(o.Value("plan").toObject()));
    run.StartGains = ReadPair(o.Value("start"), QStringLiteral("start"));
    run.StartKi = OptionalNumber(o, "startKi");
    const QJsonValue rounds = o.Value("rounds");
    if (!rounds.isArray() || rounds.toArray().size() > MaxSearchTests + 1)
        BadField(QStringLiteral("rounds is not a list of at most %1 rounds").arg(MaxSearchTests + 1));
    for (const QJsonValue& round : rounds.toArray())
        run.Rounds.push_back(ReadRound(TFieldReader(round.toObject())));
    const qint64 last = qint64(run.Rounds.size()) - 1;
    if (!o.Value("best").isNull())
        run.Best = std::size_t(o.Whole("best", 0, last));
    run.EndReason = o.Text("endReason");
    if (!o.Value("endedAt").isNull())
        run.EndedAt = o.Time("endedAt");
    run.Applied = o.Flag("applied");
    const QJsonArray predicted = o.Value("predictedOvershoot").toArray();
    if (!predicted.isEmpty() && predicted.size() != TuningMapCells * TuningMapCells)
        BadField(QStringLiteral("predictedOvershoot is not the map's cells"));
    for (const QJsonValue& value : predicted)
        run.PredictedOvershoot.push_back(
            value.isNull() ? std::nan("") : NumberField(value, QStringLiteral("predictedOvershoot")));
    if (const QJsonValue value = o.Value("result"); !value.isUndefined()) {
        const TFieldReader result(value.toObject());
        run.Result = TTuningResult{
            std::size_t(WholeField(result.Value("round"), QStringLiteral("result.round"), 0, last)),
            ReadRegisters(result.Value("registers"), QStringLiteral("result.registers")),
            TTuningResult::TKind(NameIndex(result.Value("kind"), KindNames, QStringLiteral("result.kind"))),
            FlagField(result.Value("confirmed"), QStringLiteral("result.confirmed"))};
    }
    return run;
}
