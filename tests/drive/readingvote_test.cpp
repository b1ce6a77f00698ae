#include "drive/readingvote.h"

#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/steptest.h"

#include "tests/support/outcome.h"
#include "tests/support/scriptedexchange.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// A drive at a fixed position holding fixed registers, behind a line that loses its bytes as `Lose`
// says: each reply is made when its query is written, and its bytes pass the loss one by one.
class TLossyDrive : public TScriptedExchange {
public:
    std::int32_t Position = 100000;
    TRegisterValues Registers = {213, 1024, 768, 0, 102, 384, 294, 12820, 64};
    // Whether the i-th byte of a reply, whose value text starts at `from`, is lost, after what the drive
    // sent before it, lost or not.
    std::function<bool(const QByteArray& came, qsizetype i, qsizetype from)> Lose;
    int PositionQueries = 0;
    std::array<int, RegisterCount> RegisterQueries{};
    int Writes = 0;
    QByteArray Offered;

    void WriteLine(const QByteArray& line) override {
        TScriptedExchange::WriteLine(line);
        if (line == "L \r\r") {
            ++PositionQueries;
            Reply("L \r\n\r\n", QByteArray::number(Position) + "\r\n\r\n");
        } else if (line.size() == 3 && line[0] == 'P') {
            const int n = line[1] - '0';
            ++RegisterQueries[std::size_t(n)];
            Reply(line + '\n', QByteArray::number(Registers[std::size_t(n)]) + ':');
        } else if (line == "\r") {
            Reply({}, "\r\n");
        } else if (line.startsWith('P')) {
            ++Writes;
            Reply({}, line + '\n');
        }
    }

private:
    void Reply(const QByteArray& head, const QByteArray& value) {
        const QByteArray reply = head + value;
        for (qsizetype i = 0; i < reply.size(); ++i) {
            if (!Lose(Offered, i, head.size()))
                Incoming += reply[i];
            Offered += reply[i];
        }
    }
};

} // namespace

// The chance the vote believes a number the drive did not send, in closed form at one reading in ten
// losing a digit, and as the vote weighs readings at one in two, where it can be counted: the worst
// case, in which every reading that lost a digit reads alike.
TEST(ReadingVote, ChanceOfAWrongValue) {
    EXPECT_LE(WrongValueChance(0.1), 1e-6 * (1 + 1e-9));
    std::mt19937_64 random(7);
    std::bernoulli_distribution lost(0.5);
    constexpr int Trials = 20000;
    int wrong = 0;
    for (int t = 0; t < Trials; ++t) {
        TReadingVote vote(2);
        while (!vote.Confirmed())
            vote.Add(lost(random) ? 10000 : 100000);
        wrong += *vote.Confirmed() != 100000;
    }
    EXPECT_NEAR(double(wrong) / Trials, WrongValueChance(0.5), 0.004);
}

// Readings that all came first in their batches, as those a converter garbles alike after the same line
// structure, do not confirm a value until one that followed another reply agrees.
TEST(ReadingVote, WantsReadingsFromTwoPlaces) {
    TReadingVote vote(2, true);
    for (int i = 0; i < AgreeingReadings; ++i)
        vote.Add(10000);
    EXPECT_FALSE(vote.Confirmed());
    EXPECT_EQ(vote.Missing(), 2);
    vote.Add(10001, true);
    EXPECT_EQ(vote.Confirmed(), 10001);
}

// However the line loses bytes, no confirmation writes more than its bound, and none returns a value the
// drive did not send: it returns the drive's or refuses. A loss that repeats in every reply is caught by
// a witness.
TEST(ReadingVote, ConfirmationsOnLossyLines) {
    // The n-th byte after an empty line, as a converter that loses it after a line structure.
    const auto afterEmptyLine = [](const QByteArray& came, qsizetype n) {
        const qsizetype empty = came.lastIndexOf("\r\n\r\n");
        return empty >= 0 && came.size() - empty - 4 == n - 1;
    };
    const struct {
        const char* Name;
        std::function<bool(std::mt19937_64&, const QByteArray&, qsizetype, qsizetype)> Lose;
        bool Witnessed;
    } patterns[] = {
        {"one byte in twenty",
         [](std::mt19937_64& r, const QByteArray&, qsizetype, qsizetype) { return r() % 20 == 0; }, false},
        {"one byte in five",
         [](std::mt19937_64& r, const QByteArray&, qsizetype, qsizetype) { return r() % 5 == 0; }, false},
        {"every reply garbled",
         [](std::mt19937_64&, const QByteArray&, qsizetype i, qsizetype from) { return i == from - 1; },
         false},
        {"the fifth byte after an empty line",
         [&](std::mt19937_64&, const QByteArray& came, qsizetype, qsizetype) {
             return afterEmptyLine(came, 5);
         },
         false},
        {"the same digit of every reply",
         [](std::mt19937_64&, const QByteArray&, qsizetype i, qsizetype from) { return i == from + 2; },
         true},
    };
    for (const auto& pattern : patterns)
        for (std::uint64_t seed = 1; seed <= 40; ++seed) {
            std::mt19937_64 random(seed);
            TLossyDrive drive;
            drive.Lose = [&](const QByteArray& came, qsizetype i, qsizetype from) {
                return pattern.Lose(random, came, i, from);
            };
            const std::optional<std::int32_t> witness =
                pattern.Witnessed ? std::optional<std::int32_t>(drive.Position) : std::nullopt;
            try {
                EXPECT_EQ(ConfirmedPosition(drive, 20, witness), drive.Position) << pattern.Name << seed;
            } catch (const EKelmorError&) {
            }
            EXPECT_LE(drive.PositionQueries, MostConfirmingQueries) << pattern.Name << seed;
            TKnownRegisters known;
            if (pattern.Witnessed)
                std::copy(drive.Registers.begin(), drive.Registers.end(), known.begin());
            const TConfirmedRead read = ConfirmRegisters(drive, known);
            for (std::size_t n = 0; n < known.size(); ++n) {
                EXPECT_EQ(read.Values[n].value_or(drive.Registers[n]), drive.Registers[n])
                    << pattern.Name << seed << " P" << n;
                EXPECT_LE(drive.RegisterQueries[n], MostConfirmingQueries)
                    << pattern.Name << seed << " P" << n;
            }
            std::vector<QByteArray> lines;
            for (std::size_t n = 0; n < known.size(); ++n)
                lines.push_back(RegisterWriteLine(int(n), drive.Registers[n]));
            Outcome([&] { WriteConfirmed(drive, lines, [](std::size_t) {}); });
            EXPECT_LE(drive.Writes, int(MostWriteRounds(lines.size()) * lines.size()))
                << pattern.Name << seed;
        }
}
