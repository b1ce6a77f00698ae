#include "drive/controllersettings.h"

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/replyreaders.h"
#include "link/exchange.h"

void WriteSettings(const TSettingTexts& fields, const TMotorData& motor, const TSendLine& send) {
    // A register the drive cannot hold is refused before any line goes out; a bad number stops the
    // write at its own row.
    try {
        RegisterTable[LimitV].ToRegister(fields[LimitV], motor, fields[KV]);
    } catch (const ERegisterRange&) {
        throw;
    } catch (const EKelmorError&) {
    }
    for (int row = 0; row < SettingCount; ++row) {
        const TRegisterRow& r = RegisterTable[row];
        send(RegisterWriteLine(r.Register, r.ToRegister(fields[row], motor, fields[KV])));
    }
}

TRegisterValues SettingRegisters(const TSettingTexts& fields, const TMotorData& motor) {
    TRegisterValues registers{};
    for (const TRegisterRow& r : RegisterTable)
        registers[std::size_t(r.Register)] =
            r.ToRegister(fields[std::size_t(&r - RegisterTable.data())], motor, fields[KV]);
    return registers;
}

TRegisterValues QueryRegisters(TExchange& exchange) {
    // Answers to lines sent just before (a settings write, a bank command, typed keys) may still be
    // arriving; they must not be taken for the first register's reply.
    exchange.SettleAndPurge();
    return QueryAllRegisters(exchange);
}

void ShowRegisters(const TRegisterValues& registers, const TMotorData& motor, const TSetField& setField) {
    QString kvText;
    for (int row = 0; row < SettingCount; ++row) {
        const TRegisterRow& r = RegisterTable[row];
        const QString text = FloatToText(r.ToShown(registers[r.Register], motor, kvText));
        setField(TSettingRow(row), text);
        if (row == KV)
            kvText = text;
    }
}
