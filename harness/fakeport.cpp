#include "harness/fakeport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <cstring>

QString TFakeCall::Text() const {
    QStringList parts;
    if (Op == QLatin1String("ZQ_Write"))
        parts << QString::fromLatin1(Data);
    else
        for (std::int64_t a : Args)
            parts << QString::number(a);
    return Op + QLatin1Char('(') + parts.join(QLatin1Char(',')) + QLatin1Char(')');
}

QStringList TFakeDevice::CallTexts(const QString& op) const {
    QStringList texts;
    for (const TFakeCall& c : Calls)
        if (op.isEmpty() || c.Op == op)
            texts << c.Text();
    return texts;
}

std::vector<QByteArray> TFakeDevice::Writes() const {
    std::vector<QByteArray> writes;
    for (const TFakeCall& c : Calls)
        if (c.Op == QLatin1String("ZQ_Write"))
            writes.push_back(c.Data);
    return writes;
}

namespace {

class TFakePort : public TPort {
public:
    explicit TFakePort(TFakeDevice& device) : D(device) {}
    ~TFakePort() override {
        Record("ZQ_Close", {});
        D.Open = false;
    }

    ZQ_STATUS ResetDevice() override { return Record("ZQ_ResetDevice", {}); }
    ZQ_STATUS SetBaudRate(std::uint32_t baudRate) override { return Record("ZQ_SetBaudRate", {baudRate}); }
    ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override {
        return Record("ZQ_SetDataCharacteristics", {wordLength, stopBits, parity});
    }
    ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) override {
        return Record("ZQ_SetFlowControl", {mode, xon, xoff});
    }
    ZQ_STATUS SetChars(std::uint8_t eventChar, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                       std::uint8_t errorCharEnabled) override {
        return Record("ZQ_SetChars", {eventChar, eventCharEnabled, errorChar, errorCharEnabled});
    }
    ZQ_STATUS SetEventNotification(std::uint32_t mask, void* notification) override {
        return Record("ZQ_SetEventNotification", {mask, notification ? 1 : 0});
    }
    ZQ_STATUS SetDtr(bool raised) override { return Record(raised ? "ZQ_SetDtr" : "ZQ_ClrDtr", {}); }
    ZQ_STATUS SetRts(bool raised) override { return Record(raised ? "ZQ_SetRts" : "ZQ_ClrRts", {}); }
    ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) override {
        return Record("ZQ_SetTimeouts", {readTimeout, writeTimeout});
    }
    ZQ_STATUS Purge(std::uint32_t mask) override {
        const ZQ_STATUS status = Record("ZQ_Purge", {mask});
        if (status == ZQ_OK && (mask & ZQ_PURGE_RX))
            D.Received.clear();
        return status;
    }
    ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) override {
        const ZQ_STATUS status = Record("ZQ_GetStatus", {});
        D.Received += D.Streaming;
        Deliver();
        if (status == ZQ_OK) {
            *rxBytes =
                D.ReportedWaiting >= 0 ? std::uint32_t(D.ReportedWaiting) : std::uint32_t(D.Received.size());
            *txBytes = 0;
            *eventStatus = 0;
        }
        return status;
    }
    ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) override {
        const ZQ_STATUS status = Record("ZQ_GetModemStatus", {});
        if (status == ZQ_OK)
            *modemStatus = D.ModemStatus;
        return status;
    }
    ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) override {
        const ZQ_STATUS status = Record("ZQ_Read", {bytesToRead});
        *bytesRead = 0;
        if (status != ZQ_OK)
            return status;
        Deliver();
        if (qsizetype(bytesToRead) > D.Received.size() && !D.Held.isEmpty()) {
            std::this_thread::sleep_until(D.HeldUntil);
            Deliver();
        }
        qsizetype n = std::min<qsizetype>(bytesToRead, D.Received.size());
        if (D.ReadLimit >= 0)
            n = std::min<qsizetype>(n, D.ReadLimit);
        std::memcpy(buffer, D.Received.constData(), size_t(n));
        D.Received.remove(0, n);
        *bytesRead = std::uint32_t(n);
        // A short read has waited out the read time-out, as on a real port.
        if (std::uint32_t(n) < bytesToRead && D.ReadWaitMs > 0) {
            if (D.WhileReadWaits)
                D.WhileReadWaits();
            std::this_thread::sleep_for(std::chrono::milliseconds(D.ReadWaitMs));
        }
        return status;
    }
    ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) override {
        const QByteArray data(static_cast<const char*>(buffer), qsizetype(bytesToWrite));
        const ZQ_STATUS status = Record("ZQ_Write", {bytesToWrite}, data);
        *bytesWritten = 0;
        if (status != ZQ_OK)
            return status;
        int limit = D.WriteLimit;
        if (!D.WriteLimits.empty()) {
            limit = D.WriteLimits.front();
            D.WriteLimits.pop_front();
        }
        const qsizetype n = limit < 0 ? data.size() : std::min<qsizetype>(limit, data.size());
        D.Written += data.left(n);
        if (D.Echo)
            Answer(QByteArray(data.left(n)).replace("\r", "\r\n").replace("\b", "\b \b"));
        if (const auto answer = D.Answers.find(data); answer != D.Answers.end())
            Answer(answer->second);
        // A drive that holds its registers answers their queries with what was written since.
        if (D.HoldsWrites && data.size() > 3 && data[0] == 'P' && data[2] == ' ' && data.endsWith('\r'))
            D.Answers[data.left(2) + '\r'] = data.mid(3).chopped(1) + ':';
        *bytesWritten = std::uint32_t(n);
        if (n < data.size() && D.WriteWaitMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(D.WriteWaitMs));
        return status;
    }

private:
    void Answer(const QByteArray& bytes) {
        if (D.LatencyMs <= 0) {
            D.Received += bytes;
            return;
        }
        if (D.Held.isEmpty()) {
            const std::chrono::milliseconds tick(D.LatencyMs);
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            D.HeldUntil = std::chrono::steady_clock::time_point((now / tick + 1) * tick);
        }
        D.Held += bytes;
    }

    void Deliver() {
        if (!D.Held.isEmpty() && std::chrono::steady_clock::now() >= D.HeldUntil) {
            D.Received += D.Held;
            D.Held.clear();
        }
    }

    ZQ_STATUS Record(const char* op, std::vector<std::int64_t> args, QByteArray data = {}) {
        const QString name = QString::fromLatin1(op);
        D.Calls.push_back(TFakeCall{name, std::move(args), std::move(data)});
        auto it = D.Statuses.find(name);
        return it == D.Statuses.end() ? ZQ_OK : it->second;
    }

    TFakeDevice& D;
};

} // namespace

TPortFactory TFakeDeviceLibrary::Ports() {
    return [this](std::int32_t index, const QString&, TOpenFailure& failure) -> std::unique_ptr<TPort> {
        TFakeDevice& device = FDevices.at(size_t(index));
        device.Calls.push_back(TFakeCall{QStringLiteral("ZQ_Open"), {index}, {}});
        auto it = device.Statuses.find(QStringLiteral("ZQ_Open"));
        if (it != device.Statuses.end() && it->second != ZQ_OK) {
            failure.Status = it->second;
            return nullptr;
        }
        device.Open = true;
        return std::make_unique<TFakePort>(device);
    };
}

TFakeDeviceLibrary::~TFakeDeviceLibrary() {
    for (std::size_t i = 0; i < FDevices.size(); ++i)
        EXPECT_FALSE(FDevices[i].Open) << "DEV" << i << " was left open";
}
