// Measures kdxctl spy on pseudo-terminals:
//  (a) the delay it adds to an exchange: a program writes a few bytes and waits
//      for the far end's echo, straight on the far end's port and then through
//      the spy (COM<n> -> spy -> port -> echo -> spy -> COM<n>); the difference
//      of the medians, per round trip (two passes through the spy);
//  (b) the CPU the spy uses while nothing passes, as a share of the wall time.
// Run by hand: build/bin/spy_bench [exchanges] [idle seconds]

#include "PtyPeer.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

int openRaw(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Round trips of `size` bytes on fd, in milliseconds, sorted; empty when an
// echo does not come back within a second.
std::vector<double> roundTrips(int fd, int count, int size)
{
    std::vector<double> ms;
    QByteArray out(size, 'x');
    char buf[256];
    for (int i = 0; i < count; ++i) {
        out[0] = char('a' + i % 26);
        QElapsedTimer t;
        t.start();
        if (::write(fd, out.constData(), size_t(size)) != size)
            return {};
        int got = 0;
        while (got < size) {
            pollfd p {fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return {};
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                return {};
            got += int(n);
        }
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

void print(const char *what, const std::vector<double> &ms)
{
    std::printf("    %-16s median %.3f ms, 90th percentile %.3f ms, max %.3f ms\n", what, ms[ms.size() / 2],
                ms[ms.size() * 9 / 10], ms.back());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
    constexpr int kSize = 8;

    PtyPeer peer;
    peer.setScript([](const QByteArray &chunk, const QByteArray &) { return chunk; });

    // Straight on the far end's port.
    int fd = openRaw(peer.slavePath());
    const std::vector<double> direct = roundTrips(fd, count, kSize);
    ::close(fd);
    if (direct.empty()) {
        std::fprintf(stderr, "no echo from the peer\n");
        return 1;
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KDX_PORTS_DIR"), dir.filePath(QStringLiteral("ports")));
    env.insert(QStringLiteral("KDX_LOCK_DIR"), dir.path());
    QProcess spy;
    spy.setProcessEnvironment(env);
    spy.setStandardOutputFile(dir.filePath(QStringLiteral("trace.txt")));
    spy.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kdxctl"),
              {QStringLiteral("--port"), peer.slavePath(), QStringLiteral("spy"), QStringLiteral("--as"), QStringLiteral("COM7")});
    const QString com = dir.filePath(QStringLiteral("ports/COM7"));
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(com).isSymLink() && wait.elapsed() < 5000)
        QThread::msleep(10);
    fd = QFileInfo(com).isSymLink() ? openRaw(com) : -1;
    if (fd < 0) {
        std::fprintf(stderr, "the spy did not offer COM7: %s\n", spy.readAllStandardError().constData());
        return 1;
    }
    const std::vector<double> through = roundTrips(fd, count, kSize);
    ::close(fd);
    if (through.empty()) {
        std::fprintf(stderr, "no echo through the spy\n");
        return 1;
    }
    std::printf("(a) %d round trips of %d bytes on pseudo-terminals:\n", count, kSize);
    print("straight:", direct);
    print("through the spy:", through);
    std::printf("    added by the spy: %.3f ms per round trip (median; goal under 2 ms)\n",
                through[through.size() / 2] - direct[direct.size() / 2]);

    // Idle: nothing passes, the program has closed its port.
    QThread::msleep(500);
    const double cpu0 = SimProcess::cpuSecondsOf(spy.processId());
    QElapsedTimer idle;
    idle.start();
    QThread::sleep(unsigned(idleSeconds));
    const double cpuS = SimProcess::cpuSecondsOf(spy.processId()) - cpu0;
    const double wallS = double(idle.nsecsElapsed()) / 1e9;
    std::printf("(b) idle for %.1f s: %.3f s CPU, %.3f%% of the wall time (goal under 0.5%%)\n", wallS, cpuS,
                100.0 * cpuS / wallS);
    spy.terminate();
    spy.waitForFinished(3000);
    return 0;
}
