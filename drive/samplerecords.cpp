#include "drive/samplerecords.h"

#include "drive/steprecord.h"

#include <algorithm>

namespace {

constexpr std::uint8_t RecordMark = 0x6C;
constexpr qsizetype RecordSize = 4;

} // namespace

std::vector<std::uint32_t> ScanSampleRecords(QByteArrayView block, std::size_t capacity) {
    std::vector<std::uint32_t> samples;
    const qsizetype first = block.indexOf(char(RecordMark));
    // A value byte that happens to be an 'l' is no record: a record counts as the first only where
    // the stride finds the next record's mark, or the one after it (a mark may be damaged), or the
    // block's end.
    const auto marked = [&](qsizetype at) { return at >= block.size() || block[at] == char(RecordMark); };
    if (first < 0 || !(marked(first + RecordSize) || marked(first + 2 * RecordSize)))
        return samples;
    const auto byte = [&](qsizetype i) { return std::uint32_t(std::uint8_t(block[i])); };
    const std::size_t whole = std::min(capacity, std::size_t((block.size() - first) / RecordSize));
    samples.reserve(whole);
    for (qsizetype i = first; samples.size() < whole; i += RecordSize)
        samples.push_back(byte(i) == RecordMark ? byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3)
                                                : MissingSample);
    while (!samples.empty() && !Arrived(samples.back()))
        samples.pop_back();
    return samples;
}

std::size_t MissingRecordBytes(QByteArrayView block, std::size_t count) {
    const qsizetype first = block.indexOf(char(RecordMark));
    const auto held = std::size_t(first < 0 ? 0 : block.size() - first);
    const std::size_t needed = std::size_t(RecordSize) * count;
    return held >= needed ? 0 : needed - held;
}
