#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// How one port's kdxctl ended.
struct PortOutcome
{
    QString port;
    int status = 0; // the exit status, as a kdxctl on that port alone gives it
    QString text;   // what it said last: "OK", the version, or why it failed
    qint64 ms = 0;  // from start to end
    int attempts = 0;  // how often it ran; 0: never started
    QString output; // what it printed on standard output, whole (the version, a message)
    QString log;    // the file its output was kept in, if any
    QJsonObject fields; // the command's own fields for the JSON summary
};

// The end of a run on many ports: the exit status and the summary, as a table
// for people or as JSON for line controllers.
class RunSummary
{
public:
    // 0 when every port succeeded, else the status of the first failing port in
    // the list's order.
    static int exitStatus(const QList<PortOutcome> &outcomes);

    // port, result, time and text, one row per port, and a closing line that
    // names the ports that failed.
    static QString table(const QList<PortOutcome> &outcomes);

    // {"status": N, "failed": [...], "ports": [{"port", "result", "text", "seconds"}]}
    static QByteArray json(const QList<PortOutcome> &outcomes);

    // One port as one line of JSON, for a controller that follows a run as it
    // goes: {"port", "result" (the exit status, as in json()), "code" (the
    // driver's result code, null when the status is not one), "seconds",
    // "text", "attempts", and "answer" (what the port printed when that is more
    // than "OK": the version, a message, a search's result), "log" and the
    // command's own fields (as in json()) where they apply}, ending in a
    // newline.
    static QByteArray jsonLine(const PortOutcome &outcome);

    // Words for an exit status when the port's kdxctl said nothing itself.
    static QString statusText(int status);
};
