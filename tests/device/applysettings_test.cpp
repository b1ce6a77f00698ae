#include "device/applysettings.h"
#include "harness/fakeport.h"

#include <gtest/gtest.h>

namespace {

// The calls that applying the settings makes to device 0 of the fake.
QStringList Applied(const TPortSettings& settings, TFakeDeviceLibrary& fake, bool* result = nullptr) {
    TFakeDevice& device = fake.Device(0);
    const TOpenResult opened = OpenDevice(fake.Ports(), 0);
    EXPECT_EQ(opened.Status, ZQ_OK);
    const ZQ_HANDLE h = opened.Handle;
    device.ClearCalls();
    const bool ok = ApplySettings(h, settings);
    if (result)
        *result = ok;
    ZQ_Close(h);
    QStringList calls = device.CallTexts();
    calls.removeAll(QStringLiteral("ZQ_Close()"));
    return calls;
}

QStringList Sequence(const QString& rate, const QString& data, const QString& flow, const QString& chars,
                     const QString& mask, const QString& dtr, const QString& rts, const QString& timeouts) {
    return {"ZQ_ResetDevice()",
            "ZQ_SetBaudRate(" + rate + ")",
            "ZQ_SetDataCharacteristics(" + data + ")",
            "ZQ_SetFlowControl(" + flow + ")",
            "ZQ_SetChars(" + chars + ")",
            "ZQ_SetEventNotification(" + mask + ",0)",
            dtr,
            rts,
            "ZQ_SetTimeouts(" + timeouts + ")",
            "ZQ_Purge(3)"};
}

} // namespace

TEST(ApplySettings, CallSequenceForEachChoice) {
    struct Case {
        const char* Name;
        std::function<void(TPortSettings&)> Change;
        QStringList Expected;
    };
    const QString dtrOn = "ZQ_SetDtr()", rtsOn = "ZQ_SetRts()";
    const Case cases[] = {
        {"defaults", [](TPortSettings&) {},
         Sequence("115200", "8,0,0", "0,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"two stop bits, 7 bits, mark parity",
         [](TPortSettings& s) {
             s.StopBits = 2;
             s.DataBits = 7;
             s.Parity = TParity::Mark;
         },
         Sequence("115200", "7,2,3", "0,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"RTS/CTS passes no characters", [](TPortSettings& s) { s.FlowControl = TFlowControl::RtsCts; },
         Sequence("115200", "8,0,0", "256,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"DTR/DSR", [](TPortSettings& s) { s.FlowControl = TFlowControl::DtrDsr; },
         Sequence("115200", "8,0,0", "512,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"XON/XOFF passes the characters", [](TPortSettings& s) { s.FlowControl = TFlowControl::XonXoff; },
         Sequence("115200", "8,0,0", "1024,17,19", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"a rate of the list", [](TPortSettings& s) { s.BaudRate = 14400; },
         Sequence("14400", "8,0,0", "0,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"the lowest rate of the list", [](TPortSettings& s) { s.BaudRate = 300; },
         Sequence("300", "8,0,0", "0,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"a rate of 0 goes as it is, for the device to refuse", [](TPortSettings& s) { s.BaudRate = 0; },
         Sequence("0", "8,0,0", "0,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"typed rate", [](TPortSettings& s) { s.BaudRate = 250000; },
         Sequence("250000", "8,0,0", "0,0,0", "0,0,0,0", "0", dtrOn, rtsOn, "300,300")},
        {"special characters and events",
         [](TPortSettings& s) {
             s.EventChar = 0x1B;
             s.EventCharEnabled = 5;
             s.ErrorChar = 0x7E;
             s.EventMask = 3;
         },
         Sequence("115200", "8,0,0", "0,0,0", "27,1,126,0", "3", dtrOn, rtsOn, "300,300")},
        {"lines dropped, other time-outs",
         [](TPortSettings& s) {
             s.Dtr = 0;
             s.Rts = 0;
             s.RxTimeout = 50;
             s.TxTimeout = 2000;
         },
         Sequence("115200", "8,0,0", "0,0,0", "0,0,0,0", "0", "ZQ_ClrDtr()", "ZQ_ClrRts()", "50,2000")},
    };
    for (const Case& c : cases) {
        TFakeDeviceLibrary fake;
        TPortSettings settings;
        c.Change(settings);
        const TPortSettings before = settings;
        bool ok = false;
        EXPECT_EQ(Applied(settings, fake, &ok), c.Expected) << c.Name;
        EXPECT_TRUE(ok) << c.Name;
        EXPECT_EQ(settings, before) << c.Name;
    }
}

TEST(ApplySettings, AFailingStepThatMustSucceedStopsTheRest) {
    struct Case {
        const char* FailingOp;
        ZQ_STATUS Status;
        int CallsRun; // including the failing one
        bool Result;
    };
    const Case cases[] = {
        {"ZQ_ResetDevice", ZQ_IO_ERROR, 1, false},
        {"ZQ_SetBaudRate", ZQ_INVALID_BAUD_RATE, 2, false},
        {"ZQ_SetDataCharacteristics", ZQ_INVALID_PARAMETER, 3, false},
        {"ZQ_SetFlowControl", ZQ_NOT_SUPPORTED, 4, false},
        {"ZQ_SetChars", ZQ_IO_ERROR, 5, false},
        // Only the low 8 bits of a status are tested.
        {"ZQ_SetBaudRate", 0x100, 10, true},
        // The later steps may fail without effect on the result.
        {"ZQ_SetEventNotification", ZQ_IO_ERROR, 10, true},
        {"ZQ_SetDtr", ZQ_IO_ERROR, 10, true},
        {"ZQ_SetTimeouts", ZQ_IO_ERROR, 10, true},
        {"ZQ_Purge", ZQ_IO_ERROR, 10, true},
    };
    for (const Case& c : cases) {
        TFakeDeviceLibrary fake;
        fake.Device(0).Statuses[c.FailingOp] = c.Status;
        bool ok = !c.Result;
        const QStringList calls = Applied(TPortSettings{}, fake, &ok);
        EXPECT_EQ(calls.size(), c.CallsRun) << c.FailingOp;
        EXPECT_EQ(ok, c.Result) << c.FailingOp;
    }
}
