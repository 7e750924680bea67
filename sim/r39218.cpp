#include "r39218.h"

namespace sim {

bool R39218::Start(uint8_t address)
{
    const bool repeated = inTransaction;
    busBits += 1 + kBitsPerByte;
    inTransaction = false;
    expectCommand = false;
    if (!repeated) {
        ++transactions;
        if (vanishAfter != 0 && transactions > vanishAfter)
            present = false;
    }
    if (!present || (!repeated && transactions == nackTransaction)) {
        ++nacks;
        return false;
    }
    inTransaction = true;
    // A write transaction begins with the register number.
    expectCommand = (address & 1) == 0;
    return true;
}

bool R39218::Write(uint8_t value)
{
    busBits += kBitsPerByte;
    if (!present) {
        ++nacks;
        return false;
    }
    if (expectCommand) {
        reg = value;
        expectCommand = false;
        return true;
    }
    if (!WriteRegister(reg, value)) {
        ++nacks;
        return false;
    }
    return true;
}

uint8_t R39218::Read(bool masterAck)
{
    (void)masterAck;
    busBits += kBitsPerByte;
    return present ? ReadRegister(reg) : 0xFF;
}

void R39218::Stop()
{
    ++busBits;
    inTransaction = false;
    expectCommand = false;
}

void R39218::Advance() { romAddress = (uint16_t)((romAddress + 1) & kRomAddressMask); }

bool R39218::RomNacks()
{
    if (nackRomFrom < 0 || romAddress < nackRomFrom || nackRomTimes == 0)
        return false;
    if (nackRomTimes != kForever)
        --nackRomTimes;
    return true;
}

uint8_t R39218::ReadRegister(uint8_t r)
{
    switch (r) {
    case kRegSelfTest:
        if (selfTestReadsLeft > 0) {
            --selfTestReadsLeft;
            return kSelfTestRunning;
        }
        return 0x00;
    case kRegSelfTestResult: return selfTestResult;
    case kRegButton: return button;
    case kRegRomAddrLow: return (uint8_t)romAddress;
    case kRegRomAddrHigh: return (uint8_t)(romAddress >> 8);
    case kRegRomData: {
        if (mode == kModeClosed)
            return kErasedByte;
        uint8_t v = rom[romAddress];
        if ((int32_t)romAddress == corruptAddress) {
            if (corruptSeen < 32 && ((corruptOccurrences >> corruptSeen) & 1))
                v ^= corruptXor;
            ++corruptSeen;
        }
        ++romReads;
        if (mode == kModeSequential)
            Advance();
        return v;
    }
    case kRegRomMode: {
        ++statusPolls;
        uint8_t status = mode == kModeSequential ? kStatusSequential : (uint8_t)(mode & kModeRandom);
        if (stuckBusy) {
            status |= kStatusWriteBusy;
        } else if (busyPollsLeft > 0) {
            --busyPollsLeft;
            status |= kStatusWriteBusy;
        }
        return status;
    }
    case kRegIdLow: return (uint8_t)(chipId & 0xFF);
    case kRegIdHigh: return (uint8_t)(chipId >> 8);
    default: return 0x00;
    }
}

bool R39218::WriteRegister(uint8_t r, uint8_t value)
{
    switch (r) {
    case kRegSelfTest:
        if (value == kSelfTestStart)
            selfTestReadsLeft = selfTestBusyReads;
        return true;
    case kRegRomAddrLow:
        romAddress = (uint16_t)(((romAddress & 0xFF00) | value) & kRomAddressMask);
        return true;
    case kRegRomAddrHigh:
        romAddress = (uint16_t)(((uint16_t)value << 8 | (romAddress & 0xFF)) & kRomAddressMask);
        return true;
    case kRegRomData:
        if (RomNacks())
            return false;
        if (mode == kModeClosed)
            return true;
        rom[romAddress] = value;
        ++romWrites;
        busyPollsLeft = writeBusyPolls;
        if (mode == kModeSequential)
            Advance();
        return true;
    case kRegRomMode:
        mode = (value == kModeRandom || value == kModeSequential) ? value : kModeClosed;
        return true;
    default:
        // 0x84 and the others are accepted and change nothing.
        return true;
    }
}

}  // namespace sim
