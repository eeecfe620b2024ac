#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace platform {

// Numbers and texts of the faults a serial-port control raises; the driver turns
// them into result codes, the windows show them.
struct PortFault
{
    int number = 0;
    QString description;
};

namespace fault {
constexpr int InvalidPropertyValue = 380;
constexpr int InvalidPortNumber = 8002;
constexpr int PortAlreadyOpen = 8005;
constexpr int PortNotOpen = 8012;
constexpr int ReadFailed = 8020;
constexpr int WriteFailed = 8021;
constexpr int PortOpenFailed = 8015;
} // namespace fault

// The serial-port control: a port number, a settings string ("9600,N,8,1"), an
// open/closed state, the count of received bytes waiting, a read of everything
// waiting and a write. No receive events. Every operation that can fail returns
// false (or -1) and leaves the reason in lastFault().
class SerialPort
{
public:
    virtual ~SerialPort() = default;

    virtual int commPort() const = 0;
    // Fails with PortAlreadyOpen while the port is open, InvalidPortNumber for 0 or less.
    virtual bool setCommPort(int port) = 0;

    virtual QString settings() const = 0;
    // Fails with InvalidPropertyValue for a string that is not baud,parity,data,stop.
    virtual bool setSettings(const QString &settings) = 0;

    virtual bool portOpen() const = 0;
    virtual bool setPortOpen(bool open) = 0;

    // Bytes waiting in the receive buffer, -1 on a fault (port closed, device gone).
    virtual int inBufferCount() = 0;
    // Everything waiting, as raw bytes.
    virtual bool input(QByteArray &data) = 0;
    virtual bool output(const QByteArray &data) = 0;

    virtual PortFault lastFault() const = 0;

    // Why the last open failed and what to do about it, in one line for a
    // status line or standard error; portName is the name the user chose
    // ("COM3"). The default gives the fault's description.
    virtual QString openFailureReason(const QString &portName) const;

    // For a program that waits on the line without polling (the pass-through):
    // asks for one call of `ready` from the event loop once input may be
    // waiting or the line has failed. The request is used up by that call; ask
    // again after reading. `ready` may come while the port is inside another of
    // its calls, so it should only schedule the reading. False where the port
    // cannot tell (closed, or no event loop to tell through): poll instead.
    virtual bool notifyWhenReadable(std::function<void()> ready)
    {
        Q_UNUSED(ready);
        return false;
    }

    // False for an open port whose rate and framing stay as the far end has
    // them whatever the settings say (a raw TCP port): only bytes travel.
    virtual bool carriesLineSettings() const { return true; }
};

// The parts of a settings string. parse() accepts what the control accepts:
// a decimal baud rate, N/O/E/M/S, 5 to 8 data bits, 1, 1.5 or 2 stop bits.
struct LineSettings
{
    int baud = 0;
    char parity = 'N';
    int dataBits = 8;
    QString stopBits = QStringLiteral("1");

    static bool parse(const QString &text, LineSettings &out);
};

} // namespace platform
