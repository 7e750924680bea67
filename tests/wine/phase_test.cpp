// Checks the harness runs at fixed points of a hosted-driver session: with
// another board chosen (ChosenBoard), right after the service started with
// the default board (FreshDriver), before it stops (LiveDriver),
// after it stopped (StoppedDriver), and with the shipped driver in its place
// (ShippedDriver). Not registered with CTest on their own: what they check
// depends on when they run.
#include <gtest/gtest.h>

#include "board_layout.h"
#include "orvane_device.h"

using namespace orvane_device;

namespace {

struct BaseQuery {
    const char* what;
    DWORD code;
    DWORD length;
};

constexpr BaseQuery kBaseQueries[] = {
    {"chipset bridge", IOCTL_ORVANE_GET_CHIPSET_BRIDGE, sizeof(OrvanePciLocation)},
    {"ISA bridge", IOCTL_ORVANE_GET_ISA_BRIDGE, sizeof(OrvanePciLocation)},
    {"SMBus device", IOCTL_ORVANE_GET_SMBUS_DEVICE, sizeof(OrvanePciLocation)},
    {"display device", IOCTL_ORVANE_GET_DISPLAY_DEVICE, sizeof(OrvanePciLocation)},
    {"parallel base", IOCTL_ORVANE_GET_PARALLEL_BASE, 2},
    {"SMBus base", IOCTL_ORVANE_GET_SMBUS_BASE, 4},
    {"GPIO base", IOCTL_ORVANE_GET_GPIO_BASE, 2},
};

TEST(FreshDriver, BaseQueriesBeforeAnySelectionReturnZeros)
{
    Handle device;
    ASSERT_TRUE(device.Open()) << device.OpenError();
    for (const BaseQuery& q : kBaseQueries) {
        unsigned char out[8];
        memset(out, 0xCC, sizeof(out));
        const Reply r = Control(device, q.code, nullptr, 0, out, q.length);
        ASSERT_TRUE(r.ok) << q.what << ": error " << r.error;
        EXPECT_EQ(r.bytes, q.length) << q.what;
        for (DWORD i = 0; i < q.length; ++i)
            EXPECT_EQ(out[i], 0) << q.what << " byte " << i;
    }
}

// The driver was started with the Parameters\Board value naming another
// board than the default one.
TEST(ChosenBoard, TheDriverRunsOnTheBoardNamedInItsParameters)
{
    Handle device;
    ASSERT_TRUE(device.Open()) << device.OpenError();
    OrvanePortAccess access = PortRecord(0);
    const Reply r = Control(device, IOCTL_ORVANE_READ_PCI_CONFIG, &access, sizeof(access), &access, sizeof(access));
    ASSERT_TRUE(r.ok) << "error " << r.error;
    EXPECT_EQ(access.ReadValue, board_layout::kOtherBoardHostBridge) << board_layout::kOtherBoardName;
}

// The device host is still there at the end of the session, with the
// board's state intact.
TEST(LiveDriver, TheDeviceStillServesPortRequests)
{
    Handle device;
    ASSERT_TRUE(device.Open()) << device.OpenError();
    for (uint8_t pattern : {0x96, 0x69}) {
        ASSERT_TRUE(WritePort(device, board_layout::kSmbusHostData0, pattern).ok);
        uint8_t value = 0;
        ASSERT_TRUE(ReadPort(device, board_layout::kSmbusHostData0, &value).ok);
        EXPECT_EQ(value, pattern);
    }
}

// The shipped driver executes real port instructions, which Wine does not
// emulate: the request fails because the device host dies under it.
TEST(ShippedDriver, APortWriteEndsTheDeviceHost)
{
    Handle device;
    ASSERT_TRUE(device.Open()) << device.OpenError();
    EXPECT_FALSE(WritePort(device, board_layout::kSmbusHostData0, 0x5A).ok);
}

TEST(StoppedDriver, TheOpenFails)
{
    Handle device;
    EXPECT_FALSE(device.Open());
    EXPECT_EQ(device.OpenError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

}  // namespace
