// Transfer routing: interprets the operation code of the working record,
// splits the composite operations into single reads and writes, and sends
// each to the engine of the selected adapter.
#include "orvane_engines.h"

namespace {

using Engine = NTSTATUS (*)(OrvaneDeviceExtension*);

enum class Family : UCHAR { None, Chipset, Parallel, Gpio };

struct FamilyRow {
    ULONG interfaceType;
    Family family;
};

constexpr FamilyRow kFamilies[] = {
    {ORVANE_IF_INTEL, Family::Chipset},       {ORVANE_IF_PARALLEL, Family::Parallel},
    {ORVANE_IF_GPIO_A, Family::Gpio},         {ORVANE_IF_GPIO_B, Family::Gpio},
    {ORVANE_IF_GPIO_C, Family::Gpio},         {ORVANE_IF_NVIDIA_1, Family::Chipset},
    {ORVANE_IF_NVIDIA_2, Family::Chipset},    {ORVANE_IF_VIA, Family::Chipset},
    {ORVANE_IF_RESERVED_11, Family::Chipset}, {ORVANE_IF_SIS, Family::Chipset},
    {ORVANE_IF_ALI, Family::Chipset},         {ORVANE_IF_AMD, Family::Chipset},
};

using BlockWriteLimit = ULONG (*)(const OrvaneDeviceExtension*);

struct VendorRow {
    USHORT vendorId;
    Engine read;
    Engine write;
    BlockWriteLimit blockWriteLimit;  // nullptr: BlockBuffer is the only limit
};

// SMBus host engines by the chipset bridge's vendor.
constexpr VendorRow kVendors[] = {
    {0x8086, SmbusIntelRead, SmbusIntelWrite, SmbusIntelBlockWriteLimit},  // Intel
    {0x1022, SmbusAmdRead, SmbusAmdViaWrite, nullptr},                     // AMD
    {0x1106, SmbusViaRead, SmbusAmdViaWrite, nullptr},                     // VIA
    {0x1039, SmbusSisRead, SmbusSisWrite, nullptr},                        // SiS
    {0x10B9, SmbusAliRead, SmbusAliWrite, nullptr},                        // ALi
    {0x10DE, SmbusNvidiaRead, SmbusNvidiaWrite, nullptr},                  // NVIDIA
};

struct BitBangRow {
    Family family;
    Engine read;
    Engine write;
};

constexpr BitBangRow kBitBanged[] = {
    {Family::Parallel, LptI2cRead, LptI2cWrite},
    {Family::Gpio, GpioI2cRead, GpioI2cWrite},
};

constexpr int kDumpBlockStride = 14;      // bytes per block of a register dump
constexpr LONG kDumpBlockLength = 15;     // BlockLength of those blocks

Family FamilyOf(ULONG interfaceType)
{
    for (const FamilyRow& row : kFamilies)
        if (row.interfaceType == interfaceType)
            return row.family;
    return Family::None;
}

Engine Choose(const OrvaneDeviceExtension* ext, bool write)
{
    const Family family = FamilyOf(ext->InterfaceType);
    if (family == Family::Chipset) {
        for (const VendorRow& row : kVendors)
            if (row.vendorId == ext->ChipsetBridge.VendorId)
                return write ? row.write : row.read;
        return nullptr;
    }
    for (const BitBangRow& row : kBitBanged)
        if (row.family == family)
            return write ? row.write : row.read;
    return nullptr;
}

// Records whose block fields lie outside the record's limits are refused
// before anything reaches the bus, so that no engine step and no copy reaches
// outside RegisterImage and BlockBuffer: a block read moves 1 to 14 bytes
// ending at register 255 at the latest, a block write fits the buffer from its
// offset on and whatever block window the vendor's engine has.
// Operations that do not use these fields do not look at them.
constexpr LONG kBlockLengthMin = 1;

bool BlockFieldsInRange(const OrvaneDeviceExtension* ext)
{
    const OrvaneTransfer& t = ext->Transfer;
    const LONG offset = t.BlockOffset;
    const bool offsetInRange = offset >= 0 && offset < ORVANE_REGISTER_COUNT;
    switch (t.CommandCode) {
    case ORVANE_OP_READ_BLOCK:
        return offsetInRange && t.BlockLength >= kBlockLengthMin && t.BlockLength <= ORVANE_BLOCK_MAX_LENGTH &&
               offset + t.BlockLength - 1 <= ORVANE_REGISTER_COUNT;
    case ORVANE_OP_WRITE_BLOCK: {
        if (!offsetInRange || t.BlockWriteCount > (ULONG)(ORVANE_REGISTER_COUNT - offset))
            return false;
        if (FamilyOf(ext->InterfaceType) != Family::Chipset)
            return true;
        for (const VendorRow& row : kVendors)
            if (row.vendorId == ext->ChipsetBridge.VendorId && row.blockWriteLimit != nullptr)
                return t.BlockWriteCount <= row.blockWriteLimit(ext);
        return true;
    }
    }
    return true;
}

}  // namespace

NTSTATUS OrvaneEngineRead(OrvaneDeviceExtension* ext)
{
    const Engine engine = Choose(ext, false);
    return engine != nullptr ? engine(ext) : STATUS_UNSUCCESSFUL;
}

NTSTATUS OrvaneEngineWrite(OrvaneDeviceExtension* ext)
{
    const Engine engine = Choose(ext, true);
    return engine != nullptr ? engine(ext) : STATUS_UNSUCCESSFUL;
}

NTSTATUS OrvaneExecuteTransfer(OrvaneDeviceExtension* ext)
{
    OrvaneTransfer& t = ext->Transfer;
    if (t.CommandCode < ORVANE_OP_DUMP_BYTES || t.CommandCode > ORVANE_OP_DUMP_BLOCKS)
        return STATUS_INVALID_DEVICE_REQUEST;  // nothing goes on the bus
    if (!BlockFieldsInRange(ext))
        return STATUS_INVALID_PARAMETER;

    switch (t.CommandCode) {
    case ORVANE_OP_DUMP_BYTES:
        t.CommandCode = ORVANE_OP_READ_BYTE;
        for (ULONG reg = 0; reg < ORVANE_REGISTER_COUNT; ++reg) {
            t.IoPort = (USHORT)reg;
            if (!NT_SUCCESS(OrvaneEngineRead(ext)))
                return STATUS_UNSUCCESSFUL;
            // A timed-out read stores whatever InputValue holds.
            t.RegisterImage[reg] = (UCHAR)t.InputValue;
        }
        return STATUS_SUCCESS;

    case ORVANE_OP_READ_BYTE:
    case ORVANE_OP_READ_WORD:
        return OrvaneEngineRead(ext);

    case ORVANE_OP_WRITE_BYTE:
    case ORVANE_OP_WRITE_WORD:
        // The write's own status is not reported: the read-back decides.
        (void)OrvaneEngineWrite(ext);
        t.CommandCode = t.CommandCode == ORVANE_OP_WRITE_BYTE ? ORVANE_OP_READ_BYTE : ORVANE_OP_READ_WORD;
        return OrvaneEngineRead(ext);

    case ORVANE_OP_READ_BLOCK: {
        const NTSTATUS status = OrvaneEngineRead(ext);
        // Copy what the engines stored: they start a block no higher than
        // register 242, so the copy follows that start, whatever the status.
        const ULONG start = OrvaneBlockReadStart(&t);
        const ULONG count = OrvaneBlockReadCount(&t);
        for (ULONG i = 0; i < count; ++i)
            t.RegisterImage[start + i] = t.BlockBuffer[start + i];
        return status;
    }

    case ORVANE_OP_WRITE_BLOCK:
        return OrvaneEngineWrite(ext);

    case ORVANE_OP_DUMP_BLOCKS:
        t.CommandCode = ORVANE_OP_READ_BLOCK;
        t.BlockLength = kDumpBlockLength;
        for (LONG offset = 0; offset < ORVANE_REGISTER_COUNT; offset += kDumpBlockStride) {
            t.BlockOffset = offset;
            if (!NT_SUCCESS(OrvaneEngineRead(ext)))
                return STATUS_UNSUCCESSFUL;
        }
        for (ULONG i = 0; i < ORVANE_REGISTER_COUNT; ++i)
            t.RegisterImage[i] = t.BlockBuffer[i];
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}
