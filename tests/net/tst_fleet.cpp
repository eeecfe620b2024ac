// kdxctl on many displays behind ser2net: --retry against a server that turns
// the first connections away, never again after the display answered, and six
// displays behind one ser2net updated from a file of ports.

#include "Ser2NetProcess.h"
#include "SimProcess.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// A port in front of ser2net that turns the first `refuse` connections away
// (closes them at once, as a busy server does) and joins each later one to
// ser2net's port; it counts every connection. With cutAfter, the first one it
// joins is dropped once the client has sent that many bytes.
class TurningAway : public QObject
{
public:
    TurningAway(quint16 target, int refuse, qint64 cutAfter = 0)
        : m_target(target)
        , m_refuse(refuse)
        , m_cutAfter(cutAfter)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_server.nextPendingConnection())
                join(client);
        });
    }
    QString url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_server.serverPort()); }
    int connections() const { return m_connections; }

private:
    void join(QTcpSocket *client)
    {
        client->setParent(this);
        if (++m_connections <= m_refuse) {
            client->close();
            return;
        }
        auto *server = new QTcpSocket(this);
        const bool cut = m_cutAfter > 0 && m_connections == m_refuse + 1;
        connect(client, &QTcpSocket::readyRead, server, [this, cut, client, server] {
            m_sent += cut ? client->bytesAvailable() : 0;
            server->write(client->readAll());
            if (cut && m_sent >= m_cutAfter) {
                client->abort();
                server->abort();
            }
        });
        connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
        connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
        connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        // What the client says before ser2net is reached waits in its buffer.
        connect(server, &QTcpSocket::connected, client, [client, server] { server->write(client->readAll()); });
        server->connectToHost(QHostAddress::LocalHost, m_target);
    }

    QTcpServer m_server;
    quint16 m_target;
    int m_refuse;
    qint64 m_cutAfter;
    qint64 m_sent = 0;
    int m_connections = 0;
};

struct Call
{
    int exitCode = -1;
    QString out;
    QString err;
};

// kdxctl with an event loop running meanwhile, for the server in this process.
Call kdxctl(const SimProcess &sim, const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), args);
    QDeadlineTimer deadline(timeoutMs);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return Call {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                 QString::fromLocal8Bit(p.readAllStandardOutput()), QString::fromLocal8Bit(p.readAllStandardError())};
}

QString said(const Call &c)
{
    return QStringLiteral("exit %1\n%2\n%3").arg(c.exitCode).arg(c.out, c.err);
}

} // namespace

class tst_fleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void retry_data();
    void retry();
    void sixBehindOneServer();
};

void tst_fleet::initTestCase()
{
    if (!Ser2NetProcess::available())
        QSKIP("ser2net is not installed (scripts/bootstrap.sh installs it)");
    if (!SimProcess::built() || !QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdx-sim and kdxctl are not built");
}

// A connection that failed is tried again after 1 s, then 2 s; a display that
// answered NAK is not, nor a firmware update whose connection was lost among
// its blocks.
void tst_fleet::retry_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("refused");
    QTest::addColumn<int>("cutAfter"); // bytes from kdxctl; 0: never, else a firmware update
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("connections");
    QTest::newRow("turned away twice, then served") << QString() << 2 << 0 << 0 << 3;
    QTest::newRow("turned away more often than tried") << QString() << 5 << 0 << 2 << 3;
    QTest::newRow("a display that answers NAK") << QStringLiteral("nak") << 0 << 0 << 6 << 1;
    QTest::newRow("lost among the firmware blocks") << QString() << 0 << 1500 << 3 << 1;
}

void tst_fleet::retry()
{
    QFETCH(QString, fault);
    QFETCH(int, refused);
    QFETCH(int, cutAfter);
    QFETCH(int, exitCode);
    QFETCH(int, connections);
    SimProcess sim;
    QVERIFY2(sim.start(fault.isEmpty() ? QStringList() : QStringList {"--fault", fault}), qPrintable(sim.error()));
    Ser2NetProcess server;
    QVERIFY2(server.start(sim.device(), Ser2NetProcess::Accepter::Rfc2217), qPrintable(server.error()));
    TurningAway front(server.port(), refused, cutAfter);
    QStringList command {"position", "5"};
    if (cutAfter > 0) {
        const QString image = sim.path(QStringLiteral("image.bin"));
        QFile f(image);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        command = QStringList {"firmware", image, "--crc"};
    }

    const Call c = kdxctl(sim, QStringList {"--json-lines", "--retry", "2", "--port", front.url()} + command);
    QVERIFY2(c.exitCode == exitCode, qPrintable(said(c)));
    QCOMPARE(front.connections(), connections);
    const QJsonObject line = QJsonDocument::fromJson(c.out.toUtf8()).object();
    QCOMPARE(line["attempts"].toInt(), connections);
    if (exitCode == 0)
        QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["cursor"].toObject()["col"].toInt() == 5; }));
}

// Six displays behind one ser2net, a firmware image into all of them from a file
// of ports (how long it takes against one display is for fleet_bench).
void tst_fleet::sixBehindOneServer()
{
    constexpr int kDisplays = 6;
    SimProcess sim;
    QVERIFY2(sim.startMany(kDisplays, {"--firmware-out", sim.path(QStringLiteral("got-%n.bin"))}), qPrintable(sim.error()));
    Ser2NetProcess server;
    QVERIFY2(server.startMany(sim.devices(), Ser2NetProcess::Accepter::Rfc2217), qPrintable(server.error()));
    QByteArray image(2048, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 37 + (i >> 8));
    const QString file = sim.path(QStringLiteral("image.bin"));
    const QString ports = sim.path(QStringLiteral("tills.txt"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        QFile p(ports);
        QVERIFY(p.open(QIODevice::WriteOnly));
        for (int i = 0; i < kDisplays; ++i)
            p.write(QStringLiteral("%1   # till %2\n").arg(server.url(i)).arg(i + 1).toUtf8());
    }
    const Call c = kdxctl(sim, {"--port", QLatin1Char('@') + ports, "firmware", file, "--crc"}, 120000);
    QVERIFY2(c.exitCode == 0, qPrintable(said(c)));
    for (const QString &com : sim.comNames()) {
        QFile got(sim.path(QStringLiteral("got-%1.bin").arg(com.mid(3))));
        QVERIFY2(got.open(QIODevice::ReadOnly), qPrintable(com));
        QVERIFY2(got.readAll() == image, qPrintable(com));
    }
    QVERIFY2(c.out.endsWith(QStringLiteral("all %1 ports succeeded\n").arg(kDisplays)), qPrintable(said(c)));
}

QTEST_MAIN(tst_fleet)
#include "tst_fleet.moc"
