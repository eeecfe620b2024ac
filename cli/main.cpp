// kdxctl: the display driver on the command line, one display command per call,
// for scripts and production lines. The commands and options are the tables in
// Commands.cpp; this reads the command line against them.

#include "AppInfo.h"
#include "CKDX.h"
#include "Commands.h"
#include "ManyPorts.h"
#include "PortList.h"
#include "PortLock.h"
#include "PosixSerialPort.h"
#include "TerminalText.h"
#include "Trace.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <vector>

using namespace kdxctl;

namespace {

int help()
{
    std::fputs(usageText().toLocal8Bit().constData(), stdout);
    return 0;
}

// Our own wording for what the parser found wrong with the options.
QString optionProblem(const QCommandLineParser &parser, const QStringList &arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return QStringLiteral("unknown option %1%2").arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    // A known option that lacks its value can only be the last argument.
    if (!arguments.isEmpty() && arguments.last().startsWith(QLatin1Char('-')))
        return QStringLiteral("%1 needs a value").arg(arguments.last());
    return parser.errorText();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    platform::releasePortLocksOnSignals();
    QCoreApplication::setApplicationName(QStringLiteral("kdxctl"));
    QCoreApplication::setApplicationVersion(platform::app::version());

    // Options go before the command; whatever follows the command is its own.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    std::vector<QCommandLineOption> options;
    for (const GlobalOption &o : globalOptions()) {
        options.emplace_back(o.name, o.help, o.valueName);
        parser.addOption(options.back());
    }

    // An argument that is not UTF-8 would reach the display as "?".
    QString badArgument;
    if (const int bad = invalidUtf8Argument(argc, argv, &badArgument))
        return usageError(QStringLiteral("argument %1 (\"%2\") is not valid UTF-8").arg(bad).arg(badArgument));

    const QStringList arguments = app.arguments();
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(helpOption))
        return help();
    if (parser.isSet(versionOption)) {
        printOut(QStringLiteral("kdxctl ") + QCoreApplication::applicationVersion());
        return 0;
    }
    if (!parsed)
        return usageError(optionProblem(parser, arguments.mid(1)));

    Options chosen;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (!parser.isSet(options[i]))
            continue;
        const GlobalOption &o = globalOptions()[i];
        const QStringList values = o.valueName.isEmpty() ? QStringList {QString()} : parser.values(options[i]);
        for (const QString &value : values) {
            QString problem;
            if (!o.apply(value, chosen, problem))
                return usageError(problem);
        }
    }
    const QString lineSettings =
        chosen.baud + QLatin1Char(',') + CKDX::mapParity(chosen.parity, qint16(chosen.dataBits)).toUpper();
    if (!platform::PosixSerialPort::acceptsSettings(lineSettings))
        return usageError(QStringLiteral("--baud %1 --parity %2 is not a line setting a port can take")
                         .arg(chosen.baud, chosen.parity));

    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString name = args.takeFirst();
    if (name == QLatin1String("help"))
        return help();
    const Command *command = findCommand(name);
    if (!command)
        return usageError(QStringLiteral("unknown command %1").arg(name));

    // A list of ports: one kdxctl per port, this one waits and sums up.
    const bool runOptions = chosen.json || chosen.jsonLines || !chosen.logDir.isEmpty() || chosen.retries > 0;
    if (command->usesPort && (PortList::isList(chosen.port) || runOptions))
        return runOnPorts(chosen, arguments.mid(1), *command, args);

    // Everything is checked before anything is opened.
    int commPort = 1;
    QString problem;
    if (command->usesPort && !selectPort(chosen.port, commPort, problem))
        return usageError(problem);
    const Action action = command->prepare(args, problem);
    if (!action)
        return usageError(problem, command);

    // Only the driver's port is tapped; the spy writes its own trace.
    Trace trace;
    if (command->usesPort && !trace.start(chosen, problem))
        return usageError(problem);
    Session session(chosen, commPort);
    int status = 0;
    if (chosen.identify && command->usesPort && !asksOnlyForTheVersion(*command) && !identifyDisplay(session, &status))
        return status;
    status = action(session);
    std::fflush(stdout);
    return status;
}
