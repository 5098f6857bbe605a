// Preloaded into the launcher by the tests: a window system that never lets the program go.
// Qt closes its connection to the X server while it tears down; that call never returns here.

#include <unistd.h>

extern "C" int XCloseDisplay(void*)
{
    for (;;)
        ::pause();
}
