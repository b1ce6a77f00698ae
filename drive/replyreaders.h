#pragma once

#include "common/errors.h"
#include "drive/confirmedlines.h"
#include "drive/registertable.h"
#include "link/exchange.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The drive's three parsed replies, read through an exchange. Every byte waited for is bounded by
// the port's read time-out and every run of bytes collected by a cap, so a silent drive, a reply
// that never ends or a stream without end cannot hold the program.

// The drive did not answer a register query: "The drive did not answer the query for register P3".
class ENoAnswer : public EKelmorError {
public:
    explicit ENoAnswer(int n);
};

// Most bytes read while waiting for the echo of a register query, the echo included.
constexpr int MaxEchoBytes = 256;
// Most characters of a register's value text; a longer one is malformed.
constexpr int MaxValueText = 16;

// Every reader below that fails tells the exchange so (ReplyFailed), whatever it had read.

// One register dialogue for register n (0..8): writes the query, skips everything up to and
// including the echo of that query ("Pn" CR; stray bytes and other lines before it), takes the LF
// of the echo's CR LF (any other byte is a bad answer), collects the value text up to the colon, converts it
// with a space in front as a signed integer, closes the prompt with a lone CR and drops its two-byte echo.
// The value counts only when nothing but the prompt came with it: bytes already there after the colon, an
// echo of the CR other than CR LF, or bytes already there after it, make the answer a bad one (EConvertError
// naming the text and what followed it); the drive is never kept waiting for them. Throws ENoAnswer when the
// device is lost, a byte does not come, or the echo does not end within MaxEchoBytes; EConvertError "'<space
// and text>' is not a valid integer value" for a value text that is not an integer or is longer than
// MaxValueText. Whatever ends a dialogue once the query is out, a lone CR goes after it, so the drive is not
// left at its prompt; nothing more is read then.
std::int32_t QueryRegister(TExchange& exchange, int n);

// The dialogues of P0 .. P8 in turn, as QueryRegister runs one, except that each next query goes
// out right behind the CR that closes the prompt before it, so that a converter's latency is waited
// once a register, not twice. The echo of that CR must then be all that comes before the next
// query's echo; anything else is a bad answer of the register before. The first error ends them all.
std::array<std::int32_t, RegisterCount> QueryAllRegisters(TExchange& exchange);
// The same for the registers of `order` in turn, a register as often as it stands there: each(i, value)
// for the reading of order[i] once it is known to be whole; the first error ends them. `queried`, when
// given, counts the queries written, the first `queried` of order.
void QueryRegisterSeries(TExchange& exchange, const std::vector<int>& order,
                         const std::function<void(std::size_t, std::int32_t)>& each,
                         std::size_t* queried = nullptr);

// The position reply to "L " CR CR, which the caller has written: the echo of "L " and its CR
// (L, space, CR, LF) and the reply's own CR LF, six bytes in all, then the position's decimal digits
// and a CR LF. No sign is accepted. Anything else throws EConvertError, the bad answer's message
// naming what came ("' ' is not a valid integer value" when nothing came after the six bytes), so
// that no motion is ever computed from the tail of an earlier answer; and names the digits when they
// exceed the 32-bit range or MaxValueText. afterAnother: the query followed another one, written
// with it, whose reply was read just before: the echo of that query's second CR comes first.
std::int32_t ReadPosition(TExchange& exchange, bool afterAnother = false);

// The replies to `count` position queries written at once, each read as ReadPosition reads one, taken
// from what came until the line fell quiet: every reply that came whole, in order, also after one that
// a lost byte broke. Throws EConvertError, naming what came, when none did.
struct TPositionReading {
    std::int32_t Value = 0;
    // The reply followed another of its batch, not the purge.
    bool Later = false;
};
std::vector<TPositionReading> ReadPositions(TExchange& exchange, int count);

// The raw reply to "J " v CR for sampleCount samples (taken as 0..1000, the drive's range): one read
// of 4 × sampleCount + 10 bytes, the spare bytes leaving room for the drive's answer ahead of the
// records; while that read comes back full without all the records whole, the bytes they still need
// are read on, the block growing to at most twice its size. Every read ends by one deadline: the
// recording at 0.5 ms a sample, then the whole block on the wire at the port's rate, then one read
// time-out; and a read ends early when the drive stays silent for the read time-out.
QByteArray ReadSampleBlock(TExchange& exchange, int sampleCount);
