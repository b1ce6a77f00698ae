// The Win32 serial backend checked on its own, as a Windows console program built with MinGW-w64 and
// run under Wine by win32serial_wine_test.cpp; the README says how to run it by hand.
//   kelmor-win32-check [--confirm] COMecho [COMsim]

#include "device/win32serial.h"
#include "tests/device/win32serial_lines.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Passed = 0;
int Failed = 0;

void Say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void Check(bool ok, const std::string& what) {
    Say((ok ? "ok " : "FAIL ") + what);
    ++(ok ? Passed : Failed);
}

// The peer's one-line answer to a question on standard output.
std::string Ask(const std::string& question) {
    Say(question);
    char answer[256] = "no answer";
    std::fgets(answer, sizeof answer, stdin);
    return std::string(answer, std::strcspn(answer, "\r\n"));
}

std::string Read(TPort& port, std::uint32_t count, ZQ_STATUS* status = nullptr) {
    std::string bytes(count, '\0');
    std::uint32_t got = 0;
    const ZQ_STATUS s = port.Read(bytes.data(), count, &got);
    if (status)
        *status = s;
    return bytes.substr(0, got);
}

bool Write(TPort& port, const std::string& bytes) {
    std::uint32_t written = 0;
    return port.Write(bytes.data(), std::uint32_t(bytes.size()), &written) == ZQ_OK &&
           written == bytes.size();
}

// The drive's identification and a register dialogue come back byte for byte, and nothing after them.
void CheckSimulatedDrive(TPort& port) {
    port.SetTimeouts(1000, 1000);
    const std::pair<std::string, std::string> dialogue[] = {
        {"i\r", "i\r\nKELMOR-SIM servo drive DC 12V 500imp, firmware 1.0\r\n"},
        {"P0\r", "P0\r\n213:"},
        {"\r", "\r\n"},
        {"P2 1000\r", "P2 1000\r\n"},
        {"P2\r", "P2\r\n1000:"},
        {"\r", "\r\n"},
    };
    for (const auto& [send, expected] : dialogue)
        Check(Write(port, send) && Read(port, std::uint32_t(expected.size())) == expected,
              "the drive's answer to " + send.substr(0, send.size() - 1) + "<CR>");
    port.SetTimeouts(200, 200);
    Check(Read(port, 1).empty(), "the drive says nothing more");
}

// Each setting reaches the line (the peer reads it back) or is refused, as the table says.
void CheckLineSettings(TPort& port, bool confirm) {
    for (std::size_t i = 0; i < std::size(KLineCases); ++i) {
        const TLineCase& line = KLineCases[i];
        ZQ_STATUS status = line.Reset ? port.ResetDevice() : port.SetBaudRate(line.Rate);
        if (status == ZQ_OK && !line.Reset)
            status = port.SetDataCharacteristics(line.WordLength, line.StopBits, line.Parity);
        if (status == ZQ_OK && !line.Reset)
            status = port.SetFlowControl(line.Flow, line.Xon, line.Xoff);
        const std::string answer = confirm && status == ZQ_OK ? Ask("line " + std::to_string(i)) : "ok";
        Check(status == line.Expected && answer == "ok",
              "line " + std::to_string(i) + ": status " + std::to_string(status) + ", " + answer);
    }
    std::uint32_t lines = 99;
    Check(port.GetModemStatus(&lines) == ZQ_OK && lines == 0 && port.SetDtr(false) == ZQ_NOT_SUPPORTED &&
              port.SetRts(true) == ZQ_NOT_SUPPORTED,
          "a pseudo-terminal's modem lines read inactive and cannot be driven");
}

void CheckEchoPeer(TPort& port) {
    port.SetTimeouts(1000, 1000);
    std::string every(256, '\0');
    for (int i = 0; i < 256; ++i)
        every[std::size_t(i)] = char(i);
    Check(Write(port, every) && Read(port, 256) == every, "every byte value travels both ways unchanged");

    port.SetTimeouts(300, 300);
    Write(port, "OK\r");
    const ULONGLONG start = GetTickCount64();
    const std::string got = Read(port, 16);
    const ULONGLONG waited = GetTickCount64() - start;
    Check(got == "OK\r" && waited >= 250 && waited < 2300,
          "a short read returns what came at its time-out, after " + std::to_string(waited) + " ms");

    port.SetTimeouts(0, 1000);
    Write(port, "stale bytes");
    std::uint32_t counted = 0, rx = 0, tx = 0, events = 0;
    for (const ULONGLONG since = GetTickCount64();
         port.GetStatus(&counted, &tx, &events) == ZQ_OK && counted < 11 && GetTickCount64() - since < 2000;)
        Sleep(5);
    port.Purge(ZQ_PURGE_RX);
    port.GetStatus(&rx, &tx, &events);
    Check(counted == 11 && rx == 0 && Read(port, 16).empty(),
          "the receive count sees the echo, purge empties it");
}

// A read that waits when the peer goes away fails then, not at its time-out, and so does every call
// after it, at once.
void CheckPeerGoingAway(TPort& port) {
    port.SetTimeouts(10000, 10000);
    Say("close");
    ULONGLONG start = GetTickCount64();
    ZQ_STATUS status = ZQ_OK;
    Read(port, 16, &status);
    const ULONGLONG waited = GetTickCount64() - start;
    Check(status == ZQ_IO_ERROR && waited < 5000,
          "a waiting read fails, " + std::to_string(waited) + " ms in");
    start = GetTickCount64();
    std::uint32_t written = 99, rx = 0, tx = 0, events = 0;
    Check(port.Write("P1\r", 3, &written) == ZQ_IO_ERROR && written == 0 &&
              port.GetStatus(&rx, &tx, &events) == ZQ_IO_ERROR && GetTickCount64() - start < 1000,
          "the calls after it fail at once");
}

} // namespace

int main(int argc, char** argv) {
    const bool confirm = argc > 1 && std::strcmp(argv[1], "--confirm") == 0;
    const int echo = confirm ? 2 : 1;
    if (argc <= echo) {
        std::fputs("Usage: kelmor-win32-check [--confirm] COMecho [COMsim]\n", stderr);
        return 2;
    }
    const auto open = [](const char* name) {
        TOpenFailure failure;
        auto port = OpenWin32Serial(std::wstring(name, name + std::strlen(name)), failure);
        Check(port != nullptr, std::string("open ") + name + ": status " + std::to_string(failure.Status));
        return port;
    };
    TOpenFailure missing;
    Check(!OpenWin32Serial(L"COM199", missing) && missing.Status == ZQ_DEVICE_NOT_FOUND,
          "COM199 is not found");
    if (const auto port = argc > echo + 1 ? open(argv[echo + 1]) : nullptr)
        CheckSimulatedDrive(*port);
    if (const auto port = open(argv[echo])) {
        CheckLineSettings(*port, confirm);
        CheckEchoPeer(*port);
        CheckPeerGoingAway(*port);
    }
    Say(std::to_string(Passed) + " passed, " + std::to_string(Failed) + " failed");
    return Failed == 0 ? 0 : 1;
}
