#pragma once

#include <QByteArray>
#include <QString>

namespace kdxsim {

// The display's end of the line: a pseudo-terminal whose slave side the host
// opens as its serial port. kdx-sim keeps a slave descriptor of its own open, so
// the host may open and close the port as often as it likes without the master
// seeing a hang-up, and the host's line settings survive between opens.
class PtyLink
{
public:
    PtyLink() = default;
    ~PtyLink();
    PtyLink(const PtyLink &) = delete;
    PtyLink &operator=(const PtyLink &) = delete;

    bool open(int initialBaud, QString *error);
    void close();

    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // The rate the host has set on its side, 0 when it cannot be read.
    int hostBaud() const;
    // Everything waiting from the host; false when the line has failed.
    bool read(QByteArray *data);
    // Writes what the pseudo-terminal takes; bytes it cannot take now are lost,
    // as on a line nobody listens to. Returns the count dropped.
    int write(const QByteArray &data);

    static int rateOf(unsigned speed);

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace kdxsim
