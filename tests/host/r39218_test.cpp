// The R39218 model on a bare I2C segment, driven with the SMBus helpers.
#include <gtest/gtest.h>

#include <memory>

#include "i2c.h"
#include "r39218.h"

namespace {

constexpr uint8_t kAddr = 0x94;

class Chip : public ::testing::Test {
protected:
    Chip() : chip(std::make_unique<sim::R39218>()) { bus.Attach(chip.get()); }

    uint8_t Read(uint8_t reg)
    {
        uint8_t v = 0;
        EXPECT_TRUE(bus.ReadByteData(kAddr, reg, &v)) << "register " << int(reg);
        return v;
    }
    bool Write(uint8_t reg, uint8_t v) { return bus.WriteByteData(kAddr, reg, v); }
    void OpenSequential()
    {
        ASSERT_TRUE(Write(0x83, 0x03));
        ASSERT_TRUE(Write(0x80, 0x00));
        ASSERT_TRUE(Write(0x81, 0x00));
    }

    sim::I2cBus bus;
    std::unique_ptr<sim::R39218> chip;
};

TEST_F(Chip, IdentifiesItselfAndOnlyAtItsAddress)
{
    EXPECT_EQ(Read(0x87) << 8 | Read(0x86), 0x3921);
    uint8_t v = 0;
    EXPECT_FALSE(bus.ReadByteData(0x96, 0x86, &v));
    chip->button = 0x04;
    EXPECT_EQ(Read(0x08), 0x04);
    EXPECT_TRUE(Write(0x84, 0x00));
}

TEST_F(Chip, SelfTestStaysBusyForTheConfiguredReads)
{
    chip->selfTestBusyReads = 5;
    chip->selfTestResult = 0x55;
    EXPECT_EQ(Read(0x00), 0x00);  // not started yet
    ASSERT_TRUE(Write(0x00, 0x01));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Read(0x00), 0x01) << i;
    EXPECT_EQ(Read(0x00), 0x00);
    EXPECT_EQ(Read(0x01), 0x55);
}

TEST_F(Chip, RandomAccessStaysAtItsAddress)
{
    ASSERT_TRUE(Write(0x83, 0x01));
    ASSERT_TRUE(Write(0x80, 0x34));
    ASSERT_TRUE(Write(0x81, 0x12));
    ASSERT_TRUE(Write(0x82, 0x5A));
    EXPECT_EQ(chip->rom[0x1234], 0x5A);
    EXPECT_EQ(Read(0x82), 0x5A);
    EXPECT_EQ(Read(0x82), 0x5A);
    EXPECT_EQ(Read(0x83) & 0x03, 0x01);  // random access is not sequential
    // The factory image carries the signature and the version at the end.
    ASSERT_TRUE(Write(0x80, 0xFC));
    ASSERT_TRUE(Write(0x81, 0x1F));
    EXPECT_EQ(Read(0x82), 0x92);
    ASSERT_TRUE(Write(0x80, 0xFD));
    EXPECT_EQ(Read(0x82), 0x18);
}

TEST_F(Chip, SequentialAccessAdvancesAfterEveryDataByte)
{
    OpenSequential();
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(Write(0x82, (uint8_t)(0x10 + i)));
    EXPECT_EQ(chip->romAddress, 4);
    EXPECT_EQ(chip->rom[0], 0x10);
    EXPECT_EQ(chip->rom[3], 0x13);
    OpenSequential();
    EXPECT_EQ(Read(0x82), 0x10);
    EXPECT_EQ(Read(0x82), 0x11);
    EXPECT_EQ(Read(0x83) & 0x03, 0x03);
    ASSERT_TRUE(Write(0x83, 0x00));
    EXPECT_EQ(Read(0x83) & 0x03, 0x00);
    ASSERT_TRUE(Write(0x82, 0x77));  // closed: nothing is stored
    EXPECT_EQ(chip->romWrites, 4u);
}

TEST_F(Chip, SequentialAddressWrapsAtTheEndOfTheRom)
{
    ASSERT_TRUE(Write(0x83, 0x03));
    ASSERT_TRUE(Write(0x80, 0xFF));
    ASSERT_TRUE(Write(0x81, 0x1F));
    ASSERT_TRUE(Write(0x82, 0xAB));
    EXPECT_EQ(chip->rom[0x1FFF], 0xAB);
    EXPECT_EQ(chip->romAddress, 0);
}

TEST_F(Chip, WriteInProgressLastsTheConfiguredPolls)
{
    chip->writeBusyPolls = 3;
    OpenSequential();
    ASSERT_TRUE(Write(0x82, 0x01));
    EXPECT_EQ(Read(0x83), 0x13);
    EXPECT_EQ(Read(0x83), 0x13);
    EXPECT_EQ(Read(0x83), 0x13);
    EXPECT_EQ(Read(0x83), 0x03);
    chip->stuckBusy = true;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Read(0x83), 0x13);
}

TEST_F(Chip, NoAcknowledgeOnTheNthTransactionOnly)
{
    chip->nackTransaction = 3;
    EXPECT_TRUE(Write(0x84, 0));
    EXPECT_TRUE(Write(0x84, 0));
    EXPECT_FALSE(Write(0x84, 0));
    EXPECT_TRUE(Write(0x84, 0));
    uint8_t v = 0;
    // A read's repeated start is the same transaction.
    EXPECT_TRUE(bus.ReadByteData(kAddr, 0x86, &v));
    EXPECT_EQ(chip->transactions, 5u);
}

TEST_F(Chip, NoAcknowledgeForRomWritesFromAnAddressOn)
{
    chip->nackRomFrom = 2;
    chip->nackRomTimes = 1;
    OpenSequential();
    EXPECT_TRUE(Write(0x82, 0xA0));
    EXPECT_TRUE(Write(0x82, 0xA1));
    EXPECT_FALSE(Write(0x82, 0xA2));  // refused, the address stays
    EXPECT_EQ(chip->romAddress, 2);
    EXPECT_TRUE(Write(0x82, 0xA2));   // once only
    EXPECT_EQ(chip->rom[2], 0xA2);

    chip->nackRomTimes = sim::R39218::kForever;
    EXPECT_FALSE(Write(0x82, 0xA3));
    EXPECT_FALSE(Write(0x82, 0xA3));
    OpenSequential();
    EXPECT_EQ(Read(0x82), 0xA0);  // reads are not affected
}

TEST_F(Chip, CorruptsChosenReadsOfOneAddress)
{
    chip->rom[5] = 0x40;
    chip->corruptAddress = 5;
    chip->corruptOccurrences = 0b101;  // the first and the third read
    chip->corruptXor = 0x0F;
    ASSERT_TRUE(Write(0x83, 0x01));
    ASSERT_TRUE(Write(0x80, 0x05));
    ASSERT_TRUE(Write(0x81, 0x00));
    EXPECT_EQ(Read(0x82), 0x4F);
    EXPECT_EQ(Read(0x82), 0x40);
    EXPECT_EQ(Read(0x82), 0x4F);
    EXPECT_EQ(Read(0x82), 0x40);
    EXPECT_EQ(chip->rom[5], 0x40);  // the ROM itself is intact
}

TEST_F(Chip, DisappearsAtOnceOrAfterSomeTransactions)
{
    chip->vanishAfter = 2;
    EXPECT_TRUE(Write(0x84, 0));
    EXPECT_TRUE(Write(0x84, 0));
    EXPECT_FALSE(Write(0x84, 0));
    uint8_t v = 0;
    EXPECT_FALSE(bus.ReadByteData(kAddr, 0x86, &v));
    chip->Reset();
    EXPECT_TRUE(Write(0x84, 0));
    chip->present = false;
    EXPECT_FALSE(Write(0x84, 0));
}

// A chip built as a constant is fully initialised without code running: the
// test driver may hold one in static storage.
constinit sim::R39218 gStaticChip;

TEST(ChipStatic, IsConstantInitialised)
{
    EXPECT_EQ(gStaticChip.address8, 0x94);
    EXPECT_EQ(gStaticChip.rom[0x1FFC], 0x92);
    EXPECT_EQ(gStaticChip.rom[0], 0xFF);
}

}  // namespace
