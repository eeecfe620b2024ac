#include "PosixSerialPort.h"

#include "Clock.h"
#include "PortMap.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

speed_t speedOf(int baud, bool *ok)
{
    *ok = true;
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: *ok = false; return B0;
    }
}

// Longest time a write may wait for room in the transmit queue: generous for
// the slowest line and a full buffer, short enough that a stuck line reports.
constexpr int kWriteStallMs = 5000;

// Most bytes one read takes.
constexpr qsizetype kMaxInput = 64 * 1024;

} // namespace

PosixSerialPort::PosixSerialPort(Resolver resolver)
    : m_resolver(resolver ? std::move(resolver) : portMap())
{
}

PosixSerialPort::~PosixSerialPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

PosixSerialPort::Resolver PosixSerialPort::fixedDevice(const QString &path)
{
    return [path](int) { return path; };
}

PosixSerialPort::Resolver PosixSerialPort::portMap()
{
    return [](int port) {
        PortMap map;
        QString dev = map.devicePath(port);
        if (dev.isEmpty()) {
            map.refresh();
            dev = map.devicePath(port);
        }
        return dev;
    };
}

bool PosixSerialPort::fail(int number, const QString &text, int err)
{
    m_fault = {number, text};
    m_errno = err;
    return false;
}

bool PosixSerialPort::failNotOpen()
{
    return fail(fault::PortNotOpen, QStringLiteral("Operation valid only when the port is open"));
}

bool PosixSerialPort::setCommPort(int port)
{
    if (m_fd >= 0)
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    if (port <= 0)
        return fail(fault::InvalidPortNumber, QStringLiteral("Invalid Port Number"));
    m_port = port;
    return true;
}

bool PosixSerialPort::acceptsSettings(const QString &settings)
{
    LineSettings ls;
    bool ok = false;
    return LineSettings::parse(settings, ls) && (speedOf(ls.baud, &ok), ok) && ls.parity != 'M' && ls.parity != 'S'
        && ls.stopBits != QLatin1String("1.5");
}

bool PosixSerialPort::setSettings(const QString &settings)
{
    if (!acceptsSettings(settings))
        return fail(fault::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    m_settings = settings;
    if (m_fd >= 0)
        return applySettings();
    return true;
}

bool PosixSerialPort::applySettings()
{
    LineSettings ls;
    LineSettings::parse(m_settings, ls);
    bool ok = false;
    const speed_t speed = speedOf(ls.baud, &ok);
    termios tio {};
    if (::tcgetattr(m_fd, &tio) != 0)
        return fail(fault::PortOpenFailed, QString::fromLocal8Bit(std::strerror(errno)), errno);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (ls.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    if (ls.parity == 'O')
        tio.c_cflag |= PARENB | PARODD;
    else if (ls.parity == 'E')
        tio.c_cflag |= PARENB;
    if (ls.stopBits == QLatin1String("2"))
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return fail(fault::InvalidPropertyValue, QString::fromLocal8Bit(std::strerror(errno)), errno);
    return true;
}

void PosixSerialPort::waitForOutputSent()
{
    // At a slow rate a full lamp test takes seconds to leave; wait for it with
    // the window alive rather than in close(), which would block.
    LineSettings ls;
    LineSettings::parse(m_settings, ls);
    int pending = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &pending) != 0 || pending <= 0)
        return;
    const qint64 bitsPerByte = 2 + ls.dataBits + (ls.parity == 'N' ? 0 : 1);
    const qint64 allowMs = 500 + 2 * 1000 * pending * bitsPerByte / qMax(1, ls.baud);
    Clock &clk = clock();
    const qint64 start = clk.nowMs();
    while (m_fd >= 0 && ::ioctl(m_fd, TIOCOUTQ, &pending) == 0 && pending > 0) {
        if (clk.nowMs() - start > allowMs) {
            // The line does not move (flow control, a stuck adapter): drop the rest.
            ::tcflush(m_fd, TCOFLUSH);
            return;
        }
        clk.processEvents(10);
    }
}

bool PosixSerialPort::setPortOpen(bool open)
{
    if (!open) {
        if (m_fd < 0)
            return true;
        if (!m_closing) {
            m_closing = true;
            waitForOutputSent();
            m_closing = false;
        }
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return true;
    }
    if (m_fd >= 0)
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    m_device = m_resolver(m_port);
    if (m_device.isEmpty())
        return fail(fault::InvalidPortNumber, QStringLiteral("Invalid Port Number"), ENOENT);
    const QByteArray path = QFile::encodeName(m_device);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return fail(fault::PortOpenFailed, QString::fromLocal8Bit(std::strerror(err)), err);
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return fail(fault::PortOpenFailed, QStringLiteral("Not a serial device"), ENOTTY);
    }
    // Another program of ours holding the port makes it busy, as on a system
    // where a serial port has one owner at a time.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"), err);
    }
    m_fd = fd;
    if (!applySettings()) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    // A freshly opened port starts with an empty input buffer. The output side is
    // left alone: the last close drained it, and on a pseudo-terminal flushing it
    // would discard bytes of the previous session the far end has not read yet.
    ::tcflush(m_fd, TCIFLUSH);
    return true;
}

QString PosixSerialPort::openFailureReason(const QString &portName) const
{
    if (m_fault.number == fault::InvalidPropertyValue)
        return QStringLiteral("the line settings \"%1\" are not ones this port can take").arg(m_settings);
    if (m_device.isEmpty())
        return QStringLiteral("%1 is not in the port map (%2)").arg(portName, PortMap::defaultDir());
    switch (m_errno) {
    case EACCES:
    case EPERM: {
        QString owner;
        struct stat st {};
        if (::stat(QFile::encodeName(m_device).constData(), &st) == 0) {
            if (const struct group *g = ::getgrgid(st.st_gid))
                owner = QString::fromLocal8Bit(g->gr_name);
        }
        if (owner.isEmpty())
            return QStringLiteral("permission denied on %1").arg(m_device);
        return QStringLiteral("permission denied on %1: the user is not in the group \"%2\" that owns "
                              "the device; add it (usermod -aG %2 USER) and log in again")
            .arg(m_device, owner);
    }
    case EBUSY:
        return QStringLiteral("%1 is busy: another program has it open; close that program first").arg(m_device);
    case ENOENT:
        return QStringLiteral("%1 does not exist: is the adapter plugged in?").arg(m_device);
    case ENOTTY:
        return QStringLiteral("%1 is not a serial device").arg(m_device);
    case 0:
        return QStringLiteral("%1: %2").arg(m_device, m_fault.description);
    default:
        return QStringLiteral("%1: %2").arg(m_device, QString::fromLocal8Bit(std::strerror(m_errno)));
    }
}

bool PosixSerialPort::checkHangup()
{
    pollfd p {m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return fail(fault::ReadFailed, QString::fromLocal8Bit(std::strerror(errno)), errno);
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        return fail(fault::ReadFailed, QStringLiteral("The device has been disconnected"), EIO);
    return true;
}

int PosixSerialPort::inBufferCount()
{
    if (m_fd < 0) {
        failNotOpen();
        return -1;
    }
    int n = 0;
    if (::ioctl(m_fd, FIONREAD, &n) != 0) {
        fail(fault::ReadFailed, QString::fromLocal8Bit(std::strerror(errno)), errno);
        return -1;
    }
    if (n == 0 && !checkHangup())
        return -1;
    return n;
}

bool PosixSerialPort::input(QByteArray &data)
{
    data.clear();
    if (m_fd < 0)
        return failNotOpen();
    char buf[4096];
    // One read takes what has arrived, up to a bound, so a peer that floods the
    // line cannot keep it reading forever.
    while (data.size() < kMaxInput) {
        const ssize_t r = ::read(m_fd, buf, sizeof buf);
        if (r > 0) {
            data.append(buf, int(r));
            continue;
        }
        if (r == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        if (errno == EINTR)
            continue;
        if (!data.isEmpty())
            return true; // report the fault on the next call, keep what arrived
        return fail(fault::ReadFailed, QString::fromLocal8Bit(std::strerror(errno)), errno);
    }
    return true;
}

bool PosixSerialPort::output(const QByteArray &data)
{
    if (m_fd < 0)
        return failNotOpen();
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t w = ::write(m_fd, data.constData() + done, size_t(data.size() - done));
        if (w > 0) {
            done += w;
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The transmit queue is full: wait for room with the window alive.
            Clock &clk = clock();
            const qint64 start = clk.nowMs();
            for (;;) {
                if (m_fd < 0)
                    return failNotOpen();
                pollfd p {m_fd, POLLOUT, 0};
                const int r = ::poll(&p, 1, 0);
                if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                    return fail(fault::WriteFailed, QStringLiteral("The device has been disconnected"), EIO);
                if (r > 0)
                    break;
                if (clk.nowMs() - start > kWriteStallMs)
                    return fail(fault::WriteFailed, QStringLiteral("Transmit timeout"), ETIMEDOUT);
                clk.processEvents(5);
            }
            continue;
        }
        return fail(fault::WriteFailed, QString::fromLocal8Bit(std::strerror(errno)), errno);
    }
    return true;
}

} // namespace platform
