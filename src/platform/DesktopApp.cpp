#include "DesktopApp.h"

#include "AppInfo.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

namespace platform::desktop {

QString helpText(const Program &program)
{
    return QStringLiteral(
               "Usage: %1 [OPTION]...\n"
               "%2\n"
               "\n"
               "Options:\n"
               "  -h, --help     show this text and exit\n"
               "      --version  print the program's version and exit\n"
               "\n"
               "Qt's own options (-platform NAME, -style NAME, -reverse ...) are taken as well.\n")
        .arg(program.name, program.summary);
}

std::optional<int> answerCommandLine(int argc, char **argv, const Program &program)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // "-platform offscreen" is one of Qt's options, not the letters p, l, a ...
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    // Whatever else is there belongs to QApplication.
    parser.parse(args);
    if (parser.isSet(help)) {
        std::fputs(helpText(program).toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", program.name.toLocal8Bit().constData(), app::version().toLocal8Bit().constData());
        return 0;
    }
    return std::nullopt;
}

void setUp(const Program &program)
{
    QCoreApplication::setApplicationName(program.name);
    QCoreApplication::setApplicationVersion(app::version());
    QGuiApplication::setDesktopFileName(program.desktopId);
    QApplication::setWindowIcon(QIcon::fromTheme(program.desktopId, QIcon(QStringLiteral(":/desktop/kdx-utility.svg"))));
}

} // namespace platform::desktop
