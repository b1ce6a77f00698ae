#include "link/deviceline.h"

#include <algorithm>

void TDeviceLine::Attach(ZQ_HANDLE handle) {
    FHandle = handle;
    Forget();
}

void TDeviceLine::Detach() {
    if (FHandle != 0)
        ZQ_Close(FHandle);
    FHandle = 0;
}

void TDeviceLine::Forget() {
    FEcho = {};
    FSeenWaiting = 0;
    FClean = false;
}

std::uint32_t TDeviceLine::Write(const void* data, std::uint32_t size, bool& gone) {
    if (FHandle == 0)
        return 0;
    std::uint32_t written = 0;
    gone = Gone(ZQ_Write(FHandle, data, size, &written)) || gone;
    written = std::min(written, size);
    FEcho.Sent(data, written);
    FLastActivity = Clock::now();
    FClean = false;
    return written;
}

std::uint32_t TDeviceLine::Read(void* buffer, std::uint32_t count, bool& gone) {
    if (FHandle == 0)
        return 0;
    std::uint32_t got = 0;
    gone = Gone(ZQ_Read(FHandle, buffer, count, &got)) || gone;
    got = std::min(got, count);
    NoteRead(got);
    return got;
}

std::uint32_t TDeviceLine::Waiting(bool& gone) {
    std::uint32_t received = 0, sending = 0, events = 0;
    if (FHandle == 0)
        return 0;
    const ZQ_STATUS status = ZQ_GetStatus(FHandle, &received, &sending, &events);
    gone = Gone(status) || gone;
    if (status != ZQ_OK)
        return 0;
    NoteWaiting(received);
    return received;
}

void TDeviceLine::Purge(bool& gone) {
    FEcho.Paid(Waiting(gone));
    FSeenWaiting = 0;
    if (FHandle != 0)
        gone = Gone(ZQ_Purge(FHandle, ZQ_PURGE_RX)) || gone;
}

void TDeviceLine::NoteWaiting(std::uint32_t waiting) {
    if (waiting > FSeenWaiting)
        FLastActivity = Clock::now();
    FSeenWaiting = waiting;
}

void TDeviceLine::NoteRead(std::uint32_t count) {
    // Bytes read beyond those seen waiting have just come.
    if (count > FSeenWaiting)
        FLastActivity = Clock::now();
    FSeenWaiting -= std::min(count, FSeenWaiting);
}

void TDeviceLine::NoteAnswerDelay(Clock::duration delay) {
    FAnswerDelays[FNextAnswerDelay++ % FAnswerDelays.size()] = delay;
}

TDeviceLine::Clock::duration TDeviceLine::AnswerDelay() const {
    // A delay beyond this is a drive that stalled once, not one to wait for before every reply.
    constexpr Clock::duration Longest = std::chrono::milliseconds(100);
    return std::min(*std::max_element(FAnswerDelays.begin(), FAnswerDelays.end()), Longest);
}
