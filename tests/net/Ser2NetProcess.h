#pragma once

#include <QProcess>
#include <QTemporaryDir>

// ser2net in front of a device, on 127.0.0.1 at a free port, with a generated
// configuration; stopped again when the object goes.
class Ser2NetProcess
{
public:
    enum class Accepter { Rfc2217, Raw };

    Ser2NetProcess() = default;
    ~Ser2NetProcess();
    Ser2NetProcess(const Ser2NetProcess &) = delete;
    Ser2NetProcess &operator=(const Ser2NetProcess &) = delete;

    // Whether ser2net is installed.
    static bool available();
    // A TCP port of 127.0.0.1 that nothing listens on right now.
    static quint16 freePort();

    // Starts ser2net serving device at 19200n81 and waits until it listens.
    bool start(const QString &device, Accepter accepter);
    // One ser2net serving every device, each on a port of its own.
    bool startMany(const QStringList &devices, Accepter accepter);
    // SIGTERM, then SIGKILL if it does not go; true once it has exited.
    bool stop();
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }

    quint16 port() const { return m_ports.value(0); }
    // rfc2217://127.0.0.1:PORT or tcp://127.0.0.1:PORT, of the first or the
    // index-th device.
    QString url(int index = 0) const;
    QString error() const { return m_error; }

private:
    bool listening(quint16 port) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    Accepter m_accepter = Accepter::Rfc2217;
    QList<quint16> m_ports;
    QString m_error;
};
