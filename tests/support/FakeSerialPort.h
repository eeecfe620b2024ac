#pragma once

#include "SerialPort.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <functional>

namespace kdxtest {

// A scripted display behind the serial-port control. Every write is recorded; a
// responder sees each write and schedules the display's answer at chosen times
// on the installed clock. Faults can be switched on to play an unplugged adapter.
class FakeSerialPort final : public platform::SerialPort
{
public:
    using Responder = std::function<void(FakeSerialPort &port, const QByteArray &written)>;

    int commPort() const override { return m_port; }
    bool setCommPort(int port) override;
    QString settings() const override { return m_settings; }
    bool setSettings(const QString &settings) override;
    bool portOpen() const override { return m_open; }
    bool setPortOpen(bool open) override;
    int inBufferCount() override;
    bool input(QByteArray &data) override;
    bool output(const QByteArray &data) override;
    platform::PortFault lastFault() const override { return m_fault; }
    bool carriesLineSettings() const override { return !rawTcp; }

    // Script.
    void setResponder(Responder r) { m_responder = std::move(r); }
    // Bytes the display sends, arriving afterMs from now (0: already waiting).
    void reply(const QByteArray &bytes, qint64 afterMs = 0);

    // Record.
    QList<QByteArray> writes;   // one element per output()
    QStringList events;         // "open 3 9600,N,8,1", "close"
    int inBufferCountCalls = 0;
    QByteArray written() const;
    void clearRecord();

    // Faults.
    bool failOpen = false;      // the device cannot be opened
    int failWriteAt = -1;       // the nth output() from now on (0 = next) fails
    bool hungUp = false;        // every read and write fails, as after an unplug
    bool replugged = false;     // ... until the port is opened again: a new device
    bool rawTcp = false;        // the line keeps its own rate, as a tcp:// port

private:
    bool fail(int number, const char *text);

    struct Arrival
    {
        qint64 at;
        QByteArray bytes;
    };
    QList<Arrival> m_pending;
    Responder m_responder;
    int m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    bool m_open = false;
    platform::PortFault m_fault;
};

} // namespace kdxtest
