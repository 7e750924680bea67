// The real clock behind the test driver's board.
#ifndef TESTS_WINE_DRIVER_REAL_CLOCK_H
#define TESTS_WINE_DRIVER_REAL_CLOCK_H

#include "machine.h"

namespace test_boards {

// From now on the machine's clock keeps up with the real one.
void UseRealClock(sim::Machine* machine);

}  // namespace test_boards

#endif
