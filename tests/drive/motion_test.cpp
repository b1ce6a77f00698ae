// The manual moves: a feed move's speed goes out in drive units of the motor's encoder, and a
// line that cannot be built sends nothing.

#include "drive/motion.h"

#include "drive/drivemodel.h"
#include "harness/fakeport.h"
#include "harness/qtprinters.h"
#include "tests/support/outcome.h"

#include <gtest/gtest.h>

TEST(Motion, FeedMoves) {
    const struct {
        const char* Target;
        const char* Speed;
        const char* Pulses;
        QString Error;
        QByteArray Sent;
    } cases[] = {
        {"100", "3000", "500", "", "G1 100 12820\r"},
        {"100", "3000", "1000", "", "G1 100 25641\r"},
        {"-7", "1", "100", "", "G1 -7 1\r"},
        {"100", "x", "500", "'x' is not a valid floating point value", ""},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        TMotorData motor = model.MotorData();
        motor.EncoderPulses = TFigure(c.Pulses);
        model.SetMotorData(motor);
        fake.Device(0).ClearCalls();
        EXPECT_EQ(Outcome([&] { model.Motion().FeedMove(c.Target, TFigure(c.Speed)); }), c.Error) << c.Speed;
        EXPECT_EQ(fake.Device(0).Written, c.Sent) << c.Speed;
    }
}
