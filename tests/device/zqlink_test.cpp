#include "device/openfailure.h"
#include "device/portfactory.h"
#include "device/portmap.h"
#include "device/zqlink.h"
#include "harness/fakeport.h"

#include <gtest/gtest.h>

#include <cerrno>

// Without a kind of port plugged in every name is a serial port's, and no index is simulated.
TEST(DevicePortMap, WithoutKindsEveryItemIsAPortOfItsOwn) {
    EXPECT_EQ(MapDevicePorts(std::nullopt, {"/dev/ttyUSB0"}), (QStringList{"/dev/ttyUSB0", "", "", ""}));
    EXPECT_EQ(MapDevicePorts(QString("sim:load=5,delay=2,/dev/pts/3"), {}),
              (QStringList{"sim:load=5", "delay=2", "/dev/pts/3", ""}));
}

TEST(MachinePorts, ASimulatedDriveIsNoPortWithoutItsKind) {
    const TOpenResult opened = OpenDevice(MachinePorts({}), 0, "sim");
    EXPECT_EQ(opened.Status, ZQ_DEVICE_NOT_FOUND);
    EXPECT_EQ(opened.Reason, "sim: no such port");
}

// A kind opens the names it owns, and says itself whether indices share one: here they may.
TEST(MachinePorts, APluggedKindOpensItsOwnNames) {
    TFakeDeviceLibrary fake;
    TPortKind kind;
    kind.Owns = [](const QString& name) { return name == "fake"; };
    kind.Open = fake.Ports();
    const TPortFactory ports = MachinePorts({kind});
    const TOpenResult first = OpenDevice(ports, 0, "fake");
    const TOpenResult second = OpenDevice(ports, 1, "fake");
    EXPECT_EQ(first.Status, ZQ_OK);
    EXPECT_EQ(second.Status, ZQ_OK);
    EXPECT_TRUE(fake.Device(0).Open && fake.Device(1).Open);
    ZQ_Close(first.Handle);
    ZQ_Close(second.Handle);
}

TEST(DeviceTable, OpenCloseAndHandles) {
    TFakeDeviceLibrary fake;
    const TPortFactory ports = fake.Ports();
    const TOpenResult first = OpenDevice(ports, 0);
    ASSERT_EQ(first.Status, ZQ_OK);
    const ZQ_HANDLE h0 = first.Handle;
    EXPECT_NE(h0, 0u);
    EXPECT_EQ(first.Reason, QString());
    EXPECT_NE(OpenDevice(ports, 0).Status, ZQ_OK) << "an index that is open already";
    EXPECT_EQ(OpenDevice(ports, 0).Reason, "DEV0 is open already");
    EXPECT_NE(OpenDevice(ports, 4).Status, ZQ_OK);
    EXPECT_NE(OpenDevice(ports, -1).Status, ZQ_OK);
    EXPECT_NE(ZQ_Open(0, nullptr), ZQ_OK);
    const TOpenResult second = OpenDevice(ports, 1);
    ASSERT_EQ(second.Status, ZQ_OK);
    const ZQ_HANDLE h1 = second.Handle;
    EXPECT_NE(h0, h1);

    EXPECT_EQ(ZQ_SetBaudRate(h0, 9600), ZQ_OK);
    EXPECT_EQ(fake.Device(0).CallTexts("ZQ_SetBaudRate"), QStringList{"ZQ_SetBaudRate(9600)"});
    EXPECT_TRUE(fake.Device(1).CallTexts("ZQ_SetBaudRate").isEmpty());

    EXPECT_EQ(ZQ_Close(h0), ZQ_OK);
    EXPECT_FALSE(fake.Device(0).Open);
    EXPECT_NE(ZQ_Close(h0), ZQ_OK);
    EXPECT_NE(ZQ_SetBaudRate(h0, 9600), ZQ_OK) << "a closed handle stays invalid";
    const TOpenResult reopened = OpenDevice(ports, 0);
    ASSERT_EQ(reopened.Status, ZQ_OK);
    EXPECT_NE(reopened.Handle, h0) << "handles are not reused";
    ZQ_Close(reopened.Handle);
    ZQ_Close(h1);
}

TEST(DeviceTable, RefusedOpenAndStatusesPassThrough) {
    TFakeDeviceLibrary fake;
    const TPortFactory ports = fake.Ports();
    fake.Device(2).Statuses["ZQ_Open"] = ZQ_DEVICE_NOT_FOUND;
    EXPECT_EQ(OpenDevice(ports, 2).Status, ZQ_DEVICE_NOT_FOUND);
    const TOpenResult opened = OpenDevice(ports, 3);
    ASSERT_EQ(opened.Status, ZQ_OK);
    const ZQ_HANDLE h = opened.Handle;
    fake.Device(3).Statuses["ZQ_ResetDevice"] = ZQ_IO_ERROR;
    EXPECT_EQ(ZQ_ResetDevice(h), ZQ_IO_ERROR);

    std::uint32_t rx = 7, tx = 7, ev = 7;
    fake.Device(3).Received = "abc";
    EXPECT_EQ(ZQ_GetStatus(h, &rx, &tx, &ev), ZQ_OK);
    EXPECT_EQ(rx, 3u);
    EXPECT_NE(ZQ_GetStatus(h, nullptr, &tx, &ev), ZQ_OK);
    char buf[8];
    std::uint32_t got = 0;
    EXPECT_EQ(ZQ_Read(h, buf, 8, &got), ZQ_OK);
    EXPECT_EQ(QByteArray(buf, int(got)), QByteArray("abc"));
    ZQ_Close(h);
}

TEST(DeviceTable, WithoutPortsVariableEntryAnIndexFailsToOpen) {
    qputenv("ZQLINK_PORTS", ",");
    ZQ_HANDLE h = 0;
    EXPECT_NE(ZQ_Open(0, &h), ZQ_OK);
    EXPECT_NE(ZQ_Open(3, &h), ZQ_OK);
    qunsetenv("ZQLINK_PORTS");
}

TEST(DeviceOpenFailure, ReasonNamesThePortAndTheCause) {
    qputenv("ZQLINK_PORTS", "/dev/kelmor-no-such-port,,/dev/null");
    struct Case {
        std::int32_t Index;
        ZQ_STATUS Status;
        QString Reason;
    };
    const Case cases[] = {
        {0, ZQ_DEVICE_NOT_FOUND, "/dev/kelmor-no-such-port: no such port"},
        {1, ZQ_DEVICE_NOT_FOUND, "DEV1 has no port"},
        {2, ZQ_DEVICE_NOT_OPENED, "/dev/null: not a serial port"},
    };
    for (const Case& c : cases) {
        ZQ_HANDLE h = 0;
        EXPECT_EQ(ZQ_Open(c.Index, &h), c.Status) << c.Index;
        EXPECT_EQ(OpenDevice(MachinePorts(), c.Index).Reason, c.Reason);
    }
    qunsetenv("ZQLINK_PORTS");

    // Root, who runs the tests, is refused by neither a file mode nor another program's hold.
    EXPECT_EQ(
        OpenFailureText("/dev/ttyUSB0", EACCES),
        QString::fromUtf8("/dev/ttyUSB0: permission denied \u2014 add your user to the group dialout and log "
                          "in again"));
    EXPECT_EQ(OpenFailureText("/dev/ttyUSB0", EBUSY), "/dev/ttyUSB0: in use by another program");
    EXPECT_EQ(OpenFailureText("/dev/ttyUSB0", EIO), "/dev/ttyUSB0: input/output error");
}
