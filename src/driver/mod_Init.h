#pragma once

#include <QtGlobal>

// The display-type selector: which model the main window serves. Main sets 11 (KDXB) at
// start-up; only the main window's hidden display-type list changes it.
extern qint32 g_KDXType;

namespace mod_Init {

// Start-up of kdx-utility: selector 11, then the main window, modeless.
void Main();

} // namespace mod_Init
