#include "drive/steprecord.h"

#include <algorithm>
#include <limits>

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

std::vector<double> TruePositions(const TStepRecord& record) {
    std::vector<double> positions;
    positions.reserve(record.Samples.size());
    for (std::size_t i = 0; i < record.Samples.size(); ++i)
        positions.push_back(Arrived(record.Samples[i]) ? double(TruePosition(record, i))
                                                       : std::numeric_limits<double>::quiet_NaN());
    return positions;
}
