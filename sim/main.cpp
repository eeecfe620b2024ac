// kdx-sim: a KDX display on a pseudo-terminal, registered in the port map.

#include "Display.h"
#include "PtyLink.h"
#include "SimOptions.h"
#include "TerminalView.h"

#include "PortMap.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

// A terminal is redrawn in place and may follow closely; a log gets a whole new
// drawing each time, so it gets fewer.
constexpr qint64 kRenderIntervalMs = 40;
constexpr qint64 kLogIntervalMs = 250;
constexpr qint64 kIdlePollMs = 1000;

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

    PtyLink link;
    if (!link.open(opts.display.baud, &error)) {
        err(error);
        return 1;
    }
    platform::PortMap map;
    const int com = registerLink(map, opts.com, link.slavePath(), &error);
    if (com == 0) {
        err(QStringLiteral("cannot register the port: %1").arg(error));
        return 1;
    }
    const QString linkPath = map.dir() + QLatin1Char('/') + platform::PortMap::linkName(com);


    Display display(opts.display);
    StateWriter state(opts.stateJsonPath);
    state.write(display);

    // The link exists before readiness is announced; the first line is for scripts.
    out(QStringLiteral("%1 %2\n").arg(link.slavePath(), platform::PortMap::linkName(com)));
    out(QStringLiteral("kdx-sim: %1 x %2 display, %3 command set, %4 baud, on %5 as %6 (%7)\n")
            .arg(opts.display.rows)
            .arg(opts.display.cols)
            .arg(commandSetName(opts.display.commandSet))
            .arg(opts.display.baud)
            .arg(link.slavePath(), platform::PortMap::linkName(com), linkPath));

    const bool ansi = ::isatty(STDOUT_FILENO);
    const qint64 renderInterval = ansi ? kRenderIntervalMs : kLogIntervalMs;
    bool blinkOff = false;
    qint64 nextBlink = -1;
    qint64 lastRender = 0;
    quint64 renderedChanges = ~quint64(0);
    quint64 writtenChanges = display.changes();
    int exitCode = 0;

    // On a terminal the box is drawn at the top of the screen, the same place
    // every time, so that output of other programs sharing the terminal cannot
    // make it drift; the cursor is put back where it was, so that their output
    // below the box stays and goes on where it left off. Elsewhere each drawing
    // is appended.
    const QString header = QStringLiteral("kdx-sim on %1 as %2 (Ctrl+C stops it)")
                               .arg(link.slavePath(), platform::PortMap::linkName(com));
    auto render = [&](qint64 now) {
        if (opts.quiet)
            return;
        QString text;
        if (ansi)
            text = QStringLiteral("\x1b" "7\x1b[H") + header + QStringLiteral("\x1b[K\n");
        text += TerminalView::render(display, ansi, blinkOff);
        text += ansi ? QStringLiteral("\x1b" "8") : QStringLiteral("\n");
        out(text);
        lastRender = now;
        renderedChanges = display.changes();
    };
    render(nowMs());

    for (;;) {
        const qint64 now = nowMs();
        qint64 wake = display.nextDeadline();
        auto consider = [&wake](qint64 t) {
            if (t >= 0 && (wake < 0 || t < wake))
                wake = t;
        };
        if (!opts.quiet && renderedChanges != display.changes())
            consider(lastRender + renderInterval);
        if (display.blink() > 0 && display.blink() < 255 && !opts.quiet) {
            if (nextBlink < 0)
                nextBlink = now + std::max(100, display.blink() * 20);
            consider(nextBlink);
        } else {
            nextBlink = -1;
            blinkOff = false;
        }
        const int timeout = wake < 0 ? int(kIdlePollMs) : int(std::clamp<qint64>(wake - now, 0, kIdlePollMs));

        pollfd fds[2] = {{link.masterFd(), POLLIN, 0}, {g_signalPipe[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, timeout);
        if (r < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            char sig = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &sig, 1);
            break;
        }
        const qint64 t = nowMs();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            QByteArray data;
            const bool ok = link.read(&data);
            if (!data.isEmpty()) {
                // The host's rate as it stands when its bytes arrive.
                display.feed(data, t, link.hostBaud());
            } else if (!ok || (fds[0].revents & (POLLHUP | POLLERR))) {
                // Our own slave descriptor should prevent this; never spin on it.
                ::poll(nullptr, 0, 100);
            }
        }
        display.advance(t);
        const QByteArray answer = display.takeOutput(t, link.hostBaud());
        if (!answer.isEmpty())
            link.write(answer);
        if (nextBlink >= 0 && t >= nextBlink) {
            blinkOff = !blinkOff;
            nextBlink = t + std::max(100, display.blink() * 20);
            render(t);
        }
        if (display.changes() != writtenChanges) {
            state.write(display);
            writtenChanges = display.changes();
        }
        if (renderedChanges != display.changes() && t - lastRender >= renderInterval)
            render(t);
        if (display.hungUp()) {
            render(t);
            err(QStringLiteral("the line hung up (fault hangup-after)"));
            exitCode = 3;
            break;
        }
    }

    link.close();
    // Only our own link: someone may have re-pointed the number meanwhile.
    if (QFileInfo(linkPath).symLinkTarget() == link.slavePath())
        map.removeLink(com);
    state.write(display);
    return exitCode;
}
