// The library core: process-wide state, the trace, and the pieces the
// exports share. Everything here is plain logic over the three seams of
// hotkey_seams.h, so the same code runs in the DLL and in the host tests.
#ifndef HOTKEY_CORE_H
#define HOTKEY_CORE_H

#include <atomic>
#include <stdint.h>

#include "hotkey_exports.h"

namespace hotkey {

// What a host's SelectInterfaceType has recorded, and the controller's bus
// address. The device handle lives with the frame that opens it.
extern int32_t InterfaceType;
extern uint32_t OrvaneBaseAddress;
extern uint16_t ParallelBaseAddr;
extern uint8_t ControllerAddr;
// 1 once the library has opened the controller's sequential ROM access.
extern int32_t RWFlag;
// Progress of the running WriteToRom; GetPercentage reads them from another
// thread, each with one aligned load.
extern std::atomic<int32_t> Percentage;
extern std::atomic<int8_t> BurnStage;

// Puts every global back to its load-time value.
void ResetGlobals();

// Formats one trace line (printf conventions), appends a line feed and hands
// it to the debugger output.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The controller's address when the host names none.
constexpr uint8_t kDefaultControllerAddr = 0x94;

// One port byte through the driver; false when the request failed.
bool ReadPortByte(uint32_t port, uint8_t* value);
bool WritePortByte(uint32_t port, uint8_t value);

// One controller register access as a byte transaction at ControllerAddr.
bool ReadRegister(uint8_t reg, uint8_t* value);
bool WriteRegister(uint8_t reg, uint8_t value);

// Sequential ROM access, opening it first when RWFlag is 0. The read tells a
// failed access apart from a data byte of 1.
bool SequentialRead(uint8_t* value);
bool SequentialWrite(uint32_t address, uint8_t data);

}  // namespace hotkey

#endif
