#include "drive/controllersettings.h"

#include "common/errors.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/readingvote.h"
#include "drive/replyreaders.h"
#include "link/exchange.h"

#include <algorithm>
#include <limits>

void ConvertSettings(const TSettingNumbers& settings, const TMotorData& motor, const TEachRegister& each) {
    // A register the drive cannot hold is refused before any line goes out; a bad number stops the
    // write at its own row.
    try {
        RegisterTable[LimitV].ToRegister(settings[LimitV], motor, settings[KV]);
    } catch (const ERegisterRange&) {
        throw;
    } catch (const EKelmorError&) {
    }
    for (int row = 0; row < SettingCount; ++row) {
        const TRegisterRow& r = RegisterTable[std::size_t(row)];
        each(TSettingRow(row), r.ToRegister(settings[std::size_t(row)], motor, settings[KV]));
    }
}

void WriteSettings(const TSettingNumbers& settings, const TMotorData& motor, const TSendLine& send) {
    ConvertSettings(settings, motor, [&](TSettingRow row, std::int32_t value) {
        send(RegisterWriteLine(RegisterTable[std::size_t(row)].Register, value));
    });
}

TRegisterValues SettingRegisters(const TSettingNumbers& settings, const TMotorData& motor) {
    TRegisterValues registers{};
    ConvertSettings(settings, motor, [&](TSettingRow row, std::int32_t value) {
        registers[std::size_t(RegisterTable[std::size_t(row)].Register)] = value;
    });
    return registers;
}

TRegisterValues QueryRegisters(TExchange& exchange) {
    // Answers to lines sent just before (a settings write, a bank command, typed keys) may still be
    // arriving; they must not be taken for the first register's reply.
    exchange.SettleAndPurge();
    return QueryAllRegisters(exchange);
}

void EachFigureOf(const TKnownRegisters& registers, const TMotorData& motor, const TEachFigure& each) {
    // The field shows Limit V with KV as KV's field shows it; the figure goes with KV's own, so that
    // both convert back to the registers they came from.
    TFigure kv;
    TFigure kvShown;
    for (int row = 0; row < SettingCount; ++row) {
        const TRegisterRow& r = RegisterTable[row];
        if (!RowKnown(registers, TSettingRow(row)))
            continue;
        const std::optional<std::int32_t> value = registers[std::size_t(r.Register)];
        const long double shown = r.ToShown(*value, motor, kvShown);
        const TFigure figure = TFigure::Of(r.ToShown(*value, motor, kv), FloatToText(shown));
        each(TSettingRow(row), figure);
        if (row == KV) {
            kv = figure;
            kvShown = TFigure::Of(ShownValue(shown));
        }
    }
}

bool RowKnown(const TKnownRegisters& registers, TSettingRow row) {
    const auto known = [&](TSettingRow r) {
        return registers[std::size_t(RegisterTable[r].Register)].has_value();
    };
    return known(row) && (row != LimitV || known(KV));
}

TKnownRegisters AllKnown(const TRegisterValues& registers) {
    TKnownRegisters known;
    std::copy(registers.begin(), registers.end(), known.begin());
    return known;
}

void FillFromRegisters(const TRegisterValues& registers, const TMotorData& motor, const TSetField& setField) {
    EachFigureOf(AllKnown(registers), motor,
                 [&](TSettingRow row, const TFigure& figure) { setField(row, figure.Text()); });
}

namespace {

// The readings of one round: each register not yet confirmed as often as it needs, within its bound,
// of those that broke off fewest rounds, so that a register the line keeps garbling is read after the
// others.
std::vector<int> RoundOrder(const std::array<TReadingVote, RegisterCount>& votes,
                            const TKnownRegisters& known, const TKnownRegisters& confirmed,
                            const std::array<int, RegisterCount>& written,
                            const std::array<int, RegisterCount>& failed) {
    // A reading counts once the next dialogue's echo came whole, so a register the line garbles again
    // and again would cost the one before it its last reading: those that failed fewest go alone.
    int fewest = std::numeric_limits<int>::max();
    for (int n = 0; n < RegisterCount; ++n)
        if (!confirmed[std::size_t(n)] && written[std::size_t(n)] < MostConfirmingQueries)
            fewest = std::min(fewest, failed[std::size_t(n)]);
    std::vector<int> order;
    for (int n = 0; n < RegisterCount; ++n) {
        if (failed[std::size_t(n)] != fewest)
            continue;
        const auto i = std::size_t(n);
        if (confirmed[i])
            continue;
        // A register Kelmor knows needs one reading that agrees; one it does not, a vote.
        const int wanted = known[i] && votes[i].Empty() ? 1 : votes[i].Missing();
        order.insert(order.end(), std::size_t(std::min(wanted, MostConfirmingQueries - written[i])), n);
    }
    return order;
}

} // namespace

TConfirmedRead ConfirmRegisters(TExchange& exchange, const TKnownRegisters& known) {
    std::array<TReadingVote, RegisterCount> votes;
    std::array<int, RegisterCount> written{};
    std::array<int, RegisterCount> failed{};
    TConfirmedRead read;
    const auto take = [&](int n, std::int32_t value) {
        const auto i = std::size_t(n);
        votes[i].Add(value);
        const std::optional<std::int64_t> confirmed = votes[i].Confirmed();
        if (known[i] == value)
            read.Values[i] = value;
        // Readings that all read shorter than what Kelmor knows lost a digit alike, as a converter
        // that loses the same byte of every reply makes them: not believed, and the next read votes
        // without the known value, which is then forgotten.
        else if (confirmed && !(known[i] && ShorterText(*confirmed, *known[i])))
            read.Values[i] = std::int32_t(*confirmed);
    };
    // However the line fails, the read ends: by each register's queries, and by as many read time-outs
    // as they all may write, a dialogue the line garbled costing one.
    const TExchange::Clock::time_point latest =
        TExchange::Clock::now() + RegisterCount * MostConfirmingQueries * exchange.ReadTimeout();
    for (bool first = true;; first = false) {
        const std::vector<int> order = RoundOrder(votes, known, read.Values, written, failed);
        if (order.empty() || (!first && TExchange::Clock::now() >= latest))
            break;
        exchange.SettleAndPurge();
        std::size_t queried = 0;
        try {
            QueryRegisterSeries(
                exchange, order, [&](std::size_t i, std::int32_t value) { take(order[i], value); }, &queried);
        } catch (const EKelmorError& error) {
            if (exchange.Lost())
                throw;
            if (read.FirstError.isEmpty())
                read.FirstError = error.Message();
            // The dialogue that broke off is the last query's before it.
            ++failed[std::size_t(order[queried - 1])];
        }
        for (std::size_t i = 0; i < queried; ++i)
            ++written[std::size_t(order[i])];
    }
    bool anyRead = false;
    for (int n = 0; n < RegisterCount; ++n) {
        const TReadingVote& vote = votes[std::size_t(n)];
        if (read.Values[std::size_t(n)])
            continue;
        anyRead = anyRead || !vote.Empty();
        read.Unconfirmed += QStringLiteral("%1P%2 (%3)")
                                .arg(read.Unconfirmed.isEmpty() ? QString() : QStringLiteral(", "))
                                .arg(n)
                                .arg(vote.Empty() ? QStringLiteral("no reading") : vote.Shown());
    }
    // Registers that never came whole: what went wrong with them says more than their readings.
    if (!anyRead && !read.Unconfirmed.isEmpty() && !read.FirstError.isEmpty())
        read.Unconfirmed.clear();
    return read;
}

QString TConfirmedRead::Why() const {
    if (!Unconfirmed.isEmpty())
        return QStringLiteral("Registers read again and again did not agree: %1").arg(Unconfirmed);
    return std::all_of(Values.begin(), Values.end(), [](const auto& v) { return v.has_value(); })
               ? QString()
               : FirstError;
}

TRegisterValues ConfirmedRegisters(TExchange& exchange, const TKnownRegisters& known) {
    const TConfirmedRead read = ConfirmRegisters(exchange, known);
    if (const QString why = read.Why(); !why.isEmpty())
        throw EConvertError(why);
    TRegisterValues values{};
    for (std::size_t n = 0; n < values.size(); ++n)
        values[n] = *read.Values[n];
    return values;
}
