#pragma once

#include <cstddef>
#include <cstdint>

// What the drive still owes of its echo. A drive echoes every byte it takes up as it comes: a CR as
// CR LF, a Backspace or Delete that removes a character of the line as BS, space, BS (and nothing
// on an empty line). It echoes no byte from 0x80 up, no XON or XOFF (a line with software flow
// control takes them for itself), and no character past the longest line it takes, where it drops
// the line instead. Bytes received pay the debt off; it never goes below nothing, so answers that
// come between echoes pay at most what is owed. Owing too little is the safe side: the wait for a
// quiet line follows the echo.
class TEchoDebt {
public:
    // The longest line a drive takes; the character after it is not echoed and ends the line.
    static constexpr std::size_t KLongestLine = 64;

    void Sent(const void* bytes, std::size_t size);
    void Paid(std::size_t count) { FOwed -= count < FOwed ? count : FOwed; }
    // A debt the drive did not pay within its time: it is not waited for again.
    void Forgive() { FOwed = 0; }
    std::size_t Owed() const { return FOwed; }
    // Characters of the line the drive holds unfinished, as far as it took them.
    std::size_t LineLength() const { return FLineLength; }

private:
    std::size_t FOwed = 0;
    std::size_t FLineLength = 0;
};
