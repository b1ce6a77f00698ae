#pragma once

#include "device/portsettings.h"
#include "link/deviceline.h"
#include "link/exchange.h"

#include <QByteArray>
#include <memory>

// What an exchange may touch of the slot that lends it: the line, the port's settings, and what the
// slot does when the device goes away, a reply is counted or bytes are to be shown. The slot
// implements it for its exchanges alone.
class TExchangeHost {
public:
    virtual TDeviceLine& Line() = 0;
    // Open and attached: not closed, not lost.
    virtual bool Connected() const = 0;
    virtual const TPortSettings& Settings() const = 0;
    virtual bool ExitRequested() const = 0;
    virtual void Lose() = 0;
    virtual void CountReply(bool garbled) = 0;
    virtual void ShowRead(const QByteArray& bytes) = 0;
    // The poll is held off while any exchange lives.
    virtual void HoldPoll(bool held) = 0;

protected:
    ~TExchangeHost() = default;
};

// The exchange a device's slot hands out: it reads and writes the slot's line, pays the echo the line
// keeps count of, and holds the slot's poll off while it lives.
std::unique_ptr<TExchange> MakeSlotExchange(TExchangeHost& host);
