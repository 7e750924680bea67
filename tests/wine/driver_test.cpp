// The Wine-hosted test driver reached from a 32-bit program through
// \\.\Orvane: the size tests, raw port access against the simulated board,
// PCI configuration reads, selection, transfers to the controller, two
// handles on one device and requests the device does not serve.
#include <gtest/gtest.h>

#include <stdio.h>

#include <vector>

#include "board_layout.h"
#include "orvane_device.h"

using namespace orvane_device;
namespace layout = board_layout;

namespace {

class HostedDriver : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device.Open()) << "open failed, error " << device.OpenError(); }
    Handle device;
};

struct SizeCase {
    const char* what;
    DWORD code;
    DWORD inLen;
    DWORD outLen;
};

constexpr DWORD kPortBytes = sizeof(OrvanePortAccess);
constexpr DWORD kTransferBytes = sizeof(OrvaneTransfer);
constexpr DWORD kLocationBytes = sizeof(OrvanePciLocation);

constexpr SizeCase kRefusedSizes[] = {
    {"select, short input", IOCTL_ORVANE_SELECT_INTERFACE, 3, 0},
    {"select, long input", IOCTL_ORVANE_SELECT_INTERFACE, 5, 0},
    {"transfer, short input", IOCTL_ORVANE_TRANSFER, kTransferBytes - 1, kTransferBytes},
    {"transfer, long output", IOCTL_ORVANE_TRANSFER, kTransferBytes, kTransferBytes + 1},
    {"chipset bridge, long output", IOCTL_ORVANE_GET_CHIPSET_BRIDGE, 0, kLocationBytes + 1},
    {"SMBus device, short output", IOCTL_ORVANE_GET_SMBUS_DEVICE, 0, kLocationBytes - 1},
    {"parallel base, short output", IOCTL_ORVANE_GET_PARALLEL_BASE, 0, 1},
    {"SMBus base, short output", IOCTL_ORVANE_GET_SMBUS_BASE, 0, 3},
    {"read port, short input", IOCTL_ORVANE_READ_PORT_BYTE, kPortBytes - 1, kPortBytes},
    {"read port, no output", IOCTL_ORVANE_READ_PORT_BYTE, kPortBytes, 0},
    {"read configuration, short output", IOCTL_ORVANE_READ_PCI_CONFIG, kPortBytes, kPortBytes - 1},
    {"write configuration, long input", IOCTL_ORVANE_WRITE_PCI_CONFIG, kPortBytes + 1, 0},
};

TEST_F(HostedDriver, RequestsOfTheWrongSizeAreRefusedWithInvalidParameter)
{
    std::vector<unsigned char> buffer(kTransferBytes + 16, 0);
    for (const SizeCase& c : kRefusedSizes) {
        const Reply r = Control(device, c.code, buffer.data(), c.inLen, buffer.data(), c.outLen);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(r.error, (DWORD)ERROR_INVALID_PARAMETER) << c.what;
    }
}

TEST_F(HostedDriver, AWritePortRequestOfTheWrongSizeLeavesThePortAlone)
{
    ASSERT_TRUE(WritePort(device, layout::kSmbusHostData1, 0x11).ok);
    unsigned char record[kPortBytes + 1] = {};
    OrvanePortAccess access = PortRecord(layout::kSmbusHostData1, 0x77);
    memcpy(record, &access, sizeof(access));
    const Reply r = Control(device, IOCTL_ORVANE_WRITE_PORT_BYTE, record, sizeof(record), nullptr, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, (DWORD)ERROR_INVALID_PARAMETER);
    uint8_t value = 0;
    ASSERT_TRUE(ReadPort(device, layout::kSmbusHostData1, &value).ok);
    EXPECT_EQ(value, 0x11);
}

TEST_F(HostedDriver, AnUnknownControlCodeIsAnInvalidFunction)
{
    unsigned char buffer[32] = {};
    const Reply r = Control(device, ORVANE_CTL_CODE(0xC11), buffer, sizeof(buffer), buffer, sizeof(buffer));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, (DWORD)ERROR_INVALID_FUNCTION);
}

TEST_F(HostedDriver, APortByteWrittenReadsBackFromTheBoard)
{
    for (uint8_t pattern : {0x5A, 0xA5, 0x00}) {
        ASSERT_TRUE(WritePort(device, layout::kSmbusHostData0, pattern).ok);
        OrvanePortAccess access = PortRecord(layout::kSmbusHostData0);
        access.ReadValue = 0xCCCCCCCCu;
        const Reply r = Control(device, IOCTL_ORVANE_READ_PORT_BYTE, &access, kPortBytes, &access, kPortBytes);
        ASSERT_TRUE(r.ok) << "error " << r.error;
        EXPECT_EQ(r.bytes, kPortBytes);
        EXPECT_EQ(access.ReadValue, pattern) << "the read value is the port byte, zero-extended";
        EXPECT_EQ(access.Address, layout::kSmbusHostData0);
    }
}

TEST_F(HostedDriver, APortWithNothingBehindItReadsAllOnes)
{
    uint8_t value = 0;
    ASSERT_TRUE(WritePort(device, layout::kUnclaimedPort, 0x12).ok);
    ASSERT_TRUE(ReadPort(device, layout::kUnclaimedPort, &value).ok);
    EXPECT_EQ(value, 0xFF);
}

TEST_F(HostedDriver, ConfigurationReadsReachTheDefaultIntelBoard)
{
    OrvanePortAccess access = PortRecord(0);
    access.Device = layout::kLpcPciDevice;
    access.Function = layout::kSmbusPciFunction;
    Reply r = Control(device, IOCTL_ORVANE_READ_PCI_CONFIG, &access, kPortBytes, &access, kPortBytes);
    ASSERT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ(r.bytes, kPortBytes);
    EXPECT_EQ(access.ReadValue, (uint32_t)layout::kSmbusDeviceId << 16 | layout::kVendorIntel);

    access = PortRecord(layout::kSmbusBarOffset);
    access.Device = layout::kLpcPciDevice;
    access.Function = layout::kSmbusPciFunction;
    r = Control(device, IOCTL_ORVANE_READ_PCI_CONFIG, &access, kPortBytes, &access, kPortBytes);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(access.ReadValue & ~1u, layout::kSmbusBase);
}

void ExpectLocation(const Handle& device, DWORD code, uint16_t deviceId, uint8_t pciDevice, uint8_t function)
{
    OrvanePciLocation location;
    memset(&location, 0xCC, sizeof(location));
    const Reply r = Control(device, code, nullptr, 0, &location, sizeof(location));
    ASSERT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ(r.bytes, sizeof(location));
    EXPECT_EQ(location.VendorId, layout::kVendorIntel);
    EXPECT_EQ(location.DeviceId, deviceId);
    EXPECT_EQ(location.Bus, 0);
    EXPECT_EQ(location.Device, pciDevice);
    EXPECT_EQ(location.Function, function);
}

// Selection runs inside the device host against the simulated board: it
// finds the chipset bridge, the ISA bridge, the SMBus function and its base.
TEST_F(HostedDriver, SelectingTheIntelInterfaceFindsTheBoardsAdapter)
{
    uint32_t type = ORVANE_IF_INTEL;
    Reply r = Control(device, IOCTL_ORVANE_SELECT_INTERFACE, &type, sizeof(type), nullptr, 0);
    ASSERT_TRUE(r.ok) << "error " << r.error;

    ExpectLocation(device, IOCTL_ORVANE_GET_CHIPSET_BRIDGE, layout::kChipsetBridgeDeviceId,
                   layout::kChipsetBridgePciDevice, 0);
    ExpectLocation(device, IOCTL_ORVANE_GET_ISA_BRIDGE, layout::kIsaBridgeDeviceId, layout::kLpcPciDevice, 0);
    ExpectLocation(device, IOCTL_ORVANE_GET_SMBUS_DEVICE, layout::kSmbusDeviceId, layout::kLpcPciDevice,
                   layout::kSmbusPciFunction);
    uint32_t base = 0xCCCCCCCCu;
    r = Control(device, IOCTL_ORVANE_GET_SMBUS_BASE, nullptr, 0, &base, sizeof(base));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(base, layout::kSmbusBase);

    r = Control(device, IOCTL_ORVANE_RESTORE_CHIPSET, nullptr, 0, nullptr, 0);
    EXPECT_TRUE(r.ok) << "error " << r.error;
}

// A benchmark, not a check: what one request through Wine's device host
// costs, for sizing the request counts of the tests built on this level.
TEST_F(HostedDriver, PortReadRoundTripBenchmark)
{
    constexpr int kRequests = 200;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kRequests; ++i) {
        uint8_t value = 0;
        ASSERT_TRUE(ReadPort(device, layout::kSmbusHostData0, &value).ok);
    }
    QueryPerformanceCounter(&end);
    const double us = (double)(end.QuadPart - start.QuadPart) * 1e6 / (double)frequency.QuadPart / kRequests;
    printf("one port-read request through the device host: %.0f us (mean of %d)\n", us, kRequests);
    RecordProperty("round_trip_us", (int)us);
}

// Transfers on the default board after selecting its Intel adapter: the
// engine, the host-controller model and the R39218 run inside the device
// host, on Wine's kernel timer and delays.
class HostedTransfer : public HostedDriver {
protected:
    void SetUp() override
    {
        HostedDriver::SetUp();
        uint32_t type = ORVANE_IF_INTEL;
        const Reply r = Control(device, IOCTL_ORVANE_SELECT_INTERFACE, &type, sizeof(type), nullptr, 0);
        ASSERT_TRUE(r.ok) << "selection failed, error " << r.error;
    }

    static OrvaneTransfer Record(uint8_t op, uint8_t address8, uint16_t reg)
    {
        OrvaneTransfer t;
        memset(&t, 0, sizeof(t));
        t.CommandCode = op;
        t.DeviceAddr = address8;
        t.IoPort = reg;
        return t;
    }

    Reply Run(OrvaneTransfer* t)
    {
        return Control(device, IOCTL_ORVANE_TRANSFER, t, sizeof(*t), t, sizeof(*t));
    }
};

constexpr uint8_t kRegIdLow = 0x86, kRegIdHigh = 0x87;  // the controller's identification, 0x3921
constexpr uint16_t kControllerId = 0x3921;
constexpr uint8_t kAbsentAddress = 0x60;                // nothing on the bus answers here

TEST_F(HostedTransfer, ByteReadsReturnTheControllersIdentification)
{
    OrvaneTransfer low = Record(ORVANE_OP_READ_BYTE, layout::kControllerAddress, kRegIdLow);
    Reply r = Run(&low);
    ASSERT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ(r.bytes, sizeof(OrvaneTransfer));
    OrvaneTransfer high = Record(ORVANE_OP_READ_BYTE, layout::kControllerAddress, kRegIdHigh);
    r = Run(&high);
    ASSERT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ((uint16_t)(high.InputValue << 8 | low.InputValue), kControllerId);
}

// The engine waits for the two-second window of the kernel timer, whose DPC
// Wine runs on another thread; the request then completes with
// STATUS_TIMEOUT, which DeviceIoControl reports as success with the record
// copied back and the value untouched.
TEST_F(HostedTransfer, AnAbsentTargetEndsWhenTheTimeOutWindowExpires)
{
    OrvaneTransfer t = Record(ORVANE_OP_READ_BYTE, kAbsentAddress, 0);
    t.InputValue = 0x1234;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const Reply r = Run(&t);
    QueryPerformanceCounter(&end);
    ASSERT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ(r.bytes, sizeof(OrvaneTransfer));
    EXPECT_EQ(t.InputValue, 0x1234);
    printf("the absent target's read ended after %.2f s\n",
           (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart);

    // The next transfer arms its own window and succeeds.
    OrvaneTransfer id = Record(ORVANE_OP_READ_BYTE, layout::kControllerAddress, kRegIdLow);
    const Reply next = Run(&id);
    ASSERT_TRUE(next.ok) << "error " << next.error;
    EXPECT_EQ(id.InputValue, kControllerId & 0xFF);
}

TEST(HostedDriverHandles, TwoHandlesAreOpenAtOnceOnOneDevice)
{
    Handle first;
    Handle second;
    ASSERT_TRUE(first.Open()) << first.OpenError();
    ASSERT_TRUE(second.Open()) << "a second open with share mode 0 failed, error " << second.OpenError();

    ASSERT_TRUE(WritePort(first, layout::kSmbusHostData0, 0x3C).ok);
    uint8_t value = 0;
    ASSERT_TRUE(ReadPort(second, layout::kSmbusHostData0, &value).ok);
    EXPECT_EQ(value, 0x3C);

    ASSERT_TRUE(WritePort(second, layout::kSmbusHostData0, 0xC3).ok);
    ASSERT_TRUE(ReadPort(first, layout::kSmbusHostData0, &value).ok);
    EXPECT_EQ(value, 0xC3);
}

TEST(HostedDriverHandles, ClosingOneHandleLeavesTheOtherWorking)
{
    Handle kept;
    ASSERT_TRUE(kept.Open());
    {
        Handle closed;
        ASSERT_TRUE(closed.Open());
        ASSERT_TRUE(WritePort(closed, layout::kSmbusHostData1, 0x42).ok);
    }
    uint8_t value = 0;
    ASSERT_TRUE(ReadPort(kept, layout::kSmbusHostData1, &value).ok);
    EXPECT_EQ(value, 0x42);
}

TEST_F(HostedDriver, ReadAndWriteRequestsOnTheDeviceFail)
{
    unsigned char buffer[16] = {};
    DWORD count = kUnwritten;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(device.Get(), buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
    SetLastError(0);
    EXPECT_FALSE(WriteFile(device.Get(), buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
}

}  // namespace
