#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>

class CKDX;

// Finds the line settings of a display nobody remembers setting: asks for its
// version at every rate and framing the display has, one setting after the
// other, and stops at the first one at which it answers like a KDX display.
// Only the version query is ever sent, so nothing on the display changes.
//
// The order is the one most likely in the field: the settings given first, then
// every rate with N,8,1, then the other framings rate by rate. Bytes that come
// garbled at a rate mean the rate is probably right and the framing wrong, so
// that rate's other framings are tried next. Each setting waits only as long as
// a display takes to answer at its rate. Once a version answers, the other
// framings of that rate are asked as well: where they answer alike the line
// cannot tell them apart (a pseudo-terminal carries no parity), and the result
// says which framings are possible instead of picking one. A version that came
// with a set top bit or a NUL (a parity bit read as data, a framing error) at
// the first framing gives way to a framing of the same rate that reads it clean.
//
// The sweep talks through the driver's one port (CKDX's Connect, the port of
// frmCKDX) and waits on platform::clock(), so it runs on the virtual clock in
// tests. The driver's own rate and parity are the same afterwards as before.
class DisplayFinder
{
public:
    struct Setting
    {
        QString baud;    // "9600"
        QString framing; // "N,8,1"

        bool operator==(const Setting &other) const { return baud == other.baud && framing == other.framing; }
        QString text() const { return baud + QLatin1Char(' ') + framing; }
    };

    enum class Outcome {
        Found,      // a version answered
        Loader,     // the display's firmware loader answered instead
        NotFound,   // nothing answered like a display at any setting
        Cancelled,  // cancel() stopped it
        PortFailed, // the port would not open (portResult -2) or failed (-3)
        NoLineSettings, // a raw TCP port: the far end keeps its own rate and framing
    };

    struct Result
    {
        Outcome outcome = Outcome::NotFound;
        // Found and Loader: where it answered. framings holds every framing of
        // that rate at which the same version came: one when the line tells
        // them apart, several when it cannot.
        QString baud;
        QStringList framings;
        QString version;
        qint32 portResult = 0;
        int settingsTried = 0;
        int settingsInSweep = 0;
        // Settings the port would not take (an adapter without that rate).
        QStringList skipped;
        // Rates at which bytes came that were no answer.
        QStringList garbledAt;

        bool framingKnown() const { return framings.size() == 1; }
    };

    // How long a display takes to start its answer once the query's last byte
    // has reached it. Measured against kdx-sim on its timed line over a
    // pseudo-terminal, on a shared two-core machine at a load of 2.5 (300
    // version queries at 19200 baud, 60 at 1200): the first answer byte came
    // 1.9 ms (median) and 6.7 ms at most after the query's and its own
    // character time; on the instant line 0.17 ms. The rest is margin for a
    // display whose firmware answers from its main loop and for a busy machine;
    // 45 settings of a silent line still take about 6.3 s.
    static constexpr std::chrono::milliseconds kDisplayAnswerDelay {100};

    // The query, and the longest answer taken (a version is a few bytes; more
    // is a line that chatters).
    static constexpr int kQueryLength = 4;
    static constexpr int kMaxAnswerLength = 64;

    explicit DisplayFinder(CKDX &kdx);

    // The setting tried first (default 19200 N,8,1). A framing is written as
    // the driver takes it ("O,7,1"; "o,8,1" is "O,8,1").
    void setStart(const Setting &start);
    Setting start() const { return m_start; }

    // Every setting in the order the sweep tries them when no answer hints
    // otherwise: the start, then each rate with N,8,1, then the other framings.
    QList<Setting> order() const;

    // Bit times of one character: start bit, data bits, parity bit, stop bits.
    static int bitsPerCharacter(const QString &framing);
    // How long one setting waits for the first byte of an answer: the query's
    // and that byte's character time plus kDisplayAnswerDelay.
    static std::chrono::milliseconds answerWait(const Setting &setting);
    // Whether bytes are the firmware loader's (its prompt ">", XModem's "C" or
    // NAK) rather than an answer of the display.
    static bool soundsLikeLoader(const QByteArray &answer);

    // Called as each setting is tried: the setting, its number from 1, and how
    // many the sweep has.
    std::function<void(const Setting &, int, int)> onTrying;

    // Runs the whole sweep. Windows stay alive: the waits process events.
    Result find();
    // Stops a running find() at its next look at the line.
    void cancel() { m_cancel = true; }

private:
    enum class Heard { Nothing, Version, Loader, Garbled, OpenFailed, LineFailed, Cancelled, NoLineSettings };
    Heard ask(const Setting &setting, QByteArray &answer, qint32 &portResult);
    Result sweep();
    void confirmFramings(Result &result, const QByteArray &answer);

    CKDX &m_kdx;
    Setting m_start {QStringLiteral("19200"), QStringLiteral("N,8,1")};
    std::atomic<bool> m_cancel {false};
};
