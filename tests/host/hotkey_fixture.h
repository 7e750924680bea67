// The library core on a simulated PC: its driver channel calls the driver
// core's OrvaneDeviceControl as the I/O manager would (buffered, one system
// buffer), its trace lines are kept, and its sleeps run on the virtual clock.
#ifndef TESTS_HOST_HOTKEY_FIXTURE_H
#define TESTS_HOST_HOTKEY_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boards.h"
#include "host_seams.h"
#include "hotkey_core.h"
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
        std::vector<unsigned char> system(std::max<uint32_t>(std::max(inLen, outLen), 1));
        if (inLen != 0)
            std::memcpy(system.data(), input, inLen);
        ULONG bytes = 0;
        const NTSTATUS status = OrvaneDeviceControl(ext, code, system.data(), inLen, outLen, &bytes);
        if (!NT_SUCCESS(status))
            return false;
        if (output != nullptr)
            std::memcpy(output, system.data(), std::min<uint32_t>(bytes, outLen));
        return true;
    }

    void DebugOutput(const char* line) override
    {
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
        requestCount = portRequests = otherRequests = 0;
    }

    OrvaneDeviceExtension* ext = nullptr;
    sim::Machine* machine = nullptr;
    bool recordRequests = true;
    std::function<bool(uint32_t code, uint64_t n)> failRequest;  // true: the request fails
    std::function<void(const std::string&)> onTrace;
    std::vector<Request> requests;
    std::vector<std::string> trace;
    uint64_t requestCount = 0, portRequests = 0, otherRequests = 0;
    uint32_t sleeps = 0, sleptMs = 0;
};

struct alignas(sim::Board) HotkeyBoardStorage {
    unsigned char bytes[sizeof(sim::Board)];
};

// A board, the driver's zeroed device extension and the channel, made current
// for the platform seam and for the library for the length of one test.
class HotkeyStack : public ::testing::Test {
protected:
    HotkeyStack() : storage(std::make_unique<HotkeyBoardStorage>()), ext(std::make_unique<OrvaneDeviceExtension>())
    {
        std::memset(ext.get(), 0, sizeof(OrvaneDeviceExtension));
        hotkey::ResetGlobals();
        channel.ext = ext.get();
        hotkey::SetHostBackend(&channel);
        UseBoard(sim::kIntelBoard);
    }
    ~HotkeyStack() override
    {
        hotkey::SetHostBackend(nullptr);
        sim::SetCurrent(nullptr);
        if (board != nullptr)
            board->~Board();
    }

    sim::Board* UseBoard(sim::BoardId id)
    {
        if (board != nullptr)
            board->~Board();
        board = id == sim::kIntelBoard ? sim::BuildIntelBoard(storage.get(), sizeof(HotkeyBoardStorage))
                                       : sim::BuildBoard(storage.get(), sizeof(HotkeyBoardStorage), id);
        if (board != nullptr) {
            sim::SetCurrent(&board->machine);
            channel.machine = &board->machine;
        }
        return board;
    }

    std::unique_ptr<HotkeyBoardStorage> storage;
    std::unique_ptr<OrvaneDeviceExtension> ext;
    sim::Board* board = nullptr;
    DriverChannel channel;
};

#endif
