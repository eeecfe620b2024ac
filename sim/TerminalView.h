#pragma once

#include <QString>

namespace kdxsim {

class Display;

// Draws the display as a framed box with its status below, for the terminal
// kdx-sim runs in. With ansi set, the cursor cell is underlined and reversed
// cells are shown reversed; blinkOff blanks the text as a blinking display does.
class TerminalView
{
public:
    static QString render(const Display &display, bool ansi, bool blinkOff = false);
};

} // namespace kdxsim
