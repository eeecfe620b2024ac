#include "DesktopApp.h"

#include "AppInfo.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

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
               "%3"
               "\n"
               "Qt's own options (-platform NAME, -style NAME, -reverse ...) are taken as well.\n")
        .arg(program.name, program.summary, program.options);
}

namespace {

// Qt's own options (QGuiApplication, QApplication, the X11 platform), each with
// whether it takes the next argument as its value. Qt takes them with one dash
// or two, and a value also after "=".
struct QtOption
{
    const char *name;
    bool takesValue;
};
const QtOption kQtOptions[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true}, {"geometry", true},
    {"title", true}, {"icon", true}, {"display", true}, {"name", true}, {"visual", true},
    {"session", true}, {"style", true}, {"stylesheet", true}, {"qmljsdebugger", true},
    {"reverse", false}, {"widgetcount", false}, {"testability", false}, {"nograb", false},
    {"dograb", false}, {"sync", false},
};

const QtOption *qtOption(const QString &word)
{
    for (const QtOption &o : kQtOptions) {
        if (word == QLatin1String(o.name))
            return &o;
    }
    return nullptr;
}

// The exit status of a command line mistake, as kdxctl has it (sysexits' EX_USAGE).
constexpr int kExitUsage = 64;

int refuse(const Program &program, const QString &problem)
{
    std::fprintf(stderr, "%s: %s\nTry \"%s --help\".\n", program.name.toLocal8Bit().constData(),
                 problem.toLocal8Bit().constData(), program.name.toLocal8Bit().constData());
    return kExitUsage;
}

} // namespace

std::optional<int> answerCommandLine(int argc, char **argv, const Program &program)
{
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            std::fputs(helpText(program).toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (arg == QLatin1String("--version")) {
            std::printf("%s %s\n", program.name.toLocal8Bit().constData(), app::version().toLocal8Bit().constData());
            return 0;
        }
        if (program.switches.contains(arg))
            continue;
        if (!arg.startsWith(QLatin1Char('-')) || arg.size() == 1)
            return refuse(program, QStringLiteral("unexpected argument \"%1\"").arg(arg));
        // "-style fusion", "--style=fusion": Qt's, left to QApplication.
        const QString word = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
        const QtOption *option = qtOption(word);
        if (!option)
            return refuse(program, QStringLiteral("unknown option \"%1\"").arg(arg));
        if (option->takesValue && !arg.contains(QLatin1Char('=')))
            ++i;
    }
    return std::nullopt;
}

bool installTranslations(const QLocale &locale)
{
    // One translator each, replaced when called again.
    static QTranslator qt;
    static QTranslator ours;
    QCoreApplication::removeTranslator(&qt);
    QCoreApplication::removeTranslator(&ours);
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/kdx-utility/translations");
    if (!ours.load(locale, QStringLiteral("kdx-utility"), QStringLiteral("_"), dir))
        return false;
    QCoreApplication::installTranslator(&ours);
    return true;
}

void setUp(const Program &program)
{
    installTranslations(QLocale());
    QCoreApplication::setApplicationName(program.name);
    QCoreApplication::setApplicationVersion(app::version());
    QGuiApplication::setDesktopFileName(program.desktopId);
    QApplication::setWindowIcon(QIcon::fromTheme(program.desktopId, QIcon(QStringLiteral(":/desktop/kdx-utility.svg"))));
}

} // namespace platform::desktop
