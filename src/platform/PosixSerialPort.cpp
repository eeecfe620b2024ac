#include "PosixSerialPort.h"

#include "Clock.h"
#include "PortMap.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

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

int baudOf(speed_t speed)
{
    static const int rates[] = {50,    75,    110,   134,   150,    200,    300,    600,    1200,   1800,
                                2400,  4800,  9600,  19200, 38400,  57600,  115200, 230400, 460800, 921600};
    bool ok = false;
    for (int rate : rates) {
        if (speedOf(rate, &ok) == speed)
            return rate;
    }
    return 0;
}

// Most bytes one read takes.
constexpr qsizetype kMaxInput = 64 * 1024;

// The shortest a write waits for room, whatever the queue: a pseudo-terminal
// reports no queue while its far end is busy.
constexpr qint64 kWriteStallMinMs = 5000;

// Time for the line to settle on top of the time its queue takes to leave.
constexpr qint64 kDrainMarginMs = 500;

// Unix98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

PosixSerialPort::PosixSerialPort(Resolver resolver)
    : m_resolver(resolver ? std::move(resolver) : portMap())
{
}

PosixSerialPort::~PosixSerialPort()
{
    closeDevice();
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
    Q_UNUSED(err);
    m_fault = {number, text};
    return false;
}

bool PosixSerialPort::failOpen(OpenFailure::Cause cause, int err)
{
    m_failure.cause = cause;
    m_failure.error = err;
    m_failure.device = m_device;
    m_failure.settings = m_settings;
    switch (cause) {
    case OpenFailure::Cause::NotInPortMap: return fail(fault::InvalidPortNumber, QStringLiteral("Invalid Port Number"));
    case OpenFailure::Cause::SettingsRejected:
    case OpenFailure::Cause::SettingsRefused:
        return fail(fault::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    case OpenFailure::Cause::Locked:
    case OpenFailure::Cause::Held: return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    default: break;
    }
    if (err == EBUSY)
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    if (err == ENOTTY)
        return fail(fault::PortOpenFailed, QStringLiteral("Not a serial device"));
    return fail(fault::PortOpenFailed, errnoText(err));
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

unsigned PosixSerialPort::speedOfRate(int baud)
{
    bool ok = false;
    const speed_t speed = speedOf(baud, &ok);
    return ok ? speed : 0;
}

int PosixSerialPort::rateOfSpeed(unsigned speed)
{
    return baudOf(speed_t(speed));
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
    if (!acceptsSettings(settings)) {
        m_failure = {};
        m_failure.cause = OpenFailure::Cause::SettingsRejected;
        m_failure.settings = settings;
        return fail(fault::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    }
    m_settings = settings;
    if (m_fd >= 0)
        return applySettings();
    return true;
}

QString PosixSerialPort::settingsRefusal(const termios &asked, const termios &kept, bool pseudoTerminal)
{
    QStringList what;
    auto keeps = [&what](const QString &k, const QString &a) {
        what << QStringLiteral("it keeps %1 instead of %2").arg(k, a);
    };
    if (::cfgetospeed(&kept) != ::cfgetospeed(&asked) || ::cfgetispeed(&kept) != ::cfgetispeed(&asked)) {
        const int k = baudOf(::cfgetospeed(&kept));
        keeps(k ? QStringLiteral("%1 baud").arg(k) : QStringLiteral("another rate"),
              QStringLiteral("%1 baud").arg(baudOf(::cfgetospeed(&asked))));
    }
    auto dataBits = [](tcflag_t c) {
        switch (c & CSIZE) {
        case CS5: return 5;
        case CS6: return 6;
        case CS7: return 7;
        default: return 8;
        }
    };
    // A pseudo-terminal always reports 8 data bits and no parity bit.
    if (!pseudoTerminal && dataBits(kept.c_cflag) != dataBits(asked.c_cflag))
        keeps(QStringLiteral("%1 data bits").arg(dataBits(kept.c_cflag)),
              QStringLiteral("%1").arg(dataBits(asked.c_cflag)));
    const tcflag_t parityMask = pseudoTerminal ? tcflag_t(PARODD | CMSPAR) : tcflag_t(PARENB | PARODD | CMSPAR);
    if ((kept.c_cflag & parityMask) != (asked.c_cflag & parityMask)) {
        auto parity = [&asked](tcflag_t c, bool enabled) {
            if (!enabled)
                return QStringLiteral("no parity");
            if (c & CMSPAR)
                return c & PARODD ? QStringLiteral("mark parity") : QStringLiteral("space parity");
            return c & PARODD ? QStringLiteral("odd parity") : QStringLiteral("even parity");
        };
        const bool askedOn = asked.c_cflag & PARENB;
        const bool keptOn = pseudoTerminal ? askedOn || (kept.c_cflag & (PARODD | CMSPAR)) : bool(kept.c_cflag & PARENB);
        keeps(parity(kept.c_cflag, keptOn),
              parity(asked.c_cflag, askedOn));
    }
    if ((kept.c_cflag & CSTOPB) != (asked.c_cflag & CSTOPB))
        keeps(kept.c_cflag & CSTOPB ? QStringLiteral("2 stop bits") : QStringLiteral("1 stop bit"),
              asked.c_cflag & CSTOPB ? QStringLiteral("2") : QStringLiteral("1"));
    if ((kept.c_cflag & CRTSCTS) != (asked.c_cflag & CRTSCTS))
        what << (kept.c_cflag & CRTSCTS ? QStringLiteral("it keeps hardware flow control on")
                                        : QStringLiteral("it keeps hardware flow control off"));
    const tcflag_t lineMask = CLOCAL | CREAD | HUPCL;
    if ((kept.c_cflag & lineMask) != (asked.c_cflag & lineMask))
        what << QStringLiteral("it keeps other control flags (0%1 instead of 0%2)")
                    .arg(kept.c_cflag & lineMask, 0, 8)
                    .arg(asked.c_cflag & lineMask, 0, 8);
    if (kept.c_iflag != asked.c_iflag || kept.c_oflag != asked.c_oflag || kept.c_lflag != asked.c_lflag
        || kept.c_cc[VMIN] != asked.c_cc[VMIN] || kept.c_cc[VTIME] != asked.c_cc[VTIME])
        what << QStringLiteral("it keeps processing of the data that this port turns off");
    return what.join(QStringLiteral("; "));
}

bool PosixSerialPort::applySettings()
{
    LineSettings ls;
    LineSettings::parse(m_settings, ls);
    bool ok = false;
    const speed_t speed = speedOf(ls.baud, &ok);
    termios now {};
    if (::tcgetattr(m_fd, &now) != 0)
        return fail(fault::PortOpenFailed, errnoText(errno), errno);
    // Built from nothing, so that no flag another program left on the line
    // (mark/space parity, flow control, echo, CR/LF mapping) survives: raw bytes,
    // the receiver on, the modem status lines ignored, DTR dropped at the last
    // close. A read with nothing waiting ends at once (the descriptor does not
    // block); one that returns nothing means the line hung up.
    termios tio {};
    tio.c_line = now.c_line;
    tio.c_cflag = CREAD | CLOCAL | HUPCL;
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
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) {
        // A pseudo-terminal keeps no parity bit and always 8 data bits. When
        // those are all a request would change, the C library reports EINVAL
        // although the line took the request; the read-back below judges it.
        const int error = errno;
        if (!(m_pseudoTerminal && error == EINVAL)) {
            m_failure.detail = errnoText(error);
            return failOpen(OpenFailure::Cause::SettingsRefused, error);
        }
    }
    // tcsetattr succeeds when the driver takes any part of the request; what it
    // kept shows only on reading the settings back. Many USB adapters do not
    // take every rate or 5 and 6 data bits.
    termios kept {};
    if (::tcgetattr(m_fd, &kept) != 0)
        return fail(fault::PortOpenFailed, errnoText(errno), errno);
    const QString refused = settingsRefusal(tio, kept, m_pseudoTerminal);
    if (!refused.isEmpty()) {
        m_failure.detail = refused;
        return failOpen(OpenFailure::Cause::SettingsRefused);
    }
    return true;
}

qint64 PosixSerialPort::drainAllowanceMs(qint64 bytes, const QString &settings)
{
    LineSettings ls;
    if (!LineSettings::parse(settings, ls))
        return kDrainMarginMs;
    const qint64 bitsPerByte = 1 + ls.dataBits + (ls.parity == 'N' ? 0 : 1) + (ls.stopBits == QLatin1String("1") ? 1 : 2);
    return kDrainMarginMs + 2 * 1000 * qMax<qint64>(0, bytes) * bitsPerByte / qMax(1, ls.baud);
}

void PosixSerialPort::waitForOutputSent()
{
    // At a slow rate a full lamp test takes seconds to leave; wait for it with
    // the window alive rather than in close(), which would block.
    int pending = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &pending) != 0 || pending <= 0)
        return;
    const qint64 allowMs = drainAllowanceMs(pending, m_settings);
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

bool PosixSerialPort::notifyWhenReadable(std::function<void()> ready)
{
    if (m_fd < 0 || !QCoreApplication::instance())
        return false;
    m_ready = std::move(ready);
    if (!m_readNotifier) {
        m_readNotifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_readNotifier.get(), &QSocketNotifier::activated, [this] {
            // Level-triggered: off until asked again, so that bytes left
            // waiting do not wake the loop over and over.
            m_readNotifier->setEnabled(false);
            if (auto ready = std::exchange(m_ready, nullptr))
                ready();
        });
    }
    m_readNotifier->setEnabled(true);
    return true;
}

void PosixSerialPort::closeDevice()
{
    if (m_readNotifier) {
        // Never deleted from inside its own signal: the caller may be there.
        m_readNotifier->setEnabled(false);
        m_readNotifier.release()->deleteLater();
    }
    m_ready = nullptr;
    if (m_fd >= 0) {
        // The exclusive mode belongs to the tty, not to our descriptor: left
        // set, it would outlive us wherever another descriptor keeps the tty
        // (the far end's copy of a pseudo-terminal).
        m_lock.setTty(-1);
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
    }
    m_lock.release();
    m_hungUp = false;
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
        closeDevice();
        return true;
    }
    if (m_fd >= 0)
        return fail(fault::PortAlreadyOpen, QStringLiteral("Port already open"));
    return openDevice();
}

void PosixSerialPort::notePermissions()
{
    struct stat st {};
    if (::stat(QFile::encodeName(m_device).constData(), &st) != 0)
        return;
    m_failure.mode = st.st_mode;
    m_failure.groupId = st.st_gid;
    if (const passwd *pw = ::getpwuid(st.st_uid))
        m_failure.ownerName = QString::fromLocal8Bit(pw->pw_name);
    const passwd *me = ::getpwuid(::getuid());
    if (const group *g = ::getgrgid(st.st_gid)) {
        m_failure.groupName = QString::fromLocal8Bit(g->gr_name);
        for (char **member = g->gr_mem; me && member && *member; ++member) {
            if (std::strcmp(*member, me->pw_name) == 0)
                m_failure.listedInGroup = true;
        }
    }
}

bool PosixSerialPort::noteHolders(dev_t fileSystem, ino_t inode, dev_t device)
{
    // Most precise first: the flock on this very device, then the lock file,
    // then anyone who has it open. This process is never among them: the
    // flock and the lock file it may already hold are its own.
    const qint64 self = ::getpid();
    auto others = [self](QList<PortHolder> holders) {
        holders.removeIf([self](const PortHolder &h) { return h.pid == self && h.host.isEmpty(); });
        return holders;
    };
    m_failure.holders = others(flockHolders(fileSystem, inode));
    if (m_failure.holders.isEmpty())
        m_failure.holders = others({PortLock::lockOwner(QFileInfo(m_device).canonicalFilePath())});
    m_failure.holders.removeIf([](const PortHolder &h) { return h.pid <= 0; });
    if (m_failure.holders.isEmpty())
        m_failure.holders = openersOf(device);
    return !m_failure.holders.isEmpty();
}

bool PosixSerialPort::openDevice()
{
    m_failure = {};
    m_hungUp = false;
    m_device = m_resolver(m_port);
    if (m_device.isEmpty()) {
        m_failure.detail = PortMap::defaultDir();
        return failOpen(OpenFailure::Cause::NotInPortMap);
    }
    const QByteArray path = QFile::encodeName(m_device);
    // Looked at before it is opened: opening a FIFO or a device that acts on
    // open could block or do harm, and only a character device can be a port.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        const int err = errno;
        if (err == EACCES)
            notePermissions();
        return failOpen(OpenFailure::Cause::System, err);
    }
    if (!S_ISCHR(st.st_mode))
        return failOpen(OpenFailure::Cause::System, ENOTTY);
    m_pseudoTerminal = major(st.st_rdev) >= kPtySlaveMajorFirst && major(st.st_rdev) <= kPtySlaveMajorLast;

    // The lock file names the device itself, whichever link led to it.
    QString real = QFileInfo(m_device).canonicalFilePath();
    if (real.isEmpty())
        real = m_device;
    switch (m_lock.acquire(real)) {
    case PortLock::Outcome::Busy:
        if (m_lock.owner().pid > 0)
            m_failure.holders.append(m_lock.owner());
        m_failure.detail = m_lock.path();
        return failOpen(OpenFailure::Cause::Locked, EBUSY);
    case PortLock::Outcome::Invalid:
        m_failure.detail = m_lock.path();
        return failOpen(OpenFailure::Cause::LockFileInvalid);
    case PortLock::Outcome::Taken:
    case PortLock::Outcome::Skipped:
        break;
    }

    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        m_lock.release();
        if (err == EACCES || err == EPERM)
            notePermissions();
        // A tty refuses a second open while it is in exclusive mode; with no
        // live holder that mode is a leftover, which only root may open past.
        if (err == EBUSY && !noteHolders(st.st_dev, st.st_ino, st.st_rdev))
            return failOpen(OpenFailure::Cause::StaleExclusive, err);
        return failOpen(OpenFailure::Cause::System, err);
    }
    auto refuse = [&](OpenFailure::Cause cause, int err) {
        ::close(fd);
        m_lock.release();
        return failOpen(cause, err);
    };
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode) || opened.st_rdev != st.st_rdev || !::isatty(fd))
        return refuse(OpenFailure::Cause::System, ENOTTY);
    // Programs that do not use lock files may still use flock or the tty's
    // exclusive mode; either held by someone else makes the port busy. (The
    // kernel lets root open an exclusive tty, hence the explicit look.) An
    // exclusive mode that nobody alive holds was left by a program that ended
    // without clearing it (killed, or crashed): root takes the port anyway.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        if (err == EBUSY)
            noteHolders(st.st_dev, st.st_ino, st.st_rdev);
        return refuse(err == EBUSY ? OpenFailure::Cause::Held : OpenFailure::Cause::System, err);
    }
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive && noteHolders(st.st_dev, st.st_ino, st.st_rdev))
        return refuse(OpenFailure::Cause::Held, EBUSY);
    m_failure = {};
    ::ioctl(fd, TIOCEXCL);
    m_fd = fd;
    m_lock.setTty(fd);
    if (!applySettings()) {
        closeDevice();
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
    if (m_failure.cause == OpenFailure::Cause::None)
        return SerialPort::openFailureReason(portName);
    return m_failure.hint(portName);
}

bool PosixSerialPort::checkHangup()
{
    pollfd p {m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return fail(fault::ReadFailed, errnoText(errno), errno);
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        m_hungUp = true;
        return fail(fault::ReadFailed, QStringLiteral("The device has been disconnected"), EIO);
    }
    return true;
}

int PosixSerialPort::inBufferCount()
{
    if (m_fd < 0) {
        failNotOpen();
        return -1;
    }
    if (m_hungUp) {
        fail(fault::ReadFailed, QStringLiteral("The device has been disconnected"), EIO);
        return -1;
    }
    int n = 0;
    if (::ioctl(m_fd, FIONREAD, &n) != 0) {
        fail(fault::ReadFailed, errnoText(errno), errno);
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
    if (m_hungUp)
        return fail(fault::ReadFailed, QStringLiteral("The device has been disconnected"), EIO);
    char buf[4096];
    // One read takes what has arrived, up to a bound, so a peer that floods the
    // line cannot keep it reading forever.
    while (data.size() < kMaxInput) {
        const ssize_t r = ::read(m_fd, buf, sizeof buf);
        if (r > 0) {
            data.append(buf, int(r));
            continue;
        }
        if (r == 0) {
            // With nothing waiting the read fails with EAGAIN; nothing at all
            // is the hang-up of the line (an adapter unplugged, the far end of
            // a pseudo-terminal closed). What arrived before it is kept; the
            // next call reports the fault.
            m_hungUp = true;
            if (!data.isEmpty())
                return true;
            return fail(fault::ReadFailed, QStringLiteral("The device has been disconnected"), EIO);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        if (errno == EINTR)
            continue;
        if (!data.isEmpty())
            return true; // report the fault on the next call, keep what arrived
        return fail(fault::ReadFailed, errnoText(errno), errno);
    }
    return true;
}

bool PosixSerialPort::output(const QByteArray &data)
{
    if (m_fd < 0)
        return failNotOpen();
    if (m_hungUp)
        return fail(fault::WriteFailed, QStringLiteral("The device has been disconnected"), EIO);
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
            // The transmit queue is full: wait, with the window alive, as long
            // as the queued bytes take to leave at this rate (the system makes
            // room only once the queue is nearly empty).
            int queued = 0;
            if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
                queued = 0;
            const qint64 allowMs = qMax(kWriteStallMinMs, drainAllowanceMs(queued, m_settings));
            Clock &clk = clock();
            const qint64 start = clk.nowMs();
            for (;;) {
                if (m_fd < 0)
                    return failNotOpen();
                pollfd p {m_fd, POLLOUT, 0};
                const int r = ::poll(&p, 1, 0);
                if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    m_hungUp = true;
                    return fail(fault::WriteFailed, QStringLiteral("The device has been disconnected"), EIO);
                }
                if (r > 0)
                    break;
                if (clk.nowMs() - start > allowMs)
                    return fail(fault::WriteFailed, QStringLiteral("Transmit timeout"), ETIMEDOUT);
                clk.processEvents(5);
            }
            continue;
        }
        return fail(fault::WriteFailed, errnoText(errno), errno);
    }
    return true;
}

} // namespace platform
