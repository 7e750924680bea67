// What the default board of the Wine-hosted test driver looks like from the
// outside: the PCI functions and ports a test program can reach through the
// device. Plain constants, shared by the board and the test programs.
#ifndef TESTS_WINE_BOARD_LAYOUT_H
#define TESTS_WINE_BOARD_LAYOUT_H

#include <stdint.h>

namespace board_layout {

constexpr uint16_t kVendorIntel = 0x8086;
constexpr uint16_t kHostBridgeDeviceId = 0x2770;  // at 0:0.0
constexpr uint16_t kIsaBridgeDeviceId = 0x27B8;   // at 0:31.0
constexpr uint16_t kSmbusDeviceId = 0x27DA;       // at 0:31.3
constexpr uint8_t kSmbusPciDevice = 31;
constexpr uint8_t kSmbusPciFunction = 3;
constexpr uint16_t kSmbusBase = 0x0400;           // the SMBus controller's I/O window
constexpr uint16_t kSmbusPortCount = 0x20;
constexpr uint16_t kSmbusHostData0 = kSmbusBase + 5;  // a plain read/write register
constexpr uint16_t kSmbusHostData1 = kSmbusBase + 6;
constexpr uint8_t kControllerAddress = 0x94;      // the firmware controller, 8-bit form
constexpr uint16_t kUnclaimedPort = 0x0E80;       // nothing answers here: reads float high

}  // namespace board_layout

#endif
