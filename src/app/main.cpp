#include "DesktopApp.h"
#include "PortLock.h"
#include "TrafficWindow.h"
#include "WidgetDialogs.h"
#include "mod_Init.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const platform::desktop::Program program {QStringLiteral("kdx-utility"), QStringLiteral(KDX_DESKTOP_ID),
        QStringLiteral("Configure and test a KDXB serial customer display: opens the utility's window."),
        QStringLiteral("      --vt100    open the VT100 Mode Test window instead, on the port, baud rate and\n"
                       "                 parity saved by the utility (a display running VT100 firmware)\n"),
        {QStringLiteral("--vt100")}};
    if (const auto status = platform::desktop::answerCommandLine(argc, argv, program))
        return *status;
    QApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    platform::desktop::setUp(program);
    platform::WidgetDialogs::install();
    monitor::TrafficWindow::installTap();
    if (QCoreApplication::arguments().contains(QStringLiteral("--vt100")))
        mod_Init::MainVT100();
    else
        mod_Init::Main();
    return app.exec();
}
