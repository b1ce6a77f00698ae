#pragma once

// Byte helpers shared by the tests of files, transfers and the drive's sample block.

#include <QByteArray>
#include <cstdint>
#include <string_view>
#include <vector>

// Every byte value, in an order that differs from one 256-byte block to the next, so that a lost,
// doubled or misplaced block shows.
inline QByteArray BytePattern(int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i ^ (i >> 8)) & 0xFF);
    return data;
}

// The size of each write a device was offered.
inline std::vector<int> WriteSizes(const std::vector<QByteArray>& writes) {
    std::vector<int> sizes;
    for (const QByteArray& w : writes)
        sizes.push_back(int(w.size()));
    return sizes;
}

// The positions in a sample block: records of 'l' and a 24-bit value, most significant byte first;
// any other byte is skipped on its own.
inline std::vector<std::uint32_t> ParseSampleRecords(std::string_view block) {
    std::vector<std::uint32_t> samples;
    for (std::size_t i = 0; i < block.size();) {
        if (block[i] == 'l' && i + 3 < block.size()) {
            const auto b = [&](std::size_t k) {
                return std::uint32_t(static_cast<std::uint8_t>(block[i + k]));
            };
            samples.push_back(b(1) << 16 | b(2) << 8 | b(3));
            i += 4;
        } else {
            ++i;
        }
    }
    return samples;
}

inline std::vector<std::uint32_t> ParseSampleRecords(const QByteArray& block) {
    return ParseSampleRecords(std::string_view(block.constData(), std::size_t(block.size())));
}
