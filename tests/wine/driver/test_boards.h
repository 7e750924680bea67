// The board behind the bus seam of the Wine-hosted test driver: one of the
// simulator's ready-made boards, named by the service's Parameters\Board
// value (the Intel board without one), with models on its adapter's ports.
// Two more names give the Intel board with a controller that misbehaves:
// "intel-reject-once" leaves one ROM byte unacknowledged the first time it is
// written, "intel-bad-signature" holds a ROM without the R39218 signature.
// Built once per driver load, in static storage.
#ifndef TESTS_WINE_DRIVER_TEST_BOARDS_H
#define TESTS_WINE_DRIVER_TEST_BOARDS_H

#include "machine.h"
#include "r39218.h"

namespace test_boards {

// Builds the board of that name (length in characters, case ignored), or the
// default board when name is nullptr. Returns its machine; nullptr for a name
// that no board has.
sim::Machine* Build(const WCHAR* name, ULONG length);

// The controller of the board built last; nullptr before the first build.
sim::R39218* Chip();

}  // namespace test_boards

#endif
