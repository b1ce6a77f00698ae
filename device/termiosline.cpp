#include "device/termiosline.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A driver may report the rate its divisor gives rather than the one asked for; a UART link
// tolerates a few percent.
constexpr double KRateTolerance = 0.03;

struct TStandardRate {
    std::uint32_t Rate;
    tcflag_t Code;
};

// A rate with a code of its own is set by that code, so that programs reading the line with the
// classic calls see it; any other goes as BOTHER with the number.
constexpr TStandardRate KStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

} // namespace

void SetRate(termios2& tio, std::uint32_t rate) {
    const auto* standard = std::find_if(std::begin(KStandardRates), std::end(KStandardRates),
                                        [&](const TStandardRate& s) { return s.Rate == rate; });
    // The input rate field left at zero makes the input follow the output rate.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= standard != std::end(KStandardRates) ? standard->Code : BOTHER;
    tio.c_ospeed = rate;
    tio.c_ispeed = rate;
}

void SetResetLine(termios2& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                     IXON | IXANY | IXOFF | IMAXBEL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | IEXTEN);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = KDefaultXon;
    tio.c_cc[VSTOP] = KDefaultXoff;
    SetRate(tio, KResetRate);
}

bool Took(const termios2& want, const termios2& got) {
    const tcflag_t rateBits = CBAUD | (CBAUD << IBSHIFT);
    const double rateError = std::abs(double(got.c_ospeed) - double(want.c_ospeed));
    return got.c_iflag == want.c_iflag && got.c_oflag == want.c_oflag && got.c_lflag == want.c_lflag &&
           (got.c_cflag & ~rateBits) == (want.c_cflag & ~rateBits) &&
           std::equal(std::begin(want.c_cc), std::end(want.c_cc), std::begin(got.c_cc)) &&
           rateError <= KRateTolerance * double(want.c_ospeed);
}
