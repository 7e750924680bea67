// The library core's host seams served by the driver core on a simulated PC:
// requests go to OrvaneDeviceControl as the I/O manager would pass them
// (buffered, one system buffer), trace lines are kept, and sleeps run on the
// virtual clock.
#ifndef TESTS_HOST_DRIVER_CHANNEL_H
#define TESTS_HOST_DRIVER_CHANNEL_H

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host_seams.h"
#include "machine.h"
#include "orvane_core.h"

class DriverChannel : public hotkey::HostBackend {
public:
    struct Request {
        uint32_t code;
        uint32_t inLen;
        uint32_t outLen;
        uint32_t port;  // port requests: the port
        uint32_t value; // port writes: the byte
    };

    bool DeviceRequest(uint32_t code, void* input, uint32_t inLen, void* output, uint32_t outLen) override
    {
        ++requestCount;
        if (code == IOCTL_ORVANE_READ_PORT_BYTE || code == IOCTL_ORVANE_WRITE_PORT_BYTE)
            ++portRequests;
        else
            ++otherRequests;
        if (recordRequests) {
            Request r{code, inLen, outLen, 0, 0};
            if (inLen == sizeof(OrvanePortAccess) && input != nullptr) {
                OrvanePortAccess a;
                std::memcpy(&a, input, sizeof a);
                r.port = a.Address;
                r.value = a.WriteValue;
            }
            requests.push_back(r);
        }
        if (failRequest && failRequest(code, requestCount))
            return false;
        // The system buffer holds the larger of the two lengths.
        if (inLen > sizeof system || outLen > sizeof system)
            return false;
        if (inLen != 0)
            std::memcpy(system, input, inLen);
        ULONG bytes = 0;
        const NTSTATUS status = OrvaneDeviceControl(ext, code, system, inLen, outLen, &bytes);
        if (!NT_SUCCESS(status))
            return false;
        if (output != nullptr)
            std::memcpy(output, system, std::min<uint32_t>(bytes, outLen));
        return true;
    }

    void DebugOutput(const char* line) override
    {
        ++traceLines;
        if (!keepTrace)
            return;
        trace.emplace_back(line);
        if (onTrace)
            onTrace(trace.back());
    }

    void SleepMs(uint32_t milliseconds) override
    {
        ++sleeps;
        sleptMs += milliseconds;
        machine->Advance((sim::Nanos)milliseconds * 1000000);
    }

    // How many trace lines equal the text exactly.
    int Count(const std::string& line) const
    {
        int n = 0;
        for (const std::string& t : trace)
            n += t == line;
        return n;
    }
    bool Has(const std::string& line) const { return Count(line) > 0; }
    // Requests of one code.
    int CountCode(uint32_t code) const
    {
        int n = 0;
        for (const Request& r : requests)
            n += r.code == code;
        return n;
    }
    void Clear()
    {
        trace.clear();
        requests.clear();
        requestCount = portRequests = otherRequests = traceLines = 0;
    }

    OrvaneDeviceExtension* ext = nullptr;
    sim::Machine* machine = nullptr;
    bool recordRequests = true;
    bool keepTrace = true;
    std::function<bool(uint32_t code, uint64_t n)> failRequest;  // true: the request fails
    std::function<void(const std::string&)> onTrace;
    std::vector<Request> requests;
    std::vector<std::string> trace;
    uint64_t requestCount = 0, portRequests = 0, otherRequests = 0;
    uint32_t sleeps = 0, sleptMs = 0;
    uint64_t traceLines = 0;

private:
    unsigned char system[1024] = {};
};

#endif
