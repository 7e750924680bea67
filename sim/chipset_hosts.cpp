#include "chipset_hosts.h"

namespace sim {

bool ChipsetHosts::Equip(Board& board)
{
    Machine* m = &board.machine;
    const BoardSpec* spec = board.spec;
    first = second = nullptr;
    switch (spec->host) {
    case BoardHost::Intel:
        intel.Connect(m, spec->hostBase, &board.smbus);
        first = &intel.seq;
        return board.AttachHost(&intel);
    case BoardHost::Intel8119:
        intel8119.Connect(m, spec->hostBase, &board.smbus);
        first = &intel8119.seq;
        return board.AttachHost(&intel8119);
    case BoardHost::Amd:
    case BoardHost::Via:
        amd.Connect(m, spec->hostBase, &board.smbus);
        first = &amd.seq;
        return board.AttachHost(&amd);
    case BoardHost::Ali:
        ali.Connect(m, spec->hostBase, &board.smbus);
        first = &ali.seq;
        return board.AttachHost(&ali);
    case BoardHost::Sis: {
        bool moved = false;
        for (const BoardFunction& f : spec->functions)
            if (f.vendorId == 0x1039 && f.deviceId == kSis968IsaDeviceId)
                moved = true;
        sis.Connect(m, spec->hostBase, &board.smbus, moved ? SisSmbus::Variant::DataAt10 : SisSmbus::Variant::DataAt8);
        first = &sis.seq;
        return board.AttachHost(&sis);
    }
    case BoardHost::Nvidia:
        nvidia[0].Connect(m, spec->hostBase, &board.smbus);
        nvidia[1].Connect(m, spec->hostBase2, &board.smbus2);
        first = &nvidia[0].seq;
        second = &nvidia[1].seq;
        return board.AttachHost(&nvidia[0]) && board.AttachHost(&nvidia[1], true);
    default:
        return false;
    }
}

}  // namespace sim
