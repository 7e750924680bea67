// The R39218 controller behind the bit-banged adapters: identification, and a
// few ROM bytes programmed in sequential mode and read back, every register
// access a single-byte transfer on the wire.
#include "bitbang_fixture.h"

#include "r39218.h"

namespace {

using namespace bitbang;

class BitbangChip : public Bitbang, public ::testing::WithParamInterface<AdapterCase> {
protected:
    void SetUp() override
    {
        bus.Detach(&target);
        ASSERT_TRUE(bus.Attach(&chip));
        Use(GetParam());
    }

    uint8_t ChipRead(uint8_t reg)
    {
        ext->Transfer.DeviceAddr = chip.address8;
        ext->Transfer.IoPort = reg;
        ext->Transfer.CommandCode = ORVANE_OP_READ_BYTE;
        EXPECT_EQ(IsLpt() ? LptI2cRead(ext.get()) : GpioI2cRead(ext.get()), STATUS_SUCCESS);
        return (uint8_t)ext->Transfer.InputValue;
    }

    void ChipWrite(uint8_t reg, uint8_t value)
    {
        ext->Transfer.DeviceAddr = chip.address8;
        ext->Transfer.IoPort = reg;
        ext->Transfer.OutputValue = value;
        ext->Transfer.CommandCode = ORVANE_OP_WRITE_BYTE;
        EXPECT_EQ(IsLpt() ? LptI2cWrite(ext.get()) : GpioI2cWrite(ext.get()), STATUS_SUCCESS);
    }

    sim::R39218 chip;
};

TEST_P(BitbangChip, IdentifiesAndProgramsRomBytes)
{
    EXPECT_EQ(ChipRead(sim::R39218::kRegIdLow) | ChipRead(sim::R39218::kRegIdHigh) << 8,
              sim::R39218::kChipId);

    const uint8_t bytes[] = {0x00, 0xFF, 0x5A, 0xA5, 0x01};
    ChipWrite(sim::R39218::kRegRomMode, sim::R39218::kModeSequential);
    ChipWrite(sim::R39218::kRegRomAddrLow, 0x10);
    ChipWrite(sim::R39218::kRegRomAddrHigh, 0x02);
    for (uint8_t b : bytes) {
        ChipWrite(sim::R39218::kRegRomData, b);
        int polls = 0;
        while (ChipRead(sim::R39218::kRegRomMode) & sim::R39218::kStatusWriteBusy)
            ASSERT_LT(++polls, 10) << "write-in-progress never cleared";
    }
    EXPECT_EQ(chip.romWrites, sizeof bytes);

    ChipWrite(sim::R39218::kRegRomAddrLow, 0x10);
    ChipWrite(sim::R39218::kRegRomAddrHigh, 0x02);
    for (size_t i = 0; i < sizeof bytes; ++i) {
        EXPECT_EQ(chip.rom[0x210 + i], bytes[i]) << i;
        EXPECT_EQ(ChipRead(sim::R39218::kRegRomData), bytes[i]) << i;
    }
    EXPECT_EQ(chip.romAddress, 0x210 + sizeof bytes) << "sequential access advanced once per byte";
    EXPECT_EQ(chip.nacks, 0u);
    ExpectNoDecodingErrors();
    ExpectIdleLines();
}

INSTANTIATE_TEST_SUITE_P(Adapters, BitbangChip, ::testing::ValuesIn(kAdapters),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
