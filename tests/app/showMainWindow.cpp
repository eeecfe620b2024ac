// Opens the main window as the utility does, on a chosen tab, and optionally
// presses some of its buttons first: the screenshots of docs/ are taken of it.
//   show-main-window [--tab N] [--message TEXT] [--click objectName]...

#include "LimitedTextEdit.h"
#include "WidgetDialogs.h"
#include "frmMain.h"
#include "mod_Init.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QTabWidget>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("tab"), QStringLiteral("Tab to show."), QStringLiteral("N"), QStringLiteral("0")});
    parser.addOption({QStringLiteral("click"), QStringLiteral("Button to press after showing."), QStringLiteral("name")});
    parser.addOption({QStringLiteral("message"), QStringLiteral("Text for the message box."), QStringLiteral("text")});
    parser.addHelpOption();
    parser.process(app);

    platform::WidgetDialogs::install();
    g_KDXType = 11;
    frmMain w;
    w.show();
    if (parser.isSet(QStringLiteral("message")))
        w.txtMessage->setText(parser.value(QStringLiteral("message")));
    const QStringList clicks = parser.values(QStringLiteral("click"));
    const int tab = parser.value(QStringLiteral("tab")).toInt();
    QTimer::singleShot(200, &w, [&w, clicks, tab] {
        for (const QString &name : clicks) {
            if (auto *b = w.findChild<QAbstractButton *>(name))
                b->click();
        }
        w.SSTab1->setCurrentIndex(tab);
    });
    return app.exec();
}
