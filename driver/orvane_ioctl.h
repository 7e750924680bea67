// Orvane control interface: the one definition of the device's control codes,
// the records they carry, the interface types and the transfer operation codes.
// Shared by the driver and by the controller access library; compiled for the
// host, x86 and x64. Records are packed, little-endian and hold no pointers, so
// they cross the 32/64-bit boundary unchanged.
#ifndef ORVANE_IOCTL_H
#define ORVANE_IOCTL_H

#include <stddef.h>
#include <stdint.h>

#define ORVANE_DEVICE_TYPE 0xA411u
// CTL_CODE(0xA411, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define ORVANE_CTL_CODE(function) ((ORVANE_DEVICE_TYPE << 16) | ((uint32_t)(function) << 2))

#define IOCTL_ORVANE_SELECT_INTERFACE    ORVANE_CTL_CODE(0xC01)
#define IOCTL_ORVANE_TRANSFER            ORVANE_CTL_CODE(0xC02)
#define IOCTL_ORVANE_RESTORE_CHIPSET     ORVANE_CTL_CODE(0xC03)
#define IOCTL_ORVANE_GET_CHIPSET_BRIDGE  ORVANE_CTL_CODE(0xC04)
#define IOCTL_ORVANE_GET_ISA_BRIDGE      ORVANE_CTL_CODE(0xC05)
#define IOCTL_ORVANE_GET_SMBUS_DEVICE    ORVANE_CTL_CODE(0xC06)
#define IOCTL_ORVANE_GET_PARALLEL_BASE   ORVANE_CTL_CODE(0xC07)
#define IOCTL_ORVANE_GET_SMBUS_BASE      ORVANE_CTL_CODE(0xC08)
#define IOCTL_ORVANE_GET_DISPLAY_DEVICE  ORVANE_CTL_CODE(0xC09)
#define IOCTL_ORVANE_GET_GPIO_BASE       ORVANE_CTL_CODE(0xC0A)
#define IOCTL_ORVANE_READ_PORT_BYTE      ORVANE_CTL_CODE(0xC0B)
#define IOCTL_ORVANE_WRITE_PORT_BYTE     ORVANE_CTL_CODE(0xC0C)
#define IOCTL_ORVANE_READ_PCI_CONFIG     ORVANE_CTL_CODE(0xC0D)
#define IOCTL_ORVANE_WRITE_PCI_CONFIG    ORVANE_CTL_CODE(0xC0E)
#define IOCTL_ORVANE_READ_CHIPSET_DWORD  ORVANE_CTL_CODE(0xC0F)
#define IOCTL_ORVANE_WRITE_CHIPSET_DWORD ORVANE_CTL_CODE(0xC10)

// Interface types (the adapter that a selection chooses).
#define ORVANE_IF_INTEL        1u
#define ORVANE_IF_PARALLEL     2u
#define ORVANE_IF_GPIO_A       4u
#define ORVANE_IF_GPIO_B       5u
#define ORVANE_IF_GPIO_C       6u
#define ORVANE_IF_NVIDIA_1     7u
#define ORVANE_IF_NVIDIA_2     8u
#define ORVANE_IF_VIA          9u
#define ORVANE_IF_RESERVED_11 11u
#define ORVANE_IF_SIS         13u
#define ORVANE_IF_ALI         15u
#define ORVANE_IF_AMD         16u

// Transfer operation codes (OrvaneTransfer.CommandCode).
#define ORVANE_OP_DUMP_BYTES   3u
#define ORVANE_OP_READ_BYTE    4u
#define ORVANE_OP_WRITE_BYTE   5u
#define ORVANE_OP_READ_WORD    6u
#define ORVANE_OP_WRITE_WORD   7u
#define ORVANE_OP_READ_BLOCK   8u
#define ORVANE_OP_WRITE_BLOCK  9u
#define ORVANE_OP_DUMP_BLOCKS 10u

// Completion status values the driver reports.
#define ORVANE_STATUS_SUCCESS                0x00000000u
#define ORVANE_STATUS_TIMEOUT                0x00000102u
#define ORVANE_STATUS_UNSUCCESSFUL           0xC0000001u
#define ORVANE_STATUS_INVALID_PARAMETER      0xC000000Du
#define ORVANE_STATUS_NO_SUCH_DEVICE         0xC000000Eu
#define ORVANE_STATUS_INVALID_DEVICE_REQUEST 0xC0000010u

// Record limits.
#define ORVANE_REGISTER_COUNT    256
#define ORVANE_BLOCK_MAX_LENGTH  15    // BlockLength: one more than the bytes a block read moves
#define ORVANE_BLOCK_READ_START_MAX 242 // 256 - 14: highest start register of a block read

#pragma pack(push, 1)

typedef struct OrvaneTransfer {
    uint8_t  DeviceAddr;                         // 8-bit form, bit 0 clear
    uint16_t IoPort;                             // register number; low byte goes on the bus
    uint16_t OutputValue;                        // data to write
    uint16_t InputValue;                         // data read
    uint8_t  CommandCode;                        // ORVANE_OP_*
    uint8_t  RegisterImage[ORVANE_REGISTER_COUNT];
    uint8_t  BlockBuffer[ORVANE_REGISTER_COUNT]; // indexed by register number
    int32_t  BlockLength;
    int32_t  BlockOffset;
    uint32_t Reserved;                           // never read or written by the driver
    uint32_t BlockWriteCount;
} OrvaneTransfer;

typedef struct OrvanePortAccess {
    uint32_t Address;    // port, configuration offset, or offset from ChipsetIoBase
    uint32_t ReadValue;
    uint32_t WriteValue;
    uint32_t Reserved;
    uint8_t  Bus;
    uint8_t  Device;     // bits 0-4
    uint8_t  Function;   // bits 0-2
} OrvanePortAccess;

typedef struct OrvanePciLocation {
    uint16_t VendorId;   // 0: nothing found
    uint16_t DeviceId;
    uint8_t  Bus;
    uint8_t  Device;
    uint8_t  Function;
} OrvanePciLocation;

#pragma pack(pop)

#ifdef __cplusplus
#define ORVANE_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define ORVANE_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif

ORVANE_STATIC_ASSERT(sizeof(OrvaneTransfer) == 536, "OrvaneTransfer is 536 bytes");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, DeviceAddr) == 0, "DeviceAddr at 0");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, IoPort) == 1, "IoPort at 1");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, OutputValue) == 3, "OutputValue at 3");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, InputValue) == 5, "InputValue at 5");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, CommandCode) == 7, "CommandCode at 7");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, RegisterImage) == 8, "RegisterImage at 8");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, BlockBuffer) == 264, "BlockBuffer at 264");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, BlockLength) == 520, "BlockLength at 520");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, BlockOffset) == 524, "BlockOffset at 524");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, Reserved) == 528, "reserved at 528");
ORVANE_STATIC_ASSERT(offsetof(OrvaneTransfer, BlockWriteCount) == 532, "BlockWriteCount at 532");

ORVANE_STATIC_ASSERT(sizeof(OrvanePortAccess) == 19, "OrvanePortAccess is 19 bytes");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, Address) == 0, "Address at 0");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, ReadValue) == 4, "ReadValue at 4");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, WriteValue) == 8, "WriteValue at 8");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, Reserved) == 12, "reserved at 12");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, Bus) == 16, "Bus at 16");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, Device) == 17, "Device at 17");
ORVANE_STATIC_ASSERT(offsetof(OrvanePortAccess, Function) == 18, "Function at 18");

ORVANE_STATIC_ASSERT(sizeof(OrvanePciLocation) == 7, "OrvanePciLocation is 7 bytes");
ORVANE_STATIC_ASSERT(offsetof(OrvanePciLocation, VendorId) == 0, "VendorId at 0");
ORVANE_STATIC_ASSERT(offsetof(OrvanePciLocation, DeviceId) == 2, "DeviceId at 2");
ORVANE_STATIC_ASSERT(offsetof(OrvanePciLocation, Bus) == 4, "Bus at 4");
ORVANE_STATIC_ASSERT(offsetof(OrvanePciLocation, Device) == 5, "Device at 5");
ORVANE_STATIC_ASSERT(offsetof(OrvanePciLocation, Function) == 6, "Function at 6");

ORVANE_STATIC_ASSERT(IOCTL_ORVANE_SELECT_INTERFACE == 0xA4113004u, "first code");
ORVANE_STATIC_ASSERT(IOCTL_ORVANE_WRITE_CHIPSET_DWORD == 0xA4113040u, "last code");

#endif
