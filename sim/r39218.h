// The R39218 controller IC as an SMBus target: byte-data registers for the
// identification, the self-test and the button, and an 8 KiB ROM reached by
// random access (address registers, data register) or sequential access
// (the address advances after each data byte). A data write keeps the
// write-in-progress bit set for a number of status polls.
//
// Faults a test can inject: no acknowledge on the n-th transaction, no
// acknowledge for ROM data writes from an address on (a number of times or for
// ever), a write-in-progress bit that never clears, corrupted read-backs of
// one address on chosen occurrences, and a chip that disappears (at once or
// after a number of transactions).
#ifndef SIM_R39218_H
#define SIM_R39218_H

#include <stdint.h>

#include "i2c.h"

namespace sim {

class R39218 : public I2cTarget {
public:
    // Register map.
    static constexpr uint8_t kRegSelfTest = 0x00;
    static constexpr uint8_t kRegSelfTestResult = 0x01;
    static constexpr uint8_t kRegButton = 0x08;
    static constexpr uint8_t kRegRomAddrLow = 0x80;
    static constexpr uint8_t kRegRomAddrHigh = 0x81;
    static constexpr uint8_t kRegRomData = 0x82;
    static constexpr uint8_t kRegRomMode = 0x83;   // write: mode; read: status
    static constexpr uint8_t kRegRomPrepare = 0x84;
    static constexpr uint8_t kRegIdLow = 0x86;
    static constexpr uint8_t kRegIdHigh = 0x87;

    static constexpr uint8_t kModeClosed = 0x00;
    static constexpr uint8_t kModeRandom = 0x01;
    static constexpr uint8_t kModeSequential = 0x03;
    static constexpr uint8_t kStatusSequential = 0x03;
    static constexpr uint8_t kStatusWriteBusy = 0x10;
    static constexpr uint8_t kSelfTestStart = 0x01;
    static constexpr uint8_t kSelfTestRunning = 0x01;
    static constexpr uint8_t kSelfTestPass = 0xAA;
    static constexpr uint8_t kSelfTestFail = 0x55;
    static constexpr uint16_t kChipId = 0x3921;

    static constexpr int kRomSize = 8192;
    static constexpr uint16_t kRomAddressMask = kRomSize - 1;
    static constexpr uint16_t kSignatureAddr = 0x1FFC;   // 0x92, 0x18
    static constexpr uint16_t kVersionAddr = 0x1FFE;
    static constexpr uint16_t kSubVersionAddr = 0x1FFF;
    static constexpr uint8_t kDefaultAddress8 = 0x94;
    static constexpr uint8_t kErasedByte = 0xFF;
    static constexpr uint32_t kForever = 0xFFFFFFFFu;
    static constexpr int kBitsPerByte = 9;  // eight data bits and the acknowledge

    constexpr R39218() { Reset(); }

    // Power-on state: erased ROM with the signature, version 1.0, no faults.
    constexpr void Reset()
    {
        address8 = kDefaultAddress8;
        for (int i = 0; i < kRomSize; ++i)
            rom[i] = kErasedByte;
        rom[kSignatureAddr] = 0x92;
        rom[kSignatureAddr + 1] = 0x18;
        rom[kVersionAddr] = 0x01;
        rom[kSubVersionAddr] = 0x00;
        mode = kModeClosed;
        romAddress = 0;
        busyPollsLeft = 0;
        selfTestReadsLeft = 0;
        selfTestResult = kSelfTestPass;
        selfTestBusyReads = 3;
        writeBusyPolls = 2;
        button = 0;
        chipId = kChipId;
        present = true;
        nackTransaction = 0;
        nackRomFrom = -1;
        nackRomTimes = 0;
        stuckBusy = false;
        corruptAddress = -1;
        corruptOccurrences = 0;
        corruptXor = 0x01;
        vanishAfter = 0;
        transactions = 0;
        romWrites = 0;
        romReads = 0;
        statusPolls = 0;
        nacks = 0;
        corruptSeen = 0;
        busBits = 0;
        inTransaction = false;
        expectCommand = false;
        reg = 0;
    }

    bool Start(uint8_t address) override;
    bool Write(uint8_t value) override;
    uint8_t Read(bool masterAck) override;
    void Stop() override;

    // Configuration.
    uint8_t rom[kRomSize] = {};
    uint8_t selfTestResult = kSelfTestPass;
    uint32_t selfTestBusyReads = 3;  // reads of register 0x00 that still show the test running
    uint32_t writeBusyPolls = 2;     // status reads with the write-in-progress bit after a data write
    uint8_t button = 0;
    uint16_t chipId = kChipId;       // what 0x87:0x86 report

    // Faults.
    bool present = true;             // false: acknowledges nothing
    uint32_t nackTransaction = 0;    // 1-based transaction number whose address is not acknowledged
    int32_t nackRomFrom = -1;        // ROM data writes at or above this address are not acknowledged...
    uint32_t nackRomTimes = 0;       // ...this many times (kForever: always)
    bool stuckBusy = false;          // the write-in-progress bit never clears
    int32_t corruptAddress = -1;     // data reads of this ROM address...
    uint32_t corruptOccurrences = 0; // ...come back wrong on these occurrences (bit n: the n+1-th read)
    uint8_t corruptXor = 0x01;       // ...flipped by this mask
    uint32_t vanishAfter = 0;        // the chip disappears after this many transactions (0: never)

    // Observation.
    uint8_t mode = kModeClosed;
    uint16_t romAddress = 0;
    uint32_t transactions = 0;       // transactions addressed to the chip
    uint32_t romWrites = 0;          // data bytes stored into the ROM
    uint32_t romReads = 0;           // data bytes read from the ROM
    uint32_t statusPolls = 0;        // reads of the status register
    uint32_t nacks = 0;              // bytes or addresses not acknowledged
    uint32_t corruptSeen = 0;        // reads of corruptAddress so far
    uint64_t busBits = 0;            // bit times of the traffic addressed to the chip: start, bytes with acknowledge, stop

private:
    uint8_t ReadRegister(uint8_t r);
    bool WriteRegister(uint8_t r, uint8_t value);
    bool RomNacks();
    void Advance();

    uint32_t busyPollsLeft = 0;
    uint32_t selfTestReadsLeft = 0;
    bool inTransaction = false;
    bool expectCommand = false;
    uint8_t reg = 0;
};

}  // namespace sim

#endif
