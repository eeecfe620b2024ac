#pragma once

#include "RunSummary.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

// Runs one kdxctl per port at the same time, each in its own process, and
// collects how each ended. Every line a port's kdxctl prints is passed on with
// the port's name in front; in place mode keeps one line per port on the
// terminal instead, overwritten with that port's latest line (for firmware
// progress). A stop signal (Ctrl+C, SIGTERM, SIGHUP) is passed on to every
// port, so that each stops cleanly, and the run still ends with every port's
// outcome; a second one, or a port that does not stop within the grace time,
// kills what is left.
class ParallelRun
{
public:
    struct Job
    {
        QString port;
        QStringList arguments; // after the program name
        bool hasInput = false; // else standard input is /dev/null
        QByteArray input;
    };

    enum class Display { Lines, InPlace };

    struct Options
    {
        QString program;
        Display display = Display::Lines;
        // Standard output is kept for the summary alone (--json): the ports'
        // output goes to standard error.
        bool outputToStderr = false;
        std::chrono::milliseconds stopGrace {60000};
    };

    explicit ParallelRun(Options options);

    // Outcomes in the order of the jobs. The stop signals stay blocked when it
    // returns, so that a late Ctrl+C cannot cut the summary short.
    QList<PortOutcome> run(const QList<Job> &jobs);

    // The stop signal that arrived during run(), 0 for none.
    int stopSignal() const { return m_stopSignal; }

private:
    Options m_options;
    int m_stopSignal = 0;
};
