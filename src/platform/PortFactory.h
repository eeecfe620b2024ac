#pragma once

#include "SerialPort.h"

#include <memory>

namespace platform {

// The serial-port control of every program: it keeps the port number and the
// settings, and at each open looks up what the port is and opens it there: a
// serial device or pseudo-terminal, or a port on another machine over the
// network. A port name picks the port itself: a device path, or a network
// address (rfc2217://HOST:PORT, tcp://HOST:PORT). Without one, the number the
// driver sets is looked up in the port map, where COM<n> is a device link or a
// network address.
class RoutedSerialPort final : public SerialPort
{
public:
    explicit RoutedSerialPort(const QString &portName = QString());
    ~RoutedSerialPort() override;

    int commPort() const override { return m_port; }
    bool setCommPort(int port) override;
    QString settings() const override { return m_settings; }
    bool setSettings(const QString &settings) override;
    bool portOpen() const override;
    bool setPortOpen(bool open) override;
    int inBufferCount() override;
    bool input(QByteArray &data) override;
    bool output(const QByteArray &data) override;
    PortFault lastFault() const override { return m_fault; }
    bool carriesLineSettings() const override { return !m_backend || m_backend->carriesLineSettings(); }
    bool notifyWhenReadable(std::function<void()> ready) override
    {
        return portOpen() && m_backend->notifyWhenReadable(std::move(ready));
    }

    QString openFailureReason(const QString &portName) const override;
    // Whether the last open looked the number up in the port map and found
    // nothing there.
    bool notInPortMap() const { return m_notInMap; }
    // The device path or network address of the last open attempt.
    QString target() const { return m_target; }

private:
    bool fail(int number, const QString &text);

    QString m_name;
    int m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    std::unique_ptr<SerialPort> m_backend;
    // The address m_backend is a network port for; empty for a local port.
    QString m_backendAddress;
    QString m_target;
    bool m_notInMap = false;
    PortFault m_fault;
};

// The port every program opens: kdxctl with its --port, the windows and the
// tests with the port map. An empty name means the port map.
std::unique_ptr<SerialPort> makeSerialPort(const QString &portName = QString());

// Whether a name is one makeSerialPort() takes as a fixed port (a device path
// or a valid network address); *error says what is wrong with a malformed
// network address.
bool isPortName(const QString &portName, QString *error = nullptr);

} // namespace platform
