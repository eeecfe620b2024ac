#include "mod_Init.h"

#include "frmMain.h"

#include <QCoreApplication>

namespace mod_Init {

void Main()
{
    static frmMain *window = nullptr;
    g_KDXType = 11;
    if (!window) {
        window = new frmMain;
        // Gone before the application object, whose end it must not outlive.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
            delete window;
            window = nullptr;
        });
    }
    window->show();
}

} // namespace mod_Init
