#include "parallel_port.h"

namespace sim {

bool ParallelPort::Connect(Machine& machine, uint16_t base, I2cWire* wire)
{
    this->base = base;
    this->wire = wire;
    Update();
    return machine.Claim(base, kPortCount, this);
}

void ParallelPort::Update()
{
    if (wire == nullptr)
        return;
    const bool sdaReleased = (control & kControlInput) != 0;
    const bool sda = sdaReleased || (data & kDataSda) != 0;
    const bool scl = (control & kControlStrobe) == 0;
    wire->Drive(sda, scl);
}

uint8_t ParallelPort::In8(uint16_t port)
{
    switch ((uint16_t)(port - base)) {
    case kDataOffset:
        if ((control & kControlInput) == 0)
            return data;  // an output port reads back its latch
        return (uint8_t)((floatingPins & ~kDataSda) | (wire != nullptr && !wire->Sda() ? 0 : kDataSda));
    case kStatusOffset:
        return status;
    default:
        return control;
    }
}

void ParallelPort::Out8(uint16_t port, uint8_t value)
{
    switch ((uint16_t)(port - base)) {
    case kDataOffset:
        data = value;
        break;
    case kStatusOffset:
        return;  // read-only
    default:
        control = value;
        break;
    }
    Update();
}

}  // namespace sim
