// What the boards of the Wine-hosted test driver look like from the outside:
// the PCI functions and ports a test program reaches through the device.
// Plain constants for the 32-bit test programs, which cannot include the
// simulator's headers; they describe the simulator's "intel-ich7" board
// (the default) and one other board.
#ifndef TESTS_WINE_BOARD_LAYOUT_H
#define TESTS_WINE_BOARD_LAYOUT_H

#include <stdint.h>

namespace board_layout {

constexpr uint16_t kVendorIntel = 0x8086;
constexpr uint16_t kHostBridgeDeviceId = 0x2770;     // at 0:0.0
constexpr uint16_t kChipsetBridgeDeviceId = 0x27D0;  // at 0:28.0, the first Intel bridge
constexpr uint8_t kChipsetBridgePciDevice = 28;
constexpr uint16_t kIsaBridgeDeviceId = 0x27B8;      // at 0:31.0
constexpr uint16_t kSmbusDeviceId = 0x27DA;          // at 0:31.3
constexpr uint8_t kLpcPciDevice = 31;
constexpr uint8_t kSmbusPciFunction = 3;
constexpr uint8_t kSmbusBarOffset = 0x20;            // BAR4: the SMBus I/O window
constexpr uint16_t kSmbusBase = 0x0400;
constexpr uint16_t kSmbusHostData0 = kSmbusBase + 5; // plain read/write registers
constexpr uint16_t kSmbusHostData1 = kSmbusBase + 6;
constexpr uint8_t kControllerAddress = 0x94;         // the firmware controller, 8-bit form
constexpr uint16_t kUnclaimedPort = 0x0C00;          // nothing answers here: reads float high

// The board "nvidia-new": its host bridge at 0:0.0.
constexpr const char* kOtherBoardName = "nvidia-new";
constexpr uint32_t kOtherBoardHostBridge = 0x036910DEu;  // device id << 16 | vendor id

}  // namespace board_layout

#endif
