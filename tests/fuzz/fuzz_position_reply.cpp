// The position reply over whatever bytes a drive might send.

#include "common/errors.h"
#include "drive/replyreaders.h"
#include "tests/support/scriptedexchange.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TScriptedExchange exchange(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    try {
        if (ReadPosition(exchange) < 0)
            std::abort();
    } catch (const EKelmorError&) {
    }
    // The six bytes of the head, the digits and the line end after them.
    if (exchange.Served > 6 + MaxValueText + 2)
        std::abort();
    return 0;
}
