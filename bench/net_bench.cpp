// A native command to kdx-sim through ser2net on 127.0.0.1, beside the same
// command on the simulator's pseudo-terminal: wall time as a ratio to the
// protocol's floor of one 50 ms poll, which Delay ends only past 50 ms, so
// 51 ms. Every command opens the port, exchanges its frame and closes it
// again, as the driver does. Back to back, an open over
// Telnet takes up the connection the last close kept (the line settings are
// confirmed and the input purged again); the "fresh connection" row leaves
// more than the linger between commands, so that each one connects and
// negotiates anew and waits for the server to finish closing the last one.
// Run by hand: build/bin/net_bench [runs]

#include "CKDX.h"
#include "PortFactory.h"
#include "Ser2NetProcess.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "frmCKDX.h"

#include "NetworkSerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures
{
    double median = 0;
    double max = 0;
    bool ok = true;
};

Figures measure(const QString &portName, int runs, int pauseMs = 0)
{
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory([portName] { return platform::makeSerialPort(portName); });
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    std::vector<double> ms;
    Figures f;
    for (int i = 0; i < runs; ++i) {
        if (pauseMs > 0) {
            QEventLoop idle;
            QTimer::singleShot(pauseMs, &idle, &QEventLoop::quit);
            idle.exec();
        }
        QElapsedTimer t;
        t.start();
        const qint32 r = kdx.SetPosition(1);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (r != kdx::OK) {
            std::fprintf(stderr, "net_bench: %s answered %d\n", qPrintable(portName), r);
            f.ok = false;
        }
    }
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    f.max = ms.back();
    return f;
}

void print(const char *what, const Figures &f, int runs)
{
    std::printf("  %-30s median %6.1f ms, max %6.1f ms over %d runs; ratio to 51 ms: %.3f\n", what, f.median, f.max,
                runs, f.median / 51.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 40;
    if (!SimProcess::built() || !Ser2NetProcess::available()) {
        std::fprintf(stderr, "net_bench: needs kdx-sim built and ser2net installed\n");
        return 1;
    }
    kdxtest::isolateUserFolders();
    SimProcess sim;
    if (!sim.start({})) {
        std::fprintf(stderr, "net_bench: kdx-sim did not start: %s\n", qPrintable(sim.error()));
        return 1;
    }
    Ser2NetProcess telnet;
    Ser2NetProcess raw;
    if (!telnet.start(sim.device(), Ser2NetProcess::Accepter::Rfc2217)) {
        std::fprintf(stderr, "net_bench: %s\n", qPrintable(telnet.error()));
        return 1;
    }
    std::printf("net_bench: native command (SetPosition), kdx-sim on %s\n", qPrintable(sim.device()));
    const Figures local = measure(sim.device(), runs);
    const Figures viaTelnet = measure(telnet.url(), runs);
    const int coldRuns = std::min(runs, 10);
    const Figures viaTelnetCold = measure(telnet.url(), coldRuns, platform::NetworkSerialPort::kLingerMs + 100);
    telnet.stop();
    if (!raw.start(sim.device(), Ser2NetProcess::Accepter::Raw)) {
        std::fprintf(stderr, "net_bench: %s\n", qPrintable(raw.error()));
        return 1;
    }
    const Figures viaTcp = measure(raw.url(), runs);
    print("pseudo-terminal", local, runs);
    print("rfc2217:// (ser2net)", viaTelnet, runs);
    print("rfc2217://, fresh connection", viaTelnetCold, coldRuns);
    print("tcp:// (ser2net)", viaTcp, runs);
    frmCKDX::resetInstance();
    return local.ok && viaTelnet.ok && viaTelnetCold.ok && viaTcp.ok ? 0 : 1;
}
