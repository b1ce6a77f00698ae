// kelmor-drive-sim: one simulated drive on a new pseudo-terminal or on standard input and output,
// with its time running in step with the real clock.

#include "sim/converter.h"
#include "sim/drivesim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

constexpr std::string_view KUsage =
    "Usage: kelmor-drive-sim [--stdio] [--baud N] [--trace] [--plant KEY=VALUE,...]\n"
    "\n"
    "Serves one simulated servo drive: a 12 V DC motor (6 ohm, 4000 rev/min, 500-pulse encoder)\n"
    "under a cascade position/velocity controller at 2 kHz, with the drive's command interpreter\n"
    "(registers P0..P8, banks W/R, modes M, S, i, l, L, J step recording, G0/G1 moves).\n"
    "\n"
    "Without --stdio it opens a new pseudo-terminal, prints the path of its end on the first line\n"
    "of standard output and serves the drive there until it is killed or, once a program has opened\n"
    "that path, until that program closes it again. Use the path as a port name, for instance\n"
    "ZQLINK_PORTS=/dev/pts/5 kelmor.\n"
    "\n"
    "  --stdio    serve the drive on standard input and output instead; at the end of the input\n"
    "             it finishes what it is doing (a J recording) and exits\n"
    "  --baud N   pace the drive's output at N bit/s, ten bit times a byte (default: unpaced)\n"
    "  --trace    print each line the drive takes up on standard error, with its time in ms and\n"
    "             where the motor stood: 1234.5 J 100200 @100000\n"
    "  --plant P  another drive than the standard one: P is KEY=VALUE items separated by commas,\n"
    "             for instance load=5,delay=2, latency=16 (behind a converter) or drop=0.01 (a\n"
    "             line that loses one in a hundred of the drive's bytes); the keys are below\n"
    "  --version  show the version\n"
    "  --help     show this text\n"
    "\n"
    "Plant parameters (--plant):\n";

constexpr std::int64_t KMaxBaud = 10'000'000;
// While nothing else is due the drive's time still advances in steps of this size.
constexpr std::int64_t KIdleWakeNs = 20'000'000;

struct TOptions {
    bool Stdio = false;
    bool Trace = false;
    std::int64_t Baud = 0;
    TPlantParameters Plant;
};

bool ParseOptions(int argc, char** argv, TOptions& options, bool& help, bool& version) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--stdio") {
            options.Stdio = true;
        } else if (arg == "--trace") {
            options.Trace = true;
        } else if (arg == "--baud" && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            const long long baud = std::strtoll(argv[++i], &end, 10);
            if (errno != 0 || end == argv[i] || *end != '\0' || baud < 1 || baud > KMaxBaud) {
                std::fprintf(stderr, "kelmor-drive-sim: --baud needs a rate from 1 to %lld bit/s, not '%s'\n",
                             static_cast<long long>(KMaxBaud), argv[i]);
                return false;
            }
            options.Baud = baud;
        } else if (arg == "--plant" && i + 1 < argc) {
            const TPlantParse plant = ParsePlantParameters(argv[++i]);
            if (!plant.Plant) {
                std::fprintf(stderr, "kelmor-drive-sim: --plant: %s\n", plant.Error.c_str());
                return false;
            }
            options.Plant = *plant.Plant;
        } else {
            std::fprintf(stderr, "kelmor-drive-sim: unknown argument '%s' (see --help)\n", argv[i]);
            return false;
        }
    }
    return true;
}

void PrintLine(std::int64_t timeNs, const std::string& line, std::int32_t position) {
    std::string shown;
    for (const char c : line) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c >= ' ' && c < 0x7F ? "%c" : "\\x%02X", c);
        shown += escaped;
    }
    std::fprintf(stderr, "%.1f %s @%d\n", double(timeNs) / 1e6, shown.c_str(), position);
}

class TServer {
public:
    TServer(int inFd, int outFd, bool pty, const TOptions& options)
        : FIn(inFd), FOut(outFd), FPty(pty), FByteNs(options.Baud > 0 ? 10'000'000'000 / options.Baud : 0),
          FStart(std::chrono::steady_clock::now()), FDrive(options.Plant), FConverter(options.Plant) {
        if (options.Trace)
            FDrive.SetTrace(PrintLine);
    }

    int Run();

private:
    std::int64_t Now() const {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - FStart)
            .count();
    }
    void AdvanceTo(std::int64_t now);
    void Pace(std::int64_t now);
    bool Flush();
    bool ReadInput();
    timespec PollTimeout(std::int64_t now) const;

    int FIn;
    int FOut;
    bool FPty;
    std::int64_t FByteNs;
    std::chrono::steady_clock::time_point FStart;

    TDriveSim FDrive;
    std::int64_t FDriveNs = 0;
    std::string FLine;     // taken from the drive, waiting for its time on the paced line
    TConverter FConverter; // off the line, held until the converter hands it on
    std::string FWritable; // due, not yet accepted by the file descriptor
    std::int64_t FLineFreeNs = 0;
    bool FInputEnded = false;
    bool FPeerSeen = false;
    bool FPeerGone = false;
};

// Records and late answers go on the line at the moment the drive sends them, even when this loop
// wakes late.
void TServer::AdvanceTo(std::int64_t now) {
    for (std::int64_t step = FDrive.NanosUntilNextOutput(); step > 0 && FDriveNs + step <= now;
         step = FDrive.NanosUntilNextOutput()) {
        FDrive.Advance(step);
        FDriveNs += step;
        Pace(FDriveNs);
    }
    FDrive.Advance(now - FDriveNs);
    FDriveNs = now;
    Pace(now);
}

void TServer::Pace(std::int64_t now) {
    if (FLine.empty())
        FLineFreeNs = std::max(FLineFreeNs, now);
    FLine += FDrive.TakeOutput(TDriveSim::KMaxOutput);
    std::size_t due = 0;
    for (; due < FLine.size() && (FByteNs == 0 || FLineFreeNs + FByteNs <= now); ++due) {
        FLineFreeNs += FByteNs;
        FConverter.Take(FLine[due], FLineFreeNs);
    }
    FLine.erase(0, due);
    FWritable += FConverter.Deliver(now);
}

bool TServer::Flush() {
    while (!FWritable.empty()) {
        const ssize_t n = write(FOut, FWritable.data(), FWritable.size());
        if (n > 0) {
            FWritable.erase(0, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        } else {
            return false;
        }
    }
    return true;
}

bool TServer::ReadInput() {
    char buffer[256];
    const ssize_t n = read(FIn, buffer, sizeof buffer);
    if (n > 0) {
        for (ssize_t i = 0; i < n; ++i)
            FDrive.Receive(static_cast<std::uint8_t>(buffer[i]));
        return true;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return true;
    return false;
}

timespec TServer::PollTimeout(std::int64_t now) const {
    std::int64_t wait = KIdleWakeNs;
    if (!FLine.empty())
        wait = std::min(wait, FLineFreeNs + FByteNs - now);
    if (FConverter.Holding())
        wait = std::min(wait, FConverter.NextDelivery() - now);
    if (const std::int64_t due = FDrive.NanosUntilNextOutput(); due > 0)
        wait = std::min(wait, due);
    wait = std::max<std::int64_t>(wait, 0);
    return timespec{static_cast<time_t>(wait / 1'000'000'000), static_cast<long>(wait % 1'000'000'000)};
}

int TServer::Run() {
    for (;;) {
        const std::int64_t now = Now();
        AdvanceTo(now);
        if (!Flush())
            return 0;
        if (FPeerGone)
            return 0;
        if (FInputEnded && FDrive.Idle() && FDrive.OutputSize() == 0 && FLine.empty() &&
            !FConverter.Holding() && FWritable.empty())
            return 0;

        pollfd fds[2] = {};
        nfds_t count = 0;
        if (!FInputEnded)
            fds[count++] = {FIn, POLLIN, 0};
        const bool waitOut = !FWritable.empty();
        if (waitOut)
            fds[count++] = {FOut, POLLOUT, 0};
        // Finer than poll's milliseconds: a record is due every 0.5 ms, a byte every 87 us at 115200.
        const timespec timeout = PollTimeout(now);
        const int ready = ppoll(fds, count, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (FInputEnded)
            continue;
        const short events = ready > 0 ? fds[0].revents : 0;
        if (FPty) {
            // The master end reports a hang-up while no program has the terminal open: before the
            // first peer that only means waiting, after it the peer has gone. Without a hang-up a
            // peer is there, even one that only listens.
            if (events & POLLHUP) {
                if (FPeerSeen)
                    FPeerGone = true;
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            FPeerSeen = true;
        }
        if (events & (POLLIN | POLLHUP | POLLERR)) {
            if (!ReadInput()) {
                if (FPty)
                    FPeerGone = FPeerSeen;
                else
                    FInputEnded = true;
            }
        }
    }
}

int ServePty(const TOptions& options) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "kelmor-drive-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* path = ptsname(master);
    if (!path) {
        std::fprintf(stderr, "kelmor-drive-sim: cannot name the pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    // Raw, so that the line discipline neither echoes nor translates the drive's bytes.
    termios mode{};
    if (tcgetattr(master, &mode) == 0) {
        cfmakeraw(&mode);
        tcsetattr(master, TCSANOW, &mode);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::printf("%s\n", path);
    std::fflush(stdout);
    TServer server(master, master, true, options);
    const int result = server.Run();
    close(master);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    bool help = false;
    bool version = false;
    if (!ParseOptions(argc, argv, options, help, version))
        return 2;
    if (help) {
        std::fputs(KUsage.data(), stdout);
        std::fputs(PlantParameterHelp().c_str(), stdout);
        return 0;
    }
    if (version) {
        std::puts("kelmor-drive-sim " KELMOR_VERSION);
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    if (options.Stdio)
        return TServer(STDIN_FILENO, STDOUT_FILENO, false, options).Run();
    return ServePty(options);
}
