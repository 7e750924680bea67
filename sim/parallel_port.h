// A PC parallel port with an I2C adapter on two of its lines: SDA on data
// bit 0 (readable when control bit 5 turns the data port into an input) and
// SCL on control bit 0, which the port inverts on its way to the connector.
// Both feed an I2cWire.
#ifndef SIM_PARALLEL_PORT_H
#define SIM_PARALLEL_PORT_H

#include <stdint.h>

#include "i2c_wire.h"
#include "machine.h"

namespace sim {

class ParallelPort : public PortDevice {
public:
    static constexpr uint16_t kPortCount = 3;   // data, status, control
    static constexpr uint16_t kDataOffset = 0;
    static constexpr uint16_t kStatusOffset = 1;
    static constexpr uint16_t kControlOffset = 2;
    static constexpr uint8_t kDataSda = 0x01;        // data bit 0: SDA
    static constexpr uint8_t kControlStrobe = 0x01;  // control bit 0: set pulls SCL low
    static constexpr uint8_t kControlInput = 0x20;   // control bit 5: data port is an input

    // Claims the three registers at base and puts the current levels on the wire.
    bool Connect(Machine& machine, uint16_t base, I2cWire* wire);

    uint8_t In8(uint16_t port) override;
    void Out8(uint16_t port, uint8_t value) override;

    uint8_t data = 0xFF;      // output latch of the data port
    uint8_t control = 0x0C;   // nInit high, SelectIn set, SCL released, port driving
    uint8_t status = 0x7F;    // read-only status lines
    uint8_t floatingPins = 0xFE;  // data pins 1-7 as read when the port is an input

private:
    void Update();

    uint16_t base = 0;
    I2cWire* wire = nullptr;
};

}  // namespace sim

#endif
