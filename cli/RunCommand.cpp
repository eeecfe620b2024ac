#include "RunCommand.h"

#include "CKDX.h"
#include "PosixSerialPort.h"
#include "RunFile.h"
#include "RunSummary.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kdxctl {

namespace {

// EX_NOINPUT, as for a firmware file that cannot be read.
constexpr int kExitNoInput = 66;
// A run file is a page of commands; anything near this size is a mistake.
constexpr qint64 kMaxRunFile = 1 << 20;

// Belong to the whole call, never to one line of its run file, as do the
// options of a run on many ports (GlobalOption::wholeRun).
const char *const kCallOnly[] = {"keep-going", "identify"};

// One line, checked: the options it runs with and what it runs.
struct Step
{
    int line = 0;
    QString text;
    Options options;
    Action action;
};

bool failWith(QString *problem, const QString &why)
{
    if (problem)
        *problem = why;
    return false;
}

// Reads what the descriptor gives, up to the limit; false with errno set or
// EFBIG past the limit.
bool readAll(int fd, QByteArray *out)
{
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out->append(buf, n);
        if (out->size() > kMaxRunFile) {
            errno = EFBIG;
            return false;
        }
    }
}

// A line's words read as kdxctl reads its command line, on top of the call's
// options.
bool readLine(const QStringList &words, Options &options, const Command *&command, QStringList &args,
              QString *problem)
{
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    std::vector<QCommandLineOption> known;
    for (const GlobalOption &o : globalOptions()) {
        known.emplace_back(o.name, o.help, o.valueName);
        parser.addOption(known.back());
    }
    if (!parser.parse(QStringList {QStringLiteral("kdxctl")} + words)) {
        const QStringList unknown = parser.unknownOptionNames();
        return failWith(problem, unknown.isEmpty() ? parser.errorText()
                                                   : QStringLiteral("unknown option --%1").arg(unknown.first()));
    }
    for (std::size_t i = 0; i < known.size(); ++i) {
        if (!parser.isSet(known[i]))
            continue;
        const GlobalOption &o = globalOptions()[i];
        if (o.wholeRun || std::any_of(std::begin(kCallOnly), std::end(kCallOnly),
                                      [&o](const char *name) { return o.name == QLatin1String(name); }))
            return failWith(problem, QStringLiteral("--%1 is given for the whole run, not on a line").arg(o.name));
        const QStringList values = o.valueName.isEmpty() ? QStringList {QString()} : parser.values(known[i]);
        for (const QString &value : values) {
            QString why;
            if (!o.apply(value, options, why))
                return failWith(problem, why);
        }
    }
    const QString lineSettings =
        options.baud + QLatin1Char(',') + CKDX::mapParity(options.parity, qint16(options.dataBits)).toUpper();
    if (!platform::PosixSerialPort::acceptsSettings(lineSettings))
        return failWith(problem, QStringLiteral("--baud %1 --parity %2 is not a line setting a port can take")
                                     .arg(options.baud, options.parity));
    args = parser.positionalArguments();
    if (args.isEmpty())
        return failWith(problem, QStringLiteral("no command given"));
    const QString name = args.takeFirst();
    if (name == runCommandName())
        return failWith(problem, QStringLiteral("a run file cannot run another"));
    command = findCommand(name);
    if (!command)
        return failWith(problem, QStringLiteral("unknown command %1").arg(name));
    return true;
}

bool prepareSteps(const QString &text, const Options &options, std::vector<Step> *steps, QString *problem)
{
    QList<RunFile::Line> lines;
    if (!RunFile::parse(text, &lines, problem))
        return false;
    for (const RunFile::Line &line : lines) {
        Step step;
        step.line = line.number;
        step.text = line.words.join(QLatin1Char(' '));
        step.options = options;
        const Command *command = nullptr;
        QStringList args;
        QString why;
        if (readLine(line.words, step.options, command, args, &why)) {
            step.action = command->prepare(args, why);
            // Every value as the display takes it: nothing of the file is
            // sent if a later line could not be.
            if (step.action && !checkValues(*command, args, why))
                step.action = Action();
        }
        if (!step.action)
            return failWith(problem, QStringLiteral("line %1: %2").arg(line.number).arg(why));
        if (steps)
            steps->push_back(std::move(step));
    }
    return true;
}

int runSteps(const std::vector<Step> &steps, Session &call)
{
    int commPort = 1;
    QString problem;
    if (!selectPort(call.options().port, commPort, problem))
        return usageError(problem);
    int first = 0;
    for (const Step &step : steps) {
        Session session(step.options, commPort);
        const int status = step.action(session);
        std::fflush(stdout);
        if (status == 0)
            continue;
        printErr(QStringLiteral("kdxctl: line %1 (%2): %3")
                     .arg(step.line)
                     .arg(step.text, RunSummary::statusText(status)));
        if (first == 0)
            first = status;
        // A stop by signal ends the run whatever --keep-going says.
        if (!call.options().keepGoing || status > 128)
            break;
    }
    return first;
}

} // namespace

QString runCommandName()
{
    return QStringLiteral("run");
}

bool loadRunText(const QStringList &args, QString *text, QString *problem, int *status)
{
    if (status)
        *status = kExitUsage;
    if (args.size() != 1)
        return failWith(problem, QStringLiteral("run takes one file, or - for standard input"));
    const QString &file = args.first();
    QByteArray bytes;
    if (file == QLatin1String("-")) {
        if (!readAll(STDIN_FILENO, &bytes))
            return failWith(problem, QStringLiteral("standard input: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    } else {
        // Only a regular file: a FIFO or a device could block or never end.
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat st {};
        bool ok = fd >= 0 && ::fstat(fd, &st) == 0;
        if (ok && !S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            ok = false;
        }
        ok = ok && readAll(fd, &bytes);
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        if (!ok) {
            if (status)
                *status = kExitNoInput;
            const QString why = err == EINVAL ? QStringLiteral("not a regular file")
                                              : QString::fromLocal8Bit(std::strerror(err));
            return failWith(problem, QStringLiteral("%1: %2").arg(file, why));
        }
    }
    // Text that is not UTF-8 would reach the display as "?".
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QList<QByteArray> lines = bytes.split('\n');
    QString decoded;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        decoded += utf8.decode(lines[i]);
        if (utf8.hasError())
            return failWith(problem, QStringLiteral("line %1: the text is not UTF-8").arg(i + 1));
        if (i + 1 < lines.size())
            decoded += QLatin1Char('\n');
    }
    if (text)
        *text = decoded;
    if (status)
        *status = 0;
    return true;
}

bool checkRunText(const QString &text, const Options &options, QString *problem)
{
    return prepareSteps(text, options, nullptr, problem);
}

Command runCommand()
{
    return Command {runCommandName(), QStringLiteral("FILE|-"),
                    QStringLiteral("run the commands of FILE (- standard input), one a line\n"
                                   "in the words of the command line, # comments; stops at the\n"
                                   "first failure (unless --keep-going) and names its line"),
                    [](const QStringList &args, QString &problem) -> Action {
                        QString text;
                        int status = 0;
                        if (!loadRunText(args, &text, &problem, &status)) {
                            if (args.size() != 1)
                                return Action();
                            // A file that cannot be read, or is not text: said
                            // like a mistake on one of its lines.
                            const QString why = problem;
                            return [why, status](Session &) {
                                printErr(QStringLiteral("kdxctl: ") + why);
                                return status;
                            };
                        }
                        // Every line is checked with the call's options before
                        // the first one runs.
                        return [text](Session &call) {
                            std::vector<Step> steps;
                            QString why;
                            if (!prepareSteps(text, call.options(), &steps, &why))
                                return usageError(why);
                            return runSteps(steps, call);
                        };
                    }};
}

} // namespace kdxctl
