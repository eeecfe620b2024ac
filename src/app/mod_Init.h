#pragma once

#include "KDXType.h"

namespace mod_Init {

// Start-up of kdx-utility: selector 11, then the main window, modeless.
void Main();

// Start-up with --vt100: selector 11, and the VT100 test window on its own,
// on the port, rate and parity the main window has saved. The main window is
// made but not shown (its lists hand the saved settings to its driver), so its
// own VT100 button stays as hidden as ever. Closing the test window ends the
// program.
void MainVT100();

} // namespace mod_Init
