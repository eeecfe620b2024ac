#include "TapSerialPort.h"

#include <chrono>

namespace platform {

namespace {
TrafficSink *g_sink = nullptr;
} // namespace

TapSerialPort::TapSerialPort(std::unique_ptr<SerialPort> inner)
    : m_inner(std::move(inner))
{
}

void TapSerialPort::setSink(TrafficSink *sink)
{
    g_sink = sink;
}

TrafficSink *TapSerialPort::sink()
{
    return g_sink;
}

qint64 TapSerialPort::nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void TapSerialPort::report(TapEvent::Kind kind, const QByteArray &bytes, const QString &text)
{
    g_sink->tapped(TapEvent {kind, nowUs(), bytes, text});
}

void TapSerialPort::reportFault(const QString &what)
{
    report(TapEvent::Kind::Fault, QByteArray(), what + QStringLiteral(" failed: ") + m_inner->lastFault().description);
}

bool TapSerialPort::setCommPort(int port)
{
    const bool ok = m_inner->setCommPort(port);
    if (!ok && g_sink)
        reportFault(QStringLiteral("COM%1").arg(port));
    return ok;
}

bool TapSerialPort::setSettings(const QString &settings)
{
    if (!g_sink)
        return m_inner->setSettings(settings);
    const QString before = m_inner->settings();
    const bool ok = m_inner->setSettings(settings);
    if (!ok)
        reportFault(QStringLiteral("settings %1").arg(settings));
    else if (m_inner->portOpen() && m_inner->settings() != before)
        report(TapEvent::Kind::Settings, QByteArray(), m_inner->settings());
    return ok;
}

bool TapSerialPort::setPortOpen(bool open)
{
    if (!g_sink)
        return m_inner->setPortOpen(open);
    const bool was = m_inner->portOpen();
    const bool ok = m_inner->setPortOpen(open);
    if (!ok)
        reportFault(open ? QStringLiteral("open COM%1").arg(m_inner->commPort()) : QStringLiteral("close"));
    else if (open && !was)
        report(TapEvent::Kind::Open, QByteArray(), QStringLiteral("COM%1 %2").arg(m_inner->commPort()).arg(m_inner->settings()));
    else if (!open && was)
        report(TapEvent::Kind::Close, QByteArray(), QString());
    return ok;
}

bool TapSerialPort::input(QByteArray &data)
{
    const bool ok = m_inner->input(data);
    if (g_sink) {
        if (!ok)
            reportFault(QStringLiteral("read"));
        else if (!data.isEmpty())
            report(TapEvent::Kind::Read, data, QString());
    }
    return ok;
}

bool TapSerialPort::output(const QByteArray &data)
{
    if (!g_sink)
        return m_inner->output(data);
    // Timed before the write: a write that blocks until the line takes the bytes
    // must not make them look later than the answer they cause.
    const qint64 t = nowUs();
    const bool ok = m_inner->output(data);
    if (ok && !data.isEmpty())
        g_sink->tapped(TapEvent {TapEvent::Kind::Write, t, data, QString()});
    else if (!ok)
        reportFault(QStringLiteral("write"));
    return ok;
}

} // namespace platform
