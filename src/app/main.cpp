#include "PortLock.h"
#include "WidgetDialogs.h"
#include "mod_Init.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    platform::WidgetDialogs::install();
    mod_Init::Main();
    return app.exec();
}
