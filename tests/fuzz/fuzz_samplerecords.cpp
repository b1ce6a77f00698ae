// The scan of a step test's sample block, over any bytes: it stays within the block and the capacity,
// every sample is a 24-bit position or missing, the last one came, and where no marker is damaged it
// agrees with the plain reading of records that the tests use.

#include "drive/samplerecords.h"
#include "drive/steprecord.h"
#include "tests/support/testbytes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    // The first two bytes choose the capacity, the rest is the block.
    const std::size_t capacity = data[0] | std::size_t(data[1]) << 8;
    const std::string_view block(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::vector<std::uint32_t> samples =
        ScanSampleRecords(QByteArrayView(block.data(), block.size()), capacity);

    if (samples.size() > capacity || 4 * samples.size() > block.size() ||
        (!samples.empty() && samples.back() == MissingSample))
        std::abort();
    bool gaps = false;
    for (const std::uint32_t sample : samples) {
        gaps = gaps || sample == MissingSample;
        if (sample != MissingSample && sample > 0xFFFFFF)
            std::abort();
    }
    const std::vector<std::uint32_t> plain = ParseSampleRecords(block);
    if (!gaps &&
        (plain.size() < samples.size() || !std::equal(samples.begin(), samples.end(), plain.begin())))
        std::abort();
    return 0;
}
