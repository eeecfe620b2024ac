// kdxctl on a fleet of displays, measured: N kdx-sim displays (--count N)
// behind one ser2net with an RFC 2217 accepter for each, a 2 KiB firmware
// image into all of them from a file of ports with --jobs J. For each N and J:
// the wall time as a ratio to one display's, the CPU time of the kdxctl
// processes, ser2net and the simulator, and, in a second run of its own (the
// sampling takes each process's memory lock and would slow the first), the
// peak memory of all kdxctl processes together (proportional set size,
// sampled every 100 ms).
// Goals: 64 displays at --jobs 64 in at most 1.2 times one display's time, 64
// at --jobs 16 in at most 4.4 times; six at once in at most 1.15 times.
// Run by hand: build/bin/fleet_bench [--counts 1,8,32,64] [--jobs 64,16] [--size 2048]

#include "Ser2NetProcess.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double childCpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

// The proportional set size of pid and every process below it, in KiB.
qint64 treePssKiB(qint64 pid)
{
    qint64 total = 0;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:"))
                total += line.mid(4).trimmed().split(' ').value(0).toLongLong();
        }
    }
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (children.open(QIODevice::ReadOnly)) {
        for (const QByteArray &child : children.readAll().simplified().split(' ')) {
            if (!child.isEmpty())
                total += treePssKiB(child.toLongLong());
        }
    }
    return total;
}

struct Figures
{
    int exitCode = -1;
    double wallS = 0;
    double cpuS = 0; // kdxctl and the processes it started
    qint64 peakPssKiB = 0;
};

Figures kdxctl(const SimProcess &sim, const QStringList &args, bool sampleMemory)
{
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    Figures f;
    const double cpu0 = childCpuSeconds();
    QElapsedTimer t;
    t.start();
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), args);
    p.waitForStarted();
    while (!p.waitForFinished(sampleMemory ? 100 : -1))
        f.peakPssKiB = std::max(f.peakPssKiB, treePssKiB(p.processId()));
    f.wallS = double(t.nsecsElapsed()) / 1e9;
    f.cpuS = childCpuSeconds() - cpu0;
    f.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return f;
}

QList<int> numbers(const QString &text)
{
    QList<int> out;
    for (const QString &n : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out.append(n.toInt());
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> counts {1, 8, 32, 64};
    QList<int> jobs {64, 16};
    int size = 2048;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--counts"))
            counts = numbers(args[i + 1]);
        else if (args[i] == QLatin1String("--jobs"))
            jobs = numbers(args[i + 1]);
        else if (args[i] == QLatin1String("--size"))
            size = args[i + 1].toInt();
    }
    if (!SimProcess::built() || !Ser2NetProcess::available()) {
        std::fprintf(stderr, "fleet_bench: build kdx-sim and kdxctl, and install ser2net\n");
        return 1;
    }
    // Each display and each of its connections holds a few descriptors.
    rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &rl);
    }

    double oneS = 0;
    bool allOk = true;
    for (int n : counts) {
        SimProcess sim;
        // The images tell what arrived; state files for 64 displays would be
        // most of the simulator's work and slow what is measured.
        sim.setStateFiles(false);
        if (!sim.startMany(n, {"--firmware-out", sim.path(QStringLiteral("got-%n.bin"))})) {
            std::fprintf(stderr, "kdx-sim: %s\n", qPrintable(sim.error()));
            return 1;
        }
        Ser2NetProcess server;
        if (!server.startMany(sim.devices(), Ser2NetProcess::Accepter::Rfc2217)) {
            std::fprintf(stderr, "ser2net: %s\n", qPrintable(server.error()));
            return 1;
        }
        const QString image = sim.path(QStringLiteral("image.bin"));
        const QString ports = sim.path(QStringLiteral("ports.txt"));
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char(i * 7 + (i >> 9));
        QFile f(image);
        QFile p(ports);
        if (!f.open(QIODevice::WriteOnly) || !p.open(QIODevice::WriteOnly))
            return 1;
        f.write(data);
        f.close();
        for (int i = 0; i < n; ++i)
            p.write(server.url(i).toUtf8() + '\n');
        p.close();

        QList<int> runs;
        for (int j : jobs)
            runs.append(std::min(j, n));
        std::sort(runs.begin(), runs.end());
        runs.erase(std::unique(runs.begin(), runs.end()), runs.end());
        std::reverse(runs.begin(), runs.end());
        for (int j : runs) {
            for (const QString &com : sim.comNames())
                QFile::remove(sim.path(QStringLiteral("got-%1.bin").arg(com.mid(3))));
            const double serverCpu0 = processCpuSeconds(server.pid());
            const double simCpu0 = sim.cpuSeconds();
            const QStringList call {"--jobs", QString::number(j), "--port", QLatin1Char('@') + ports, "firmware", image,
                                    "--crc"};
            const Figures r = kdxctl(sim, call, false);
            const double serverCpu = processCpuSeconds(server.pid()) - serverCpu0;
            const double simCpu = sim.cpuSeconds() - simCpu0;
            const Figures sampled = kdxctl(sim, call, true);
            const qint64 peakPssKiB = sampled.peakPssKiB;
            int intact = 0;
            for (const QString &com : sim.comNames()) {
                QFile got(sim.path(QStringLiteral("got-%1.bin").arg(com.mid(3))));
                if (got.open(QIODevice::ReadOnly) && got.readAll() == data)
                    ++intact;
            }
            if (n == 1 && oneS == 0)
                oneS = r.wallS;
            allOk = allOk && r.exitCode == 0 && sampled.exitCode == 0 && intact == n;
            std::printf("%2d displays, --jobs %2d: %6.2f s (exit %d, %.2f x one display's), %d of %d images intact; "
                        "peak memory of all kdxctl processes %.1f MiB; CPU: kdxctl %.2f s (%.1f %% of one core), "
                        "ser2net %.2f s, kdx-sim %.2f s\n",
                        n, j, r.wallS, r.exitCode, oneS > 0 ? r.wallS / oneS : 0.0, intact, n,
                        double(peakPssKiB) / 1024.0, r.cpuS, 100.0 * r.cpuS / r.wallS, serverCpu, simCpu);
            std::fflush(stdout);
        }
    }
    return allOk ? 0 : 1;
}
