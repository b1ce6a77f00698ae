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
    // Where a record may end: the next record's mark, the CR after the last record, or the block's end.
    const auto ends = [&](qsizetype at) { return marked(at) || block[at] == '\r'; };
    // A record starts where its mark is and the stride goes on: the next mark, or the one after it (a
    // mark may be damaged), or the end of the records.
    const auto starts = [&](qsizetype at) {
        return marked(at) && (ends(at + RecordSize) || marked(at + 2 * RecordSize));
    };
    const std::size_t whole = std::min(capacity, std::size_t((block.size() - first) / RecordSize));
    samples.reserve(whole);
    for (qsizetype i = first; samples.size() < whole && i + RecordSize <= block.size();) {
        if (starts(i)) {
            samples.push_back(byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3));
            i += RecordSize;
            continue;
        }
        // A damaged record, or one that lost a byte on the line: its sample is missing, and the records
        // go on at the next mark the stride confirms, each slot they skipped missing too.
        qsizetype next = i + 1;
        while (next < block.size() && !starts(next))
            ++next;
        const std::size_t skipped =
            std::size_t(std::max<qsizetype>(1, (next - i + RecordSize / 2) / RecordSize));
        for (std::size_t k = 0; k < skipped && samples.size() < whole; ++k)
            samples.push_back(MissingSample);
        i = next;
    }
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
