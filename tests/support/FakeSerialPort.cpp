#include "FakeSerialPort.h"

#include "Clock.h"

namespace kdxtest {

bool FakeSerialPort::fail(int number, const char *text)
{
    m_fault = {number, QString::fromLatin1(text)};
    return false;
}

bool FakeSerialPort::setCommPort(int port)
{
    if (m_open)
        return fail(platform::fault::PortAlreadyOpen, "Port already open");
    if (port <= 0)
        return fail(platform::fault::InvalidPortNumber, "Invalid Port Number");
    m_port = port;
    return true;
}

bool FakeSerialPort::setSettings(const QString &settings)
{
    platform::LineSettings ls;
    if (!platform::LineSettings::parse(settings, ls))
        return fail(platform::fault::InvalidPropertyValue, "Invalid property value");
    m_settings = settings;
    return true;
}

bool FakeSerialPort::setPortOpen(bool open)
{
    if (!open) {
        if (m_open)
            events << QStringLiteral("close");
        m_open = false;
        return true;
    }
    if (m_open)
        return fail(platform::fault::PortAlreadyOpen, "Port already open");
    if (failOpen)
        return fail(platform::fault::PortOpenFailed, "No such file or directory");
    m_open = true;
    if (replugged)
        hungUp = false;
    m_pending.clear();
    events << QStringLiteral("open %1 %2").arg(m_port).arg(m_settings);
    return true;
}

int FakeSerialPort::inBufferCount()
{
    ++inBufferCountCalls;
    if (!m_open) {
        fail(platform::fault::PortNotOpen, "Operation valid only when the port is open");
        return -1;
    }
    if (hungUp) {
        fail(platform::fault::ReadFailed, "The device has been disconnected");
        return -1;
    }
    const qint64 now = platform::clock().nowMs();
    int n = 0;
    for (const Arrival &a : m_pending) {
        if (a.at <= now)
            n += int(a.bytes.size());
    }
    return n;
}

bool FakeSerialPort::input(QByteArray &data)
{
    data.clear();
    if (!m_open)
        return fail(platform::fault::PortNotOpen, "Operation valid only when the port is open");
    if (hungUp)
        return fail(platform::fault::ReadFailed, "The device has been disconnected");
    const qint64 now = platform::clock().nowMs();
    for (int i = 0; i < m_pending.size();) {
        if (m_pending[i].at <= now) {
            data += m_pending[i].bytes;
            m_pending.removeAt(i);
        } else {
            ++i;
        }
    }
    return true;
}

bool FakeSerialPort::output(const QByteArray &data)
{
    if (!m_open)
        return fail(platform::fault::PortNotOpen, "Operation valid only when the port is open");
    if (hungUp)
        return fail(platform::fault::WriteFailed, "The device has been disconnected");
    if (failWriteAt == 0) {
        failWriteAt = -1;
        return fail(platform::fault::WriteFailed, "Input/output error");
    }
    if (failWriteAt > 0)
        --failWriteAt;
    writes << data;
    if (m_responder)
        m_responder(*this, data);
    return true;
}

void FakeSerialPort::reply(const QByteArray &bytes, qint64 afterMs)
{
    m_pending.append({platform::clock().nowMs() + afterMs, bytes});
}

QByteArray FakeSerialPort::written() const
{
    QByteArray all;
    for (const QByteArray &w : writes)
        all += w;
    return all;
}

void FakeSerialPort::clearRecord()
{
    writes.clear();
    events.clear();
    inBufferCountCalls = 0;
}

} // namespace kdxtest
