#pragma once

#include "OpenFailure.h"
#include "PortLock.h"
#include "SerialPort.h"

#include <functional>
#include <memory>

class QSocketNotifier;
struct termios;

namespace platform {

// The serial-port control on a Linux tty: serial devices and pseudo-terminals,
// through termios with a non-blocking descriptor. The port number is turned into
// a device path by the resolver (by default the port map).
//
// An open port is this process's alone: the lock file of the serial-port
// convention, an flock on the device and the tty's exclusive mode all say so,
// and an open finds any of them held by another program busy.
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
    // A termios speed for a baud rate and back; 0 where there is none.
    static unsigned speedOfRate(int baud);
    static int rateOfSpeed(unsigned speed);

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
    bool notifyWhenReadable(std::function<void()> ready) override;

    // The device of the last open attempt, so that a command-line user can be
    // told what to do when it failed.
    QString devicePath() const { return m_device; }
    QString openFailureReason(const QString &portName) const override;
    // What was found out when the last open failed.
    const OpenFailure &openFailure() const { return m_failure; }

    // What the driver kept of the asked line settings, in words ("it keeps 8
    // data bits instead of 5"); empty when it kept them all. A pseudo-terminal
    // has no framing of its own: its data bits and parity are not compared.
    static QString settingsRefusal(const termios &asked, const termios &kept, bool pseudoTerminal);
    // How long a queue of bytes takes to leave at these settings, doubled, plus
    // half a second: the longest a write or close waits for the line.
    static qint64 drainAllowanceMs(qint64 bytes, const QString &settings);

private:
    bool fail(int number, const QString &text, int err = 0);
    bool failNotOpen();
    bool failOpen(OpenFailure::Cause cause, int err = 0);
    bool applySettings();
    bool checkHangup();
    void waitForOutputSent();
    bool openDevice();
    void closeDevice();
    void notePermissions();
    // Notes who else holds the device; false when nobody alive does.
    bool noteHolders(dev_t fileSystem, ino_t inode, dev_t device);

    Resolver m_resolver;
    int m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_fd = -1;
    bool m_closing = false;
    bool m_pseudoTerminal = false;
    bool m_hungUp = false;
    QString m_device;
    PortFault m_fault;
    OpenFailure m_failure;
    PortLock m_lock;
    // Made on the first notifyWhenReadable() of an open port, gone with it.
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::function<void()> m_ready;
};

} // namespace platform
