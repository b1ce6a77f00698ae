#pragma once

// Lines the drive acts on and confirms by their echo (and an "OK"): register writes, a mode, a
// set-point, a move. Every confirmation ends by its tries and its time.

#include "common/errors.h"
#include "link/exchange.h"

#include <QByteArray>
#include <cstddef>
#include <functional>
#include <vector>

// The drive did not confirm a line written to it: its echo did not come back as written, or it
// answered (a "?" refuses the line).
class ELineNotConfirmed : public EKelmorError {
public:
    // came: what came back instead; empty when nothing did, or the device was lost.
    ELineNotConfirmed(const QByteArray& line, const QByteArray& came);
};

// What the drive echoes of a line: its CR as CR LF.
QByteArray EchoOf(const QByteArray& line);

// Writes lines the drive acts on without an answer (register writes) back to back, and confirms
// each: its echo must come back exactly as written, followed by the next line's echo, and after the
// last one nothing may come while the line falls quiet (a "?" refuses a line). confirmed(i) is
// called for each line i the drive confirmed, in order. Lines not confirmed, because their echo lost
// or changed a byte or the drive refused them, are written again from the first of them, as the retries
// allow (retries.h; a round that confirmed some starts the tries in a row again), at most
// MostWriteRounds(lines) times in all; then, or when the device is lost,
// ELineNotConfirmed names that line and what came.
constexpr std::size_t MostWriteRounds(std::size_t lines) {
    return 8 + lines;
}
void WriteConfirmed(TExchange& exchange, const std::vector<QByteArray>& lines,
                    const std::function<void(std::size_t)>& confirmed);

// The answer to a line the drive acts on and confirms, such as a move, which the caller has written:
// stray bytes, then the line's echo (its CR as CR LF), then "OK" CR LF. Throws ELineNotConfirmed when the
// drive refused the line ("?"), and EConvertError, the bad answer's message naming what came, for
// anything else, and when the echo does not come within MaxEchoBytes or their time on the wire and a
// read time-out. Returns what it read.
QByteArray ReadConfirmation(TExchange& exchange, const QByteArray& line);

// Writes a line the drive confirms (ReadConfirmation) and reads its confirmation, the line written again
// while the confirmation comes garbled (AskAgain): the lines that may go twice (a mode, a set-point, a
// move to a position) and no other. Throws as ReadConfirmation does, on its last try; returns what the
// last try read.
QByteArray ConfirmLine(TExchange& exchange, const QByteArray& line);
// The same, false for a line the drive did not confirm; a loss or an exit is thrown on.
bool TryConfirmLine(TExchange& exchange, const QByteArray& line);
