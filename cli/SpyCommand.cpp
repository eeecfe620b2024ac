#include "SpyCommand.h"

#include "CKDX.h"
#include "PassThrough.h"
#include "PortList.h"
#include "PortLock.h"
#include "PortMap.h"
#include "TextFile.h"
#include "TrafficRecorder.h"
#include "VfdModel.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kdxctl {

namespace {

// sysexits' EX_OSERR: no pseudo-terminal could be made.
constexpr int kExitOsError = 71;
// The port map could not be changed (COM<n> is taken).
constexpr int kExitPortMap = 73;
constexpr int kExitSignal = 128;
// How often runs without an end marker (text) are looked at to be closed.
constexpr int kExpireMs = 100;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_stopPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_stopSignal = 0;
// COM<n> and the pseudo-terminal it points at, where a signal handler can
// reach them without allocating.
char g_linkPath[PATH_MAX] = {};
char g_slavePath[64] = {};

extern "C" void onSpySignal(int sig)
{
    if (g_stopSignal != 0) {
        // A second signal ends at once, and still leaves nothing behind: the
        // real port's lock file and exclusive mode, and COM<n> if it is ours.
        platform::releasePortLocks();
        char target[sizeof g_slavePath];
        const ssize_t n = g_linkPath[0] ? ::readlink(g_linkPath, target, sizeof target - 1) : -1;
        if (n > 0 && size_t(n) == std::strlen(g_slavePath) && std::memcmp(target, g_slavePath, size_t(n)) == 0)
            ::unlink(g_linkPath);
        ::_exit(kExitSignal + sig);
    }
    g_stopSignal = sig;
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &c, 1);
}

// The stop signals are the spy's while it runs: the first one ends it cleanly
// from the event loop, through a pipe.
class StopSignals
{
public:
    StopSignals()
    {
        g_stopSignal = 0;
        g_linkPath[0] = '\0';
        g_slavePath[0] = '\0';
        if (g_stopPipe[0] < 0 && ::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction sa {};
        sa.sa_handler = onSpySignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            ::sigaction(kStopSignals[i], &sa, &m_old[i]);
        m_installed = true;
    }
    ~StopSignals()
    {
        if (!m_installed)
            return;
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            ::sigaction(kStopSignals[i], &m_old[i], nullptr);
        g_linkPath[0] = '\0';
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    int fd() const { return m_installed ? g_stopPipe[0] : -1; }
    static int received() { return int(g_stopSignal); }

    // What a second signal removes.
    static void guard(const QString &linkPath, const QString &slavePath)
    {
        const QByteArray link = QFile::encodeName(linkPath);
        const QByteArray slave = QFile::encodeName(slavePath);
        if (link.size() >= qsizetype(sizeof g_linkPath) || slave.size() >= qsizetype(sizeof g_slavePath))
            return;
        std::memcpy(g_slavePath, slave.constData(), size_t(slave.size()) + 1);
        std::memcpy(g_linkPath, link.constData(), size_t(link.size()) + 1);
    }

private:
    bool m_installed = false;
    struct sigaction m_old[std::size(kStopSignals)] {};
};

struct SpyArgs
{
    int comNumber = 0; // 0: the lowest free number
    bool screen = false;
    kdxdisplay::VfdConfig display;
};

bool parseSpyArgs(const QStringList &args, SpyArgs &out, QString &problem)
{
    bool rowsGiven = false, colsGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
        }
        auto takeValue = [&] {
            if (value.isNull() && i + 1 < args.size())
                value = args[++i];
        };
        auto number = [&](int min, int max, int *to) {
            takeValue();
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < min || n > max) {
                problem = QStringLiteral("spy %1 takes %2 to %3").arg(arg).arg(min).arg(max);
                return false;
            }
            *to = n;
            return true;
        };
        if (arg == QLatin1String("--as")) {
            takeValue();
            out.comNumber = platform::PortMap::numberOfName(value);
            if (out.comNumber == 0) {
                problem = QStringLiteral("spy --as takes a COM name, COM1 to COM%1").arg(platform::PortMap::kMaxNumber);
                return false;
            }
        } else if (arg == QLatin1String("--screen")) {
            out.screen = true;
        } else if (arg == QLatin1String("--rows")) {
            if (!number(1, 8, &out.display.rows))
                return false;
            out.screen = rowsGiven = true;
        } else if (arg == QLatin1String("--cols")) {
            if (!number(1, 80, &out.display.cols))
                return false;
            out.screen = colsGiven = true;
        } else if (arg == QLatin1String("--mode")) {
            takeValue();
            if (!kdxdisplay::commandSetFromName(value, &out.display.commandSet)) {
                problem = QStringLiteral("spy --mode takes native, epson or vt100");
                return false;
            }
            out.screen = true;
        } else {
            problem = QStringLiteral("spy does not take %1").arg(arg);
            return false;
        }
    }
    // A display with the VT100 firmware is 4 x 20, as kdx-sim takes it.
    if (out.display.commandSet == kdxdisplay::CommandSetKind::Vt100) {
        if (!rowsGiven)
            out.display.rows = 4;
        if (!colsGiven)
            out.display.cols = 20;
    }
    return true;
}

// --screen: a model of the display, fed with the bytes that go to it; its rows
// are printed, each framed by "|", whenever they change. It knows only what
// passed since the spy started.
class ScreenWatch final : public platform::TrafficSink
{
public:
    // The pause after the last bytes before a change is printed from the
    // clock alone; before that the change waits for the bytes' own lines.
    static constexpr qint64 kSettledUs = 300000;

    ScreenWatch(platform::TrafficSink &next, const kdxdisplay::VfdConfig &config)
        : m_next(next)
        , m_model(config)
    {
    }

    void tapped(const platform::TapEvent &event) override
    {
        m_next.tapped(event);
        if (event.kind == platform::TapEvent::Kind::Write) {
            m_model.feed(event.bytes, event.timeUs / 1000);
            m_lastFedUs = event.timeUs;
        }
    }

    // Prints the rows if they changed. From the clock (clockOnly) only once the
    // bytes have been quiet a while, so that a picture follows the lines of the
    // bytes that made it.
    void show(qint64 nowUs, bool clockOnly)
    {
        m_model.advance(nowUs / 1000);
        if (clockOnly && nowUs - m_lastFedUs < kSettledUs)
            return;
        const QStringList rows = m_model.rowTexts();
        if (rows == m_shown)
            return;
        m_shown = rows;
        QByteArray text;
        for (const QString &row : rows)
            text += (QLatin1Char('|') + row + QStringLiteral("|\n")).toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
    }

private:
    platform::TrafficSink &m_next;
    kdxdisplay::VfdModel m_model;
    QStringList m_shown;
    qint64 m_lastFedUs = 0;
};

// The spy's decoded lines: on standard output, and appended to --trace-file.
class SpyOutput
{
public:
    bool open(const Options &options, QString &problem)
    {
        if (!options.traceFile.isEmpty() && !m_file.open(options.traceFile, platform::TextFile::Mode::Append)) {
            problem = QStringLiteral("--trace-file: ") + m_file.errorString();
            return false;
        }
        return true;
    }

    void setScreen(ScreenWatch *screen) { m_screen = screen; }

    void write(const std::vector<monitor::TrafficEvent> &events)
    {
        for (const monitor::TrafficEvent &e : events) {
            const QByteArray line = monitor::formatLine(e, m_baseUs).toUtf8() + '\n';
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            if (m_file.isOpen() && !m_file.write(line)) {
                printErr(QStringLiteral("kdxctl: --trace-file: %1; the trace stops").arg(m_file.errorString()));
                m_file.close();
            }
        }
        std::fflush(stdout);
        if (m_screen)
            m_screen->show(platform::TapSerialPort::nowUs(), false);
    }

private:
    ScreenWatch *m_screen = nullptr;
    qint64 m_baseUs = platform::TapSerialPort::nowUs();
    platform::TextFile m_file;
};

int exitStatus(platform::PassThrough::Outcome outcome)
{
    using Outcome = platform::PassThrough::Outcome;
    switch (outcome) {
    case Outcome::ComTaken:
    case Outcome::PortMapFailed: return kExitPortMap;
    case Outcome::TerminalFailed: return kExitOsError;
    case Outcome::RealPortFailed: return -kdx::OpenFailed;
    case Outcome::RealHungUp:
    case Outcome::ProgramHungUp: return -kdx::NotConnected;
    case Outcome::Idle:
    case Outcome::Running:
    case Outcome::Stopped: break;
    }
    return 0;
}

int runSpy(Session &session, const SpyArgs &args)
{
    const Options &o = session.options();
    // Mistakes of the command line, told with spy's usage line.
    const Command *spy = findCommand(QStringLiteral("spy"));
    if (PortList::isList(o.port))
        return usageError(QStringLiteral("spy watches one port: --port takes a COM name, a device or a network address"),
                          spy);
    // Checked as every command checks --port; the spy opens it itself.
    int commPort = 0;
    QString problem;
    if (!selectPort(o.port, commPort, problem))
        return usageError(problem, spy);
    SpyOutput output;
    if (!output.open(o, problem))
        return usageError(problem, spy);

    platform::PassThrough::Setup setup;
    setup.realPort = o.port;
    setup.comNumber = args.comNumber > 0 ? args.comNumber : platform::PortMap().lowestFreeNumber();
    setup.settings = o.baud + QLatin1Char(',') + CKDX::mapParity(o.parity, qint16(o.dataBits)).toUpper();

    monitor::TrafficRecorder recorder([&output](std::vector<monitor::TrafficEvent> &&events) { output.write(events); });
    std::unique_ptr<ScreenWatch> screen;
    if (args.screen) {
        screen = std::make_unique<ScreenWatch>(recorder, args.display);
        output.setScreen(screen.get());
    }
    platform::PassThrough pass(screen ? static_cast<platform::TrafficSink *>(screen.get()) : &recorder);
    StopSignals stops;
    if (!pass.start(setup)) {
        recorder.finish();
        printErr(QStringLiteral("kdxctl spy: ") + pass.error());
        return exitStatus(pass.outcome());
    }
    StopSignals::guard(pass.linkPath(), pass.slavePath());
    if (screen)
        screen->show(platform::TapSerialPort::nowUs(), false); // the blank display to start from

    QEventLoop loop;
    QObject::connect(&pass, &platform::PassThrough::ended, &loop, &QEventLoop::quit);
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stops.fd() >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stops.fd(), QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &loop, [&] {
            char c;
            while (::read(stops.fd(), &c, 1) > 0) {
            }
            pass.stop();
            loop.quit();
        });
    }
    QTimer expire;
    QObject::connect(&expire, &QTimer::timeout, [&recorder, &screen] {
        const qint64 now = platform::TapSerialPort::nowUs();
        recorder.expire(now);
        if (screen)
            screen->show(now, true);
    });
    expire.start(kExpireMs);
    loop.exec();
    expire.stop();
    pass.stop();
    recorder.finish();

    if (pass.outcome() != platform::PassThrough::Outcome::Stopped) {
        printErr(QStringLiteral("kdxctl spy: ") + pass.error());
        return exitStatus(pass.outcome());
    }
    return StopSignals::received() ? kExitSignal + StopSignals::received() : 0;
}

} // namespace

Command spyCommand()
{
    return {QStringLiteral("spy"), QStringLiteral("[--as COM<n>] [--screen] [--rows N] [--cols N] [--mode native|epson|vt100]"),
            QStringLiteral("pass everything between a program on COM<n> (a pseudo-terminal\n"
                           "entered in the port map; default the lowest free number) and the\n"
                           "display on --port, unchanged both ways; the rate and stop bits the\n"
                           "program sets reach the display's port (parity and data bits as\n"
                           "--parity gives them). Every exchange decoded on standard output\n"
                           "(and --trace-file) until Ctrl+C; exit 3 when either side hangs\n"
                           "up, 73 when COM<n> is taken. --screen also prints what the\n"
                           "display shows whenever it changes, a row a line between \"|\",\n"
                           "as a 2 x 20 display (--rows, --cols and --mode as kdx-sim takes\n"
                           "them)"),
            [](const QStringList &args, QString &problem) -> Action {
                SpyArgs parsed;
                if (!parseSpyArgs(args, parsed, problem))
                    return Action();
                return [parsed](Session &s) { return runSpy(s, parsed); };
            },
            false};
}

} // namespace kdxctl
