// The settings read-back over whatever bytes a drive might send: the nine register dialogues and,
// when they all came, the conversion of their values into the shown figures.

#include "common/errors.h"
#include "drive/controllersettings.h"
#include "drive/replyreaders.h"
#include "tests/support/scriptedexchange.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TScriptedExchange exchange(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    int filled = 0;
    try {
        const TRegisterValues registers = QueryRegisters(exchange);
        FillFromRegisters(registers, DefaultMotorData(), [&](TSettingRow row, const QString&) {
            if (row != filled++)
                std::abort();
        });
    } catch (const EKelmorError&) {
    }
    // Every dialogue ends within its caps, and no value text is ever answered by more than one CR.
    const long long dialogueBytes = MaxEchoBytes + 1 + MaxValueText + 1 + 2;
    if (exchange.Served > SettingCount * dialogueBytes || exchange.Log.size() > 1 + 2 * SettingCount)
        std::abort();
    return 0;
}
