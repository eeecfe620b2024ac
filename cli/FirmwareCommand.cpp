#include "FirmwareCommand.h"

#include "CKDX.h"
#include "Commands.h"
#include "FileCheck.h"
#include "LoaderDialogue.h"
#include "ParallelRun.h"
#include "PortLock.h"
#include "Timer.h"
#include "frmCKDX.h"
#include "modKDX.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// How often the transfer's progress is looked at, as the firmware window does.
constexpr int kPollMs = 500;
// How soon a stop signal reaches the loader dialogue or the sender.
constexpr int kSignalCheckMs = 100;

// Exit statuses follow the rest of kdxctl: the driver's result code without its
// sign, the sysexits numbers for a bad command line or an unusable file, and
// 128 plus the signal's number for a stop by signal.
constexpr int kExitOk = 0;
constexpr int kExitNoInput = 66;
constexpr int kExitSignal = 128;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int sig)
{
    // The first signal asks for a clean stop; a second one is meant at once,
    // yet the port is still left as the next program needs it: the display
    // told to leave its loader, the tty out of exclusive mode, no lock file.
    if (g_stopSignal != 0) {
        platform::releasePortLocks();
        ::_exit(kExitSignal + sig);
    }
    g_stopSignal = sig;
}

// What the display is told if a second signal ends the update at once, kept
// in step with where the update stands: from the first byte of the loader
// dialogue its ESC "R" CR; once the loader waits for blocks, CAN CAN before it.
class Farewell
{
public:
    Farewell() { platform::setPortFarewell(LoaderDialogue::leaveLoader(false)); }
    ~Farewell() { platform::setPortFarewell(QByteArray()); }
    Farewell(const Farewell &) = delete;
    Farewell &operator=(const Farewell &) = delete;
    static void blocksUnderWay() { platform::setPortFarewell(LoaderDialogue::leaveLoader(true)); }
    // The transfer has ended, and with it the loader's closing sequence.
    static void none() { platform::setPortFarewell(QByteArray()); }
};

// The stop signals are ours for the length of the update.
class StopSignals
{
public:
    StopSignals()
    {
        g_stopSignal = 0;
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            ::sigaction(kStopSignals[i], &sa, &m_old[i]);
    }
    ~StopSignals()
    {
        for (size_t i = 0; i < std::size(kStopSignals); ++i)
            ::sigaction(kStopSignals[i], &m_old[i], nullptr);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    static int received() { return int(g_stopSignal); }

private:
    struct sigaction m_old[std::size(kStopSignals)] {};
};

int exitFor(XModemSender::Outcome outcome)
{
    switch (outcome) {
    case XModemSender::Outcome::Complete: return kExitOk;
    case XModemSender::Outcome::PortFault: return -kdx::NotConnected;
    case XModemSender::Outcome::FileFault: return kExitNoInput;
    case XModemSender::Outcome::Cancelled:
    case XModemSender::Outcome::Stopped: return -kdx::Cancelled;
    case XModemSender::Outcome::None:
    case XModemSender::Outcome::NoStartRequest:
    case XModemSender::Outcome::NoAnswer: break;
    }
    return -kdx::NoResponse;
}

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

int usage(const QString &why)
{
    return kdxctl::usageError(QStringLiteral("firmware: ") + why, kdxctl::findCommand(QStringLiteral("firmware")));
}

// The progress of one phase, printed whenever it moves up: one line rewritten
// in place on a terminal, a line per step otherwise (a log, a pipe).
class ProgressLine
{
public:
    ProgressLine()
        : m_terminal(::isatty(STDERR_FILENO) == 1)
    {
    }
    void begin(const char *label)
    {
        end();
        m_label = label;
        m_last = -1;
    }
    void show(int value)
    {
        if (!m_label || value <= m_last)
            return;
        m_last = value;
        if (m_terminal)
            std::fprintf(stderr, "\r%s: %d%%", m_label, value);
        else
            std::fprintf(stderr, "%s: %d%%\n", m_label, value);
        std::fflush(stderr);
        m_open = m_terminal;
    }
    // Ends the phase's line, so that what follows starts on a line of its own.
    void end()
    {
        if (m_open)
            std::fputc('\n', stderr);
        m_open = false;
        m_label = nullptr;
    }

private:
    const bool m_terminal;
    const char *m_label = nullptr;
    int m_last = -1;
    bool m_open = false;
};

int stoppedBy(int sig)
{
    say(QStringLiteral("firmware: stopped"));
    return kExitSignal + sig;
}

} // namespace

int firmwareCommand(kdxctl::Session &session, const QStringList &args)
{
    QString file;
    bool crc = false;
    int codeType = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--crc")) {
            crc = true;
        } else if (a == QLatin1String("--code-type")) {
            if (i + 1 >= args.size())
                return usage(QStringLiteral("--code-type needs 0 or 1"));
            const QString v = args[++i];
            if (v != QLatin1String("0") && v != QLatin1String("1"))
                return usage(QStringLiteral("--code-type must be 0 or 1, not \"%1\"").arg(v));
            codeType = v.toInt();
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            return usage(QStringLiteral("unknown option %1").arg(a));
        } else if (file.isEmpty()) {
            file = a;
        } else {
            return usage(QStringLiteral("one file only"));
        }
    }
    if (file.isEmpty())
        return usage(QStringLiteral("no firmware file given"));

    // Refused before the display is touched: nothing is sent for a file that
    // cannot be a firmware image.
    fileCheck::Fault fault;
    if (!fileCheck::checkFirmwareFile(file, fault)) {
        say(QStringLiteral("kdxctl firmware: %1: %2").arg(file, fault.description));
        return kExitNoInput;
    }

    CKDX &kdx = session.kdx();

    // The transfer runs on the sender's timer, which needs an event loop.
    std::unique_ptr<QCoreApplication> ownApp;
    static int argc = 1;
    static char name[] = "kdxctl";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        ownApp = std::make_unique<QCoreApplication>(argc, argv);

    const StopSignals stopSignals;
    platform::Timer stopCheck;
    stopCheck.setInterval(kSignalCheckMs);
    QObject::connect(&stopCheck, &platform::Timer::timeout, [&] {
        if (StopSignals::received())
            kdx.StopSendFile();
    });
    stopCheck.setEnabled(true);

    // The loader dialogue and the transfer wait inside the driver; a poll
    // timer of our own reports the progress from within those waits.
    ProgressLine progress;
    platform::Timer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &platform::Timer::timeout, [&] { progress.show(kdx.Progress()); });
    poll.setEnabled(true);

    const Farewell farewell;
    say(QStringLiteral("firmware: switching the display into its loader"));
    progress.begin("loader");
    kdx.setFirmwareCodeType(codeType);
    kdx.setUpdateFirmwareFinish(false);
    kdx.setCheckSumType(crc ? 1 : 0);
    kdx.setFile(file);
    const qint32 r = kdx.FirmwareUpdateMode();
    if (r == kdx::OK)
        progress.show(kdx.Progress());
    progress.end();
    if (r == kdx::Cancelled && StopSignals::received())
        return stoppedBy(StopSignals::received());
    if (r == kdx::OpenFailed)
        return session.report(r); // with the reason, as the other commands give it
    if (r != kdx::OK) {
        // One line: a run on many ports sums a port up by its last line.
        if (r == kdx::NoResponse)
            say(QStringLiteral("kdxctl firmware: %1: %2 (%3); is the display at %4 baud and switched on?")
                    .arg(kdx.loaderFailureText(r), CKDX::ErrorDescription(r))
                    .arg(r)
                    .arg(kdx.BaudRate()));
        else
            say(QStringLiteral("kdxctl firmware: %1: %2 (%3)").arg(kdx.loaderFailureText(r), CKDX::ErrorDescription(r)).arg(r));
        return -r;
    }

    // The words the runner on many ports knows the first block by (never retried).
    say(QLatin1String(ParallelRun::kBlocksStart) + QStringLiteral("%1 (%2)")
            .arg(file, crc ? QStringLiteral("XModem - CRC") : QStringLiteral("XModem - Checksum")));
    progress.begin("transfer");
    Farewell::blocksUnderWay();
    kdx.StartSendFile();
    // A signal during the last prompt: the sender's first tick cancels the receive.
    if (StopSignals::received())
        kdx.StopSendFile();
    while (kdx.transferOutcome() == XModemSender::Outcome::None)
        modKDX::Delay(kSignalCheckMs);
    Farewell::none();
    poll.setEnabled(false);
    stopCheck.setEnabled(false);
    const XModemSender::Outcome outcome = kdx.transferOutcome();
    // The closing sequence takes the progress back to 0 before a poll may see 100.
    if (outcome == XModemSender::Outcome::Complete)
        progress.show(100);
    progress.end();
    kdx.Disconnect();

    if (outcome == XModemSender::Outcome::Stopped && StopSignals::received())
        return stoppedBy(StopSignals::received());
    if (outcome != XModemSender::Outcome::Complete) {
        say(QStringLiteral("kdxctl firmware: the update failed: %1").arg(kdx.transferOutcomeText()));
        return exitFor(outcome);
    }
    std::fprintf(stdout, "Firmware Update OK!\n");
    std::fflush(stdout);
    return kExitOk;
}
