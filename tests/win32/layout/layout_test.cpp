// The control interface as the 32-bit library sees it: the records cross the
// 32/64-bit boundary byte for byte, so their layout must not depend on the
// compiler's data model.
#include <gtest/gtest.h>

#include <cstring>

#include "orvane_ioctl.h"

TEST(ControlInterface, RecordsKeepTheirLayoutIn32BitCode)
{
    static_assert(sizeof(void*) == 4, "this level runs 32-bit code");
    EXPECT_EQ(sizeof(OrvaneTransfer), 536u);
    EXPECT_EQ(sizeof(OrvanePortAccess), 19u);
    EXPECT_EQ(sizeof(OrvanePciLocation), 7u);

    // Little-endian, packed: a field written through the struct lands at its
    // byte offset.
    OrvaneTransfer t;
    std::memset(&t, 0, sizeof t);
    t.BlockWriteCount = 0x04030201u;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&t);
    EXPECT_EQ(bytes[532], 1);
    EXPECT_EQ(bytes[535], 4);
}

TEST(ControlInterface, CodesAreBufferedAnyAccessOnDeviceTypeA411)
{
    const unsigned codes[] = {IOCTL_ORVANE_SELECT_INTERFACE, IOCTL_ORVANE_TRANSFER, IOCTL_ORVANE_WRITE_CHIPSET_DWORD};
    for (unsigned c : codes) {
        EXPECT_EQ(c >> 16, 0xA411u);
        EXPECT_EQ(c & 3u, 0u) << "METHOD_BUFFERED";
        EXPECT_EQ((c >> 14) & 3u, 0u) << "FILE_ANY_ACCESS";
    }
}
