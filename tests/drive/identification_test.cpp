// The drive's identification: its answer to "i", taken from what the terminal shows.

#include "drive/identification.h"

#include "harness/qtprinters.h"

#include <gtest/gtest.h>
#include <vector>

TEST(Identification, IsTheFirstLineAfterTheEcho) {
    const struct {
        const char* Name;
        std::vector<QByteArray> Lines; // sent, before the bytes
        std::vector<QByteArray> Bytes; // received, in bursts
        QString Text;
    } cases[] = {
        {"echo and answer together", {"i"}, {"i\r\nDRIVE 12V v1.0\r\n"}, "DRIVE 12V v1.0"},
        {"in bursts, cut anywhere", {"i"}, {"i\r", "\nDRIVE 1", "2V v1.0\r", "\n"}, "DRIVE 12V v1.0"},
        {"a line not yet ended", {"i"}, {"i\r\nDRIVE 12V"}, ""},
        {"without an echo", {"i"}, {"\r\nDRIVE\r\n"}, "DRIVE"},
        {"a line refused", {"i"}, {"i\r\n?\r\n"}, ""},
        {"another line before the answer", {"i", "L"}, {"i\r\nDRIVE\r\n"}, ""},
        {"an answer to another line", {"P1"}, {"P1\r\n100:"}, ""},
        {"bytes that are no text", {"i"}, {QByteArray("i\r\nDR\x01VE\r\n")}, ""},
    };
    for (const auto& c : cases) {
        TIdentification identification;
        for (const QByteArray& line : c.Lines)
            identification.LineSent(line);
        for (const QByteArray& bytes : c.Bytes)
            identification.Received(bytes);
        EXPECT_EQ(identification.Text(), c.Text) << c.Name;
    }
}

// A later answer replaces the last; a refused one leaves it.
TEST(Identification, KeepsTheLastAnswer) {
    TIdentification identification;
    for (const QByteArray& answer : {QByteArray("A\r\n"), QByteArray("?\r\n")}) {
        identification.LineSent("i");
        identification.Received("i\r\n" + answer);
    }
    EXPECT_EQ(identification.Text(), "A");
}
