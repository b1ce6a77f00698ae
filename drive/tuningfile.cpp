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
            {QStringLiteral("time"), plan.Time.Text()}};
}

TTuningPlan ReadPlan(const QJsonObject& o) {
    TTuningPlan plan;
    plan.Search = FlagField(o.value(QLatin1String("search")), QStringLiteral("search"));
    const QJsonArray rows = o.value(QLatin1String("rows")).toArray();
    if (rows.size() != 2)
        BadField(QStringLiteral("rows is not a pair of settings"));
    plan.Rows = {ReadRow(rows[0]), ReadRow(rows[1])};
    plan.From = NumberField(o.value(QLatin1String("from")), QStringLiteral("from"));
    plan.To = NumberField(o.value(QLatin1String("to")), QStringLiteral("to"));
    plan.Steps = int(WholeField(o.value(QLatin1String("steps")), QStringLiteral("steps"), 0, MaxSweepSteps));
    plan.Geometric = FlagField(o.value(QLatin1String("geometric")), QStringLiteral("geometric"));
    plan.Lowest = ReadPair(o.value(QLatin1String("lowest")), QStringLiteral("lowest"));
    plan.Highest = ReadPair(o.value(QLatin1String("highest")), QStringLiteral("highest"));
    plan.MaxTests =
        int(WholeField(o.value(QLatin1String("maxTests")), QStringLiteral("maxTests"), 0, MaxSearchTests));
    plan.Criterion.OvershootLimit =
        NumberField(o.value(QLatin1String("overshootLimit")), QStringLiteral("overshootLimit"));
    plan.Criterion.BackOffPercent = NumberField(o.value(QLatin1String("backOff")), QStringLiteral("backOff"));
    plan.ReturnToStart = FlagField(o.value(QLatin1String("returnToStart")), QStringLiteral("returnToStart"));
    plan.Amplitude =
        TTypedNumber(TextField(o.value(QLatin1String("amplitude")), QStringLiteral("amplitude")));
    plan.Time = TTypedNumber(TextField(o.value(QLatin1String("time")), QStringLiteral("time")));
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
    if (const std::optional<TTunerPrediction>& p = round.Predicted)
        object.insert(QStringLiteral("predicted"), QJsonArray{p->Overshoot, p->OvershootSd, p->Integral,
                                                              p->IntegralSd, p->Eligible, p->OverTwiceLimit});
    return object;
}

TTuningRound ReadRound(const QJsonObject& o) {
    TTuningRound round;
    round.TestNumber =
        int(WholeField(o.value(QLatin1String("test")), QStringLiteral("test"), 1, 1'000'000'000));
    round.Gains = ReadPair(o.value(QLatin1String("gains")), QStringLiteral("gains"));
    round.Verdict =
        TRoundVerdict(NameIndex(o.value(QLatin1String("verdict")), VerdictNames, QStringLiteral("verdict")));
    round.Score = NumberField(o.value(QLatin1String("score")), QStringLiteral("score"));
    round.Overshoot = float(NumberField(o.value(QLatin1String("overshoot")), QStringLiteral("overshoot")));
    round.Role = TRoundRole(NameIndex(o.value(QLatin1String("role")), RoleNames, QStringLiteral("role")));
    round.Registers = ReadRegisters(o.value(QLatin1String("registers")), QStringLiteral("registers"));
    if (const QJsonValue value = o.value(QLatin1String("predicted")); !value.isUndefined()) {
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
    return object;
}

TTuningRecord ReadTuning(const QJsonObject& object) {
    TTuningRecord run;
    run.Plan = ReadPlan(object.value(QLatin1String("plan")).toObject());
    run.StartGains = ReadPair(object.value(QLatin1String("start")), QStringLiteral("start"));
    const QJsonValue rounds = object.value(QLatin1String("rounds"));
    if (!rounds.isArray() || rounds.toArray().size() > MaxSearchTests + 1)
        BadField(QStringLiteral("rounds is not a list of at most %1 rounds").arg(MaxSearchTests + 1));
    for (const QJsonValue& round : rounds.toArray())
        run.Rounds.push_back(ReadRound(round.toObject()));
    const qint64 last = qint64(run.Rounds.size()) - 1;
    if (const QJsonValue best = object.value(QLatin1String("best")); !best.isNull())
        run.Best = std::size_t(WholeField(best, QStringLiteral("best"), 0, last));
    run.EndReason = TextField(object.value(QLatin1String("endReason")), QStringLiteral("endReason"));
    if (const QJsonValue ended = object.value(QLatin1String("endedAt")); !ended.isNull())
        run.EndedAt = TimeField(ended, QStringLiteral("endedAt"));
    run.Applied = FlagField(object.value(QLatin1String("applied")), QStringLiteral("applied"));
    const QJsonArray predicted = object.value(QLatin1String("predictedOvershoot")).toArray();
    if (!predicted.isEmpty() && predicted.size() != TuningMapCells * TuningMapCells)
        BadField(QStringLiteral("predictedOvershoot is not the map's cells"));
    for (const QJsonValue& value : predicted)
        run.PredictedOvershoot.push_back(
            value.isNull() ? std::nan("") : NumberField(value, QStringLiteral("predictedOvershoot")));
    if (const QJsonValue value = object.value(QLatin1String("result")); !value.isUndefined()) {
        const QJsonObject result = value.toObject();
        run.Result = TTuningResult{
            std::size_t(
                WholeField(result.value(QLatin1String("round")), QStringLiteral("result.round"), 0, last)),
            ReadRegisters(result.value(QLatin1String("registers")), QStringLiteral("result.registers")),
            TTuningResult::TKind(
                NameIndex(result.value(QLatin1String("kind")), KindNames, QStringLiteral("result.kind"))),
            FlagField(result.value(QLatin1String("confirmed")), QStringLiteral("result.confirmed"))};
    }
    return run;
}
