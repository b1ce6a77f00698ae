#pragma once

// A scripted drive behind the exchange: serves the bytes programmed in Incoming in order, then none
// (a silent drive), or, with Endless set, that byte for ever (a drive that streams without end).
// Writes and purges are recorded in order; purges drop nothing, as the script holds only what the
// drive sends after them.

#include "link/exchange.h"

#include <QByteArray>
#include <QByteArrayList>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class TScriptedExchange : public TExchange {
public:
    // What a purge looks like in Log.
    static QByteArray PurgeMark() { return QByteArrayLiteral("<purge>"); }

    QByteArray Incoming;
    std::optional<char> Endless;
    bool DeviceLost = false;
    // The whole script has arrived at once, as from a drive that talks on without waiting for an
    // answer; else bytes arrive only as they are read.
    bool Arrived = false;
    std::uint32_t Rate = 115200;
    std::chrono::milliseconds Timeout{300};

    QByteArrayList Log;      // each written line, and PurgeMark() for each purge
    long long Served = 0;    // bytes handed out
    long long EchoBytes = 0; // of them, what the readers took for echo
    int Failed = 0;          // replies the readers gave up on
    struct TRead {
        std::uint32_t Count;
        Clock::time_point Deadline;
    };
    std::vector<TRead> Reads; // each Read asked for

    explicit TScriptedExchange(QByteArray incoming = {}) : Incoming(std::move(incoming)) {}

    // The script holds only what the drive sends after the purge, so settling is purging.
    void SettleAndPurge() override { Purge(); }
    void Purge() override { Log << PurgeMark(); }
    void EchoSeen(std::uint32_t count) override { EchoBytes += count; }
    void ReplyComplete() override {}
    void ReplyFailed() override { ++Failed; }
    void AnswerCame() override {}
    // A late answer is one line of what has arrived, if any.
    QByteArray ReadUntilQuiet() override {
        QByteArray rest;
        for (std::optional<std::uint8_t> b; Arrived && !rest.endsWith('\n') && (b = ReadByte());)
            rest += char(*b);
        return rest;
    }
    // A drive's answers: a line written exactly as held here has its answer join Incoming.
    std::map<QByteArray, QByteArray> Answers;
    void WriteLine(const QByteArray& line) override {
        Log << line;
        if (const auto answer = Answers.find(line); answer != Answers.end())
            Incoming += answer->second;
    }

    std::optional<std::uint8_t> ReadByte() override {
        if (DeviceLost)
            return std::nullopt;
        if (FNext < Incoming.size()) {
            ++Served;
            return std::uint8_t(Incoming[FNext++]);
        }
        if (Endless) {
            ++Served;
            return std::uint8_t(*Endless);
        }
        return std::nullopt;
    }

    QByteArray Read(std::uint32_t count, Clock::time_point deadline) override {
        Reads.push_back({count, deadline});
        QByteArray bytes;
        for (std::optional<std::uint8_t> b; bytes.size() < qsizetype(count) && (b = ReadByte());)
            bytes += char(*b);
        return bytes;
    }

    std::uint32_t Waiting() override {
        return Arrived ? std::uint32_t(Incoming.size() - std::min(FNext, Incoming.size())) : 0;
    }
    bool Lost() const override { return DeviceLost; }
    std::uint32_t BaudRate() const override { return Rate; }
    std::chrono::milliseconds ReadTimeout() const override { return Timeout; }

private:
    qsizetype FNext = 0;
};
