// The network port against a scripted device server in the test process, on
// the virtual clock, and the port map's network entries.

#include "NetworkAddress.h"
#include "NetworkSerialPort.h"
#include "PortFactory.h"
#include "PortMap.h"
#include "VirtualClock.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <libtelnet.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::NetworkAddress;
using platform::NetworkSerialPort;
using platform::PortMap;

namespace {

constexpr unsigned char kComPort = 44;

// Values a test server answers instead of the ones asked, by command.
using Answers = QMap<quint8, QByteArray>;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A serial device server for one connection. Telnet is parsed with libtelnet;
// each COM-PORT-OPTION command is answered with its number + 100 and the value
// asked, unless the test says otherwise.
class FakeServer
{
public:
    // Busy takes the option, says "Port already in use" and hangs up, as
    // ser2net does to a second client; HangUp hangs up without a word.
    enum class Mode { Rfc2217, RefuseComPort, Silent, Raw, Busy, HangUp };

    explicit FakeServer(Mode mode)
        : m_mode(mode)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { accept(); });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    ~FakeServer()
    {
        if (m_telnet)
            telnet_free(m_telnet);
    }

    quint16 port() const { return m_server.serverPort(); }
    QString url() const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(m_mode == Mode::Raw ? QStringLiteral("tcp") : QStringLiteral("rfc2217"))
            .arg(port());
    }

    void send(const QByteArray &data)
    {
        if (m_telnet)
            telnet_send(m_telnet, data.constData(), size_t(data.size()));
        else
            m_conn->write(data);
        m_conn->flush();
    }
    void drop() { m_conn->abort(); }
    // Whether the latest connection is still up, as the server sees it.
    bool connected()
    {
        if (!m_conn)
            return false;
        m_conn->waitForReadyRead(0);
        return m_conn->state() == QAbstractSocket::ConnectedState;
    }

    int accepted = 0; // connections taken so far

    QMap<quint8, QByteArray> wrongAnswer; // command -> value answered instead
    QSet<quint8> unanswered;
    quint8 hangUpAt = 0; // once, instead of answering this command
    QByteArray greeting; // data sent on accepting, before anything is answered
    QList<QByteArray> commands; // every COM-PORT-OPTION subnegotiation, in order
    QByteArray data;            // data received, Telnet removed
    QByteArray wire;            // everything received

private:
    void accept()
    {
        m_conn = m_server.nextPendingConnection();
        ++accepted;
        if (m_telnet) {
            telnet_free(m_telnet);
            m_telnet = nullptr;
        }
        static const telnet_telopt_t answering[] = {
            {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
            {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
            {kComPort, TELNET_WONT, TELNET_DO},
            {-1, 0, 0},
        };
        static const telnet_telopt_t refusing[] = {
            {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
            {kComPort, TELNET_WONT, TELNET_DONT},
            {-1, 0, 0},
        };
        if (m_mode == Mode::Rfc2217 || m_mode == Mode::RefuseComPort)
            m_telnet = telnet_init(m_mode == Mode::Rfc2217 ? answering : refusing, &FakeServer::event, 0, this);
        QObject::connect(m_conn, &QIODevice::readyRead, [this] {
            const QByteArray bytes = m_conn->readAll();
            wire += bytes;
            if (m_telnet)
                telnet_recv(m_telnet, bytes.constData(), size_t(bytes.size()));
            else
                data += bytes;
            m_conn->flush();
        });
        if (!greeting.isEmpty())
            send(greeting);
        if (m_mode == Mode::Busy || m_mode == Mode::HangUp) {
            if (m_mode == Mode::Busy)
                m_conn->write(hex("ff fd 2c ff fb 03") + "Port already in use\r\n");
            m_conn->disconnectFromHost();
        }
    }

    static void event(telnet_t *, telnet_event_t *ev, void *self)
    {
        auto *s = static_cast<FakeServer *>(self);
        switch (ev->type) {
        case TELNET_EV_DATA: s->data.append(ev->data.buffer, qsizetype(ev->data.size)); break;
        case TELNET_EV_SEND: s->m_conn->write(ev->data.buffer, qint64(ev->data.size)); break;
        case TELNET_EV_SUBNEGOTIATION: {
            if (ev->sub.telopt != kComPort || ev->sub.size == 0)
                break;
            const QByteArray sb(ev->sub.buffer, qsizetype(ev->sub.size));
            s->commands.append(sb);
            const quint8 cmd = quint8(sb[0]);
            if (cmd == s->hangUpAt) {
                s->hangUpAt = 0;
                QMetaObject::invokeMethod(s->m_conn, &QTcpSocket::abort, Qt::QueuedConnection);
                break;
            }
            if (s->unanswered.contains(cmd))
                break;
            const QByteArray answer = char(cmd + 100) + s->wrongAnswer.value(cmd, sb.mid(1));
            telnet_subnegotiation(s->m_telnet, kComPort, answer.constData(), size_t(answer.size()));
            break;
        }
        default: break;
        }
    }

    Mode m_mode;
    QTcpServer m_server;
    QTcpSocket *m_conn = nullptr;
    telnet_t *m_telnet = nullptr;
};

// Lets the virtual clock run (and both ends of the connection work) for ms.
void settle(kdxtest::VirtualClock &clock, int ms = 50)
{
    for (int i = 0; i < ms / 10; ++i)
        clock.processEvents(10);
}

std::unique_ptr<NetworkSerialPort> portFor(const QString &url)
{
    NetworkAddress a;
    if (!NetworkAddress::parse(url, a))
        return nullptr;
    return std::make_unique<NetworkSerialPort>(a);
}

} // namespace

class tst_netport : public QObject
{
    Q_OBJECT

private slots:
    // A socket used after the server hung up shows as Qt warnings.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QIODevice|QAbstractSocket"))); }
    void address_data();
    void address();
    void open_data();
    void open();
    void connectionRefused();
    void connectionTimesOut();
    void staleInputIsDropped();
    void bytesPassUnchanged_data();
    void bytesPassUnchanged();
    void settingsChangeWhileOpen();
    void connectionLost();
    void dataNotTaken_data();
    void dataNotTaken();
    void heldConnection_data();
    void heldConnection();
    void heldConnectionEnds();
    void nameDoesNotResolve();
    void portMapEntry_data();
    void portMapEntry();
    void portMapAddAndRemove();
};

void tst_netport::address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normal"); // empty: rejected

    QTest::newRow("rfc2217 host") << "rfc2217://pos-12:4001" << "rfc2217://pos-12:4001";
    QTest::newRow("tcp address") << "tcp://127.0.0.1:7000" << "tcp://127.0.0.1:7000";
    QTest::newRow("scheme in capitals") << "RFC2217://Pos-12.shop.lan:1" << "rfc2217://Pos-12.shop.lan:1";
    QTest::newRow("IPv6") << "rfc2217://[::1]:4001" << "rfc2217://[::1]:4001";
    QTest::newRow("highest port") << "tcp://h:65535" << "tcp://h:65535";
    QTest::newRow("no port") << "rfc2217://pos-12" << "";
    QTest::newRow("port 0") << "rfc2217://pos-12:0" << "";
    QTest::newRow("port 65536") << "tcp://pos-12:65536" << "";
    QTest::newRow("signed port") << "tcp://pos-12:+40" << "";
    QTest::newRow("space in port") << "tcp://pos-12: 40" << "";
    QTest::newRow("path after port") << "rfc2217://pos-12:4001/x" << "";
    QTest::newRow("query") << "rfc2217://pos-12:4001?ign_set_control" << "";
    QTest::newRow("user") << "rfc2217://me@pos-12:4001" << "";
    QTest::newRow("shell text") << "rfc2217://a;rm -rf ~:1" << "";
    QTest::newRow("command substitution") << "tcp://$(reboot):1" << "";
    QTest::newRow("hyphen first") << "tcp://-oProxy:1" << "";
    QTest::newRow("empty label") << "tcp://a..b:1" << "";
    QTest::newRow("empty host") << "tcp://:1" << "";
    QTest::newRow("bare IPv6") << "tcp://::1:1" << "";
    QTest::newRow("IPv6 zone") << "tcp://[fe80::1%eth0]:1" << "";
    QTest::newRow("other scheme") << "telnet://pos-12:23" << "";
    QTest::newRow("too long") << "tcp://" + QString(300, QLatin1Char('a')) + ":1" << "";
}

void tst_netport::address()
{
    QFETCH(QString, text);
    QFETCH(QString, normal);
    NetworkAddress a;
    QString error;
    const bool ok = NetworkAddress::parse(text, a, &error);
    QCOMPARE(ok, !normal.isEmpty());
    if (ok)
        QCOMPARE(a.toString(), normal);
    else
        QVERIFY(!error.isEmpty());
}

void tst_netport::open_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<Answers>("wrong");
    QTest::addColumn<QList<quint8>>("unanswered");
    QTest::addColumn<QString>("reason"); // empty: the open succeeds

    using M = FakeServer::Mode;
    const Answers none;
    QTest::newRow("confirmed") << int(M::Rfc2217) << "9600,N,8,1" << none << QList<quint8>() << "";
    QTest::newRow("7 data bits, even") << int(M::Rfc2217) << "19200,E,7,1" << none << QList<quint8>() << "";
    QTest::newRow("modem lines never answered") << int(M::Rfc2217) << "9600,N,8,1" << none << QList<quint8> {5} << "";
    QTest::newRow("option refused") << int(M::RefuseComPort) << "9600,N,8,1" << none << QList<quint8>()
                                    << "refuses the Telnet COM-PORT-OPTION";
    QTest::newRow("no Telnet at all") << int(M::Silent) << "9600,N,8,1" << none << QList<quint8>()
                                      << "no answer to the Telnet COM-PORT-OPTION (RFC 2217) within 3 s";
    QTest::newRow("in use: the server's words") << int(M::Busy) << "9600,N,8,1" << none << QList<quint8>()
                                                << "the server closed the connection (\"Port already in use\")";
    QTest::newRow("hung up at once") << int(M::HangUp) << "9600,N,8,1" << none << QList<quint8>()
                                     << "the server closed the connection";
    QTest::newRow("rate not confirmed") << int(M::Rfc2217) << "9600,N,8,1" << none << QList<quint8> {1}
                                        << "did not confirm the line settings 9600,N,8,1 within 3 s";
    QTest::newRow("purge not confirmed") << int(M::Rfc2217) << "9600,N,8,1" << none << QList<quint8> {12}
                                         << "did not confirm";
    QTest::newRow("other rate kept") << int(M::Rfc2217) << "9600,N,8,1"
                                     << Answers {{1, hex("00 00 4b 00")}} << QList<quint8>()
                                     << "the server set 19200 baud instead of 9600";
    QTest::newRow("8 data bits kept") << int(M::Rfc2217) << "9600,O,7,1" << Answers {{2, hex("08")}}
                                      << QList<quint8>() << "the server set 8 data bits instead of 7";
    QTest::newRow("parity kept") << int(M::Rfc2217) << "9600,E,8,1" << Answers {{3, hex("01")}}
                                 << QList<quint8>() << "the server set no parity instead of even";
    QTest::newRow("stop bits kept") << int(M::Rfc2217) << "9600,N,8,2" << Answers {{4, hex("01")}}
                                    << QList<quint8>() << "the server set 1 stop bits instead of 2";
}

void tst_netport::open()
{
    QFETCH(int, mode);
    QFETCH(QString, settings);
    QFETCH(Answers, wrong);
    QFETCH(QList<quint8>, unanswered);
    QFETCH(QString, reason);
    kdxtest::VirtualClock clock;
    FakeServer server {FakeServer::Mode(mode)};
    server.wrongAnswer = wrong;
    for (quint8 c : unanswered)
        server.unanswered.insert(c);
    auto port = portFor(server.url());
    QVERIFY(port->setSettings(settings));

    const qint64 start = clock.nowMs();
    const bool opened = port->setPortOpen(true);
    QCOMPARE(opened, reason.isEmpty());
    QCOMPARE(port->portOpen(), opened);
    if (!opened) {
        QCOMPARE(port->lastFault().number, platform::fault::PortOpenFailed);
        const QString why = port->openFailureReason(QStringLiteral("COM9"));
        QVERIFY2(why.startsWith(QStringLiteral("COM9 (%1): ").arg(server.url())), qPrintable(why));
        QVERIFY2(why.contains(reason), qPrintable(why));
        // Every wait is bounded: nothing outlasts its 3 s.
        QVERIFY(clock.nowMs() - start <= NetworkSerialPort::kConnectTimeoutMs + 2 * NetworkSerialPort::kAnswerTimeoutMs);
        return;
    }
    // Everything the server confirmed was asked before the open returned.
    platform::LineSettings ls;
    platform::LineSettings::parse(settings, ls);
    const quint32 b = quint32(ls.baud);
    const QByteArray rate = QByteArray(1, 1) + char(b >> 24) + char(b >> 16) + char(b >> 8) + char(b);
    const char parity = ls.parity == 'E' ? 3 : ls.parity == 'O' ? 2 : 1;
    const QList<QByteArray> asked {hex("05 01"), hex("05 08"), hex("05 0b"), rate,
                                   QByteArray(1, 2) + char(ls.dataBits), QByteArray(1, 3) + parity,
                                   QByteArray(1, 4) + char(ls.stopBits == QLatin1String("2") ? 2 : 1), hex("0c 01")};
    QCOMPARE(server.commands, asked);
    QVERIFY(server.data.isEmpty());
    QVERIFY(port->setPortOpen(false));
    QVERIFY(!port->portOpen());
}

void tst_netport::connectionRefused()
{
    kdxtest::VirtualClock clock;
    quint16 closed = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closed = probe.serverPort();
    }
    for (const QString &scheme : {QStringLiteral("rfc2217"), QStringLiteral("tcp")}) {
        const QString url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(closed);
        auto port = portFor(url);
        QVERIFY(!port->setPortOpen(true));
        QCOMPARE(port->openFailureReason(url), url + QStringLiteral(": connection refused"));
    }
}

void tst_netport::connectionTimesOut()
{
    // A listener that never accepts, its queue already full: the system drops
    // every further attempt unanswered, as a host that is down would.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in at {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&at), len), 0);
    QCOMPARE(::listen(listener, 0), 0);
    QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&at), &len), 0);
    const quint16 port = ntohs(at.sin_port);
    QList<QTcpSocket *> queued;
    for (int i = 0; i < 2; ++i) {
        queued.append(new QTcpSocket);
        queued.last()->connectToHost(QHostAddress::LocalHost, port);
        queued.last()->waitForConnected(i == 0 ? 1000 : 20);
    }

    kdxtest::VirtualClock clock;
    const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    auto net = portFor(url);
    const qint64 start = clock.nowMs();
    const bool opened = net->setPortOpen(true);
    const qint64 waited = clock.nowMs() - start;
    qDeleteAll(queued);
    ::close(listener);
    QVERIFY(!opened);
    QCOMPARE(net->lastFault().number, platform::fault::PortOpenFailed);
    QCOMPARE(net->openFailureReason(url), url + QStringLiteral(": no connection within 3 s (timed out)"));
    QVERIFY2(waited >= NetworkSerialPort::kConnectTimeoutMs && waited < NetworkSerialPort::kConnectTimeoutMs + 100,
             qPrintable(QString::number(waited)));
}

void tst_netport::staleInputIsDropped()
{
    kdxtest::VirtualClock clock;
    FakeServer server(FakeServer::Mode::Rfc2217);
    server.greeting = "left over";
    auto port = portFor(server.url());
    QVERIFY(port->setPortOpen(true));
    settle(clock);
    QCOMPARE(port->inBufferCount(), 0);
    server.send("fresh");
    settle(clock);
    QCOMPARE(port->inBufferCount(), 5);
    QByteArray got;
    QVERIFY(port->input(got));
    QCOMPARE(got, QByteArray("fresh"));
    QCOMPARE(port->inBufferCount(), 0);
}

void tst_netport::bytesPassUnchanged_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("onWire"); // what the server receives after the negotiation

    using M = FakeServer::Mode;
    QTest::newRow("rfc2217: 0xFF doubled") << int(M::Rfc2217) << hex("ff 00 ff ff 0d 0a 17")
                                           << hex("ff ff 00 ff ff ff ff 0d 0a 17");
    QTest::newRow("rfc2217: a frame") << int(M::Rfc2217) << hex("04 01 56 17") << hex("04 01 56 17");
    QTest::newRow("tcp: as they are") << int(M::Raw) << hex("ff 00 ff ff 0d 0a 17") << hex("ff 00 ff ff 0d 0a 17");
}

void tst_netport::bytesPassUnchanged()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, onWire);
    kdxtest::VirtualClock clock;
    FakeServer server {FakeServer::Mode(mode)};
    auto port = portFor(server.url());
    QVERIFY(port->setPortOpen(true));
    settle(clock);
    const qsizetype before = server.wire.size();
    QVERIFY(port->output(bytes));
    settle(clock);
    QCOMPARE(server.wire.mid(before), onWire);
    QVERIFY(server.data.endsWith(bytes));

    // And back: every byte value, 0xFF among them.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    server.send(all + all);
    settle(clock);
    QCOMPARE(port->inBufferCount(), 512);
    QByteArray got;
    QVERIFY(port->input(got));
    QCOMPARE(got, all + all);

    // Closing waits until the server has passed the data on: over Telnet it
    // answers a query of the rate sent after the data first.
    QVERIFY(port->output("z"));
    const qint64 written = clock.nowMs();
    QVERIFY(port->setPortOpen(false));
    QVERIFY(clock.nowMs() - written >= 30);
    QVERIFY(server.data.endsWith('z'));
    if (mode == int(FakeServer::Mode::Rfc2217))
        QCOMPARE(server.commands.last(), hex("01 00 00 00 00"));
}

void tst_netport::settingsChangeWhileOpen()
{
    kdxtest::VirtualClock clock;
    FakeServer server(FakeServer::Mode::Rfc2217);
    auto port = portFor(server.url());
    QVERIFY(port->setPortOpen(true));
    server.commands.clear();
    QVERIFY(port->setSettings(QStringLiteral("4800,E,7,2")));
    QCOMPARE(server.commands,
             (QList<QByteArray> {hex("01 00 00 12 c0"), hex("02 07"), hex("03 03"), hex("04 02")}));
    QCOMPARE(port->settings(), QStringLiteral("4800,E,7,2"));

    server.wrongAnswer.insert(1, hex("00 00 12 c0"));
    QVERIFY(!port->setSettings(QStringLiteral("9600,N,8,1")));
    QCOMPARE(port->lastFault().number, platform::fault::InvalidPropertyValue);
    QVERIFY(port->lastFault().description.contains(QStringLiteral("4800 baud instead of 9600")));
    QVERIFY(!port->setSettings(QStringLiteral("fast")));

    // Hanging up on a change: what the display sent is not quoted as the
    // server's words.
    server.send("?1.05");
    settle(clock);
    server.hangUpAt = 1;
    QVERIFY(!port->setSettings(QStringLiteral("19200,N,8,1")));
    QCOMPARE(port->lastFault().description, QStringLiteral("the server closed the connection"));
}

void tst_netport::connectionLost()
{
    kdxtest::VirtualClock clock;
    for (auto mode : {FakeServer::Mode::Rfc2217, FakeServer::Mode::Raw}) {
        FakeServer server(mode);
        auto port = portFor(server.url());
        QVERIFY(port->setPortOpen(true));
        server.send("ab");
        settle(clock);
        server.drop();
        settle(clock);
        // What arrived before the loss is still read; then the loss shows.
        QCOMPARE(port->inBufferCount(), 2);
        QByteArray got;
        QVERIFY(port->input(got));
        QCOMPARE(got, QByteArray("ab"));
        QCOMPARE(port->inBufferCount(), -1);
        QCOMPARE(port->lastFault().number, platform::fault::ReadFailed);
        QVERIFY(!port->output("x"));
        // A raw server that spoke and hung up before any data went out may
        // as well have turned the client away: the port never really opened.
        QCOMPARE(port->lastFault().number, mode == FakeServer::Mode::Raw ? platform::fault::PortOpenFailed
                                                                         : platform::fault::WriteFailed);
        QVERIFY(port->setPortOpen(false));
        QCOMPARE(port->inBufferCount(), -1);
    }
}

// A command is done only once the server had its bytes: a hang-up within the
// bytes' line time plus 100 ms, or no answer to the query after the data, fails
// the close that ends the command.
void tst_netport::dataNotTaken_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("hangUpAfterMs"); // -1 never
    QTest::addColumn<QList<quint8>>("unanswered");
    QTest::addColumn<bool>("delivered");
    using M = FakeServer::Mode;
    QTest::newRow("tcp: kept") << int(M::Raw) << -1 << QList<quint8>() << true;
    QTest::newRow("tcp: hung up at once") << int(M::Raw) << 0 << QList<quint8>() << false;
    QTest::newRow("tcp: hung up after 80 ms") << int(M::Raw) << 80 << QList<quint8>() << false;
    QTest::newRow("rfc2217: query answered") << int(M::Rfc2217) << -1 << QList<quint8>() << true;
    QTest::newRow("rfc2217: query unanswered") << int(M::Rfc2217) << -1 << QList<quint8> {1} << false;
    QTest::newRow("rfc2217: hung up instead of answering") << int(M::Rfc2217) << 0 << QList<quint8> {1} << false;
}

void tst_netport::dataNotTaken()
{
    QFETCH(int, mode);
    QFETCH(int, hangUpAfterMs);
    QFETCH(QList<quint8>, unanswered);
    QFETCH(bool, delivered);
    kdxtest::VirtualClock clock;
    FakeServer server {FakeServer::Mode(mode)};
    auto port = portFor(server.url());
    QVERIFY(port->setPortOpen(true));
    settle(clock);
    for (quint8 c : unanswered)
        server.unanswered.insert(c);
    QVERIFY(port->output("Hello"));
    if (hangUpAfterMs >= 0) {
        settle(clock, hangUpAfterMs);
        server.drop();
    }
    QCOMPARE(port->setPortOpen(false), delivered);
    QVERIFY(!port->portOpen());
    if (!delivered)
        QCOMPARE(port->lastFault().number, platform::fault::WriteFailed);
}

void tst_netport::heldConnection_data()
{
    QTest::addColumn<int>("pauseMs");     // between the close and the next open
    QTest::addColumn<int>("dropped");     // the server ends the connection: 1 while closed, 2 at the purge
    QTest::addColumn<bool>("baudKept");   // the server now keeps its rate
    QTest::addColumn<int>("outstanding"); // unanswered before the close: 1 its query, 2 a settings change
    QTest::addColumn<int>("connections"); // the server has taken after the second open
    QTest::addColumn<QString>("reason");  // why the second open fails; empty: it opens

    const int linger = NetworkSerialPort::kLingerMs;
    QTest::newRow("open at once: the same connection") << 50 << 0 << false << 0 << 1 << "";
    QTest::newRow("open at the end of the linger") << linger << 0 << false << 0 << 1 << "";
    QTest::newRow("open after the linger: a new one") << linger + 1 << 0 << false << 0 << 2 << "";
    QTest::newRow("ended while closed: a new one") << 100 << 1 << false << 0 << 2 << "";
    QTest::newRow("ended at the purge: a new one") << 50 << 2 << false << 0 << 2 << "";
    QTest::newRow("settings refused: fails as a fresh open") << 50 << 0 << true << 0 << 1
                                                             << "the server set 4800 baud instead of 19200";
    QTest::newRow("close not confirmed: not kept") << 50 << 0 << false << 1 << 2 << "";
    QTest::newRow("settings change not confirmed: not kept") << 50 << 0 << false << 2 << 2 << "";
}

void tst_netport::heldConnection()
{
    QFETCH(int, pauseMs);
    QFETCH(int, dropped);
    QFETCH(bool, baudKept);
    QFETCH(int, outstanding);
    QFETCH(int, connections);
    QFETCH(QString, reason);
    kdxtest::VirtualClock clock;
    FakeServer server(FakeServer::Mode::Rfc2217);
    auto port = portFor(server.url());
    QVERIFY(port->setSettings(QStringLiteral("19200,N,8,1")));
    QVERIFY(port->setPortOpen(true));
    if (outstanding == 2) {
        server.unanswered.insert(2);
        QVERIFY(!port->setSettings(QStringLiteral("19200,N,8,1")));
    }
    QVERIFY(port->output("a"));
    if (outstanding == 1)
        server.unanswered.insert(1);
    // A query after the data that goes unanswered: the data may not have
    // reached the line, which fails the close.
    QCOMPARE(port->setPortOpen(false), outstanding != 1);
    server.unanswered.clear();
    const qint64 closedAt = clock.nowMs();
    QVERIFY(!port->portOpen());
    QCOMPARE(port->holdsConnection(), outstanding == 0);
    QCOMPARE(port->inBufferCount(), -1);
    QCOMPARE(port->lastFault().number, platform::fault::PortNotOpen);

    // What the display sends while the port is closed is not kept.
    server.send("while closed");
    settle(clock);
    if (dropped == 1) {
        server.drop();
        settle(clock);
    }
    server.hangUpAt = dropped == 2 ? 12 : 0;
    if (baudKept)
        server.wrongAnswer.insert(1, hex("00 00 12 c0"));
    clock.advance(qMax<qint64>(0, closedAt + pauseMs - clock.nowMs()));
    server.commands.clear();
    const bool opened = port->setPortOpen(true);
    QCOMPARE(server.accepted, connections);
    QCOMPARE(opened, reason.isEmpty());
    if (!opened) {
        QCOMPARE(port->lastFault().number, platform::fault::PortOpenFailed);
        const QString why = port->openFailureReason(QString());
        QVERIFY2(why.endsWith(reason), qPrintable(why));
        QVERIFY(!port->holdsConnection());
        QVERIFY(!server.connected());
        return;
    }
    // Every open confirms the settings and purges the input; a new connection
    // negotiates the option and the modem lines first.
    const QList<QByteArray> again {hex("01 00 00 4b 00"), hex("02 08"), hex("03 01"), hex("04 01"), hex("0c 01")};
    const QList<QByteArray> modem {hex("05 01"), hex("05 08"), hex("05 0b")};
    // (Ended at the purge: the kept connection got the settings first.)
    QCOMPARE(server.commands, connections == 1 ? again : dropped == 2 ? again + modem + again : modem + again);
    QCOMPARE(port->inBufferCount(), 0);
    server.send("fresh");
    settle(clock);
    QByteArray got;
    QVERIFY(port->input(got));
    QCOMPARE(got, QByteArray("fresh"));
    QVERIFY(port->output("b"));
    settle(clock);
    QVERIFY(server.data.endsWith('b'));
}

void tst_netport::heldConnectionEnds()
{
    // On the real clock: the connection ends by itself once the linger is over,
    // at once when the port goes away, and a raw TCP port never keeps one.
    FakeServer telnet(FakeServer::Mode::Rfc2217);
    auto port = portFor(telnet.url());
    QVERIFY(port->setPortOpen(true));
    QVERIFY(port->setPortOpen(false));
    QVERIFY(port->holdsConnection());
    QVERIFY(telnet.connected());
    QTRY_VERIFY_WITH_TIMEOUT(!port->holdsConnection(), NetworkSerialPort::kLingerMs + 2000);
    QTRY_VERIFY(!telnet.connected());

    QVERIFY(port->setPortOpen(true));
    QVERIFY(port->setPortOpen(false));
    port.reset();
    QTRY_VERIFY(!telnet.connected());
    QCOMPARE(telnet.accepted, 2);

    FakeServer raw(FakeServer::Mode::Raw);
    port = portFor(raw.url());
    QVERIFY(port->setPortOpen(true));
    QVERIFY(port->setPortOpen(false));
    QVERIFY(!port->holdsConnection());
    QTRY_VERIFY(!raw.connected());

    // The port every program uses takes a held connection up again only for
    // the same address: COM9 of the port map moved to another server is
    // reached there, and the first one's connection ends.
    FakeServer first(FakeServer::Mode::Rfc2217);
    FakeServer other(FakeServer::Mode::Rfc2217);
    QTemporaryDir ports;
    const QByteArray before = qgetenv("KDX_PORTS_DIR");
    qputenv("KDX_PORTS_DIR", QFile::encodeName(ports.path()));
    PortMap map(ports.path());
    QVERIFY(map.addUrl(9, first.url()));
    auto routed = platform::makeSerialPort();
    QVERIFY(routed->setCommPort(9));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(routed->setPortOpen(true));
        QVERIFY(routed->setPortOpen(false));
    }
    QCOMPARE(first.accepted, 1);
    QVERIFY(first.connected());
    QVERIFY(map.removeUrl(9));
    QVERIFY(map.addUrl(9, other.url()));
    QVERIFY(routed->setPortOpen(true));
    QCOMPARE(other.accepted, 1);
    QTRY_VERIFY(!first.connected());
    QVERIFY(routed->setPortOpen(false));
    routed.reset();
    QTRY_VERIFY(!other.connected());
    qputenv("KDX_PORTS_DIR", before);
}

void tst_netport::nameDoesNotResolve()
{
    // Whether a name resolves is up to the machine's resolver: the check runs
    // only where the reserved .invalid name is answered "no such name" at once.
    const char *name = "kdx-display.invalid";
    addrinfo *found = nullptr;
    QElapsedTimer t;
    t.start();
    const int r = ::getaddrinfo(name, "4001", nullptr, &found);
    if (found)
        ::freeaddrinfo(found);
    if (r != EAI_NONAME || t.elapsed() > 1000)
        QSKIP("the resolver here does not answer for .invalid names at once");
    const QString url = QStringLiteral("rfc2217://%1:4001").arg(QLatin1String(name));
    auto port = portFor(url);
    QVERIFY(!port->setPortOpen(true));
    QCOMPARE(port->lastFault().number, platform::fault::PortOpenFailed);
    QCOMPARE(port->openFailureReason(url), url + QStringLiteral(": the name \"kdx-display.invalid\" does not resolve"));
}

void tst_netport::portMapEntry_data()
{
    QTest::addColumn<QString>("kind"); // file, link, fifo, dir
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("url"); // empty: the entry is skipped

    QTest::newRow("one line") << "file" << QByteArray("rfc2217://pos-12:4001\n") << "rfc2217://pos-12:4001";
    QTest::newRow("no newline, spaces") << "file" << QByteArray("  tcp://10.0.0.7:7000 ") << "tcp://10.0.0.7:7000";
    QTest::newRow("two lines") << "file" << QByteArray("tcp://a:1\ntcp://b:2\n") << "";
    QTest::newRow("malformed") << "file" << QByteArray("rfc2217://pos-12") << "";
    QTest::newRow("a command") << "file" << QByteArray("$(touch /tmp/x)") << "";
    QTest::newRow("a path") << "file" << QByteArray("/dev/ttyS0") << "";
    QTest::newRow("too long") << "file" << QByteArray("tcp://a:1") + QByteArray(600, ' ') << "";
    QTest::newRow("binary") << "file" << QByteArray("tcp://a:1\0x", 11) << "";
    QTest::newRow("symbolic link") << "link" << QByteArray("rfc2217://pos-12:4001\n") << "";
    QTest::newRow("FIFO") << "fifo" << QByteArray() << "";
    QTest::newRow("directory") << "dir" << QByteArray() << "";
}

void tst_netport::portMapEntry()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QString, url);
    QTemporaryDir dir;
    PortMap map(dir.path());
    const QString path = dir.filePath(PortMap::urlFileName(9));
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    if (kind == QLatin1String("file") || kind == QLatin1String("link")) {
        QFile f(kind == QLatin1String("file") ? path : elsewhere);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(elsewhere, path));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (kind == QLatin1String("dir"))
        QVERIFY(QDir().mkdir(path));

    if (url.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("COM9.url skipped")));
    QString problem;
    QCOMPARE(map.urlOf(9, &problem), url);
    QCOMPARE(problem.isEmpty(), !url.isEmpty());
    const QList<PortMap::Entry> entries = map.entries();
    QCOMPARE(entries.size(), url.isEmpty() ? 0 : 1);
    if (!url.isEmpty()) {
        QCOMPARE(entries[0].number, 9);
        QCOMPARE(entries[0].url, url);
        QCOMPARE(entries[0].target, url);
        QVERIFY(entries[0].present);
    }
    // A number whose file is unusable stays taken until someone mends it.
    QCOMPARE(map.lowestFreeNumber(), 1);
    QCOMPARE(map.assign({QStringLiteral("/dev/a"), QStringLiteral("/dev/b"), QStringLiteral("/dev/c"),
                         QStringLiteral("/dev/d"), QStringLiteral("/dev/e"), QStringLiteral("/dev/f"),
                         QStringLiteral("/dev/g"), QStringLiteral("/dev/h"), QStringLiteral("/dev/i")}),
             9);
    QCOMPARE(map.devicePath(9), QString());
    QCOMPARE(map.devicePath(10), QStringLiteral("/dev/i"));
}

void tst_netport::portMapAddAndRemove()
{
    QTemporaryDir dir;
    PortMap map(dir.path());
    QString error;
    QVERIFY2(map.addUrl(9, QStringLiteral("RFC2217://pos-12:4001"), &error), qPrintable(error));
    QCOMPARE(map.urlOf(9), QStringLiteral("rfc2217://pos-12:4001"));
    QVERIFY(!map.addUrl(9, QStringLiteral("tcp://other:1"), &error));
    QCOMPARE(error, QStringLiteral("COM9 is already taken"));
    QVERIFY(!map.addUrl(10, QStringLiteral("rfc2217://pos-12:4001/x"), &error));
    QVERIFY(!QFileInfo::exists(dir.filePath(PortMap::urlFileName(10))));

    // Never over a device link, never through a link planted at the file's name.
    QVERIFY(map.addLink(3, QStringLiteral("/dev/ttyS0")));
    QVERIFY(!map.addUrl(3, QStringLiteral("tcp://a:1"), &error));
    QVERIFY(!map.addLink(9, QStringLiteral("/dev/ttyS1")));
    const QString victim = dir.filePath(QStringLiteral("victim"));
    {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    QVERIFY(QFile::link(victim, dir.filePath(PortMap::urlFileName(4))));
    QVERIFY(!map.addUrl(4, QStringLiteral("tcp://a:1"), &error));
    QFile v(victim);
    QVERIFY(v.open(QIODevice::ReadOnly));
    QCOMPARE(v.readAll(), QByteArray("keep"));

    QVERIFY(!map.removeUrl(3, &error));
    QVERIFY2(error.contains(QStringLiteral("device link")), qPrintable(error));
    QCOMPARE(map.devicePath(3), QStringLiteral("/dev/ttyS0"));
    QVERIFY(map.removeUrl(9));
    QCOMPARE(map.urlOf(9), QString());
    QVERIFY(!map.removeUrl(9, &error));
    // Removing the planted link leaves what it pointed at.
    QVERIFY(map.removeUrl(4));
    QVERIFY(QFileInfo::exists(victim));
}

QTEST_GUILESS_MAIN(tst_netport)
#include "tst_netport.moc"
