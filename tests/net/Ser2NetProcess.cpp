#include "Ser2NetProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

Ser2NetProcess::~Ser2NetProcess()
{
    stop();
}

bool Ser2NetProcess::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
                .isEmpty();
}

quint16 Ser2NetProcess::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString Ser2NetProcess::url(int index) const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_accepter == Accepter::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp"))
        .arg(m_ports.value(index));
}

// Whether something listens on 127.0.0.1:port, from the kernel's table, so
// that checking opens no connection ser2net would have to serve.
bool Ser2NetProcess::listening(quint16 port) const
{
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray want = QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1] == want && fields[3] == "0A")
            return true;
    }
    return false;
}

bool Ser2NetProcess::start(const QString &device, Accepter accepter)
{
    return startMany({device}, accepter);
}

bool Ser2NetProcess::startMany(const QStringList &devices, Accepter accepter)
{
    m_accepter = accepter;
    m_ports.clear();
    while (m_ports.size() < devices.size()) {
        const quint16 port = freePort();
        if (!m_ports.contains(port))
            m_ports.append(port);
    }
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly)) {
            m_error = QStringLiteral("cannot write %1").arg(config);
            return false;
        }
        const QString accept = accepter == Accepter::Rfc2217 ? QStringLiteral("telnet(rfc2217),tcp") : QStringLiteral("tcp");
        for (int i = 0; i < devices.size(); ++i) {
            f.write(QStringLiteral("connection: &kdx%1\n"
                                   "  accepter: %2,127.0.0.1,%3\n"
                                   "  connector: serialdev,%4,19200n81,local\n")
                        .arg(i)
                        .arg(accept)
                        .arg(m_ports[i])
                        .arg(devices[i])
                        .toUtf8());
        }
    }
    // -n: no daemon, -d: stay in the foreground, -u: no UUCP lock files.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("ser2net"), {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                                                QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(5000 + 50 * devices.size());
    for (quint16 port : std::as_const(m_ports)) {
        while (!listening(port)) {
            if (deadline.hasExpired() || !running()) {
                m_error = QStringLiteral("ser2net does not listen on port %1: %2")
                              .arg(port)
                              .arg(QString::fromLocal8Bit(m_process.readAll()));
                stop();
                return false;
            }
            QThread::msleep(10);
        }
    }
    return true;
}

bool Ser2NetProcess::stop()
{
    if (!running())
        return true;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    return !running();
}
