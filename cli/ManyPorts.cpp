#include "ManyPorts.h"

#include "ParallelRun.h"
#include "PortList.h"
#include "PortMap.h"
#include "RunCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
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

// The log folder, made when missing; false with the reason.
bool prepareLogDir(const QString &dir, QString *problem)
{
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir()) {
        *problem = QStringLiteral("the log folder %1 is not a folder").arg(dir);
        return false;
    }
    if (!QDir().mkpath(dir) || ::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0) {
        *problem = QStringLiteral("cannot write the log folder %1").arg(dir);
        return false;
    }
    return true;
}

int runOnPorts(const Options &options, const QStringList &arguments, const Command &command,
               const QStringList &commandArgs)
{
    QString problem;
    if (options.json && options.jsonLines)
        return usageError(QStringLiteral("--json and --json-lines cannot be combined"));
    const bool portsFromInput = options.port.trimmed() == QLatin1String("@-");
    if (portsFromInput && command.name == runCommandName() && commandArgs.value(0) == QLatin1String("-"))
        return usageError(QStringLiteral("--port @- and run - cannot both read standard input"));

    // A file of ports is read once (standard input can only be read once).
    QString listText = options.port;
    QString source;
    if (listText.trimmed().startsWith(QLatin1Char('@'))) {
        const QString file = listText.trimmed().mid(1);
        source = file == QLatin1String("-") ? QStringLiteral("standard input") : file;
        if (!PortList::readFile(file, &listText, &problem))
            return usageError(problem);
    }
    platform::PortMap map;
    QList<platform::PortMap::Entry> entries = map.entries();
    QStringList ports;
    QStringList fromAll;
    auto parse = [&] {
        return source.isEmpty() ? PortList::parse(listText, entries, &ports, &problem, &fromAll)
                                : PortList::parseLines(listText, source, entries, &ports, &problem, &fromAll);
    };
    // A list that names COM numbers gives new devices their numbers first, as
    // "kdxctl ports" does, so that a COM name just plugged in is there; a list
    // of addresses and paths spares the search. "all" is the port map as it
    // stands: a device nobody gave a number gets nothing.
    bool parsed = parse();
    const bool namesComPorts = std::any_of(ports.cbegin(), ports.cend(), [&fromAll](const QString &p) {
        return platform::PortMap::numberOfName(p) > 0 && !fromAll.contains(p);
    });
    const bool all = source.isEmpty() ? PortList::mentionsAll(listText) : !fromAll.isEmpty();
    if (!all && (!parsed || namesComPorts) && map.refresh() > 0) {
        entries = map.entries();
        parsed = parse();
    }
    if (!parsed)
        return usageError(problem);

    // Everything is checked once, here, before any port's kdxctl starts: a run
    // file is read once and handed to each on its standard input.
    QStringList words {command.name};
    words += commandArgs;
    bool hasInput = false;
    QByteArray input;
    if (command.name == runCommandName()) {
        QString text;
        if (!loadRunText(commandArgs, &text, &problem) || !checkRunText(text, options, &problem))
            return usageError(problem, &command);
        words = QStringList {command.name, QStringLiteral("-")};
        hasInput = true;
        input = text.toLocal8Bit();
    } else if (!command.prepare(commandArgs, problem)) {
        return usageError(problem, &command);
    }

    if (!options.logDir.isEmpty() && !prepareLogDir(options.logDir, &problem)) {
        printErr(QStringLiteral("kdxctl: ") + problem);
        return kExitCantCreate;
    }

    auto forEachPort = [](const QString &name) {
        for (const GlobalOption &o : globalOptions()) {
            if (o.name == name)
                return !o.wholeRun;
        }
        return true;
    };
    QList<ParallelRun::Job> jobs;
    QSet<QString> logNames;
    for (const QString &port : ports) {
        ParallelRun::Job job;
        job.port = port;
        job.arguments = PortList::optionsFor(port, arguments, takesValue, forEachPort);
        // Nobody chose the ports of "all": each is asked for the display's
        // version first and gets nothing more unless a display answers.
        if (fromAll.contains(port) && !asksOnlyForTheVersion(command)
            && !job.arguments.contains(QLatin1String("--identify")))
            job.arguments.append(QStringLiteral("--identify"));
        job.arguments += words;
        job.hasInput = hasInput;
        job.input = input;
        job.network = PortList::isNetworkPort(port, entries);
        if (!options.logDir.isEmpty()) {
            // Two ports whose names make the same file name get a number each.
            const QString base = PortList::logFileName(port);
            QString name = base;
            for (int n = 2; logNames.contains(name); ++n)
                name = base + QStringLiteral("-%1").arg(n);
            logNames.insert(name);
            job.logPath = QDir(options.logDir).filePath(name + QStringLiteral(".log"));
        }
        jobs.append(job);
    }

    ParallelRun::Options runOptions;
    runOptions.program = QCoreApplication::applicationFilePath();
    runOptions.outputToStderr = options.json || options.jsonLines;
    if (options.jobs > 0)
        runOptions.maxRunning = options.jobs;
    runOptions.retries = options.retries;
    if (command.name == QLatin1String("firmware") && ::isatty(STDERR_FILENO))
        runOptions.display = ParallelRun::Display::InPlace;
    QHash<QString, QString> logOf;
    for (const ParallelRun::Job &j : jobs)
        logOf.insert(j.port, j.logPath);
    if (options.jsonLines) {
        runOptions.finished = [&logOf, &command, &options](const PortOutcome &finished) {
            PortOutcome o = finished;
            o.log = logOf.value(o.port);
            if (o.status == 0)
                o.fields = summaryFields(command, o.port, o.text, options.raw);
            const QByteArray line = RunSummary::jsonLine(o);
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            std::fflush(stdout);
        };
    }
    ParallelRun run(runOptions);
    QList<PortOutcome> outcomes = run.run(jobs);
    for (PortOutcome &o : outcomes) {
        if (o.status == 0)
            o.fields = summaryFields(command, o.port, o.text, options.raw);
    }

    std::fflush(stdout);
    if (options.jsonLines) {
        // Standard output holds the lines alone; the people watching get the table.
        const QByteArray table = RunSummary::table(outcomes).toLocal8Bit();
        std::fwrite(table.constData(), 1, size_t(table.size()), stderr);
    } else {
        const QByteArray summary = options.json ? RunSummary::json(outcomes) : RunSummary::table(outcomes).toLocal8Bit();
        std::fwrite(summary.constData(), 1, size_t(summary.size()), stdout);
    }
    std::fflush(stdout);
    return RunSummary::exitStatus(outcomes);
}

} // namespace kdxctl
