#include "sim/drivesim.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace {

constexpr std::string_view KOk = "OK\r\n";
constexpr std::string_view KQuery = "?\r\n";
constexpr char KBackspace = 0x08;
constexpr char KDelete = 0x7F;

// A signed decimal as the tool writes it: an optional minus sign and digits, nothing else, within
// the signed 32-bit range.
std::optional<std::int32_t> ParseNumber(std::string_view text) {
    const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The selector digit of "Wn", "Rn", "Mn", "Pn": the whole rest of the line is one digit up to last.
std::optional<int> Selector(std::string_view rest, int last) {
    if (rest.size() != 1 || rest[0] < '0' || rest[0] > '0' + last)
        return std::nullopt;
    return rest[0] - '0';
}

// The argument after exactly one space.
std::optional<std::int32_t> Argument(std::string_view rest) {
    if (!rest.starts_with(' '))
        return std::nullopt;
    return ParseNumber(rest.substr(1));
}

} // namespace

TDriveSim::TDriveSim(const TPlantParameters& plant)
    : FPlant(plant), FModel(KStartPosition, plant), FRegisters(KDefaultRegisters) {
    FBanks.fill(KDefaultRegisters);
}

void TDriveSim::Receive(std::uint8_t byte) {
    if (FRecording || FAnswerTicks > 0) {
        // Busy with a recording or an answer: what comes meanwhile waits in a small buffer, the rest
        // is lost as in an overrun receiver.
        if (FHeldInput.size() < KMaxHeldInput)
            FHeldInput.push_back(byte);
        return;
    }
    Interpret(byte);
}

void TDriveSim::Advance(std::int64_t nanoseconds) {
    if (nanoseconds <= 0)
        return;
    FTimeNs += nanoseconds;
    FPhaseNs += nanoseconds;
    while (FPhaseNs >= TServoModel::KControlPeriodNs) {
        FPhaseNs -= TServoModel::KControlPeriodNs;
        Tick();
    }
}

std::int64_t TDriveSim::NanosUntilNextOutput() const {
    const std::int64_t toTick = TServoModel::KControlPeriodNs - FPhaseNs;
    if (FRecording)
        return toTick;
    return FAnswerTicks > 0 ? toTick + std::int64_t{FAnswerTicks - 1} * TServoModel::KControlPeriodNs : 0;
}

std::int64_t TDriveSim::NanosUntilRecordingEnds() const {
    if (!FRecording)
        return 0;
    return std::int64_t{FRecordCount - FRecordsSent} * TServoModel::KControlPeriodNs - FPhaseNs;
}

std::string TDriveSim::TakeOutput(std::size_t maxBytes) {
    const std::size_t n = std::min(maxBytes, FOutput.size());
    std::string bytes(FOutput.begin(), FOutput.begin() + static_cast<std::ptrdiff_t>(n));
    FOutput.erase(FOutput.begin(), FOutput.begin() + static_cast<std::ptrdiff_t>(n));
    return bytes;
}

void TDriveSim::Send(std::string_view bytes) {
    // An output nobody takes must not grow without end; beyond the buffer it is lost.
    const std::size_t room = KMaxOutput - std::min(KMaxOutput, FOutput.size());
    FOutput.insert(FOutput.end(), bytes.begin(),
                   bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
}

void TDriveSim::Tick() {
    FModel.Tick(FRegisters);
    if (FAnswerTicks > 0 && --FAnswerTicks == 0) {
        Execute(std::exchange(FAnsweredLine, {}));
        ReleaseHeld();
    }
    if (!FRecording)
        return;
    const auto position = static_cast<std::uint32_t>(FModel.ReportedPosition());
    const char record[] = {'l', static_cast<char>((position >> 16) & 0xFF),
                           static_cast<char>((position >> 8) & 0xFF), static_cast<char>(position & 0xFF)};
    Send(std::string_view(record, sizeof record));
    if (++FRecordsSent < FRecordCount)
        return;
    Send("\r\n");
    FRecording = false;
    ReleaseHeld();
}

void TDriveSim::ReleaseHeld() {
    while (!FRecording && FAnswerTicks == 0 && !FHeldInput.empty()) {
        const std::uint8_t byte = FHeldInput.front();
        FHeldInput.pop_front();
        Interpret(byte);
    }
}

void TDriveSim::Interpret(std::uint8_t byte) {
    if (byte >= 0x80)
        return;
    const char c = static_cast<char>(byte);
    if (c == '\r') {
        Echo("\r\n");
        std::string line = std::move(FLine);
        FLine.clear();
        // A firmware that answers late takes the line up at a later control period, holding what
        // comes meanwhile; the echo has gone out already.
        if (FPlant.AnswerMs > 0) {
            FAnsweredLine = std::move(line);
            FAnswerTicks = int(FPlant.AnswerMs * 1'000'000 / TServoModel::KControlPeriodNs);
            return;
        }
        Execute(line);
        return;
    }
    if (c == KBackspace || c == KDelete) {
        if (!FLine.empty()) {
            FLine.pop_back();
            Echo("\b \b");
        }
        return;
    }
    Echo(std::string_view(&c, 1));
    // A line feed after the CR, as a file with CR LF line ends sends it, starts no new line.
    if (c == '\n')
        return;
    if (FLine.size() >= KMaxLineLength) {
        FLine.clear();
        FPromptRegister.reset();
        Send("\r\n");
        Send(KQuery);
        return;
    }
    FLine.push_back(c);
}

void TDriveSim::Execute(const std::string& line) {
    if (FTrace)
        FTrace(FTimeNs, line, FModel.Position());
    if (FPromptRegister) {
        const int reg = *FPromptRegister;
        FPromptRegister.reset();
        AnswerPrompt(reg, line);
        return;
    }
    if (!line.empty() && !ExecuteCommand(line))
        Send(KQuery);
}

// The line after "Pn": an empty one leaves the register as it is, a number sets it.
void TDriveSim::AnswerPrompt(int reg, std::string_view line) {
    if (line.empty())
        return;
    if (const auto value = ParseNumber(line))
        FRegisters[reg] = *value;
    else
        Send(KQuery);
}

bool TDriveSim::ExecuteCommand(std::string_view line) {
    // Each command by the text that starts it; its handler gets the rest of the line and says
    // whether the line was well formed.
    struct TCommand {
        std::string_view Start;
        bool (TDriveSim::*Run)(std::string_view rest);
    };
    static constexpr TCommand KCommands[] = {
        {"P", &TDriveSim::RegisterCommand},  {"W", &TDriveSim::StoreBank},
        {"R", &TDriveSim::LoadBank},         {"M", &TDriveSim::SelectMode},
        {"S", &TDriveSim::StoreValue},       {"i", &TDriveSim::Identify},
        {"l", &TDriveSim::SendPositionLine}, {"L", &TDriveSim::SendPosition},
        {"J", &TDriveSim::StepAndRecord},    {"G0 ", &TDriveSim::RapidMove},
        {"G1 ", &TDriveSim::FeedMove},
    };
    for (const TCommand& command : KCommands)
        if (line.starts_with(command.Start))
            return (this->*command.Run)(line.substr(command.Start.size()));
    return false;
}

// "Pn" asks for register n and prompts for a new value; "Pn v" sets it.
bool TDriveSim::RegisterCommand(std::string_view rest) {
    if (rest.empty() || rest[0] < '0' || rest[0] > '8')
        return false;
    const int reg = rest[0] - '0';
    const std::string_view tail = rest.substr(1);
    if (tail.empty()) {
        Send(std::to_string(FRegisters[reg]) + ":");
        FPromptRegister = reg;
        return true;
    }
    const auto value = Argument(tail);
    if (!value)
        return false;
    FRegisters[reg] = *value;
    return true;
}

bool TDriveSim::StoreBank(std::string_view rest) {
    const auto bank = Selector(rest, KBankCount - 1);
    if (!bank)
        return false;
    FBanks[*bank] = FRegisters;
    Send(KOk);
    return true;
}

bool TDriveSim::LoadBank(std::string_view rest) {
    const auto bank = Selector(rest, KBankCount - 1);
    if (!bank)
        return false;
    FRegisters = FBanks[*bank];
    Send(KOk);
    return true;
}

bool TDriveSim::SelectMode(std::string_view rest) {
    const auto mode = Selector(rest, 3);
    if (!mode)
        return false;
    // A new mode starts from a zero set-point, never from one left over from another mode.
    FModel.SetSetPoint(0);
    FModel.SetMode(static_cast<TControlMode>(*mode));
    Send(KOk);
    return true;
}

// "S v": the set-point outside position mode, and the sample count of the next recording.
bool TDriveSim::StoreValue(std::string_view rest) {
    const auto value = Argument(rest);
    if (!value || *value < -TServoModel::KSetPointFullScale || *value > KMaxSampleCount)
        return false;
    if (*value >= 1)
        FSampleCount = *value;
    if (FModel.Mode() != TControlMode::Position && *value <= TServoModel::KSetPointFullScale)
        FModel.SetSetPoint(*value);
    Send(KOk);
    return true;
}

bool TDriveSim::Identify(std::string_view rest) {
    if (!rest.empty())
        return false;
    Send("KELMOR-SIM servo drive DC 12V " + std::to_string(FPlant.EncoderPulses) + "imp, firmware 1.0\r\n");
    return true;
}

bool TDriveSim::SendPositionLine(std::string_view rest) {
    if (!rest.empty())
        return false;
    Send("X=" + std::to_string(FModel.ReportedPosition()) + "\r\n");
    return true;
}

bool TDriveSim::SendPosition(std::string_view rest) {
    if (!rest.empty() && rest != " ")
        return false;
    Send("\r\n" + std::to_string(FModel.ReportedPosition()) + "\r\n");
    return true;
}

bool TDriveSim::StepAndRecord(std::string_view rest) {
    const auto target = Argument(rest);
    if (!target)
        return false;
    FModel.StepTo(*target);
    FRecording = true;
    FRecordCount = FSampleCount;
    FRecordsSent = 0;
    return true;
}

// "G0 X": to X at the jog speed and acceleration of registers 7 and 8.
bool TDriveSim::RapidMove(std::string_view rest) {
    const auto target = ParseNumber(rest);
    const double speed = FRegisters[7] * TServoModel::KPulsesPerSecondPerSpeedUnit;
    const double acceleration = FRegisters[8] * TServoModel::KPulsesPerSecond2PerAccelUnit;
    if (!target || speed <= 0.0 || acceleration <= 0.0)
        return false;
    FModel.MoveTo(*target, speed, acceleration);
    Send(KOk);
    return true;
}

// "G1 X F": to X at speed F, with the acceleration of register 8.
bool TDriveSim::FeedMove(std::string_view rest) {
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos)
        return false;
    const auto target = ParseNumber(rest.substr(0, space));
    const auto feed = ParseNumber(rest.substr(space + 1));
    const double acceleration = FRegisters[8] * TServoModel::KPulsesPerSecond2PerAccelUnit;
    if (!target || !feed || *feed < 1 || acceleration <= 0.0)
        return false;
    FModel.MoveTo(*target, *feed * TServoModel::KPulsesPerSecondPerSpeedUnit, acceleration);
    Send(KOk);
    return true;
}
