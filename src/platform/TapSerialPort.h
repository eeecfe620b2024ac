#pragma once

#include "SerialPort.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace platform {

// What the tap saw on the port, with the monotonic time in microseconds.
struct TapEvent
{
    enum class Kind {
        Write,    // bytes handed to the line
        Read,     // bytes taken from the line
        Open,     // text: "COM1 19200,N,8,1"
        Close,
        Settings, // new line settings while the port is open; text: the settings
        Fault,    // an operation failed; text: which and why
        Note,     // something else worth a line about the port; text: what
    };
    Kind kind = Kind::Write;
    qint64 timeUs = 0;
    QByteArray bytes;
    QString text;
};

// Receives the tap's events, on the thread that uses the port.
class TrafficSink
{
public:
    virtual ~TrafficSink() = default;
    virtual void tapped(const TapEvent &event) = 0;
};

// A serial port that forwards every call to the port it wraps and reports what
// went over it to the installed sink. Without a sink it only forwards.
class TapSerialPort final : public SerialPort
{
public:
    explicit TapSerialPort(std::unique_ptr<SerialPort> inner);

    // The process's one sink; nullptr stops reporting. The caller keeps ownership.
    static void setSink(TrafficSink *sink);
    static TrafficSink *sink();
    // The tap's clock: monotonic microseconds.
    static qint64 nowUs();

    SerialPort &inner() { return *m_inner; }

    int commPort() const override { return m_inner->commPort(); }
    bool setCommPort(int port) override;
    QString settings() const override { return m_inner->settings(); }
    bool setSettings(const QString &settings) override;
    bool portOpen() const override { return m_inner->portOpen(); }
    bool setPortOpen(bool open) override;
    int inBufferCount() override { return m_inner->inBufferCount(); }
    bool input(QByteArray &data) override;
    bool output(const QByteArray &data) override;
    PortFault lastFault() const override { return m_inner->lastFault(); }
    QString openFailureReason(const QString &portName) const override { return m_inner->openFailureReason(portName); }
    bool carriesLineSettings() const override { return m_inner->carriesLineSettings(); }
    bool notifyWhenReadable(std::function<void()> ready) override
    {
        return m_inner->notifyWhenReadable(std::move(ready));
    }

private:
    void report(TapEvent::Kind kind, const QByteArray &bytes, const QString &text);
    void reportFault(const QString &what);

    std::unique_ptr<SerialPort> m_inner;
};

} // namespace platform
