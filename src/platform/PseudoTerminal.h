#pragma once

#include "SerialPort.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform {

// The end of the pass-through that another program opens as its serial port: a
// pseudo-terminal whose slave side the program opens. A slave descriptor of our
// own stays open, so the program may open and close the port as often as it
// likes without the master seeing a hang-up, and its line settings stay between
// opens as a serial port's do.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Raw, at the rate and stop bits of `line`, so that a program which sets
    // nothing talks at the real port's settings without echo.
    bool open(const LineSettings &line, QString *error);
    void close();
    bool isOpen() const { return m_master >= 0; }

    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // Readable when the program opens or closes the slave; -1 without one.
    int watchFd() const { return m_watch; }

    // What the program has set on its side. Linux keeps only the rate and the
    // stop bits on a pseudo-terminal: it turns every request into 8 data bits
    // without parity. baud is 0 when the program dropped the line (B0) and -1
    // for a rate this port does not know. False when nothing can be read.
    bool programLine(int *baud, bool *twoStopBits) const;

    // What the program wrote, at most maxBytes; false when the pseudo-terminal
    // has failed (hung up), with the reason.
    bool read(QByteArray &data, qsizetype maxBytes, QString *error);
    // Writes what the pseudo-terminal takes now; the count written, -1 when it
    // has failed.
    qsizetype write(const char *data, qsizetype size, QString *error);

    // The opens (true) and closes (false) of the slave since the last call,
    // oldest first.
    QList<bool> takeOpensAndCloses();
    // Drops what waits for the program to read, as a serial port drops what
    // arrives while it is closed.
    void discardInput();
    // Whether another process has the slave open.
    bool heldByProgram() const;
    // Ends an exclusive mode that a program which has closed its port left
    // behind: our own descriptor keeps the tty alive, so the mode would
    // otherwise lock every later open out, which a serial port's last close
    // would have ended.
    void endLeftExclusiveMode();

private:
    int m_master = -1;
    int m_slave = -1;
    int m_watch = -1;
    QString m_slavePath;
};

} // namespace platform
