// Transfer routing: interprets the operation code of the working record and
// sends each read and write to the engine of the selected adapter.
#include "orvane_core.h"

NTSTATUS OrvaneExecuteTransfer(OrvaneDeviceExtension* ext)
{
    const UCHAR op = ext->Transfer.CommandCode;
    if (op < ORVANE_OP_DUMP_BYTES || op > ORVANE_OP_DUMP_BLOCKS)
        return STATUS_INVALID_DEVICE_REQUEST;  // nothing goes on the bus
    // No engine is wired in yet: no adapter can carry the transfer.
    return STATUS_UNSUCCESSFUL;
}
