#pragma once

class frmMainKDXA;

// Start-up of kdxa-utility: the single-model window in place of the main
// configuration window.
namespace mod_InitKDXA {

// Names the application "KDXA Utility", then creates the window and shows it,
// modeless and without an owner. The caller owns the window.
frmMainKDXA *Main();

} // namespace mod_InitKDXA
