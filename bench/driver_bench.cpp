// Measures the driver's waits over a real pseudo-terminal:
//  (a) wall time of a native command against a display that answers at once, as
//      a ratio to the protocol's own floor of one 50 ms poll;
//  (b) CPU time of a command that waits for a silent display (about 3.2 s), as a
//      share of its wall time. A spinning wait would use a whole core.
// Run by hand: build/bin/driver_bench [runs]

#include "CKDX.h"
#include "PosixSerialPort.h"
#include "PtyPeer.h"
#include "frmCKDX.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    PtyPeer peer;
    bool silent = false;
    peer.setScript([&silent](const QByteArray &chunk, const QByteArray &) {
        if (!silent && chunk.startsWith("\x04\x01"))
            return QByteArray(1, '\x06');
        return QByteArray();
    });
    const QString path = peer.slavePath();
    frmCKDX::setPortFactory([path] {
        return std::make_unique<platform::PosixSerialPort>(platform::PosixSerialPort::fixedDevice(path));
    });
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate("19200");
    kdx.setParity("N,8,1");

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
    std::printf("(a) native command, answer at once: median %.1f ms, max %.1f ms over %d runs; ratio to 50 ms: %.3f\n",
                median, ms.back(), runs, median / 50.0);

    silent = true;
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
