// Measures the driver's waits over a real pseudo-terminal against kdx-sim,
// whose line takes a real line's time:
//  (a) wall time of a native command against a display that answers at once, as
//      a ratio to the protocol's own floor: one 50 ms poll, which Delay ends only
//      once more than 50 ms have passed, so 51 ms;
//  (b) CPU time of a command that waits for a silent display (about 3.2 s), as a
//      share of its wall time. A spinning wait would use a whole core.
// Run by hand: build/bin/driver_bench [runs]

#include "CKDX.h"
#include "PosixSerialPort.h"
#include "SimProcess.h"
#include "frmCKDX.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr double kFloorMs = 51.0;

double cpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The driver on a simulated display's pseudo-terminal.
std::unique_ptr<SimProcess> startOn(CKDX &kdx, const QStringList &args)
{
    auto sim = std::make_unique<SimProcess>();
    if (!sim->start(args)) {
        std::fprintf(stderr, "driver_bench: kdx-sim did not start: %s\n", qPrintable(sim->error()));
        return nullptr;
    }
    const QString path = sim->device();
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory([path] {
        return std::make_unique<platform::PosixSerialPort>(platform::PosixSerialPort::fixedDevice(path));
    });
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");
    return sim;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    if (!SimProcess::built()) {
        std::fprintf(stderr, "driver_bench: kdx-sim has not been built\n");
        return 1;
    }
    CKDX kdx;
    std::unique_ptr<SimProcess> sim = startOn(kdx, {});
    if (!sim)
        return 1;

    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const qint32 r = kdx.SetPosition(1);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (r != kdx::OK) {
            std::fprintf(stderr, "unexpected result %d\n", r);
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("(a) native command, kdx-sim answering on its timed line at 19200: median %.1f ms, max %.1f ms over %d "
                "runs; ratio to the 51 ms floor: %.3f\n",
                median, ms.back(), runs, median / kFloorMs);

    sim = startOn(kdx, {QStringLiteral("--fault"), QStringLiteral("silent")});
    if (!sim)
        return 1;
    QElapsedTimer wall;
    const double cpu0 = cpuSeconds();
    wall.start();
    QString message;
    const qint32 r = kdx.GetMessage(message);
    const double wallS = double(wall.nsecsElapsed()) / 1e9;
    const double cpuS = cpuSeconds() - cpu0;
    std::printf("(b) silent display: result %d after %.2f s wall, %.3f s CPU: %.2f%% of wall time\n", r, wallS, cpuS,
                100.0 * cpuS / wallS);
    return 0;
}
