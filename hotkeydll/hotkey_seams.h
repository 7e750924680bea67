// The library core's three seams. In the DLL they are DeviceIoControl on the
// device handle, OutputDebugStringA and Sleep; the host tests put the driver
// core on a simulated PC, a trace recorder and the virtual clock behind them.
#ifndef HOTKEY_SEAMS_H
#define HOTKEY_SEAMS_H

#include <stdint.h>

namespace hotkey {

// One synchronous driver request (buffered: the input is copied in, up to
// outLen bytes come back). Returns the request's success value.
bool DeviceRequest(uint32_t code, void* input, uint32_t inLen, void* output, uint32_t outLen);
// One finished trace line to the debugger output.
void DebugOutput(const char* line);
// Sleeps the calling thread.
void SleepMs(uint32_t milliseconds);

}  // namespace hotkey

#endif
