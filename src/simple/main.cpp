// kdxa-utility: the driver behind the single-model window for KDXA displays.

#include "DesktopApp.h"
#include "PortLock.h"
#include "TrafficWindow.h"
#include "WidgetDialogs.h"
#include "frmMainKDXA.h"
#include "mod_InitKDXA.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    const platform::desktop::Program program {QStringLiteral("kdxa-utility"), QStringLiteral(KDX_DESKTOP_ID),
        QStringLiteral("Set the cursor, clear cells and send messages to a KDXA customer display."), QString(), {}};
    if (const auto status = platform::desktop::answerCommandLine(argc, argv, program))
        return *status;
    QApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    platform::desktop::setUp(program);
    platform::WidgetDialogs::install();
    monitor::TrafficWindow::installTap();
    const std::unique_ptr<frmMainKDXA> window(mod_InitKDXA::Main());
    return app.exec();
}
