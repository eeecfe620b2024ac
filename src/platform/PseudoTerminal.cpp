#include "PseudoTerminal.h"

#include "PortLock.h"
#include "PosixSerialPort.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(const LineSettings &line, QString *error)
{
    close();
    auto failed = [this, error](const QString &what) {
        *error = QStringLiteral("%1: %2").arg(what, errnoText(errno));
        close();
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return failed(QStringLiteral("cannot create a pseudo-terminal"));
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return failed(QStringLiteral("cannot name the pseudo-terminal"));
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0)
        return failed(QStringLiteral("cannot open %1").arg(m_slavePath));
    termios tio {};
    if (::tcgetattr(m_slave, &tio) != 0)
        return failed(QStringLiteral("cannot read the settings of %1").arg(m_slavePath));
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (line.stopBits == QLatin1String("2"))
        tio.c_cflag |= CSTOPB;
    if (const unsigned speed = PosixSerialPort::speedOfRate(line.baud)) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return failed(QStringLiteral("cannot set up %1").arg(m_slavePath));
    // Only to tell the program's opens and closes; the pass-through works
    // without it.
    m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch >= 0 && ::inotify_add_watch(m_watch, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_watch);
        m_watch = -1;
    }
    return true;
}

void PseudoTerminal::close()
{
    for (int *fd : {&m_watch, &m_slave, &m_master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool PseudoTerminal::programLine(int *baud, bool *twoStopBits) const
{
    termios tio {};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return false;
    const speed_t speed = ::cfgetospeed(&tio);
    const int rate = PosixSerialPort::rateOfSpeed(speed);
    *baud = speed == B0 ? 0 : (rate > 0 ? rate : -1);
    *twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    return true;
}

bool PseudoTerminal::read(QByteArray &data, qsizetype maxBytes, QString *error)
{
    data.resize(maxBytes);
    for (;;) {
        const ssize_t n = ::read(m_master, data.data(), size_t(maxBytes));
        if (n > 0) {
            data.resize(n);
            return true;
        }
        data.clear();
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        // With our own slave descriptor open the master only fails when the
        // slave has been hung up (vhangup) or torn down.
        *error = n == 0 ? QStringLiteral("the pseudo-terminal was closed") : errnoText(errno);
        return false;
    }
}

qsizetype PseudoTerminal::write(const char *data, qsizetype size, QString *error)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_master, data + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        *error = errnoText(errno);
        return -1;
    }
    return done;
}

QList<bool> PseudoTerminal::takeOpensAndCloses()
{
    QList<bool> events;
    if (m_watch < 0)
        return events;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_watch, buf, sizeof buf);
        if (n <= 0)
            return events;
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buf + at);
            if (e->mask & IN_OPEN)
                events.append(true);
            if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
                events.append(false);
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
}

void PseudoTerminal::discardInput()
{
    if (m_slave >= 0)
        ::tcflush(m_slave, TCIFLUSH);
}

bool PseudoTerminal::heldByProgram() const
{
    struct stat st {};
    if (m_slave < 0 || ::fstat(m_slave, &st) != 0)
        return false;
    return !openersOf(st.st_rdev).isEmpty();
}

void PseudoTerminal::endLeftExclusiveMode()
{
    int exclusive = 0;
    if (m_slave >= 0 && ::ioctl(m_slave, TIOCGEXCL, &exclusive) == 0 && exclusive && !heldByProgram())
        ::ioctl(m_slave, TIOCNXCL);
}

} // namespace platform
