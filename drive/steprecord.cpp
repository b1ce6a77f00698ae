#include "drive/steprecord.h"

#include <algorithm>

std::size_t ReceivedCount(const TStepRecord& record) {
    return std::size_t(std::count_if(record.Samples.begin(), record.Samples.end(), Arrived));
}

std::int64_t TruePosition(const TStepRecord& record, std::size_t i) {
    return std::int64_t(record.Samples[i]) - std::int64_t(record.StartPosition);
}

std::vector<std::uint32_t> RelativeSamples(const TStepRecord& record) {
    std::vector<std::uint32_t> relative;
    relative.reserve(record.Samples.size());
    for (const std::uint32_t sample : record.Samples)
        relative.push_back(!Arrived(sample)                 ? MissingSample
                           : sample >= record.StartPosition ? sample - record.StartPosition
                                                            : record.Amplitude);
    return relative;
}
