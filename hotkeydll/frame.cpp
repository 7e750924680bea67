// The library frame shared by the DLL and the host build: the process-wide
// state, the trace and the one export that needs nothing else.
#include <stdarg.h>
#include <stdio.h>

#include "hotkey_core.h"
#include "hotkey_seams.h"

namespace hotkey {

int32_t InterfaceType = 0;
uint32_t OrvaneBaseAddress = 0;
uint16_t ParallelBaseAddr = 0;
uint8_t ControllerAddr = 0;
int32_t RWFlag = 0;
std::atomic<int32_t> Percentage{0};
std::atomic<int8_t> BurnStage{0};

static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<int8_t>::is_always_lock_free,
              "progress is read with plain loads from a second thread");

void ResetGlobals()
{
    InterfaceType = 0;
    OrvaneBaseAddress = 0;
    ParallelBaseAddr = 0;
    ControllerAddr = 0;
    RWFlag = 0;
    Percentage.store(0);
    BurnStage.store(0);
}

namespace {
constexpr int kTraceLineChars = 1024;
}

void TraceLine(const char* format, ...)
{
    char line[kTraceLineChars];
    va_list args;
    va_start(args, format);
    // Bounded: a message that does not fit is cut so the line feed still does.
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0)
        n = 0;
    if (n > kTraceLineChars - 2)
        n = kTraceLineChars - 2;
    line[n] = '\n';
    line[n + 1] = '\0';
    DebugOutput(line);
}

}  // namespace hotkey

extern "C" int HOTKEY_CALL VexmarIC_Detect(void) { return 1; }
