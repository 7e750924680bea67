// The twenty exports of VexmarHotKeyDll: flat, cdecl, undecorated names (the
// .def file lists them). Results are 32-bit signed; out-values go through
// pointers. Hosts that bind them by name at run time declare them the same way.
#ifndef HOTKEY_EXPORTS_H
#define HOTKEY_EXPORTS_H

#include <stdint.h>

#include "orvane_ioctl.h"

#if defined(_WIN32)
#define HOTKEY_CALL __cdecl
#else
#define HOTKEY_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

int HOTKEY_CALL VexmarIC_Detect(void);

// Bus access client.
int HOTKEY_CALL SelectInterfaceType(int32_t interfaceType, uint8_t baseAddr);
int HOTKEY_CALL CHIPSET_inport_intel1(OrvaneTransfer* transfer);
int HOTKEY_CALL CHIPSET_outport_intel1(OrvaneTransfer* transfer);

// Controller protocol.
int HOTKEY_CALL I2CReadByte(uint8_t reg, uint8_t* value);
int HOTKEY_CALL I2CWriteByte(uint8_t reg, uint8_t value);
int HOTKEY_CALL CheckICID(int* match);
int HOTKEY_CALL GetICVersion(int* version);
int HOTKEY_CALL GetVersion218(int* version, int* subVersion);
int HOTKEY_CALL GetBotton218(int* pressed);
int HOTKEY_CALL Test218(int* passed);
int HOTKEY_CALL ROMRead(uint32_t address, uint8_t* value);
int HOTKEY_CALL ROMWrite(uint32_t address, uint32_t data);
int HOTKEY_CALL SPIRead(uint32_t address);
int HOTKEY_CALL SPIWrite(uint32_t address, uint32_t data);
int HOTKEY_CALL SDKRead(uint32_t address, uint8_t* value);
int HOTKEY_CALL ResetRWFlag(void);
int HOTKEY_CALL ExitCmd(void);

// Firmware programming.
int HOTKEY_CALL WriteToRom(const char* path);
int HOTKEY_CALL GetPercentage(int* percentage, int* stage);

#ifdef __cplusplus
}
#endif

#endif
