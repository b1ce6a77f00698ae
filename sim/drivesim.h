#pragma once

// The simulated drive: its command interpreter, registers and banks around a TServoModel. Bytes
// from the host go in through Receive, the drive's answers come out through TakeOutput, and time
// passes only through Advance, so whoever drives it (the simulated port, kelmor-drive-sim, a test)
// decides how time and bytes interleave. Nothing in here is random.

#include "sim/servomodel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class TDriveSim {
public:
    static constexpr int KRegisterCount = 9;
    static constexpr int KBankCount = 4;
    static constexpr std::int32_t KStartPosition = 100000;
    static constexpr TRegisters KDefaultRegisters = {213, 1024, 768, 0, 102, 384, 294, 12820, 64};
    static constexpr std::int32_t KDefaultSampleCount = 500;
    static constexpr std::int32_t KMaxSampleCount = 1000;
    // The longest line the interpreter collects; a longer one is cut off and answered with "?".
    static constexpr std::size_t KMaxLineLength = 64;
    // What the drive buffers: input held while it records, output not yet taken.
    static constexpr std::size_t KMaxHeldInput = 256;
    static constexpr std::size_t KMaxOutput = 65536;

    explicit TDriveSim(const TPlantParameters& plant = {});

    // Told of every line the drive takes up: its time since power-on, the line, and where the motor
    // stood then (the count, without the noise of a report). For a log of what a program sent, and
    // when a step's target is checked against the motor.
    using TTrace = std::function<void(std::int64_t timeNs, const std::string& line, std::int32_t position)>;
    void SetTrace(TTrace trace) { FTrace = std::move(trace); }

    // One byte from the host, at the drive's present time.
    void Receive(std::uint8_t byte);
    // Lets time pass: the controller runs once every 0.5 ms of it.
    void Advance(std::int64_t nanoseconds);

    std::size_t OutputSize() const { return FOutput.size(); }
    // Up to maxBytes of the drive's output, oldest first.
    std::string TakeOutput(std::size_t maxBytes);
    void DiscardOutput() { FOutput.clear(); }

    // A J recording is running: each sample goes out as a record the moment it is taken, CR LF
    // after the last; input that comes meanwhile is held and interpreted at its end.
    bool Recording() const { return FRecording; }
    // Time until the running recording ends, 0 when none runs.
    std::int64_t NanosUntilRecordingEnds() const;
    // Time until the drive next sends something of its own accord: the running recording's next
    // sample, or the answer to a line whose delay runs; 0 when nothing is due.
    std::int64_t NanosUntilNextOutput() const;
    // Nothing more will come out of the drive without new input.
    bool Idle() const { return !FRecording && FAnswerTicks == 0 && FHeldInput.empty(); }

    // The modem lines: the drive answers RTS with CTS and DTR with DSR.
    void SetHostLines(bool rts, bool dtr) {
        FRts = rts;
        FDtr = dtr;
    }
    bool Cts() const { return FRts; }
    bool Dsr() const { return FDtr; }

    std::int32_t Register(int n) const { return FRegisters.at(n); }
    std::int32_t BankRegister(int bank, int n) const { return FBanks.at(bank).at(n); }
    std::int32_t Position() const { return FModel.Position(); }
    TControlMode Mode() const { return FModel.Mode(); }
    const TServoModel& Model() const { return FModel; }
    const TPlantParameters& Plant() const { return FPlant; }

private:
    void Interpret(std::uint8_t byte);
    void Echo(std::string_view bytes) { Send(bytes); }
    void Send(std::string_view bytes);
    void Execute(const std::string& line);
    bool ExecuteCommand(std::string_view line);
    // The commands; each gets the line after its command letters and says whether it was well formed.
    bool RegisterCommand(std::string_view rest);
    bool StoreBank(std::string_view rest);
    bool LoadBank(std::string_view rest);
    bool SelectMode(std::string_view rest);
    bool StoreValue(std::string_view rest);
    bool Identify(std::string_view rest);
    bool SendPositionLine(std::string_view rest);
    bool SendPosition(std::string_view rest);
    bool StepAndRecord(std::string_view rest);
    bool RapidMove(std::string_view rest);
    bool FeedMove(std::string_view rest);
    void AnswerPrompt(int reg, std::string_view line);
    void Tick();
    // Interprets the input held while the drive was busy, until it is busy again.
    void ReleaseHeld();

    TPlantParameters FPlant;
    TServoModel FModel;
    TRegisters FRegisters;
    std::array<TRegisters, KBankCount> FBanks;

    std::string FLine;
    std::optional<int> FPromptRegister;
    std::deque<std::uint8_t> FHeldInput;
    std::deque<char> FOutput;

    std::int32_t FSampleCount = KDefaultSampleCount;
    bool FRecording = false;
    std::int32_t FRecordCount = 0;
    std::int32_t FRecordsSent = 0;

    // A line whose answer the firmware has not started yet, and the control periods until it does.
    std::string FAnsweredLine;
    int FAnswerTicks = 0;

    std::int64_t FPhaseNs = 0;
    std::int64_t FTimeNs = 0;
    TTrace FTrace;
    bool FRts = false;
    bool FDtr = false;
};
