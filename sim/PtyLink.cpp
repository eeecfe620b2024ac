#include "PtyLink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kdxsim {

namespace {

struct RateEntry
{
    speed_t speed;
    int rate;
};

constexpr RateEntry kRates[] = {
    {B50, 50},       {B75, 75},       {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},     {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

speed_t speedOf(int rate)
{
    for (const RateEntry &e : kRates) {
        if (e.rate == rate)
            return e.speed;
    }
    return B19200;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

int PtyLink::rateOf(unsigned speed)
{
    for (const RateEntry &e : kRates) {
        if (e.speed == speed)
            return e.rate;
    }
    return 0;
}

PtyLink::~PtyLink()
{
    close();
}

bool PtyLink::open(int initialBaud, QString *error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(errnoText());
        close();
        return false;
    }
    const char *name = ::ptsname(m_master);
    if (!name) {
        *error = QStringLiteral("cannot name the pseudo-terminal: %1").arg(errnoText());
        close();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(m_slavePath, errnoText());
        close();
        return false;
    }
    // Raw from the start, at the display's rate, so that a host which sets
    // nothing (a terminal program, sx) talks to a matching line without echo.
    termios tio {};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, speedOf(initialBaud));
        ::cfsetospeed(&tio, speedOf(initialBaud));
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    return true;
}

void PtyLink::close()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
}

int PtyLink::hostBaud() const
{
    termios tio {};
    if (m_master < 0 || ::tcgetattr(m_master, &tio) != 0)
        return 0;
    return rateOf(::cfgetospeed(&tio));
}

bool PtyLink::read(QByteArray *data)
{
    data->clear();
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            data->append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return !data->isEmpty();
    }
}

int PtyLink::write(const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return int(data.size() - done);
}

} // namespace kdxsim
