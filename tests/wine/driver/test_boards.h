// The boards the Wine-hosted test driver can put behind its bus seam. The
// service's Parameters\Board value names one; without it the default board
// is built. Each board is built once per driver load, in static storage.
#ifndef TESTS_WINE_DRIVER_TEST_BOARDS_H
#define TESTS_WINE_DRIVER_TEST_BOARDS_H

#include "machine.h"

namespace test_boards {

struct Board {
    const WCHAR* name;
    sim::Machine* (*build)();
};

// Finds a board by name (length in characters, case ignored); nullptr if none.
const Board* Find(const WCHAR* name, ULONG length);
const Board& Default();

}  // namespace test_boards

#endif
