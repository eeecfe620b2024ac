// Opens the main window as the utility does, on a chosen tab, and optionally
// presses some of its buttons first: the screenshots of docs/ are taken of it.
//   show-main-window [--tab N] [--message TEXT] [--click objectName]...
//                    [--traffic] [--firmware FILE [--ready FILE]]
// --traffic records the line from the start and opens the Traffic window after
// the clicks. --firmware then puts the main window away and starts an update
// with FILE in the firmware window, the Traffic window beside it; --ready is
// created once the transfer is a quarter of the way through, for the picture.
// The windows speak the locale's language, as the utility's do.

#include "DesktopApp.h"
#include "LimitedTextEdit.h"
#include "TrafficWindow.h"
#include "WidgetDialogs.h"
#include "frmFirmwareUpdate.h"
#include "frmMain.h"
#include "mod_Init.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

namespace {

// Starts the update in a firmware window of its own (no password: this is not
// the utility) and opens the Traffic window to its right.
void startFirmwareUpdate(frmMain &w, const QString &file, const QString &ready)
{
    w.hide();
    auto *update = new frmFirmwareUpdate(w.kdx(), &w);
    update->move(0, 0);
    update->show();
    update->findChild<QLineEdit *>(QStringLiteral("txtFile"))->setText(file);
    update->findChild<QComboBox *>(QStringLiteral("cboProtocol"))->setCurrentIndex(1);
    monitor::TrafficWindow *traffic = monitor::TrafficWindow::open();
    traffic->move(update->frameGeometry().topRight() + QPoint(8, 0));
    // Tall enough for the loader dialogue and the first blocks together.
    traffic->resize(traffic->width(), traffic->height() + 8 * (traffic->fontMetrics().height() + 4));
    if (!ready.isEmpty()) {
        // Ready when the phase beside the bar has just moved on, past a quarter:
        // the table, brought up to date then, ends with the same block.
        auto *bar = update->findChild<QProgressBar *>(QStringLiteral("pb"));
        auto *phase = update->findChild<QLabel *>(QStringLiteral("lblPhase"));
        auto *poll = new QTimer(update);
        QObject::connect(poll, &QTimer::timeout, update, [=, last = QString()]() mutable {
            const bool moved = phase->text() != last;
            last = phase->text();
            if (!moved || bar->value() < 25)
                return;
            poll->stop();
            traffic->flush();
            traffic->repaint();
            update->repaint();
            QGuiApplication::sync();
            QFile(ready).open(QIODevice::WriteOnly);
            // Held still while the picture is taken, so the table cannot run
            // ahead of the phase; the script ends the program afterwards.
            QThread::sleep(5);
        });
        poll->start(10);
    }
    // Send runs the loader dialogue in a nested loop: after this returns.
    QTimer::singleShot(0, update, [update] {
        update->findChild<QPushButton *>(QStringLiteral("cmdCtrl_0"))->click();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("tab"), QStringLiteral("Tab to show."), QStringLiteral("N"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("click"), QStringLiteral("Button to press after showing."), QStringLiteral("name")});
    parser.addOption({QStringLiteral("message"), QStringLiteral("Text for the message box."), QStringLiteral("text")});
    parser.addOption({QStringLiteral("traffic"), QStringLiteral("Open the Traffic window after the clicks.")});
    parser.addOption({QStringLiteral("firmware"), QStringLiteral("Then update the display with this file."), QStringLiteral("file")});
    parser.addOption({QStringLiteral("ready"), QStringLiteral("Created a quarter of the way through the update."), QStringLiteral("file")});
    parser.addHelpOption();
    parser.process(app);

    platform::desktop::installTranslations(QLocale());
    platform::WidgetDialogs::install();
    const bool traffic = parser.isSet(QStringLiteral("traffic")) || parser.isSet(QStringLiteral("firmware"));
    if (traffic)
        monitor::TrafficWindow::installTap();
    g_KDXType = 11;
    frmMain w;
    w.show();
    if (parser.isSet(QStringLiteral("message")))
        w.txtMessage->setText(parser.value(QStringLiteral("message")));
    const QStringList clicks = parser.values(QStringLiteral("click"));
    const int tab = parser.value(QStringLiteral("tab")).toInt();
    const QString firmware = parser.value(QStringLiteral("firmware"));
    const QString ready = parser.value(QStringLiteral("ready"));
    QTimer::singleShot(200, &w, [&w, clicks, tab, traffic, firmware, ready] {
        for (const QString &name : clicks) {
            if (auto *b = w.findChild<QAbstractButton *>(name))
                b->click();
        }
        w.SSTab1->setCurrentIndex(tab);
        if (!firmware.isEmpty())
            startFirmwareUpdate(w, firmware, ready);
        else if (traffic)
            monitor::TrafficWindow::open();
    });
    return app.exec();
}
