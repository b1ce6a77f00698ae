#pragma once

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <vector>

// The positions in the block a drive sends for a step test: records of 'l' (0x6C) and an unsigned
// 24-bit value, most significant byte first. Bytes ahead of the first 'l', such as the echo of the
// command, are skipped; that 'l' starts the records only when another 'l', or the block's end,
// stands four or eight bytes after it (else there are none); from it on the records follow every
// four bytes, and a record there without its 'l', or without the next record's 'l' (or the block's
// CR or end) four bytes on, is a missing sample (MissingSample) at its own time; the records then go
// on from the next 'l' that the stride confirms, so neither a damaged record nor one that lost a byte
// on the line shifts a later one or gives a wrong position. A record cut short at the end of the block is not
// counted, nor are missing samples after the last one that came. At most capacity samples are
// taken.
std::vector<std::uint32_t> ScanSampleRecords(QByteArrayView block, std::size_t capacity);

// How many more bytes the block needs to hold count records: those of the records from the first 'l'
// on, or all of them when no 'l' has come yet.
std::size_t MissingRecordBytes(QByteArrayView block, std::size_t count);
