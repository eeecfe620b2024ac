#include "ManyPorts.h"

#include "ParallelRun.h"
#include "PortList.h"
#include "PortMap.h"
#include "RunCommand.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace kdxctl {

namespace {

bool takesValue(const QString &name)
{
    for (const GlobalOption &o : globalOptions()) {
        if (o.name == name)
            return !o.valueName.isEmpty();
    }
    return false;
}

} // namespace

int runOnPorts(const Options &options, const QStringList &arguments, const Command &command,
               const QStringList &commandArgs)
{
    QString problem;
    // New devices get their numbers first, as "kdxctl ports" gives them.
    platform::PortMap map;
    map.refresh();
    QStringList ports;
    if (!PortList::parse(options.port, map.entries(), &ports, &problem)) {
        printErr(QStringLiteral("kdxctl: ") + problem);
        return kExitUsage;
    }

    // Everything is checked once, here, before any port's kdxctl starts: a run
    // file is read once and handed to each on its standard input.
    QStringList words {command.name};
    words += commandArgs;
    bool hasInput = false;
    QByteArray input;
    if (command.name == runCommandName()) {
        QString text;
        if (!loadRunText(commandArgs, &text, &problem) || !checkRunText(text, options, &problem)) {
            printErr(QStringLiteral("kdxctl: ") + problem);
            return kExitUsage;
        }
        words = QStringList {command.name, QStringLiteral("-")};
        hasInput = true;
        input = text.toLocal8Bit();
    } else if (!command.prepare(commandArgs, problem)) {
        printErr(QStringLiteral("kdxctl: ") + problem);
        return kExitUsage;
    }

    QList<ParallelRun::Job> jobs;
    for (const QString &port : ports)
        jobs.append(ParallelRun::Job {port, PortList::optionsFor(port, arguments, takesValue) + words, hasInput, input});

    ParallelRun::Options runOptions;
    runOptions.program = QCoreApplication::applicationFilePath();
    runOptions.outputToStderr = options.json;
    if (command.name == QLatin1String("firmware") && ::isatty(STDERR_FILENO))
        runOptions.display = ParallelRun::Display::InPlace;
    ParallelRun run(runOptions);
    QList<PortOutcome> outcomes = run.run(jobs);
    for (PortOutcome &o : outcomes) {
        if (o.status == 0)
            o.fields = summaryFields(command, o.port, o.text, options.raw);
    }

    std::fflush(stdout);
    const QByteArray summary = options.json ? RunSummary::json(outcomes) : RunSummary::table(outcomes).toLocal8Bit();
    std::fwrite(summary.constData(), 1, size_t(summary.size()), stdout);
    std::fflush(stdout);
    return RunSummary::exitStatus(outcomes);
}

} // namespace kdxctl
