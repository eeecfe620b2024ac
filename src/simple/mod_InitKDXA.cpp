#include "mod_InitKDXA.h"

#include "AppInfo.h"
#include "frmMainKDXA.h"

namespace mod_InitKDXA {

frmMainKDXA *Main()
{
    // The settings store and the message boxes go by this name.
    platform::app::setTitle(QStringLiteral("KDXA Utility"));
    auto *window = new frmMainKDXA;
    window->show();
    return window;
}

} // namespace mod_InitKDXA
