#pragma once

#include "SerialPort.h"

#include <functional>

namespace platform {

// The serial-port control on a Linux tty: serial devices and pseudo-terminals,
// through termios with a non-blocking descriptor. The port number is turned into
// a device path by the resolver (by default the port map).
class PosixSerialPort final : public SerialPort
{
public:
    using Resolver = std::function<QString(int port)>;

    explicit PosixSerialPort(Resolver resolver = {});
    ~PosixSerialPort() override;

    // Resolves every port number to this one device (kdxctl --port /dev/...).
    static Resolver fixedDevice(const QString &path);
    // Resolves through the port map, assigning numbers to new devices first.
    static Resolver portMap();

    // Whether a settings string ("9600,N,8,1") is one this port can take.
    static bool acceptsSettings(const QString &settings);

    int commPort() const override { return m_port; }
    bool setCommPort(int port) override;
    QString settings() const override { return m_settings; }
    bool setSettings(const QString &settings) override;
    bool portOpen() const override { return m_fd >= 0; }
    bool setPortOpen(bool open) override;
    int inBufferCount() override;
    bool input(QByteArray &data) override;
    bool output(const QByteArray &data) override;
    PortFault lastFault() const override { return m_fault; }

    // The device of the last open attempt, so that a command-line user can be
    // told what to do when it failed.
    QString devicePath() const { return m_device; }
    QString openFailureReason(const QString &portName) const override;

private:
    bool fail(int number, const QString &text, int err = 0);
    bool failNotOpen();
    bool applySettings();
    bool checkHangup();
    void waitForOutputSent();

    Resolver m_resolver;
    int m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_fd = -1;
    bool m_closing = false;
    QString m_device;
    int m_errno = 0;
    PortFault m_fault;
};

} // namespace platform
