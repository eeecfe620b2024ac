// The start-up of one kdxctl command, measured: `kdxctl --port COMn position 5`
// against kdx-sim, one process per command as a script runs them, from the
// spawn to the end of the process, as a ratio to the 51 ms the command waits
// for its answer (goal: at most 1.15); beside it `kdxctl --version` (start-up
// and exit alone, nothing opened) and the CPU time of one process.
// kdx-sim takes a real line's time, so the answer comes a few milliseconds
// after the frame and the driver's first look right after sending never
// catches it; --instant runs the simulator without line time (--line-time off),
// where that first look sometimes does and the figure is no longer a real
// line's.
// Run by hand: build/bin/startup_bench [--instant] [runs]

#include "SimProcess.h"

#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

constexpr double kFloorMs = 51.0;

struct Sample
{
    double wallMs = 0;
    double cpuMs = 0;
    int status = -1;
};

double nowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// posix_spawn and wait4: the least a caller can add to the process's own time.
Sample run(const QList<QByteArray> &args)
{
    std::vector<char *> argv;
    for (const QByteArray &a : args)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Sample s;
    const double t0 = nowMs();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        return s;
    int status = 0;
    rusage ru {};
    wait4(pid, &status, 0, &ru);
    s.wallMs = nowMs() - t0;
    s.cpuMs = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
    s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

double at(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[size_t(q * double(v.size() - 1))];
}

bool report(const char *what, const QList<QByteArray> &args, int runs, bool ratio)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < runs; ++i) {
        const Sample s = run(args);
        if (s.status != 0) {
            std::fprintf(stderr, "%s: exit %d\n", what, s.status);
            return false;
        }
        wall.push_back(s.wallMs);
        cpu.push_back(s.cpuMs);
    }
    std::printf("%s: median %.1f ms (10%% %.1f, 90%% %.1f) over %d runs", what, at(wall, 0.5), at(wall, 0.1),
                at(wall, 0.9), runs);
    if (ratio)
        std::printf(", %.3f x the %.0f ms floor", at(wall, 0.5) / kFloorMs, kFloorMs);
    std::printf("; CPU %.2f ms a process\n", at(cpu, 0.5));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int runs = 100;
    bool instant = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--instant")
            instant = true;
        else
            runs = std::max(1, atoi(argv[i]));
    }
    if (!SimProcess::built()) {
        std::fprintf(stderr, "build kdx-sim and kdxctl first\n");
        return 1;
    }
    SimProcess sim;
    if (!sim.start(instant ? QStringList {"--line-time", "off"} : QStringList())) {
        std::fprintf(stderr, "kdx-sim: %s\n", qPrintable(sim.error()));
        return 1;
    }
    // The simulator's port map for the commands.
    for (const QString &key : sim.environment().keys())
        qputenv(key.toLocal8Bit().constData(), sim.environment().value(key).toLocal8Bit());
    const QByteArray kdxctl = SimProcess::binary(QStringLiteral("kdxctl")).toLocal8Bit();
    const bool ok = report("kdxctl --version", {kdxctl, "--version"}, runs, false)
        && report("kdxctl position 5", {kdxctl, "--port", sim.comName().toLocal8Bit(), "position", "5"}, runs, true);
    return ok ? 0 : 1;
}
