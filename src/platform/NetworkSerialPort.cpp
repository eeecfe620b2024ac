#include "NetworkSerialPort.h"

#include "Clock.h"
#include "PortLock.h"
#include "NetworkPortLibrary.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <libtelnet.h>

#include <limits>
#include <utility>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace platform {

namespace {

// Telnet COM-PORT-OPTION: the option number, the client's commands, and the
// offset the server adds to a command's number when it answers it.
constexpr unsigned char kComPortOption = 44;
constexpr quint8 kSetBaudRate = 1;
constexpr quint8 kSetDataSize = 2;
constexpr quint8 kSetParity = 3;
constexpr quint8 kSetStopSize = 4;
constexpr quint8 kSetControl = 5;
constexpr quint8 kPurgeData = 12;
constexpr quint8 kServerAnswer = 100;

constexpr quint8 kControlNoFlowControl = 1;
constexpr quint8 kControlDtrOn = 8;
constexpr quint8 kControlRtsOn = 11;
constexpr quint8 kPurgeReceiveBuffer = 1;

const telnet_telopt_t kTelnetOptions[] = {
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {kComPortOption, TELNET_WILL, TELNET_DONT},
    {-1, 0, 0},
};

// Each wait sleeps on the socket at most this long before the windows get
// their turn, so an answer ends the wait at once and the screen stays alive.
constexpr int kSliceMs = 10;
// Longest time a write may wait for the network to take the bytes.
constexpr int kWriteStallMs = 5000;
// Most bytes one read hands over, and most bytes held while nobody reads; a
// flood beyond that is dropped as a serial port drops an overrun.
constexpr qsizetype kMaxInput = 64 * 1024;
constexpr qsizetype kMaxBuffered = 1024 * 1024;
// A server closes its serial port with the connection and drops what it has
// not written to the port yet (ser2net does). Before closing, the port waits
// for the server to answer a query sent after the data (Telnet only), then for
// the line to carry the last bytes written, plus this margin.
constexpr int kCloseSyncMs = 1000;
constexpr int kCloseMarginMs = 30;
// Nothing counts as delivered while the server may still turn the client away:
// when nothing came back after the last write, a close waits at least this
// long after the bytes' time on the line for a hang-up.
constexpr int kDeliveryMarginMs = 100;
// Most bytes a server may say before it ends a connection during the open
// ("Port already in use"), and most characters of it shown.
constexpr qsizetype kMaxServerWords = 256;
constexpr int kShownServerWords = 80;

quint8 parityCode(char parity)
{
    switch (parity) {
    case 'O': return 2;
    case 'E': return 3;
    case 'M': return 4;
    case 'S': return 5;
    default: return 1;
    }
}

quint8 stopCode(const QString &stop)
{
    if (stop == QLatin1String("2"))
        return 2;
    if (stop == QLatin1String("1.5"))
        return 3;
    return 1;
}

QString parityName(quint8 code)
{
    static const char *const names[] = {"?", "no", "odd", "even", "mark", "space"};
    return QString::fromLatin1(code < 6 ? names[code] : names[0]);
}

QString stopName(quint8 code)
{
    static const char *const names[] = {"?", "1", "2", "1.5"};
    return QString::fromLatin1(code < 4 ? names[code] : names[0]);
}

} // namespace

NetworkSerialPort::NetworkSerialPort(const NetworkAddress &address)
    : m_address(address)
{
}

NetworkSerialPort::~NetworkSerialPort()
{
    m_releaseTimer.reset();
    dropConnection();
}

bool NetworkSerialPort::fail(int number, const QString &text)
{
    m_fault = {number, text};
    return false;
}

bool NetworkSerialPort::failOpen(const QString &reason)
{
    m_reason = reason;
    dropConnection();
    return fail(fault::PortOpenFailed, reason);
}

bool NetworkSerialPort::failNotOpen()
{
    return fail(fault::PortNotOpen, QStringLiteral("Operation valid only when the port is open"));
}

bool NetworkSerialPort::failLost(int number)
{
    return fail(number, QStringLiteral("The connection to %1 was lost").arg(m_address.hostAndPort()));
}

bool NetworkSerialPort::setCommPort(int port)
{
    if (m_open)
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    if (port <= 0)
        return fail(fault::InvalidPortNumber, QStringLiteral("Invalid Port Number"));
    m_port = port;
    return true;
}

bool NetworkSerialPort::setSettings(const QString &settings)
{
    LineSettings ls;
    if (!LineSettings::parse(settings, ls))
        return fail(fault::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    m_settings = settings;
    if (!m_open || m_address.kind == NetworkAddress::Kind::Tcp)
        return true;
    if (!sendLineSettings(false))
        return fail(fault::InvalidPropertyValue, m_reason);
    return true;
}

// ---------------------------------------------------------------- waiting

void NetworkSerialPort::waitSlice()
{
    Clock &clk = clock();
    if (clk.isVirtual() || !m_socket) {
        clk.processEvents(kSliceMs);
        return;
    }
    switch (m_socket->state()) {
    case QAbstractSocket::ConnectingState:
        m_socket->waitForConnected(kSliceMs);
        break;
    case QAbstractSocket::ConnectedState:
        if (m_socket->bytesToWrite() > 0)
            m_socket->waitForBytesWritten(kSliceMs);
        else
            m_socket->waitForReadyRead(kSliceMs);
        break;
    default:
        // The host name is looked up in the background; its answer comes
        // through the event loop.
        clk.processEvents(kSliceMs);
        return;
    }
    clk.processEvents(0);
}

bool NetworkSerialPort::waitFor(const std::function<bool()> &done, int limitMs)
{
    Clock &clk = clock();
    const qint64 start = clk.nowMs();
    for (;;) {
        readSocket();
        if (done())
            return true;
        if (clk.nowMs() - start >= limitMs)
            return false;
        waitSlice();
    }
}

// ---------------------------------------------------------------- the socket

void NetworkSerialPort::readSocket()
{
    if (!m_socket)
        return;
    // Takes what the system has received; a closed connection shows here too.
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->waitForReadyRead(0);
        if (m_socket->bytesToWrite() > 0)
            m_socket->flush(); // answers libtelnet gave to the server's requests
    }
    takeAvailable();
    if (m_connected && m_socket->state() != QAbstractSocket::ConnectedState)
        m_lost = true;
    // Acknowledge at once: a server that holds back its next small answer until
    // the last one is acknowledged would otherwise wait out the delayed ACK
    // (40 ms) before every confirmation and every reply. Linux clears the flag
    // as it goes, so it is set again after each read.
    if (m_connected && !m_lost) {
        const int one = 1;
        ::setsockopt(int(m_socket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    }
}

void NetworkSerialPort::takeAvailable()
{
    if (!m_socket->isReadable())
        return; // closed, and nothing left from before
    const QByteArray bytes = m_socket->readAll();
    if (!bytes.isEmpty())
        takeBytes(bytes.constData(), bytes.size());
}

void NetworkSerialPort::takeBytes(const char *data, qsizetype size)
{
    if (m_telnet) {
        // Telnet commands are answered and removed; the data comes back through
        // the event handler, with doubled 0xFF bytes made single.
        telnet_recv(m_telnet, data, size_t(size));
        return;
    }
    // What a raw TCP server says before any data went out may be why it
    // turns the client away.
    if (m_lastOutputMs < 0 && m_serverWords.size() < kMaxServerWords)
        m_serverWords.append(data, qMin(size, kMaxServerWords - m_serverWords.size()));
    if (m_discarding)
        return;
    m_rx.append(data, qMin(size, kMaxBuffered - m_rx.size()));
    m_answeredSinceOutput = true;
}

void NetworkSerialPort::tellReady()
{
    if (m_ready && m_open && (!m_rx.isEmpty() || m_lost))
        std::exchange(m_ready, nullptr)();
}

bool NetworkSerialPort::notifyWhenReadable(std::function<void()> ready)
{
    if (!m_open || !QCoreApplication::instance())
        return false;
    m_ready = std::move(ready);
    // What a wait inside an earlier call took from the socket is waiting already.
    tellReady();
    return true;
}

bool NetworkSerialPort::sendPending()
{
    Clock &clk = clock();
    const qint64 start = clk.nowMs();
    while (m_socket && m_socket->bytesToWrite() > 0) {
        m_socket->flush();
        if (m_socket->bytesToWrite() == 0)
            break;
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            m_lost = true;
            return false;
        }
        if (clk.nowMs() - start > kWriteStallMs)
            return false;
        waitSlice();
    }
    return m_socket && !m_lost;
}

void NetworkSerialPort::dropConnection()
{
    unwatchConnection(std::exchange(m_farewell, -1));
    if (m_socket) {
        m_socket->disconnect();
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
        m_socket.reset();
    }
    if (m_telnet) {
        telnet_free(m_telnet);
        m_telnet = nullptr;
    }
    m_open = false;
    m_ready = nullptr;
    m_parked = false;
    m_connected = false;
    m_discarding = false;
    if (m_releaseTimer)
        m_releaseTimer->stop();
}

bool NetworkSerialPort::connectSocket()
{
    m_socket = std::make_unique<QTcpSocket>();
    QObject::connect(m_socket.get(), &QIODevice::readyRead, m_socket.get(), [this] {
        takeAvailable();
        tellReady();
    });
    QObject::connect(m_socket.get(), &QAbstractSocket::disconnected, m_socket.get(), [this] {
        if (m_connected)
            m_lost = true;
        tellReady();
    });
    if (m_address.kind == NetworkAddress::Kind::Rfc2217) {
        // Ready before the first byte: a server opens with its own requests.
        m_telnet = telnet_init(kTelnetOptions, &NetworkSerialPort::onTelnetEvent, 0, this);
        if (!m_telnet)
            return failOpen(QStringLiteral("out of memory"));
    }
    m_socket->connectToHost(m_address.host, m_address.port);
    const bool settled = waitFor(
        [this] {
            const auto s = m_socket->state();
            return s == QAbstractSocket::ConnectedState || s == QAbstractSocket::UnconnectedState;
        },
        kConnectTimeoutMs);
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_connected = true;
        // Frames are a few bytes: each goes out at once rather than waiting for
        // the acknowledgement of the one before (set once connected: Qt keeps
        // no socket options from before).
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }
    if (!settled)
        return failOpen(QStringLiteral("no connection within %1 s (timed out)").arg(kConnectTimeoutMs / 1000));
    switch (m_socket->error()) {
    case QAbstractSocket::HostNotFoundError:
        return failOpen(QStringLiteral("the name \"%1\" does not resolve").arg(m_address.host));
    case QAbstractSocket::ConnectionRefusedError:
        return failOpen(QStringLiteral("connection refused"));
    case QAbstractSocket::RemoteHostClosedError:
        return failOpen(closedReason());
    case QAbstractSocket::SocketTimeoutError:
        return failOpen(QStringLiteral("no connection within %1 s (timed out)").arg(kConnectTimeoutMs / 1000));
    default:
        return failOpen(m_socket->errorString());
    }
}

// ---------------------------------------------------------------- Telnet

void NetworkSerialPort::onTelnetEvent(telnet_t *, telnet_event_t *event, void *self)
{
    static_cast<NetworkSerialPort *>(self)->handleTelnetEvent(*event);
}

void NetworkSerialPort::handleTelnetEvent(const telnet_event_t &event)
{
    switch (event.type) {
    case TELNET_EV_DATA:
        if (!m_discarding) {
            m_rx.append(event.data.buffer, qMin(qsizetype(event.data.size), kMaxBuffered - m_rx.size()));
            m_answeredSinceOutput = true;
        } else if (!m_open && m_serverWords.size() < kMaxServerWords)
            m_serverWords.append(event.data.buffer, qMin(qsizetype(event.data.size), kMaxServerWords - m_serverWords.size()));
        break;
    case TELNET_EV_SEND:
        if (m_probingOffer) {
            m_offerRepeated = true;
            break;
        }
        // Answers to a server that has already hung up go nowhere.
        if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->write(event.data.buffer, qint64(event.data.size));
        break;
    case TELNET_EV_DO:
        if (event.neg.telopt == kComPortOption)
            m_comPort = ComPort::Accepted;
        break;
    case TELNET_EV_DONT:
        if (event.neg.telopt == kComPortOption)
            m_comPort = ComPort::Refused;
        break;
    case TELNET_EV_SUBNEGOTIATION:
        if (event.sub.telopt == kComPortOption)
            handleComPortAnswer(QByteArray(event.sub.buffer, qsizetype(event.sub.size)));
        break;
    case TELNET_EV_ERROR:
        // The stream cannot be read any further.
        m_lost = true;
        break;
    default:
        break;
    }
}

QString NetworkSerialPort::closedReason() const
{
    // A server that turns a client away often says why first (ser2net: "Port
    // already in use"); that text is shown with control bytes left out. Once
    // the port is open, what comes is the display's, not the server's.
    if (m_open)
        return QStringLiteral("the server closed the connection");
    // Over raw TCP the words are data too, and kept in both.
    return serverClosed(m_telnet ? m_serverWords + m_rx.left(kMaxServerWords) : m_serverWords);
}

QString NetworkSerialPort::serverClosed(const QByteArray &said)
{
    QString words;
    for (const char c : said) {
        if (c >= 0x20 && c < 0x7f)
            words += QLatin1Char(c);
        else if (!words.endsWith(QLatin1Char(' ')))
            words += QLatin1Char(' ');
    }
    words = words.simplified();
    if (words.size() > kShownServerWords)
        words = words.left(kShownServerWords - 3) + QStringLiteral("...");
    if (words.isEmpty())
        return QStringLiteral("the server closed the connection");
    return QStringLiteral("the server closed the connection (\"%1\")").arg(words);
}

void NetworkSerialPort::sendComPort(quint8 command, const QByteArray &value)
{
    const QByteArray body = QByteArray(1, char(command)) + value;
    telnet_subnegotiation(m_telnet, kComPortOption, body.constData(), size_t(body.size()));
}

void NetworkSerialPort::handleComPortAnswer(const QByteArray &answer)
{
    if (answer.isEmpty() || quint8(answer[0]) <= kServerAnswer)
        return; // a notification of the server, not an answer
    const quint8 command = quint8(answer[0]) - kServerAnswer;
    if (!m_awaiting.contains(command))
        return;
    m_awaiting.remove(command);
    const QByteArray value = answer.mid(1);
    const quint8 byte = value.isEmpty() ? 0 : quint8(value[0]);
    switch (command) {
    case kSetBaudRate: {
        quint32 baud = 0;
        for (int i = 0; i < 4 && i < value.size(); ++i)
            baud = (baud << 8) | quint8(value[i]);
        if (value.size() != 4 || baud != quint32(m_asked.baud))
            m_refusal = QStringLiteral("the server set %1 baud instead of %2").arg(baud).arg(m_asked.baud);
        break;
    }
    case kSetDataSize:
        if (byte != m_asked.dataBits)
            m_refusal = QStringLiteral("the server set %1 data bits instead of %2").arg(byte).arg(m_asked.dataBits);
        break;
    case kSetParity:
        if (byte != parityCode(m_asked.parity))
            m_refusal = QStringLiteral("the server set %1 parity instead of %2")
                            .arg(parityName(byte), parityName(parityCode(m_asked.parity)));
        break;
    case kSetStopSize:
        if (byte != stopCode(m_asked.stopBits))
            m_refusal = QStringLiteral("the server set %1 stop bits instead of %2")
                            .arg(stopName(byte), m_asked.stopBits);
        break;
    default:
        break;
    }
}

bool NetworkSerialPort::sendLineSettings(bool purge)
{
    LineSettings ls;
    LineSettings::parse(m_settings, ls);
    m_asked = ls;
    m_refusal.clear();
    m_awaiting = {kSetBaudRate, kSetDataSize, kSetParity, kSetStopSize};
    const quint32 baud = quint32(ls.baud);
    sendComPort(kSetBaudRate, QByteArray().append(char(baud >> 24)).append(char(baud >> 16)).append(char(baud >> 8)).append(char(baud)));
    sendComPort(kSetDataSize, QByteArray(1, char(ls.dataBits)));
    sendComPort(kSetParity, QByteArray(1, char(parityCode(ls.parity))));
    sendComPort(kSetStopSize, QByteArray(1, char(stopCode(ls.stopBits))));
    if (purge) {
        m_awaiting.insert(kPurgeData);
        sendComPort(kPurgeData, QByteArray(1, char(kPurgeReceiveBuffer)));
    }
    const bool sent = sendPending();
    const bool answered = sent && waitFor([this] { return m_awaiting.isEmpty() || !m_refusal.isEmpty() || m_lost; },
                                          kAnswerTimeoutMs);
    if (m_lost || !sent) {
        m_reason = closedReason();
        return false;
    }
    if (!m_refusal.isEmpty()) {
        m_reason = m_refusal;
        return false;
    }
    if (!answered) {
        m_reason = QStringLiteral("the server did not confirm the line settings %1 within %2 s")
                       .arg(m_settings)
                       .arg(kAnswerTimeoutMs / 1000);
        return false;
    }
    return true;
}

bool NetworkSerialPort::offerDeclined()
{
    if (m_comPort != ComPort::Unknown)
        return m_comPort == ComPort::Refused;
    // libtelnet reports no event when the server declines an option we offered:
    // it only forgets the offer. Offering again tells the two apart, since an
    // offer still waiting for its answer is not repeated. The repeat itself is
    // held back.
    m_probingOffer = true;
    m_offerRepeated = false;
    telnet_negotiate(m_telnet, TELNET_WILL, kComPortOption);
    m_probingOffer = false;
    if (m_offerRepeated)
        m_comPort = ComPort::Refused;
    return m_offerRepeated;
}

bool NetworkSerialPort::negotiate()
{
    // Every byte passes unchanged both ways, and nothing waits for go-ahead.
    telnet_negotiate(m_telnet, TELNET_WILL, kComPortOption);
    telnet_negotiate(m_telnet, TELNET_WILL, TELNET_TELOPT_BINARY);
    telnet_negotiate(m_telnet, TELNET_DO, TELNET_TELOPT_BINARY);
    telnet_negotiate(m_telnet, TELNET_WILL, TELNET_TELOPT_SGA);
    telnet_negotiate(m_telnet, TELNET_DO, TELNET_TELOPT_SGA);
    if (!sendPending()
        || !waitFor([this] { return m_comPort != ComPort::Unknown || m_lost || offerDeclined(); }, kAnswerTimeoutMs)) {
        if (m_lost)
            return failOpen(closedReason());
        return failOpen(QStringLiteral("no answer to the Telnet COM-PORT-OPTION (RFC 2217) within %1 s; a raw TCP "
                                       "port is reached with tcp://")
                            .arg(kAnswerTimeoutMs / 1000));
    }
    if (m_comPort == ComPort::Refused)
        return failOpen(QStringLiteral("the server refuses the Telnet COM-PORT-OPTION (RFC 2217), so the line "
                                       "settings cannot reach the port; a raw TCP port is reached with tcp://"));
    // No flow control, and the modem lines up as a local port raises them on
    // open. A server that cannot set them (a pseudo-terminal) does not answer,
    // so nothing waits for these.
    sendComPort(kSetControl, QByteArray(1, char(kControlNoFlowControl)));
    sendComPort(kSetControl, QByteArray(1, char(kControlDtrOn)));
    sendComPort(kSetControl, QByteArray(1, char(kControlRtsOn)));
    // Whatever arrives before the settings are confirmed is from before the open.
    m_discarding = true;
    const bool ok = sendLineSettings(true);
    m_discarding = false;
    m_rx.clear();
    if (!ok)
        return failOpen(m_reason);
    m_serverWords.clear();
    return true;
}

// ---------------------------------------------------------------- the control

bool NetworkSerialPort::setPortOpen(bool open)
{
    if (!open) {
        if (!m_open)
            return true;
        // Kept only with nothing outstanding, before the close's query and
        // after it: a late answer must not be taken for the confirmation of
        // the next open's settings.
        const bool settled = m_awaiting.isEmpty();
        bool delivered = true;
        if (!m_closing) {
            m_closing = true;
            if (!m_lost && sendPending()) {
                delivered = letOutputReachTheLine();
            } else if (m_lastOutputMs >= 0 && !(m_telnet && m_answeredSinceOutput)) {
                delivered = false;
                m_reason = closedReason();
            }
            m_closing = false;
        }
        if (m_telnet && !m_lost && settled && m_awaiting.isEmpty() && m_socket
            && m_socket->state() == QAbstractSocket::ConnectedState)
            holdConnection();
        else
            dropConnection();
        if (!delivered)
            return fail(fault::WriteFailed, QStringLiteral("%1 did not take the data: %2")
                                                .arg(m_address.hostAndPort(), m_reason));
        return true;
    }
    if (m_open)
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    LineSettings ls;
    if (!LineSettings::parse(m_settings, ls))
        return fail(fault::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (m_parked) {
        switch (reopenHeldConnection()) {
        case Reopen::Done: return true;
        case Reopen::Failed: return false;
        case Reopen::Gone: break;
        }
    }
    dropConnection();
    m_reason.clear();
    m_rx.clear();
    m_serverWords.clear();
    m_lastOutputMs = -1;
    m_answeredSinceOutput = false;
    m_lost = false;
    m_comPort = ComPort::Unknown;
    m_awaiting.clear();
    if (!connectSocket())
        return false;
    if (m_address.kind == NetworkAddress::Kind::Rfc2217 && !negotiate())
        return false;
    m_lastOutputMs = -1;
    m_open = true;
    // The farewell of a firmware update reaches the display through here too.
    m_farewell = watchConnection(int(m_socket->socketDescriptor()));
    return true;
}

void NetworkSerialPort::holdConnection()
{
    unwatchConnection(std::exchange(m_farewell, -1));
    m_open = false;
    m_ready = nullptr;
    m_parked = true;
    m_parkedAtMs = clock().nowMs();
    // What the display sends while nobody has the port open is not kept: the
    // next open purges the server's input and starts afresh.
    m_discarding = true;
    m_rx.clear();
    // With an event loop the connection ends on time; without one, at the next
    // open or when the port goes away.
    if (!m_releaseTimer) {
        m_releaseTimer = std::make_unique<QTimer>();
        m_releaseTimer->setSingleShot(true);
        QObject::connect(m_releaseTimer.get(), &QTimer::timeout, [this] { releaseConnection(); });
    }
    m_releaseTimer->start(kLingerMs);
}

void NetworkSerialPort::releaseConnection()
{
    if (m_parked)
        dropConnection();
}

NetworkSerialPort::Reopen NetworkSerialPort::reopenHeldConnection()
{
    if (m_releaseTimer)
        m_releaseTimer->stop();
    readSocket();
    if (m_lost || clock().nowMs() - m_parkedAtMs > kLingerMs)
        return Reopen::Gone;
    m_parked = false;
    m_reason.clear();
    m_serverWords.clear();
    m_awaiting.clear();
    // As on a fresh open: the settings confirmed and the input purged before
    // the port is open, and nothing from before kept.
    const bool ok = sendLineSettings(true);
    m_discarding = false;
    m_rx.clear();
    if (!ok) {
        // A connection the server ended meanwhile is replaced by a new one; a
        // server that answers differently now fails the open as it would fresh.
        if (m_lost)
            return Reopen::Gone;
        failOpen(m_reason);
        return Reopen::Failed;
    }
    m_serverWords.clear();
    m_lastOutputMs = -1;
    m_open = true;
    // The farewell of a firmware update reaches the display through here too.
    m_farewell = watchConnection(int(m_socket->socketDescriptor()));
    return Reopen::Done;
}

bool NetworkSerialPort::letOutputReachTheLine()
{
    if (m_lastOutputMs < 0)
        return true;
    // Over Telnet the server confirms that it had the data, or the display's
    // answer after the last write shows it. A raw TCP server confirms nothing:
    // the data counts as taken only if the server has not hung up by the time
    // the bytes are out (a refusal's words may even look like an answer).
    bool confirmed = false;
    if (m_telnet) {
        // Asking for the rate changes nothing; its answer comes after the data.
        m_awaiting = {kSetBaudRate};
        sendComPort(kSetBaudRate, QByteArray(4, '\0'));
        const bool answered = sendPending() && waitFor([this] { return m_awaiting.isEmpty() || m_lost; }, kCloseSyncMs)
            && m_awaiting.isEmpty();
        if (!answered) {
            m_reason = m_lost ? closedReason()
                              : QStringLiteral("no answer to the query after the data within %1 s").arg(kCloseSyncMs / 1000);
            return m_answeredSinceOutput;
        }
        confirmed = true;
    }
    LineSettings ls;
    LineSettings::parse(m_settings, ls);
    const qint64 bitsPerByte = 2 + ls.dataBits + (ls.parity == 'N' ? 0 : 1);
    const qint64 lineMs = 1000 * m_lastOutputBytes * bitsPerByte / qMax(1, ls.baud);
    const qint64 until = m_lastOutputMs + lineMs + (confirmed || m_answeredSinceOutput ? kCloseMarginMs : kDeliveryMarginMs);
    const qint64 left = until - clock().nowMs();
    if (left > 0)
        waitFor([this] { return m_lost; }, int(qMin<qint64>(left, kWriteStallMs)));
    if (m_lost && !confirmed) {
        m_reason = closedReason();
        return false;
    }
    return true;
}

QString NetworkSerialPort::openFailureReason(const QString &portName) const
{
    const QString where = portName == m_address.toString() || portName.isEmpty()
        ? m_address.toString()
        : QStringLiteral("%1 (%2)").arg(portName, m_address.toString());
    if (m_fault.number == fault::InvalidPropertyValue && m_reason.isEmpty())
        return QStringLiteral("the line settings \"%1\" are not ones this port can take").arg(m_settings);
    return QStringLiteral("%1: %2").arg(where, m_reason.isEmpty() ? m_fault.description : m_reason);
}

int NetworkSerialPort::inBufferCount()
{
    if (!m_open) {
        failNotOpen();
        return -1;
    }
    readSocket();
    if (!m_rx.isEmpty())
        return int(qMin<qsizetype>(m_rx.size(), std::numeric_limits<int>::max()));
    if (m_lost) {
        failLost(fault::ReadFailed);
        return -1;
    }
    return 0;
}

bool NetworkSerialPort::input(QByteArray &data)
{
    data.clear();
    if (!m_open)
        return failNotOpen();
    readSocket();
    if (m_rx.isEmpty() && m_lost)
        return failLost(fault::ReadFailed);
    data = m_rx.left(kMaxInput);
    m_rx.remove(0, data.size());
    return true;
}

bool NetworkSerialPort::output(const QByteArray &data)
{
    if (!m_open)
        return failNotOpen();
    readSocket();
    // A raw TCP server confirms nothing on connecting: one that said something
    // and hung up before any data went out turned the client away (ser2net:
    // "Port already in use"), so the port never really opened.
    if (m_lost && !m_telnet && m_lastOutputMs < 0 && !m_serverWords.isEmpty()) {
        m_reason = serverClosed(m_serverWords);
        return fail(fault::PortOpenFailed, m_reason);
    }
    if (m_lost)
        return failLost(fault::WriteFailed);
    if (m_telnet)
        telnet_send(m_telnet, data.constData(), size_t(data.size())); // doubles each 0xFF
    else
        m_socket->write(data);
    if (!sendPending())
        return m_lost ? failLost(fault::WriteFailed) : fail(fault::WriteFailed, QStringLiteral("Transmit timeout"));
    m_lastOutputMs = clock().nowMs();
    m_lastOutputBytes = data.size();
    m_answeredSinceOutput = false;
    return true;
}

} // namespace platform

// The library's entry points, looked up by the port factory when it loads it.
extern "C" {
__attribute__((visibility("default"))) extern const int kdx_network_port_interface;
const int kdx_network_port_interface = KDX_NETWORK_PORT_INTERFACE;

__attribute__((visibility("default"))) platform::SerialPort *kdx_make_network_port(const platform::NetworkAddress *address)
{
    return new platform::NetworkSerialPort(*address);
}
}
