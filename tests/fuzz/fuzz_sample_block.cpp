// The read of a sample block: its first two bytes give the number of samples asked for, the rest is
// what the drive sends.

#include "drive/replyreaders.h"
#include "tests/support/scriptedexchange.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int sampleCount = std::int16_t(data[0] << 8 | data[1]);
    const QByteArray sent(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    TScriptedExchange exchange(sent);
    const QByteArray block = ReadSampleBlock(exchange, sampleCount);
    // The first read takes the whole block or all there is; reads on stop at twice the block.
    const qsizetype asked = 4 * std::clamp(sampleCount, 0, 1000) + 10;
    if (!sent.startsWith(block) || block.size() < std::min(asked, sent.size()) || block.size() > 2 * asked)
        std::abort();
    return 0;
}
