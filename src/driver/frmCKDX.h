#pragma once

#include "LoaderDialogue.h"
#include "SerialPort.h"
#include "XModemSender.h"

#include <QObject>

#include <functional>
#include <memory>

// The one owner of the serial port in the process. It is a hidden object,
// created on first use: every CKDX talks through its MSComm1, so however many
// driver objects exist there is exactly one port. The firmware update's loader
// dialogue and XModem sender (src/transfer) work on that same port, and while
// either runs the port is theirs.
class frmCKDX : public QObject
{
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<platform::SerialPort>()>;

    // The instance, created on first use with a port from the installed factory.
    static frmCKDX &instance();
    // Where MSComm1 comes from; the default is platform::makeSerialPort(), the
    // port map's devices and network ports. Tests install a fake; kdxctl the
    // port named by --port. Takes effect for the next
    // instance.
    static void setPortFactory(PortFactory factory);
    // Wraps every port the factory makes, whatever it is (the traffic tap).
    // None by default; takes effect for the next instance.
    using PortDecorator = std::function<std::unique_ptr<platform::SerialPort>(std::unique_ptr<platform::SerialPort>)>;
    static void setPortDecorator(PortDecorator decorator);
    // Destroys the instance (tests start each case with a fresh port).
    static void resetInstance();

    platform::SerialPort &MSComm1() { return *m_comm; }
    XModemSender &sender() { return *m_sender; }
    LoaderDialogue &loader() { return *m_loader; }

    // True while a loader dialogue or a file transfer owns the port: no other
    // command may write to it or close it until the transfer has ended. False
    // when no instance exists yet.
    static bool portOwnedByTransfer();

private:
    frmCKDX();
    ~frmCKDX() override;

    std::unique_ptr<platform::SerialPort> m_comm;
    std::unique_ptr<XModemSender> m_sender;
    std::unique_ptr<LoaderDialogue> m_loader;
};
