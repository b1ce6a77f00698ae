#pragma once

#include <cstddef>
#include <cstdint>

// What the drive still owes of its echo. A drive echoes every byte it takes up as it comes: a CR as
// CR LF, a Backspace or Delete that removes a character of the line as BS, space, BS (and nothing
// on an empty line), bytes from 0x80 up not at all. Bytes received pay the debt off; it never goes
// below nothing, so answers that come between echoes pay at most what is owed.
class TEchoDebt {
public:
    void Sent(const void* bytes, std::size_t size);
    void Paid(std::size_t count) { FOwed -= count < FOwed ? count : FOwed; }
    // A debt the drive did not pay within its time: it is not waited for again.
    void Forgive() { FOwed = 0; }
    std::size_t Owed() const { return FOwed; }

private:
    std::size_t FOwed = 0;
    std::size_t FLineLength = 0;
};
