#pragma once

#include "KDXType.h"

namespace mod_Init {

// Start-up of kdx-utility: selector 11, then the main window, modeless.
void Main();

} // namespace mod_Init
