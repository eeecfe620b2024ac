#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// The far end of a pseudo-terminal, played by a thread: it records everything the
// program under test writes and answers through a script. It keeps its own
// descriptor of the slave open, so the program may open and close the port as
// often as it likes.
class PtyPeer
{
public:
    // Sees each chunk as it arrives (and everything so far); returns the bytes to
    // answer, if any.
    using Script = std::function<QByteArray(const QByteArray &chunk, const QByteArray &all)>;

    PtyPeer();
    ~PtyPeer();

    QString slavePath() const { return m_slavePath; }
    void setScript(Script script);
    QByteArray received() const;
    void clear();
    // Waits (really) until at least n bytes have arrived or ms have passed.
    bool waitForBytes(int n, int ms) const;
    // Closes the master: the line goes dead under the program.
    void hangUp();
    // For use inside a script: hang up once the current answer has been written.
    void requestHangUp() { m_hangUpRequested = true; }
    // The baud rate the program set on its side.
    int hostBaud() const;

private:
    void run();

    int m_master = -1;
    int m_slaveKeep = -1;
    QString m_slavePath;
    mutable std::mutex m_mutex;
    QByteArray m_received;
    Script m_script;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_hangUpRequested {false};
    std::thread m_thread;
};
