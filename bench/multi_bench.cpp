// kdxctl on many ports and run files, against kdx-sim, measured:
//  - a run file of 20 native commands in one kdxctl: wall time as a ratio to
//    20 times the 51 ms a native command waits for its answer (goal: 1.04),
//    beside 20 separate kdxctl calls;
//  - a firmware image into eight displays at once: wall time as a ratio to one
//    display's (goal: 1.1), and the CPU time of every kdxctl process together
//    as a share of the wall time (goal: under 5 % of one core).
// Run by hand: build/bin/multi_bench [--size BYTES] [--displays N] [--runs N]

#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr double kCommandFloorS = 0.051;
constexpr int kCommands = 20;

double childCpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Timed
{
    int exitCode = -1;
    double wallS = 0;
    double cpuS = 0; // of kdxctl and every process it started
};

// The simulator is reaped only at the end, so what the children used meanwhile
// is kdxctl's alone.
Timed kdxctl(const SimProcess &sim, const QStringList &args)
{
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    const double cpu0 = childCpuSeconds();
    QElapsedTimer t;
    t.start();
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), args);
    p.waitForFinished(-1);
    Timed r;
    r.wallS = double(t.nsecsElapsed()) / 1e9;
    r.cpuS = childCpuSeconds() - cpu0;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

bool runFile(int runs)
{
    SimProcess sim;
    if (!sim.start({})) {
        std::fprintf(stderr, "kdx-sim: %s\n", qPrintable(sim.error()));
        return false;
    }
    const QString file = sim.path(QStringLiteral("twenty.kdx"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < kCommands; ++i)
        f.write(QByteArray("position ") + QByteArray::number(i % 20 + 1) + '\n');
    f.close();

    QList<double> inOne;
    QList<double> separate;
    for (int r = 0; r < runs; ++r) {
        const Timed t = kdxctl(sim, {"--port", sim.comName(), "run", file});
        if (t.exitCode != 0) {
            std::fprintf(stderr, "run failed: exit %d\n", t.exitCode);
            return false;
        }
        inOne.append(t.wallS);
        QElapsedTimer e;
        e.start();
        for (int i = 0; i < kCommands; ++i)
            kdxctl(sim, {"--port", sim.comName(), "position", QString::number(i % 20 + 1)});
        separate.append(double(e.nsecsElapsed()) / 1e9);
    }
    const double floor = kCommands * kCommandFloorS;
    std::printf("(a) %d native commands, median of %d: run file %.3f s (%.3f x the %.2f s floor), "
                "%d separate calls %.3f s (%.3f x)\n",
                kCommands, runs, median(inOne), median(inOne) / floor, floor, kCommands, median(separate),
                median(separate) / floor);
    return true;
}

bool firmware(int size, int displays)
{
    SimProcess sim;
    if (!sim.startMany(displays, {"--firmware-out", sim.path(QStringLiteral("got-%n.bin"))})) {
        std::fprintf(stderr, "kdx-sim: %s\n", qPrintable(sim.error()));
        return false;
    }
    const QString file = sim.path(QStringLiteral("image.bin"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7 + (i >> 9));
    f.write(data);
    f.close();

    const Timed one = kdxctl(sim, {"--port", sim.comName(), "firmware", file, "--crc"});
    const QString list = QStringLiteral("%1-%2").arg(sim.comNames().first(), sim.comNames().last());
    const double simCpu0 = sim.cpuSeconds();
    const Timed all = kdxctl(sim, {"--port", list, "firmware", file, "--crc"});
    const double simCpu = sim.cpuSeconds() - simCpu0;
    int intact = 0;
    for (const QString &com : sim.comNames()) {
        QFile got(sim.path(QStringLiteral("got-%1.bin").arg(com.mid(3))));
        if (got.open(QIODevice::ReadOnly) && got.readAll() == data)
            ++intact;
    }
    std::printf("(b) %d KiB: one display %.2f s (exit %d, CPU %.2f s = %.2f %%); %d displays at once %.2f s "
                "(exit %d, %.3f x one display's), CPU of all kdxctl processes %.2f s = %.2f %% of one core; "
                "%d of %d images intact; the simulator of all %d used %.2f s CPU meanwhile\n",
                size / 1024, one.wallS, one.exitCode, one.cpuS, 100 * one.cpuS / one.wallS, displays, all.wallS,
                all.exitCode, all.wallS / one.wallS, all.cpuS, 100 * all.cpuS / all.wallS, intact, displays, displays, simCpu);
    return one.exitCode == 0 && all.exitCode == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int size = 64 * 1024;
    int displays = 8;
    int runs = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--size"))
            size = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--displays"))
            displays = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
    }
    if (!SimProcess::built()) {
        std::fprintf(stderr, "build kdx-sim and kdxctl first\n");
        return 1;
    }
    const bool ok = runFile(runs) && firmware(size, displays);
    return ok ? 0 : 1;
}
