#pragma once

#include "NetworkAddress.h"
#include "SerialPort.h"

#include <QSet>

#include <functional>

#include <memory>

class QTcpSocket;
class QTimer;
struct telnet_t;
union telnet_event_t;

namespace platform {

// The serial-port control on a port of another machine: a TCP connection to a
// serial device server. With rfc2217:// the line settings go to the far UART as
// Telnet COM-PORT-OPTION subnegotiations, on open and on every change, and the
// open returns only once the server has confirmed them and purged its input;
// with tcp:// only the bytes travel. Reading works like a local port's: no event
// loop is needed, every inBufferCount and input call reads the socket itself.
//
// The driver opens and closes the port around every command. Over Telnet a
// close keeps the connection for a short while (kLingerMs), once the bytes
// written have reached the line as before, and an open within that time takes
// it up again: the input is purged and the line settings are sent and confirmed
// as on a fresh open, without the connection set-up and the server's own
// close of its serial port in between. Meanwhile the server's port is not free
// for another client. With an event loop the connection ends on time; without
// one it ends at the next open, with releaseConnection() or with the port.
class NetworkSerialPort final : public SerialPort
{
public:
    explicit NetworkSerialPort(const NetworkAddress &address);
    ~NetworkSerialPort() override;

    // Longest wait for the connection, and for each answer of the server.
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kAnswerTimeoutMs = 3000;
    // How long a closed Telnet port keeps its connection for the next open.
    static constexpr int kLingerMs = 500;

    NetworkAddress address() const { return m_address; }

    int commPort() const override { return m_port; }
    bool setCommPort(int port) override;
    QString settings() const override { return m_settings; }
    bool setSettings(const QString &settings) override;
    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override;
    int inBufferCount() override;
    bool input(QByteArray &data) override;
    bool output(const QByteArray &data) override;
    PortFault lastFault() const override { return m_fault; }
    bool notifyWhenReadable(std::function<void()> ready) override;
    bool carriesLineSettings() const override { return m_address.kind == NetworkAddress::Kind::Rfc2217; }

    // Why the last open failed, in one line ("connection refused" ...).
    QString openFailureReason(const QString &portName) const override;

    // Whether the port is closed but still holds its connection for the next
    // open; releaseConnection() ends it at once.
    bool holdsConnection() const { return m_parked; }
    void releaseConnection();

private:
    enum class ComPort { Unknown, Accepted, Refused };

    static void onTelnetEvent(telnet_t *telnet, telnet_event_t *event, void *self);
    void handleTelnetEvent(const telnet_event_t &event);
    void handleComPortAnswer(const QByteArray &answer);

    bool fail(int number, const QString &text);
    QString closedReason() const;
    // "the server closed the connection", with what it said, if anything.
    static QString serverClosed(const QByteArray &said);
    bool failOpen(const QString &reason);
    bool failNotOpen();
    bool failLost(int number);
    bool connectSocket();
    bool negotiate();
    enum class Reopen { Done, Failed, Gone };
    Reopen reopenHeldConnection();
    void holdConnection();
    bool offerDeclined();
    bool sendLineSettings(bool purge);
    bool sendPending();
    void readSocket();
    void takeAvailable();
    void takeBytes(const char *data, qsizetype size);
    void tellReady();
    void waitSlice();
    bool waitFor(const std::function<bool()> &done, int limitMs);
    void dropConnection();
    // Waits until the last bytes written have reached the line; false when the
    // server did not take them (m_reason says why).
    bool letOutputReachTheLine();
    void sendComPort(quint8 command, const QByteArray &value);

    NetworkAddress m_address;
    int m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    std::unique_ptr<QTcpSocket> m_socket;
    telnet_t *m_telnet = nullptr;
    bool m_open = false;
    bool m_connected = false;
    bool m_lost = false;
    bool m_closing = false;
    // Closed, with the connection kept until m_parkedAtMs + kLingerMs.
    bool m_parked = false;
    qint64 m_parkedAtMs = 0;
    std::unique_ptr<QTimer> m_releaseTimer;
    ComPort m_comPort = ComPort::Unknown;
    bool m_probingOffer = false;
    bool m_offerRepeated = false;
    // Commands whose confirmation is outstanding, and what the server answered
    // differently from what was asked.
    QSet<quint8> m_awaiting;
    QString m_refusal;
    LineSettings m_asked;
    // Bytes before the server's answer to the purge are from before the open.
    bool m_discarding = false;
    QByteArray m_rx;
    // What the server sent during an open before the input was purged.
    QByteArray m_serverWords;
    // When the last write went out and how long it was.
    qint64 m_lastOutputMs = -1;
    qint64 m_lastOutputBytes = 0;
    // Whether the display's bytes came after the last write.
    bool m_answeredSinceOutput = false;
    // The connection's entry among the ports a signal's farewell reaches.
    int m_farewell = -1;
    QString m_reason;
    PortFault m_fault;
    // Asked for by notifyWhenReadable(), called once.
    std::function<void()> m_ready;
};

} // namespace platform
