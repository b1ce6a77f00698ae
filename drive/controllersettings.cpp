#include "drive/controllersettings.h"

#include "common/errors.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/readingvote.h"
#include "drive/replyreaders.h"
#include "link/exchange.h"

#include <algorithm>

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

void ShowFigures(const TRegisterValues& registers, const TMotorData& motor, const TEachFigure& each) {
    // The field shows Limit V with KV as KV's field shows it; the figure goes with KV's own, so that
    // both convert back to the registers they came from.
    TTypedNumber kv;
    TTypedNumber kvShown;
    for (int row = 0; row < SettingCount; ++row) {
        const TRegisterRow& r = RegisterTable[row];
        const std::int32_t value = registers[r.Register];
        const long double shown = r.ToShown(value, motor, kvShown);
        const TTypedNumber figure = TTypedNumber::Of(r.ToShown(value, motor, kv), FloatToText(shown));
        each(TSettingRow(row), figure);
        if (row == KV) {
            kv = figure;
            kvShown = TTypedNumber::Of(ShownValue(shown));
        }
    }
}

void ShowRegisters(const TRegisterValues& registers, const TMotorData& motor, const TSetField& setField) {
    ShowFigures(registers, motor,
                [&](TSettingRow row, const TTypedNumber& figure) { setField(row, figure.Text()); });
}

namespace {

// The readings of one round: each register not yet confirmed as often as it needs, within its bound.
std::vector<int> RoundOrder(const std::array<TReadingVote, RegisterCount>& votes,
                            const TKnownRegisters& known, const TKnownRegisters& confirmed,
                            const std::array<int, RegisterCount>& written) {
    std::vector<int> order;
    for (int n = 0; n < RegisterCount; ++n) {
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
    TConfirmedRead read;
    const auto take = [&](int n, std::int32_t value) {
        const auto i = std::size_t(n);
        votes[i].Add(value);
        if (known[i] == value)
            read.Values[i] = value;
        else if (const std::optional<std::int64_t> confirmed = votes[i].Confirmed())
            read.Values[i] = std::int32_t(*confirmed);
    };
    // However the line fails, the read ends: by each register's queries, and by its time.
    const TExchange::Clock::time_point latest =
        TExchange::Clock::now() + MostConfirmingQueries * exchange.ReadTimeout();
    for (bool first = true;; first = false) {
        const std::vector<int> order = RoundOrder(votes, known, read.Values, written);
        if (order.empty() || (!first && TExchange::Clock::now() >= latest))
            break;
        exchange.SettleAndPurge();
        std::size_t done = 0;
        try {
            QueryRegisterSeries(exchange, order, [&](std::size_t i, std::int32_t value) {
                take(order[i], value);
                done = i + 1;
            });
        } catch (const EKelmorError&) {
            if (exchange.Lost())
                throw;
        }
        // The query that failed went out too; those after it did not.
        for (std::size_t i = 0; i < std::min(done + 1, order.size()); ++i)
            ++written[std::size_t(order[i])];
    }
    for (int n = 0; n < RegisterCount; ++n)
        if (!read.Values[std::size_t(n)])
            read.Unconfirmed += QStringLiteral("%1P%2 (%3)")
                                    .arg(read.Unconfirmed.isEmpty() ? QString() : QStringLiteral(", "))
                                    .arg(n)
                                    .arg(votes[std::size_t(n)].Empty() ? QStringLiteral("no reading")
                                                                       : votes[std::size_t(n)].Shown());
    return read;
}

TRegisterValues ConfirmedRegisters(TExchange& exchange, const TKnownRegisters& known) {
    const TConfirmedRead read = ConfirmRegisters(exchange, known);
    if (!read.Unconfirmed.isEmpty())
        throw EConvertError(UnconfirmedText(read.Unconfirmed));
    TRegisterValues values{};
    for (std::size_t n = 0; n < values.size(); ++n)
        values[n] = *read.Values[n];
    return values;
}

QString UnconfirmedText(const QString& registers) {
    return QStringLiteral("Registers read again and again did not agree: %1").arg(registers);
}
