#include "host_seams.h"

#include "hotkey_seams.h"

namespace hotkey {

namespace {
HostBackend* current = nullptr;
}

void SetHostBackend(HostBackend* backend) { current = backend; }

bool DeviceRequest(uint32_t code, void* input, uint32_t inLen, void* output, uint32_t outLen)
{
    return current != nullptr && current->DeviceRequest(code, input, inLen, output, outLen);
}

void DebugOutput(const char* line)
{
    if (current != nullptr)
        current->DebugOutput(line);
}

void SleepMs(uint32_t milliseconds)
{
    if (current != nullptr)
        current->SleepMs(milliseconds);
}

}  // namespace hotkey
