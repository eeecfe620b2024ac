#include "PortFactory.h"

#include "NetworkAddress.h"
#include "NetworkPortLibrary.h"
#include "PortMap.h"
#include "PosixSerialPort.h"

namespace platform {

RoutedSerialPort::RoutedSerialPort(const QString &portName)
    : m_name(portName)
{
}

RoutedSerialPort::~RoutedSerialPort() = default;

bool RoutedSerialPort::fail(int number, const QString &text)
{
    m_fault = {number, text};
    return false;
}

bool RoutedSerialPort::setCommPort(int port)
{
    if (portOpen())
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    if (port <= 0)
        return fail(fault::InvalidPortNumber, QStringLiteral("Invalid Port Number"));
    m_port = port;
    return true;
}

bool RoutedSerialPort::setSettings(const QString &settings)
{
    // A local port refuses what its driver cannot take before anything opens;
    // a network port carries any rate and framing to the server.
    LineSettings ls;
    const bool network = NetworkAddress::looksLikeUrl(m_name)
        || (m_name.isEmpty() && PortMap().devicePath(m_port).isEmpty() && !PortMap().urlOf(m_port).isEmpty());
    if (!LineSettings::parse(settings, ls) || (!network && !PosixSerialPort::acceptsSettings(settings)))
        return fail(fault::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    if (portOpen()) {
        if (!m_backend->setSettings(settings))
            return fail(m_backend->lastFault().number, m_backend->lastFault().description);
    }
    m_settings = settings;
    return true;
}

bool RoutedSerialPort::portOpen() const
{
    return m_backend && m_backend->portOpen();
}

bool RoutedSerialPort::setPortOpen(bool open)
{
    if (!open) {
        // A network port may find on closing that the data never arrived.
        if (m_backend && !m_backend->setPortOpen(false))
            return fail(m_backend->lastFault().number, m_backend->lastFault().description);
        return true;
    }
    if (portOpen())
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));

    // What the port is: the fixed name, or the number's entry in the port map.
    m_notInMap = false;
    QString url = m_name;
    QString device = m_name;
    if (m_name.isEmpty()) {
        const PortMap map;
        if (map.devicePath(m_port).isEmpty())
            url = map.urlOf(m_port);
        device.clear();
    }
    NetworkAddress address;
    QString malformed;
    if (NetworkAddress::looksLikeUrl(url) && !NetworkAddress::parse(url, address, &malformed)) {
        // Never taken for a device path.
        m_backend.reset();
        m_backendAddress.clear();
        m_target = url;
        return fail(fault::PortOpenFailed, QStringLiteral("\"%1\" is not a network port address: %2").arg(url, malformed));
    }
    if (NetworkAddress::looksLikeUrl(url)) {
        m_target = address.toString();
        // The port of the last open may still hold its connection to this
        // address, which the open then takes up again.
        if (!m_backend || m_backendAddress != m_target) {
            QString why;
            m_backend = makeNetworkPort(address, &why);
            m_backendAddress = m_backend ? m_target : QString();
            if (!m_backend)
                return fail(fault::PortOpenFailed, why);
        }
    } else {
        auto resolver = device.isEmpty() ? PosixSerialPort::portMap() : PosixSerialPort::fixedDevice(device);
        m_backend = std::make_unique<PosixSerialPort>(std::move(resolver));
        m_backendAddress.clear();
    }
    if (!m_backend->setCommPort(m_port) || !m_backend->setSettings(m_settings) || !m_backend->setPortOpen(true)) {
        m_fault = m_backend->lastFault();
        if (auto *local = dynamic_cast<PosixSerialPort *>(m_backend.get())) {
            m_target = local->devicePath();
            m_notInMap = m_name.isEmpty() && m_target.isEmpty();
        }
        return false;
    }
    if (auto *local = dynamic_cast<PosixSerialPort *>(m_backend.get()))
        m_target = local->devicePath();
    return true;
}

int RoutedSerialPort::inBufferCount()
{
    if (!portOpen()) {
        fail(fault::PortNotOpen, QStringLiteral("Operation valid only when the port is open"));
        return -1;
    }
    const int n = m_backend->inBufferCount();
    if (n < 0)
        m_fault = m_backend->lastFault();
    return n;
}

bool RoutedSerialPort::input(QByteArray &data)
{
    if (!portOpen()) {
        data.clear();
        return fail(fault::PortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    }
    return m_backend->input(data) || fail(m_backend->lastFault().number, m_backend->lastFault().description);
}

bool RoutedSerialPort::output(const QByteArray &data)
{
    if (!portOpen())
        return fail(fault::PortNotOpen, QStringLiteral("Operation valid only when the port is open"));
    return m_backend->output(data) || fail(m_backend->lastFault().number, m_backend->lastFault().description);
}

QString RoutedSerialPort::openFailureReason(const QString &portName) const
{
    if (m_backend)
        return m_backend->openFailureReason(portName);
    return SerialPort::openFailureReason(portName);
}

std::unique_ptr<SerialPort> makeSerialPort(const QString &portName)
{
    return std::make_unique<RoutedSerialPort>(portName);
}

bool isPortName(const QString &portName, QString *error)
{
    if (portName.isEmpty())
        return false;
    if (!NetworkAddress::looksLikeUrl(portName))
        return true;
    NetworkAddress address;
    return NetworkAddress::parse(portName, address, error);
}

} // namespace platform
