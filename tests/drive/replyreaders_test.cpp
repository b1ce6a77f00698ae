#include "drive/replyreaders.h"
#include "drive/retries.h"

#include "harness/qtprinters.h"
#include "tests/support/outcome.h"
#include "tests/support/scriptedexchange.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString NoAnswer = QStringLiteral("The drive did not answer the query for register P1");

TEST(ReplyReaders, RegisterDialogue) {
    // Every dialogue whose query went out ends with the prompt closed, also one given up.
    const QByteArrayList closed = {"P1\r", "\r"};
    const struct {
        const char* Name;
        QByteArray Incoming;
        std::optional<char> Endless;
        bool Lost;
        QString Outcome;
        QByteArrayList Writes;
    } cases[] = {
        {"plain", "P1\r\n1024:\r\n", {}, false, "1024", closed},
        {"stray bytes before the echo", "?x P1\r\n5:\r\n", {}, false, "5", closed},
        {"a line printed before the echo", "123:\r\nP1\r\n5:\r\n", {}, false, "5", closed},
        {"two leading spaces", "P1\r\n  -7:\r\n", {}, false, "-7", closed},
        {"sixteen characters", "P1\r\n0000000000001024:\r\n", {}, false, "1024", closed},
        {"control bytes", "P1\r\n\r\x01:", {}, false, "' \\r\\x01' is not a valid integer value", closed},
        {"trailing space", "P1\r\n1024 :\r\n", {}, false, "' 1024 ' is not a valid integer value", closed},
        {"seventeen characters",
         "P1\r\n00000000000001024:",
         {},
         false,
         "' 00000000000001024' is not a valid integer value",
         closed},
        {"endless value text", "P1\r\n", '1', false, "' 11111111111111111' is not a valid integer value",
         closed},
        {"silent", "", {}, false, NoAnswer, closed},
        {"no prompt", "P1\r\n1024", {}, false, NoAnswer, closed},
        {"echo without CR", "", 'P', false, NoAnswer, closed},
        {"lost device", "P1\r\n1024:\r\n", {}, true, NoAnswer, {}},
        {"closing echo missing", "P1\r\n1024:", {}, false, "1024", closed},
        // The LF of the echo lost on the line must not take the value's first digit with it.
        {"echo's LF lost", "P1\r1024:\r\n", {}, false, "' 1' is not a valid integer value", closed},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        exchange.Endless = c.Endless;
        exchange.DeviceLost = c.Lost;
        EXPECT_EQ(Outcome([&] { return QueryRegister(exchange, 1); }), c.Outcome) << c.Name;
        EXPECT_EQ(exchange.Log, c.Writes) << c.Name;
        EXPECT_LE(exchange.Served, MaxEchoBytes + 2 + MaxValueText + 1) << c.Name;
    }

    // A drive whose bytes have all arrived: one that waits at its prompt, and one that printed a line
    // of its own between the echo and its prompt.
    const struct {
        QByteArray Incoming;
        QString Outcome;
    } arrived[] = {
        {"P1\r\n1024:", "1024"},
        {"P1\r\n54321:\r\n0:", "' 54321:\\r\\n0:' is not a valid integer value"},
    };
    for (const auto& c : arrived) {
        TScriptedExchange exchange(c.Incoming);
        exchange.Arrived = true;
        EXPECT_EQ(Outcome([&] { return QueryRegister(exchange, 1); }), c.Outcome) << c.Incoming.data();
        EXPECT_EQ(exchange.Log, closed) << c.Incoming.data();
    }
}

// Each next query goes out right behind the close of the prompt before it; the echo of that close
// must be all that comes before the next query's echo.
TEST(ReplyReaders, AllRegisters) {
    QByteArray answers;
    for (int n = 0; n < RegisterCount; ++n)
        answers += (n > 0 ? "\r\n" : "") + QByteArray("P") + char('0' + n) + "\r\n" +
                   QByteArray::number(n * 10) + ":";
    TScriptedExchange whole(answers + "\r\n");
    const std::array<std::int32_t, RegisterCount> values = QueryAllRegisters(whole);
    EXPECT_EQ(values[8], 80);
    EXPECT_EQ(whole.Log.mid(0, 4), (QByteArrayList{"P0\r", "\r", "P1\r", "\r"}));
    EXPECT_EQ(whole.Log.size(), 2 * RegisterCount);
    EXPECT_EQ(whole.EchoBytes, RegisterCount * 4 + RegisterCount * 2)
        << "every query's echo and every close's";

    // A line of the drive's own after the close of P1's prompt.
    TScriptedExchange chatty("P0\r\n0:\r\nP1\r\n10:\r\n?\r\nP2\r\n20:");
    EXPECT_EQ(Outcome([&] { QueryAllRegisters(chatty); }),
              "' 10:\\r\\n?\\r\\n' is not a valid integer value");
    EXPECT_EQ(chatty.Log.last(), "\r") << "P2's prompt, open by then, is closed";
}

TEST(ReplyReaders, Confirmation) {
    const QByteArray line = "G0 100000\r";
    const struct {
        QByteArray Incoming;
        QString Outcome;
    } cases[] = {
        {"G0 100000\r\nOK\r\n", ""},
        {"\r\nG0 100000\r\nOK\r\n", ""},
        {"G0 100000\r\n?\r\n", "The drive did not confirm G0 100000: what came back was '?\\r\\n'"},
        {"", "' ' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        EXPECT_EQ(Outcome([&] { ReadConfirmation(exchange, line); }), c.Outcome) << c.Incoming.data();
    }
}

TEST(ReplyReaders, Position) {
    const QByteArray head = "L \r\n\r\n";
    const struct {
        const char* Name;
        QByteArray Incoming;
        std::optional<char> Endless;
        QString Outcome;
        long long Consumed;
    } cases[] = {
        {"digits", head + "123\r\nX", {}, "123", 11},
        {"a sign", head + "-5\r\n", {}, "' -' is not a valid integer value", 7},
        {"silent", "", {}, "' ' is not a valid integer value", 0},
        {"silent after the head", head, {}, "' ' is not a valid integer value", 6},
        {"cut short in the head", "L \r", {}, "' L \\r' is not a valid integer value", 3},
        {"the tail of an earlier echo",
         "64\r\nP7 12820\r\nL \r\n\r\n100000\r\n",
         {},
         "' 64\\r\\nP7' is not a valid integer value",
         6},
        {"digits without their line end", head + "123\rX", {}, "' 123\\rX' is not a valid integer value", 11},
        {"beyond 32 bits", head + "2147483648\r\n", {}, "' 2147483648' is not a valid integer value", 18},
        {"endless digits", head, '9', "' 99999999999999999' is not a valid integer value", 23},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        exchange.Endless = c.Endless;
        EXPECT_EQ(Outcome([&] { return ReadPosition(exchange); }), c.Outcome) << c.Name;
        EXPECT_EQ(exchange.Served, c.Consumed) << c.Name;
        EXPECT_TRUE(exchange.Log.isEmpty()) << c.Name;
        ASSERT_FALSE(exchange.Reads.empty()) << c.Name;
        EXPECT_EQ(exchange.Reads.front().Count, 6u) << c.Name << ": the head is one read of six bytes";
    }
}

// One read of the block's size, read on for missing records while the bytes keep coming, all by one
// deadline.
TEST(ReplyReaders, SampleBlock) {
    const QByteArray chatter = "S 500\r\nOK\r\nJ 1200\r\n";
    const QByteArray twoRecords = QByteArray("l\x01\x02\x03l\x04\x05\x06", 8);
    const struct {
        const char* Name;
        int SampleCount;
        QByteArray Incoming;
        std::optional<char> Endless;
        std::uint32_t Rate;
        std::vector<std::uint32_t> Counts;
        qsizetype Size;
        long long DeadlineMs; // read time-out, recording, block on the wire
    } cases[] = {
        {"a drive gone silent", 2, "J 1\r\nl\x01\x02", {}, 115200, {18}, 8, 302},
        {"chatter beyond the spare bytes", 2, chatter + twoRecords + "\r\n", {}, 115200, {18, 8, 1}, 27, 302},
        {"endless chatter, twice the block", 2, "", 'x', 115200, {18, 8, 8, 2}, 36, 302},
        {"no records", -3, "", 'l', 115200, {10}, 10, 301},
        {"at most 1000 records", 5000, "", 'l', 115200, {4010}, 4010, 300 + 500 + 348},
        {"at 115200 bit/s", 500, "", 'l', 115200, {2010}, 2010, 300 + 250 + 175},
        {"at 9600 bit/s", 500, "", 'l', 9600, {2010}, 2010, 300 + 250 + 2094},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        exchange.Endless = c.Endless;
        exchange.Rate = c.Rate;
        const auto before = TExchange::Clock::now();
        EXPECT_EQ(ReadSampleBlock(exchange, c.SampleCount).size(), c.Size) << c.Name;
        const auto after = TExchange::Clock::now();
        // Bounded by the clock around the call, however slowly it ran; the figures are rounded to 1 ms.
        const std::chrono::milliseconds deadline(c.DeadlineMs);
        std::vector<std::uint32_t> counts;
        for (const TScriptedExchange::TRead& read : exchange.Reads) {
            counts.push_back(read.Count);
            EXPECT_GE(read.Deadline, before + deadline - 1ms) << c.Name;
            EXPECT_LE(read.Deadline, after + deadline + 1ms) << c.Name;
        }
        EXPECT_EQ(counts, c.Counts) << c.Name;
    }
}

} // namespace

// A register write counts only once its echo came back exactly, followed by the next line's echo, and
// nothing came after the last one; what is not confirmed is written again from its first line.
TEST(ReplyReaders, ConfirmedWrites) {
    const QByteArray purge = TScriptedExchange::PurgeMark();
    const QByteArrayList lines = {"P1 5\r", "P2 6\r"};
    const QByteArray echoes = "P1 5\r\nP2 6\r\n";
    QByteArrayList eightTimes, silent;
    for (int i = 0; i < 8; ++i) {
        eightTimes += QByteArrayList{purge, "P2 6\r"};
        silent += QByteArrayList{purge, "P1 5\r", "P2 6\r"};
    }
    const struct {
        const char* Name;
        QByteArray Incoming;
        QString Outcome;
        QByteArrayList Log;
        std::vector<std::size_t> Confirmed;
    } cases[] = {
        {"echoed", echoes, "", {purge, "P1 5\r", "P2 6\r"}, {0, 1}},
        {"a byte of the first echo lost, then whole",
         "P1 \r\nP2 6\r\nX" + echoes,
         "",
         {purge, "P1 5\r", "P2 6\r", purge, "P1 5\r", "P2 6\r"},
         {0, 1}},
        {"the last line refused again and again",
         "P1 5\r\nP2 6\r\n?\r\n" + QByteArray("P2 6\r\n?\r\n").repeated(7),
         "The drive did not confirm P2 6: what came back was 'P2 6\\r\\n?\\r\\n'",
         QByteArrayList{purge, "P1 5\r", "P2 6\r"} + eightTimes.mid(2),
         {0}},
        {"a refusal between two echoes",
         "P1 5\r\n?\r\nP2 " + echoes,
         "",
         {purge, "P1 5\r", "P2 6\r", purge, "P1 5\r", "P2 6\r"},
         {0, 1}},
        {"silent", "", "The drive did not confirm P1 5: nothing came back", silent, {}},
        {"the first line confirmed after seven garbled rounds starts the tries in a row again",
         QByteArray("P1 \r\nP2 6\r\nX").repeated(7) + "P1 5\r\nP2 X\r\n" + "P2 6\r\n",
         "",
         silent + QByteArrayList{purge, "P2 6\r"},
         {0, 1}},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        exchange.Arrived = true;
        std::vector<std::size_t> confirmed;
        EXPECT_EQ(Outcome([&] {
                      WriteConfirmed(exchange, {lines.begin(), lines.end()},
                                     [&](std::size_t i) { confirmed.push_back(i); });
                  }),
                  c.Outcome)
            << c.Name;
        EXPECT_EQ(exchange.Log, c.Log) << c.Name;
        EXPECT_EQ(confirmed, c.Confirmed) << c.Name;
    }
}

// A reading garbled on the line is asked again on a purged line, up to MostTriesInARow in all; a
// loss or another error ends it at once.
TEST(ReplyReaders, AGarbledReadingIsAskedAgain) {
    const struct {
        int Garbled;
        bool Lost;
        bool NoAnswer;
        int Asked;
        QString Outcome;
    } cases[] = {
        {0, false, false, 1, "7"},
        {MostTriesInARow - 1, false, false, MostTriesInARow, "7"},
        {MostTriesInARow, false, false, MostTriesInARow, "garbled"},
        {1, true, false, 1, "garbled"},
        {1, false, true, 1, "The drive did not answer the query for register P0"},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange;
        exchange.DeviceLost = c.Lost;
        int asked = 0;
        const auto ask = [&] {
            if (++asked > c.Garbled)
                return 7;
            if (c.NoAnswer)
                throw ENoAnswer(0);
            throw EConvertError(QStringLiteral("garbled"));
        };
        EXPECT_EQ(Outcome([&] { return AskAgain<EConvertError>(exchange, ask); }), c.Outcome) << c.Garbled;
        EXPECT_EQ(asked, c.Asked) << c.Garbled;
        EXPECT_EQ(exchange.Log.size(), c.Asked - 1) << "a purge before each new ask";
    }
}
