// The simulated drives as a kind of port plugged into the machine's ports: the names ZQLINK_PORTS
// gives them, the device library's opens once the kind is plugged in, and drives of their own for
// each owner.

#include "device/portfactory.h"
#include "device/portmap.h"
#include "device/zqlink.h"
#include "simport/simulatedports.h"

#include <gtest/gtest.h>

TEST(DevicePortMap, IndicesFollowTheVariableOrTheConverters) {
    const TSimulatedPorts simulated;
    struct Case {
        std::optional<QString> Variable;
        QStringList Converters;
        QStringList Expected;
    };
    const Case cases[] = {
        {std::nullopt, {}, {"sim", "", "", ""}},
        {std::nullopt, {"/dev/ttyUSB1", "/dev/ttyUSB0"}, {"/dev/ttyUSB0", "/dev/ttyUSB1", "sim", ""}},
        {std::nullopt,
         {"/dev/ttyUSB3", "/dev/ttyUSB2", "/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyACM0"},
         {"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"}},
        {QString("sim,/dev/pts/7"), {"/dev/ttyUSB0"}, {"sim", "/dev/pts/7", "", ""}},
        {QString(" /dev/pts/3 , sim "), {}, {"/dev/pts/3", "sim", "", ""}},
        {QString(""), {"/dev/ttyUSB0"}, {"", "", "", ""}},
        {QString("a,b,c,d,e"), {}, {"a", "b", "c", "d"}},
        // A simulated drive's parameters, separated by commas too.
        {QString("sim:load=5,delay=2,/dev/pts/3,sim:noise=1"),
         {},
         {"sim:load=5,delay=2", "/dev/pts/3", "sim:noise=1", ""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MapDevicePorts(c.Variable, c.Converters, {simulated.Kind()}), c.Expected)
            << (c.Variable ? c.Variable->toStdString() : "(unset)");
}

// As the program does at start-up: the device library's own opens then reach the drives.
TEST(DeviceOpenFailure, ASimulatedDrivesReasonNamesItsParameter) {
    const TSimulatedPorts simulated;
    PlugInPortKinds({simulated.Kind()});
    qputenv("ZQLINK_PORTS", "/dev/kelmor-no-such-port,,/dev/null,sim:load=5,inertia=2");
    ZQ_HANDLE h = 0;
    EXPECT_EQ(ZQ_Open(3, &h), ZQ_INVALID_PARAMETER);
    EXPECT_EQ(OpenDevice(MachinePorts(), 3).Reason,
              "sim:load=5,inertia=2: 'inertia' is not a plant parameter");
    qputenv("ZQLINK_PORTS", "");
    PlugInPortKinds({});
}

TEST(SimulatedPorts, EachOwnerHasDrivesOfItsOwn) {
    TSimulatedPorts first(std::make_shared<TManualSimClock>());
    TSimulatedPorts second(std::make_shared<TManualSimClock>());
    const TOpenResult opened = OpenDevice(MachinePorts({first.Kind()}), 0, "sim");
    ASSERT_EQ(opened.Status, ZQ_OK);
    std::uint32_t count = 0;
    ZQ_SetTimeouts(opened.Handle, 300, 300);
    ZQ_Write(opened.Handle, "P2 999\r", 7, &count);
    char echo[8] = {};
    ZQ_Read(opened.Handle, echo, sizeof echo, &count);
    ZQ_Close(opened.Handle);
    ASSERT_EQ(count, sizeof echo) << "the drive took the line";
    EXPECT_EQ(first.Drive(0).Register(2), 999);
    EXPECT_EQ(second.Drive(0).Register(2), 768);
}
