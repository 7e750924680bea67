// The SMBus host-controller models of the Intel, AMD, VIA, ALi, SiS and NVIDIA
// boards, put on a ready-made board at the bases its spec names: one object
// holds a model of each kind, and Equip wires the one the board's chipset has
// (both channels on NVIDIA boards, the data-register layout of the SiS
// bridge) onto the board's SMBus segments.
#ifndef SIM_CHIPSET_HOSTS_H
#define SIM_CHIPSET_HOSTS_H

#include "boards.h"
#include "smbus_hosts.h"

namespace sim {

struct ChipsetHosts {
    static constexpr uint16_t kSis968IsaDeviceId = 0x0968;  // bridges with the data at +0x10

    IntelSmbus intel;
    Intel8119Smbus intel8119;
    AmdViaSmbus amd;
    AliSmbus ali;
    SisSmbus sis;
    NvidiaSmbus nvidia[2];

    // False for a board of another adapter or when its ports cannot be claimed.
    bool Equip(Board& board);
    // The model's bus side on the given channel (the second one on NVIDIA
    // only), for fault injection; nullptr before Equip.
    SmbusSequencer* Sequencer(bool secondChannel = false) { return secondChannel ? second : first; }

private:
    SmbusSequencer* first = nullptr;
    SmbusSequencer* second = nullptr;
};

}  // namespace sim

#endif
