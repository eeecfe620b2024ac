#include "DesktopApp.h"
#include "PortLock.h"
#include "TrafficWindow.h"
#include "WidgetDialogs.h"
#include "mod_Init.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const platform::desktop::Program program {QStringLiteral("kdx-utility"), QStringLiteral(KDX_DESKTOP_ID),
        QStringLiteral("Configure and test a KDXB serial customer display: opens the utility's window.")};
    if (const auto status = platform::desktop::answerCommandLine(argc, argv, program))
        return *status;
    QApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    platform::desktop::setUp(program);
    platform::WidgetDialogs::install();
    monitor::TrafficWindow::installTap();
    mod_Init::Main();
    return app.exec();
}
