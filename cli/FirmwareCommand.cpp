#include "FirmwareCommand.h"

#include "CKDX.h"
#include "Commands.h"
#include "FileCheck.h"
#include "Timer.h"
#include "frmCKDX.h"
#include "modKDX.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace {

// How often the transfer's progress is looked at, as the firmware window does.
constexpr int kPollMs = 500;

// Exit statuses follow the rest of kdxctl: the driver's result code without its
// sign, and the sysexits numbers for a bad command line or an unreadable file.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 64;
constexpr int kExitNoInput = 66;

int exitFor(frmCKDX::Outcome outcome)
{
    switch (outcome) {
    case frmCKDX::Outcome::Complete: return kExitOk;
    case frmCKDX::Outcome::PortFault: return -kdx::NotConnected;
    case frmCKDX::Outcome::FileFault: return kExitNoInput;
    case frmCKDX::Outcome::Cancelled:
    case frmCKDX::Outcome::Stopped: return -kdx::Cancelled;
    case frmCKDX::Outcome::None:
    case frmCKDX::Outcome::NoStartRequest:
    case frmCKDX::Outcome::NoAnswer: break;
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
    say(QStringLiteral("kdxctl firmware: %1").arg(why));
    std::fputs("usage:\n", stderr);
    std::fputs(kdxctl::commandUsage(*kdxctl::findCommand(QStringLiteral("firmware"))).toLocal8Bit().constData(), stderr);
    return kExitUsage;
}

// Prints the progress whenever it moves up; the closing sequence's return
// to 0 is not news.
class ProgressLine
{
public:
    void show(int value)
    {
        if (value <= m_last)
            return;
        m_last = value;
        say(QStringLiteral("firmware: %1%").arg(value));
    }
    void restart() { m_last = -1; }

private:
    int m_last = 0;
};

} // namespace

int firmwareCommand(CKDX &kdx, const QStringList &args)
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

    fileCheck::Fault fault;
    if (!fileCheck::openForReading(file, fault)) {
        say(QStringLiteral("kdxctl firmware: %1: %2").arg(file, fault.description));
        return kExitNoInput;
    }

    // The transfer runs on the sender's timer, which needs an event loop.
    std::unique_ptr<QCoreApplication> ownApp;
    static int argc = 1;
    static char name[] = "kdxctl";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        ownApp = std::make_unique<QCoreApplication>(argc, argv);

    // The transfer runs inside one tick of the sender's timer; a poll timer of
    // our own reports the progress from within its waits.
    ProgressLine progress;
    platform::Timer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &platform::Timer::timeout, [&] { progress.show(kdx.Progress()); });
    poll.setEnabled(true);

    say(QStringLiteral("firmware: switching the display into its loader"));
    kdx.setFirmwareCodeType(codeType);
    kdx.setUpdateFirmwareFinish(false);
    const qint32 r = kdx.FirmwareUpdateMode();
    if (r != kdx::OK) {
        say(QStringLiteral("kdxctl firmware: the loader did not answer: %1 (%2)")
                .arg(CKDX::ErrorDescription(r))
                .arg(r));
        return -r;
    }
    progress.show(kdx.Progress());

    say(QStringLiteral("firmware: sending %1 (%2)")
            .arg(file, crc ? QStringLiteral("XModem - CRC") : QStringLiteral("XModem - Checksum")));
    kdx.setCheckSumType(crc ? 1 : 0);
    kdx.setFile(file);
    progress.restart();
    kdx.StartSendFile();

    const frmCKDX &form = frmCKDX::instance();
    while (form.outcome() == frmCKDX::Outcome::None)
        modKDX::Delay(kPollMs);
    poll.setEnabled(false);
    if (form.outcome() != frmCKDX::Outcome::Complete) {
        say(QStringLiteral("kdxctl firmware: the update failed: %1").arg(form.outcomeText()));
        return exitFor(form.outcome());
    }
    std::fprintf(stdout, "Firmware Update OK!\n");
    std::fflush(stdout);
    return kExitOk;
}
