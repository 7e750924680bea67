// Prints the names of the simulator's ready-made boards, one a line: the
// values the test driver's Parameters\Board accepts. The session harness
// starts the test driver once on each.
#include <stdio.h>

#include "boards.h"

// The simulated PC's time-out timer calls the driver's DPC routine; no timer
// runs here.
extern "C" void OrvaneTimeoutDpc(KDPC*, PVOID, PVOID, PVOID) {}

int main()
{
    for (int i = 0; const sim::BoardSpec* spec = sim::BoardAt(i); ++i)
        printf("%s\n", spec->name);
    return 0;
}
