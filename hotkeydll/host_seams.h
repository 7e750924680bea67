// The host build's seams: a test puts a backend behind the driver channel,
// the trace and the sleep. Without one, requests fail, the trace is dropped
// and sleeps return at once.
#ifndef HOTKEY_HOST_SEAMS_H
#define HOTKEY_HOST_SEAMS_H

#include <stdint.h>

namespace hotkey {

class HostBackend {
public:
    virtual bool DeviceRequest(uint32_t code, void* input, uint32_t inLen, void* output, uint32_t outLen) = 0;
    virtual void DebugOutput(const char* line) = 0;
    virtual void SleepMs(uint32_t milliseconds) = 0;

protected:
    ~HostBackend() = default;
};

void SetHostBackend(HostBackend* backend);

}  // namespace hotkey

#endif
