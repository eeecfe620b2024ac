#pragma once

#include "PseudoTerminal.h"
#include "SerialPort.h"
#include "TapSerialPort.h"

#include <QObject>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace platform {

// Sits between a program and its display: a pseudo-terminal entered in the port
// map as COM<n>, which the program opens as its port, and the real port (a
// device, a COM name of the port map or a network address, opened through the
// port factory with its lock). Every byte passes unchanged both ways as soon as
// it arrives; the rate and stop bits the program sets on its side are applied to
// the real port. The real port stays open the whole time, while the program
// opens and closes COM<n> as often as it likes.
//
// Everything that passes is reported to the sink as a tap would report it:
// the program's bytes as written to the display, the display's as read from it,
// and notes on the port (the program's opens and closes, new settings, a
// hang-up). Runs in the event loop of the thread that starts it.
class PassThrough final : public QObject
{
    Q_OBJECT
public:
    struct Setup
    {
        QString realPort;  // a COM name, a device path or rfc2217:// / tcp:// address
        int comNumber = 0; // the COM number the program is offered
        // The real port's line settings until the program sets its own; its
        // parity and data bits stay (a pseudo-terminal does not keep them).
        QString settings = QStringLiteral("19200,N,8,1");
    };

    enum class Outcome {
        Idle,
        Running,
        ComTaken,       // COM<n> is someone else's in the port map
        PortMapFailed,  // the link could not be made
        TerminalFailed, // no pseudo-terminal
        RealPortFailed, // the real port would not open
        Stopped,        // stop()
        RealHungUp,     // the real port failed or hung up
        ProgramHungUp,  // the pseudo-terminal was hung up
    };

    // The program's bytes go out in pieces of at most this many.
    static constexpr qsizetype kChunk = 4096;
    // Most bytes of the display held for a program that does not read; more are
    // dropped, as a serial port drops what nobody reads.
    static constexpr qsizetype kMaxHeldForProgram = 64 * 1024;
    // How often the program's line settings are looked at when it sends
    // nothing (before every piece it sends they are looked at anyway).
    static constexpr int kSettingsPollMs = 100;

    explicit PassThrough(TrafficSink *sink = nullptr, QObject *parent = nullptr);
    ~PassThrough() override;

    // Checks that COM<n> is free, opens the real port, makes the pseudo-terminal
    // and enters it as COM<n>. False with outcome() and error() saying why;
    // nothing is left open then.
    bool start(const Setup &setup);
    // Ends the pass-through: COM<n> leaves the port map, the program's end hangs
    // up and the real port is closed and let go. Called while a call of the real
    // port is waiting (a write to a stalled line), it takes COM<n> away at once
    // and closes the rest as soon as that call returns.
    void stop();

    bool running() const { return m_outcome == Outcome::Running; }
    Outcome outcome() const { return m_outcome; }
    // Why start() failed or the pass-through ended, in one line.
    QString error() const { return m_error; }
    QString comName() const;
    // The real port as it was named to start().
    QString realPort() const { return m_setup.realPort; }
    // The port map's entry for COM<n>, and the pseudo-terminal behind it.
    QString linkPath() const { return m_linkPath; }
    QString slavePath() const { return m_pty.slavePath(); }
    QString realSettings() const;

signals:
    // The pass-through ended by itself (a hang-up); not sent for stop().
    void ended();

private:
    bool fail(Outcome outcome, const QString &text);
    bool claimComNumber();
    bool openRealPort();
    void pump();
    void scheduleRealRead();
    bool fromProgram();
    bool fromDisplay();
    bool toProgram();
    bool followProgramLine();
    void noteOpenOrClose(bool opened);
    void finish(Outcome outcome, const QString &text);
    void closeEverything();
    void removeLink();
    void note(const QString &text);
    void report(TapEvent::Kind kind, const QByteArray &bytes, qint64 timeUs, const QString &text = QString());
    bool end(Outcome outcome, const QString &text);

    TrafficSink *m_sink = nullptr;
    Setup m_setup;
    LineSettings m_base;
    Outcome m_outcome = Outcome::Idle;
    QString m_error;
    QString m_comName;
    QString m_linkPath;
    PseudoTerminal m_pty;
    std::unique_ptr<SerialPort> m_real;
    QSocketNotifier *m_fromProgram = nullptr;
    QSocketNotifier *m_toProgramReady = nullptr;
    QSocketNotifier *m_opens = nullptr;
    QTimer m_settingsPoll;
    QTimer m_realPoll; // only for a real port that cannot tell when input waits
    QByteArray m_heldForProgram;
    bool m_droppingForProgram = false;
    // How many opens of COM<n> the program has not closed yet (-1: unknown,
    // the opens cannot be watched), and whether the display's bytes are being
    // dropped while it has none.
    int m_programOpens = 0;
    bool m_droppingWhileClosed = false;
    int m_seenBaud = 0;
    bool m_seenTwoStop = false;
    bool m_pumping = false;
    bool m_again = false;
    bool m_realReadScheduled = false;
    bool m_stopRequested = false;
    // Set by a step that found a side hung up; acted on once the pump is done.
    Outcome m_pendingEnd = Outcome::Running;
    QString m_pendingText;
    bool m_bytesOnly = false; // tcp://: the line settings do not travel
};

} // namespace platform
