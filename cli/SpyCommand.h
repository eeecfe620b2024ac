#pragma once

#include "Commands.h"

namespace kdxctl {

// kdxctl --port REAL spy [--as COM<n>] [--screen]: another program opens COM<n>
// and drives the display on REAL through us; every exchange is printed decoded
// on standard output (and appended to --trace-file) until Ctrl+C or a hang-up.
Command spyCommand();

} // namespace kdxctl
