#include "mod_Init.h"

#include "frmMain.h"
#include "frmVT100.h"

#include <QCoreApplication>

namespace mod_Init {

namespace {

frmMain *mainWindow()
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
    return window;
}

} // namespace

void Main()
{
    mainWindow()->show();
}

void MainVT100()
{
    g_KDXType = 11;
    // Made, never shown: loading it hands the saved settings to its driver.
    auto *settings = new frmMain;
    auto *test = new frmVT100(settings->kdx());
    QObject::connect(test, &QObject::destroyed, settings, &QObject::deleteLater);
    test->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(test, &QDialog::finished, QCoreApplication::instance(), &QCoreApplication::quit);
    test->show();
}

} // namespace mod_Init
