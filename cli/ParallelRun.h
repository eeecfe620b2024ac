#pragma once

#include "RunSummary.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// Runs one kdxctl per port, each in its own process, at most a given number at
// once (the others start, in the list's order, as running ones end), and
// collects how each ended. Every line a port's kdxctl prints is passed on with
// the port's name in front; in place mode keeps one line per port on the
// terminal instead, overwritten with that port's latest line (for firmware
// progress). A stop signal (Ctrl+C, SIGTERM, SIGHUP) is passed on to every
// running port, so that each stops cleanly, no further port starts, and the run
// still ends with every port's outcome ("not started" for the ports it never
// reached); a second one, or a port that does not stop within the grace time,
// ends what is left with SIGTERM (each releases its port first), and only a
// port that ignores that for 3 s is killed. A network port whose connection
// failed may be run again after a pause that doubles each time.
class ParallelRun
{
public:
    struct Job
    {
        QString port;
        QStringList arguments; // after the program name
        bool hasInput = false; // else standard input is /dev/null
        QByteArray input;
        bool network = false;  // reached over the network: a failed connection may be retried
        QString logPath;       // every line of the port's output also appended here; empty: none
    };

    enum class Display { Lines, InPlace };

    struct Options
    {
        QString program;
        Display display = Display::Lines;
        // Standard output is kept for the summary alone (--json, --json-lines):
        // the ports' output goes to standard error.
        bool outputToStderr = false;
        std::chrono::milliseconds stopGrace {60000};
        // Most ports running at once.
        int maxRunning = kDefaultMaxRunning;
        // Further attempts for a port whose connection failed (see worthRetrying).
        int retries = 0;
        std::chrono::milliseconds firstPause {1000};
        // Called with each port's final outcome as soon as it is known.
        std::function<void(const PortOutcome &)> finished;
    };

    static constexpr int kDefaultMaxRunning = 64;
    static constexpr int kMaxRunning = 1024;
    // The longest pause between two attempts.
    static constexpr std::chrono::milliseconds kMaxPause {64000};
    // What a port's kdxctl says on standard error as a firmware update starts
    // sending blocks.
    static constexpr char kBlocksStart[] = "firmware: sending ";

    explicit ParallelRun(Options options);

    // Outcomes in the order of the jobs. The stop signals stay blocked when it
    // returns, so that a late Ctrl+C cannot cut the summary short.
    QList<PortOutcome> run(const QList<Job> &jobs);

    // The stop signal that arrived during run(), 0 for none.
    int stopSignal() const { return m_stopSignal; }

    // Whether another attempt may succeed where this one failed: on a network
    // port, the connection could not be made (exit 2) or was lost (3), and no
    // firmware block had been sent. A display that answered wrongly, or a
    // firmware update under way, is never run again.
    static bool worthRetrying(bool network, int status, bool blocksSent);
    // The pause after the given number of failed attempts: 1 s, 2 s, 4 s ...
    // (from first), at most kMaxPause.
    static std::chrono::milliseconds retryPause(int failedAttempts, std::chrono::milliseconds first);

private:
    Options m_options;
    int m_stopSignal = 0;
};
