#include "sim/drivesim.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::string_view KIdentification = "KELMOR-SIM servo drive DC 12V 500imp, firmware 1.0\r\n";
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

} // namespace

TDriveSim::TDriveSim() : FModel(KStartPosition), FRegisters(KDefaultRegisters) {
    FBanks.fill(KDefaultRegisters);
}

void TDriveSim::Receive(std::uint8_t byte) {
    if (FRecording) {
        // Busy with the recording: what comes meanwhile waits in a small buffer, the rest is lost
        // as in an overrun receiver.
        if (FHeldInput.size() < KMaxHeldInput)
            FHeldInput.push_back(byte);
        return;
    }
    Interpret(byte);
}

void TDriveSim::Advance(std::int64_t nanoseconds) {
    if (nanoseconds <= 0)
        return;
    FPhaseNs += nanoseconds;
    while (FPhaseNs >= TServoModel::KControlPeriodNs) {
        FPhaseNs -= TServoModel::KControlPeriodNs;
        Tick();
    }
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
    if (!FRecording)
        return;
    const auto position = static_cast<std::uint32_t>(FModel.Position());
    const char record[] = {'l', static_cast<char>((position >> 16) & 0xFF),
                           static_cast<char>((position >> 8) & 0xFF), static_cast<char>(position & 0xFF)};
    Send(std::string_view(record, sizeof record));
    if (++FRecordsSent < FRecordCount)
        return;
    Send("\r\n");
    FRecording = false;
    while (!FRecording && !FHeldInput.empty()) {
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
        const std::string line = std::move(FLine);
        FLine.clear();
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
    if (FPromptRegister) {
        const int reg = *FPromptRegister;
        FPromptRegister.reset();
        if (line.empty())
            return;
        if (const auto value = ParseNumber(line))
            FRegisters[reg] = *value;
        else
            Send(KQuery);
        return;
    }
    if (line.empty())
        return;
    if (!ExecuteCommand(line))
        Send(KQuery);
}

bool TDriveSim::ExecuteCommand(const std::string& line) {
    const std::string_view rest = std::string_view(line).substr(1);
    // The argument after exactly one space.
    const auto argument = [&]() -> std::optional<std::int32_t> {
        if (!rest.starts_with(' '))
            return std::nullopt;
        return ParseNumber(rest.substr(1));
    };
    switch (line[0]) {
    case 'P': {
        if (rest.empty() || rest[0] < '0' || rest[0] > '8')
            return false;
        const int reg = rest[0] - '0';
        const std::string_view tail = rest.substr(1);
        if (tail.empty()) {
            Send(std::to_string(FRegisters[reg]) + ":");
            FPromptRegister = reg;
            return true;
        }
        if (!tail.starts_with(' '))
            return false;
        const auto value = ParseNumber(tail.substr(1));
        if (!value)
            return false;
        FRegisters[reg] = *value;
        return true;
    }
    case 'W':
    case 'R': {
        const auto bank = Selector(rest, KBankCount - 1);
        if (!bank)
            return false;
        if (line[0] == 'W')
            FBanks[*bank] = FRegisters;
        else
            FRegisters = FBanks[*bank];
        Send(KOk);
        return true;
    }
    case 'M': {
        const auto mode = Selector(rest, 3);
        if (!mode)
            return false;
        // A new mode starts from a zero set-point, never from one left over from another mode.
        FModel.SetSetPoint(0);
        FModel.SetMode(static_cast<TControlMode>(*mode));
        Send(KOk);
        return true;
    }
    case 'S': {
        const auto value = argument();
        if (!value || *value < -TServoModel::KSetPointFullScale || *value > KMaxSampleCount)
            return false;
        if (*value >= 1)
            FSampleCount = *value;
        if (FModel.Mode() != TControlMode::Position && *value <= TServoModel::KSetPointFullScale)
            FModel.SetSetPoint(*value);
        Send(KOk);
        return true;
    }
    case 'i':
        if (!rest.empty())
            return false;
        Send(KIdentification);
        return true;
    case 'l':
        if (!rest.empty())
            return false;
        Send("X=" + std::to_string(FModel.Position()) + "\r\n");
        return true;
    case 'L':
        if (!rest.empty() && rest != " ")
            return false;
        Send("\r\n" + std::to_string(FModel.Position()) + "\r\n");
        return true;
    case 'J': {
        const auto target = argument();
        if (!target)
            return false;
        FModel.StepTo(*target);
        FRecording = true;
        FRecordCount = FSampleCount;
        FRecordsSent = 0;
        return true;
    }
    case 'G': {
        if (rest.size() < 2 || (rest[0] != '0' && rest[0] != '1') || rest[1] != ' ')
            return false;
        const std::string_view args = rest.substr(2);
        const double acceleration = FRegisters[8] * TServoModel::KPulsesPerSecond2PerAccelUnit;
        if (rest[0] == '0') {
            const auto target = ParseNumber(args);
            const double speed = FRegisters[7] * TServoModel::KPulsesPerSecondPerSpeedUnit;
            if (!target || speed <= 0.0 || acceleration <= 0.0)
                return false;
            FModel.MoveTo(*target, speed, acceleration);
        } else {
            const std::size_t space = args.find(' ');
            if (space == std::string_view::npos)
                return false;
            const auto target = ParseNumber(args.substr(0, space));
            const auto feed = ParseNumber(args.substr(space + 1));
            if (!target || !feed || *feed < 1 || acceleration <= 0.0)
                return false;
            FModel.MoveTo(*target, *feed * TServoModel::KPulsesPerSecondPerSpeedUnit, acceleration);
        }
        Send(KOk);
        return true;
    }
    default:
        return false;
    }
}
