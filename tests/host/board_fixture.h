// A zeroed device extension on a fresh simulated PC, made current for the
// platform seam for the length of one test.
#ifndef TESTS_HOST_BOARD_FIXTURE_H
#define TESTS_HOST_BOARD_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "machine.h"
#include "orvane_core.h"

class BoardTest : public ::testing::Test {
protected:
    BoardTest() : machine(std::make_unique<sim::Machine>()), ext(std::make_unique<OrvaneDeviceExtension>())
    {
        std::memset(ext.get(), 0, sizeof(OrvaneDeviceExtension));
        sim::SetCurrent(machine.get());
    }
    ~BoardTest() override { sim::SetCurrent(nullptr); }

    struct Reply {
        NTSTATUS status;
        ULONG bytes;
    };

    // Sends one request with the given lengths; the buffer is at least as
    // large as either length, as the I/O manager's system buffer is.
    Reply Send(ULONG code, std::vector<unsigned char>& buffer, ULONG inLen, ULONG outLen)
    {
        const size_t need = inLen > outLen ? inLen : outLen;
        if (buffer.size() < need)
            buffer.resize(need);
        ULONG bytes = 0xDEADBEEF;
        const NTSTATUS status = OrvaneDeviceControl(ext.get(), code, buffer.data(), inLen, outLen, &bytes);
        return {status, bytes};
    }

    template <typename Record>
    Reply SendRecord(ULONG code, Record& record, ULONG outLen = sizeof(Record))
    {
        std::vector<unsigned char> buffer(sizeof(Record) > outLen ? sizeof(Record) : outLen);
        std::memcpy(buffer.data(), &record, sizeof(Record));
        const Reply r = Send(code, buffer, sizeof(Record), outLen);
        std::memcpy(&record, buffer.data(), sizeof(Record));
        return r;
    }

    // Sends a record and reads the request's result bytes into out.
    Reply Query(ULONG code, void* out, ULONG outLen)
    {
        std::vector<unsigned char> buffer(outLen ? outLen : 1, 0xCC);
        const Reply r = Send(code, buffer, 0, outLen);
        std::memcpy(out, buffer.data(), outLen);
        return r;
    }

    std::unique_ptr<sim::Machine> machine;
    std::unique_ptr<OrvaneDeviceExtension> ext;
};

// A port device that remembers what was written and answers fixed values.
class LatchPorts : public sim::PortDevice {
public:
    uint8_t In8(uint16_t port) override { return reads8[port & 0xFF]; }
    void Out8(uint16_t port, uint8_t value) override { writes8[port & 0xFF] = value; ++writeCount; }
    uint32_t In32(uint16_t port) override { (void)port; return dword; }
    void Out32(uint16_t port, uint32_t value) override { (void)port; dwordWrites[dwordWriteCount++ % 4] = value; }

    uint8_t reads8[256] = {};
    uint8_t writes8[256] = {};
    int writeCount = 0;
    uint32_t dword = 0;
    uint32_t dwordWrites[4] = {};
    int dwordWriteCount = 0;
};

#endif
