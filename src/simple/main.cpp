// kdxa-utility: the driver behind the single-model window for KDXA displays.

#include "PortLock.h"
#include "WidgetDialogs.h"
#include "frmMainKDXA.h"
#include "mod_InitKDXA.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    platform::WidgetDialogs::install();
    const std::unique_ptr<frmMainKDXA> window(mod_InitKDXA::Main());
    return app.exec();
}
