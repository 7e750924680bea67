// The bit-banged adapters on a simulated board: a register target on an I2C
// wire that a parallel-port model or a display-controller GPIO model drives.
#ifndef TESTS_HOST_BITBANG_FIXTURE_H
#define TESTS_HOST_BITBANG_FIXTURE_H

#include "board_fixture.h"

#include <initializer_list>

#include "display_gpio.h"
#include "i2c_wire.h"
#include "orvane_engines.h"
#include "parallel_port.h"

namespace bitbang {

constexpr USHORT kLptBase = 0x378;
constexpr USHORT kGpioBase = 0xE800;
constexpr uint8_t kTargetAddr = 0xA0;
constexpr USHORT kPostCodePort = 0x80;

// Bits of the GPIO register the engine may touch: SDA/SCL levels and enables.
constexpr uint32_t kGpioLineBits = 0x00030003u;
// Every other bit of the GPIO register seeded with a pattern; lines released.
constexpr uint32_t kGpioSeed = 0xA5F0C03Cu;
// Parallel-port control register: nInit, SelectIn and two high bits set, SCL
// released, data port driving.
constexpr uint8_t kLptControlSeed = 0xCC;

struct AdapterCase {
    const char* name;
    ULONG type;
    USHORT deviceId;
    uint32_t gpioRegister;  // 0 for the parallel port
};

// One parallel port and two GPIO registers, the second on a controller
// whose device id picks it.
inline const AdapterCase kAdapters[] = {
    {"parallel", ORVANE_IF_PARALLEL, 0, 0},
    {"gpio_a", ORVANE_IF_GPIO_A, 0x1234, 0x60},
    {"gpio_c", ORVANE_IF_GPIO_C, 0x5E4B, 0x68},
};

class Bitbang : public BoardTest {
protected:
    Bitbang()
    {
        target.address8 = kTargetAddr;
        bus.Attach(&target);
        wire.Connect(&bus);
    }

    void UseLpt()
    {
        ext->InterfaceType = ORVANE_IF_PARALLEL;
        ext->ParallelPortBase = kLptBase;
        lpt.control = kLptControlSeed;
        ASSERT_TRUE(lpt.Connect(*machine, kLptBase, &wire));
    }

    void UseGpio(ULONG type, USHORT deviceId, uint32_t gpioRegister)
    {
        ext->InterfaceType = type;
        ext->DisplayDevice.DeviceId = deviceId;
        ext->GpioBase = kGpioBase;
        gpio.Register(gpioRegister) = kGpioSeed;
        wiredRegister = gpioRegister;
        ASSERT_TRUE(gpio.Connect(*machine, kGpioBase, gpioRegister, &wire));
    }

    void Use(const AdapterCase& c)
    {
        if (c.type == ORVANE_IF_PARALLEL)
            UseLpt();
        else
            UseGpio(c.type, c.deviceId, c.gpioRegister);
    }

    bool IsLpt() const { return ext->InterfaceType == ORVANE_IF_PARALLEL; }

    NTSTATUS Read(uint16_t reg, uint8_t code = ORVANE_OP_READ_BYTE)
    {
        ext->Transfer.DeviceAddr = kTargetAddr;
        ext->Transfer.IoPort = reg;
        ext->Transfer.CommandCode = code;
        ext->Transfer.InputValue = 0xBEEF;
        return IsLpt() ? LptI2cRead(ext.get()) : GpioI2cRead(ext.get());
    }

    NTSTATUS Write(uint16_t reg, uint16_t value, uint8_t code = ORVANE_OP_WRITE_BYTE)
    {
        ext->Transfer.DeviceAddr = kTargetAddr;
        ext->Transfer.IoPort = reg;
        ext->Transfer.OutputValue = value;
        ext->Transfer.CommandCode = code;
        return IsLpt() ? LptI2cWrite(ext.get()) : GpioI2cWrite(ext.get());
    }

    // The transfer request of the control interface with this record.
    NTSTATUS Transfer(OrvaneTransfer& record)
    {
        const Reply r = SendRecord(IOCTL_ORVANE_TRANSFER, record);
        if (NT_SUCCESS(r.status)) {
            EXPECT_EQ(r.bytes, sizeof(OrvaneTransfer));
        }
        return r.status;
    }

    OrvaneTransfer Record(uint8_t code, uint16_t reg, uint16_t value = 0)
    {
        OrvaneTransfer t;
        std::memset(&t, 0, sizeof t);
        t.DeviceAddr = kTargetAddr;
        t.IoPort = reg;
        t.OutputValue = value;
        t.CommandCode = code;
        return t;
    }

    void ExpectNoDecodingErrors()
    {
        EXPECT_EQ(wire.ErrorCount(), 0);
        for (int i = 0; i < wire.ErrorCount() && i < sim::I2cWire::kMaxErrors; ++i)
            ADD_FAILURE() << "decoding error " << int(wire.Error(i)) << " in transaction "
                          << wire.ErrorTransaction(i);
    }

    void ExpectTransaction(int index, std::initializer_list<uint8_t> bytes,
                           std::initializer_list<bool> acks, sim::WireEnd end)
    {
        SCOPED_TRACE(testing::Message() << "transaction " << index);
        ASSERT_LT(index, wire.LoggedCount());
        const sim::WireTransaction& t = wire.Transaction(index);
        ASSERT_EQ(t.count, bytes.size());
        int i = 0;
        for (uint8_t b : bytes) {
            EXPECT_EQ(t.bytes[i], b) << "byte " << i;
            ++i;
        }
        i = 0;
        for (bool a : acks) {
            EXPECT_EQ(t.acked[i], a) << "acknowledge of byte " << i;
            ++i;
        }
        EXPECT_EQ(int(t.end), int(end));
    }

    // The lines after a transaction: both high and, on the parallel port, the
    // data port driving; no other register bit changed.
    void ExpectIdleLines()
    {
        EXPECT_TRUE(wire.Scl());
        EXPECT_TRUE(wire.Sda());
        EXPECT_TRUE(wire.MasterSda());
        if (IsLpt()) {
            EXPECT_EQ(lpt.control, kLptControlSeed) << "SCL released, port driving, other bits kept";
            EXPECT_TRUE(lpt.data & sim::ParallelPort::kDataSda);
        } else {
            EXPECT_EQ(gpio.Register(wiredRegister), kGpioSeed | kGpioLineBits)
                << "both lines driven high, other bits kept";
        }
    }

    sim::I2cBus bus;
    sim::RegisterTarget target;
    sim::I2cWire wire;
    sim::ParallelPort lpt;
    sim::DisplayGpio gpio;
    uint32_t wiredRegister = 0;
};

}  // namespace bitbang

#endif
