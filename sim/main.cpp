// kdx-sim: a KDX display on a pseudo-terminal, registered in the port map.

#include "AppInfo.h"
#include "Display.h"
#include "PtyLink.h"
#include "SimOptions.h"
#include "TerminalView.h"

#include "PortMap.h"
#include "TapSerialPort.h"
#include "TrafficRecorder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

using namespace kdxsim;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int sig)
{
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void out(const QString &text)
{
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

void err(const QString &text)
{
    const QByteArray b = (QStringLiteral("kdx-sim: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
}

// Registers the pseudo-terminal as COM<n>. A link whose device is gone is a
// leftover of an earlier run and is replaced; a live one belongs to someone else.
int registerLink(platform::PortMap &map, int wanted, const QString &device, QString *error)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int n = wanted > 0 ? wanted : map.lowestFreeNumber();
        const QString link = map.dir() + QLatin1Char('/') + platform::PortMap::linkName(n);
        const QFileInfo fi(link);
        if (fi.isSymLink()) {
            if (fi.exists()) {
                *error = QStringLiteral("%1 is taken by %2").arg(platform::PortMap::linkName(n), fi.symLinkTarget());
                return 0;
            }
            map.removeLink(n);
        }
        if (map.addLink(n, device, error))
            return n;
        if (wanted > 0)
            return 0;
        // Another program took the number meanwhile: try the next free one.
    }
    return 0;
}

class StateWriter
{
public:
    explicit StateWriter(const QString &path)
        : m_path(path)
    {
    }
    void write(const Display &display)
    {
        if (m_path.isEmpty())
            return;
        QSaveFile f(m_path);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QJsonDocument(display.state()).toJson(QJsonDocument::Indented));
        f.commit();
    }

private:
    QString m_path;
};

// One simulated display: its pseudo-terminal, registered as COM<com>, and
// its model with its own state file and drawing.
struct Unit
{
    PtyLink link;
    int com = 0;
    QString linkPath;
    std::unique_ptr<Display> display;
    StateWriter state {QString()};
    quint64 writtenChanges = 0;
    qint64 stateWrittenAt = 0;
    bool blinkOff = false;
    qint64 nextBlink = -1;
    std::unique_ptr<monitor::TrafficDecoder> trace; // with --trace
};

// The first of count consecutive numbers that have no link at all.
int firstFreeRange(const platform::PortMap &map, int count)
{
    for (int n = map.lowestFreeNumber();; ++n) {
        int i = 0;
        while (i < count && !QFileInfo(map.dir() + QLatin1Char('/') + platform::PortMap::linkName(n + i)).isSymLink())
            ++i;
        if (i == count)
            return n;
        n += i;
    }
}

// A terminal is redrawn in place and may follow closely; a log gets a whole new
// drawing each time, so it gets fewer.
constexpr qint64 kRenderIntervalMs = 40;
constexpr qint64 kLogIntervalMs = 250;
constexpr qint64 kIdlePollMs = 1000;
constexpr qint64 kStateIntervalMs = 250;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions opts;
    QString error;
    if (!opts.parse(app.arguments().mid(1), &error)) {
        err(error);
        return 2;
    }
    if (opts.help) {
        out(SimOptions::helpText());
        return 0;
    }
    if (opts.version) {
        out(QStringLiteral("kdx-sim ") + platform::app::version() + QLatin1Char('\n'));
        return 0;
    }

    // Signals are caught before the link exists, so that no stop leaves it behind.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        err(QStringLiteral("cannot create a pipe"));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Each display takes its own number, pseudo-terminal and files; "%n" in a
    // file name stands for its COM number.
    platform::PortMap map;
    const int first = opts.com > 0 ? opts.com : (opts.count > 1 ? firstFreeRange(map, opts.count) : 0);
    std::vector<std::unique_ptr<Unit>> units;
    auto unregister = [&] {
        for (const std::unique_ptr<Unit> &u : units) {
            u->link.close();
            // Only our own link: someone may have re-pointed the number meanwhile.
            if (u->com > 0 && QFileInfo(u->linkPath).symLinkTarget() == u->link.slavePath())
                map.removeLink(u->com);
        }
    };
    for (int i = 0; i < opts.count; ++i) {
        units.push_back(std::make_unique<Unit>());
        Unit &u = *units.back();
        if (!u.link.open(opts.display.baud, &error)) {
            err(error);
            unregister();
            return 1;
        }
        u.com = registerLink(map, first > 0 ? first + i : 0, u.link.slavePath(), &error);
        if (u.com == 0) {
            err(QStringLiteral("cannot register the port: %1").arg(error));
            unregister();
            return 1;
        }
        u.linkPath = map.dir() + QLatin1Char('/') + platform::PortMap::linkName(u.com);
        DisplayConfig config = opts.display;
        config.auxPath = SimOptions::forDisplay(config.auxPath, u.com);
        config.firmwareOutPath = SimOptions::forDisplay(config.firmwareOutPath, u.com);
        u.display = std::make_unique<Display>(config);
        u.state = StateWriter(SimOptions::forDisplay(opts.stateJsonPath, u.com));
        u.state.write(*u.display);
        u.writtenChanges = u.display->changes();
    }

    // The links exist before readiness is announced; the first lines, one per
    // display, are for scripts.
    for (const std::unique_ptr<Unit> &u : units)
        out(QStringLiteral("%1 %2\n").arg(u->link.slavePath(), platform::PortMap::linkName(u->com)));
    for (const std::unique_ptr<Unit> &u : units)
        out(QStringLiteral("kdx-sim: %1 x %2 display, %3 command set, %4 baud, on %5 as %6 (%7)\n")
                .arg(opts.display.rows)
                .arg(opts.display.cols)
                .arg(commandSetName(opts.display.commandSet))
                .arg(opts.display.baud)
                .arg(u->link.slavePath(), platform::PortMap::linkName(u->com), u->linkPath));

    // --trace: one line per decoded event on standard error, as kdxctl --trace;
    // with several displays each line names its port.
    const qint64 traceBase = platform::TapSerialPort::nowUs();
    auto traceOut = [&](Unit &u) {
        const QString prefix = units.size() > 1 ? platform::PortMap::linkName(u.com) + QLatin1Char(' ') : QString();
        for (const monitor::TrafficEvent &e : u.trace->take()) {
            const QByteArray line = (prefix + monitor::formatLine(e, traceBase) + QLatin1Char('\n')).toUtf8();
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        }
    };
    auto traced = [&](Unit &u, monitor::Direction d, const QByteArray &bytes) {
        if (!u.trace)
            return;
        u.trace->feed(d, platform::TapSerialPort::nowUs(), bytes);
        traceOut(u);
    };
    if (opts.trace) {
        for (const std::unique_ptr<Unit> &u : units)
            u->trace = std::make_unique<monitor::TrafficDecoder>();
    }

    const bool ansi = ::isatty(STDOUT_FILENO);
    const qint64 renderInterval = ansi ? kRenderIntervalMs : kLogIntervalMs;
    qint64 lastRender = 0;
    quint64 renderedChanges = ~quint64(0);
    int exitCode = 0;
    auto allChanges = [&] {
        quint64 sum = 0;
        for (const std::unique_ptr<Unit> &u : units)
            sum += u->display->changes();
        return sum;
    };

    // On a terminal the boxes are drawn at the top of the screen, the same place
    // every time, so that output of other programs sharing the terminal cannot
    // make them drift; the cursor is put back where it was, so that their output
    // below the boxes stays and goes on where it left off. Elsewhere each
    // drawing is appended.
    auto render = [&](qint64 now) {
        if (opts.quiet)
            return;
        QString text;
        if (ansi)
            text = QStringLiteral("\x1b" "7\x1b[H");
        for (const std::unique_ptr<Unit> &u : units) {
            if (ansi)
                text += QStringLiteral("kdx-sim on %1 as %2 (Ctrl+C stops it)\x1b[K\n")
                            .arg(u->link.slavePath(), platform::PortMap::linkName(u->com));
            text += TerminalView::render(*u->display, ansi, u->blinkOff);
        }
        text += ansi ? QStringLiteral("\x1b" "8") : QStringLiteral("\n");
        out(text);
        lastRender = now;
        renderedChanges = allChanges();
    };
    render(nowMs());

    std::vector<pollfd> fds(units.size() + 1);
    for (;;) {
        const qint64 now = nowMs();
        qint64 wake = -1;
        auto consider = [&wake](qint64 t) {
            if (t >= 0 && (wake < 0 || t < wake))
                wake = t;
        };
        if (!opts.quiet && renderedChanges != allChanges())
            consider(lastRender + renderInterval);
        for (const std::unique_ptr<Unit> &u : units) {
            consider(u->display->nextDeadline());
            if (u->display->changes() != u->writtenChanges)
                consider(u->stateWrittenAt + kStateIntervalMs);
            const int blink = u->display->blink();
            if (blink > 0 && blink < 255 && !opts.quiet) {
                if (u->nextBlink < 0)
                    u->nextBlink = now + std::max(100, blink * 20);
                consider(u->nextBlink);
            } else {
                u->nextBlink = -1;
                u->blinkOff = false;
            }
        }
        const int timeout = wake < 0 ? int(kIdlePollMs) : int(std::clamp<qint64>(wake - now, 0, kIdlePollMs));

        for (size_t i = 0; i < units.size(); ++i)
            fds[i] = {units[i]->link.masterFd(), POLLIN, 0};
        fds.back() = {g_signalPipe[0], POLLIN, 0};
        const int r = ::poll(fds.data(), nfds_t(fds.size()), timeout);
        if (r < 0 && errno != EINTR)
            break;
        if (fds.back().revents & POLLIN) {
            char sig = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &sig, 1);
            break;
        }
        const qint64 t = nowMs();
        bool redraw = false;
        bool hungUp = false;
        for (size_t i = 0; i < units.size(); ++i) {
            Unit &u = *units[i];
            Display &display = *u.display;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                QByteArray data;
                const bool ok = u.link.read(&data);
                if (!data.isEmpty()) {
                    // The host's rate as it stands when its bytes arrive.
                    traced(u, monitor::Direction::ToDisplay, data);
                    display.feed(data, t, u.link.hostBaud());
                } else if (!ok || (fds[i].revents & (POLLHUP | POLLERR))) {
                    // Our own slave descriptor should prevent this; never spin on it.
                    ::poll(nullptr, 0, 100);
                }
            }
            display.advance(t);
            const QByteArray answer = display.takeOutput(t, u.link.hostBaud());
            if (!answer.isEmpty()) {
                u.link.write(answer);
                traced(u, monitor::Direction::FromDisplay, answer);
            }
            if (u.trace) {
                u.trace->expire(platform::TapSerialPort::nowUs());
                traceOut(u);
            }
            if (u.nextBlink >= 0 && t >= u.nextBlink) {
                u.blinkOff = !u.blinkOff;
                u.nextBlink = t + std::max(100, display.blink() * 20);
                redraw = true;
            }
            // While bytes are on their way the state changes with each of them;
            // it is written at most every kStateIntervalMs then, and at once when
            // the line is quiet again.
            if (display.changes() != u.writtenChanges
                && (display.lineIdle() || t - u.stateWrittenAt >= kStateIntervalMs)) {
                u.state.write(display);
                u.writtenChanges = display.changes();
                u.stateWrittenAt = t;
            }
            hungUp = hungUp || display.hungUp();
        }
        if (redraw || hungUp || (renderedChanges != allChanges() && t - lastRender >= renderInterval))
            render(t);
        if (hungUp) {
            err(QStringLiteral("the line hung up (fault hangup-after)"));
            exitCode = 3;
            break;
        }
    }

    for (const std::unique_ptr<Unit> &u : units) {
        if (u->trace) {
            u->trace->finish();
            traceOut(*u);
        }
    }
    unregister();
    for (const std::unique_ptr<Unit> &u : units)
        u->state.write(*u->display);
    return exitCode;
}
