#pragma once

#include "Display.h"

#include <QJsonArray>
#include <QJsonObject>

// Drives a Display on a private clock: bytes in, answers out, as a host at a
// chosen rate sees them. The display's behaviour is tested on an instant line;
// a test of the line's own time asks for it.
class SimHarness
{
public:
    explicit SimHarness(kdxsim::DisplayConfig config = {}, bool lineTime = false)
        : display(withLineTime(config, lineTime))
    {
    }

    // Sends bytes and collects everything answered within the next waitMs.
    QByteArray exchange(const QByteArray &bytes, int waitMs = 0)
    {
        display.feed(bytes, now, hostBaud);
        return wait(waitMs);
    }

    QByteArray wait(int ms)
    {
        const qint64 until = now + ms;
        QByteArray out = display.takeOutput(now, hostBaud);
        for (;;) {
            const qint64 next = display.nextDeadline();
            if (next < 0 || next > until)
                break;
            now = std::max(now, next);
            display.advance(now);
            out += display.takeOutput(now, hostBaud);
        }
        now = until;
        display.advance(now);
        out += display.takeOutput(now, hostBaud);
        return out;
    }

    QStringList lines() const
    {
        QStringList out;
        for (const QJsonValue &v : display.state().value(QStringLiteral("lines")).toArray())
            out << v.toString();
        return out;
    }
    QString line(int row) const { return lines().value(row); }
    QString cursor() const
    {
        return QStringLiteral("%1,%2").arg(display.screen().cursorRow() + 1).arg(display.screen().cursorCol() + 1);
    }

    kdxsim::Display display;
    qint64 now = 1000;
    int hostBaud = 19200;

private:
    static kdxsim::DisplayConfig withLineTime(kdxsim::DisplayConfig config, bool on)
    {
        config.lineTime = on;
        return config;
    }
};

inline QByteArray frame(char letter, const QByteArray &params = {})
{
    return QByteArray("\x04\x01") + letter + params + '\x17';
}
