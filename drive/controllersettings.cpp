#include "drive/controllersettings.h"

#include "common/errors.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
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

TRegisterValues QueryRegistersPatiently(TExchange& exchange) {
    try {
        return QueryRegisters(exchange);
    } catch (const EKelmorError&) {
        if (exchange.Lost())
            throw;
    }
    TRegisterValues registers{};
    for (int n = 0; n < RegisterCount; ++n) {
        exchange.SettleAndPurge();
        registers[std::size_t(n)] =
            AskAgain<EKelmorError>(exchange, [&] { return QueryRegister(exchange, n); });
    }
    return registers;
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

TRegisterValues ConfirmedRegisters(TExchange& exchange) {
    TRegisterValues last = QueryRegistersPatiently(exchange);
    const TRegisterValues again = QueryRegistersPatiently(exchange);
    for (int n = 0; n < RegisterCount; ++n) {
        // A register whose two readings disagree is asked alone until two in a row do.
        bool confirmed = again[std::size_t(n)] == last[std::size_t(n)];
        last[std::size_t(n)] = again[std::size_t(n)];
        for (int attempt = 1; !confirmed; ++attempt) {
            if (attempt > MostReadingTries)
                throw EConvertError(QStringLiteral("P%1 read again and again does not agree, last %2")
                                        .arg(n)
                                        .arg(last[std::size_t(n)]));
            try {
                exchange.SettleAndPurge();
                const std::int32_t value = QueryRegister(exchange, n);
                confirmed = value == last[std::size_t(n)];
                last[std::size_t(n)] = value;
            } catch (const EKelmorError&) {
                if (exchange.Lost())
                    throw;
            }
        }
    }
    return last;
}
