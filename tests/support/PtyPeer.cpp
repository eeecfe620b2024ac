#include "PtyPeer.h"

#include <QElapsedTimer>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(m_master);
    ::unlockpt(m_master);
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    m_slaveKeep = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    ::tcgetattr(m_slaveKeep, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slaveKeep, TCSANOW, &tio);
    m_thread = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer()
{
    m_stop = true;
    m_thread.join();
    if (m_master >= 0)
        ::close(m_master);
    ::close(m_slaveKeep);
}

void PtyPeer::setScript(Script script)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_script = std::move(script);
}

QByteArray PtyPeer::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void PtyPeer::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.clear();
}

bool PtyPeer::waitForBytes(int n, int ms) const
{
    QElapsedTimer t;
    t.start();
    while (received().size() < n) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void PtyPeer::hangUp()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

int PtyPeer::hostBaud() const
{
    termios tio {};
    ::tcgetattr(m_slaveKeep, &tio);
    switch (::cfgetospeed(&tio)) {
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B115200: return 115200;
    default: return 0;
    }
}

void PtyPeer::run()
{
    while (!m_stop) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            fd = m_master;
        }
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
            continue;
        char buf[512];
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r <= 0)
            continue;
        QByteArray answer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const QByteArray chunk(buf, int(r));
            m_received += chunk;
            if (m_script)
                answer = m_script(chunk, m_received);
            if (!answer.isEmpty() && m_master >= 0) {
                // A scripted answer is a few bytes: the pseudo-terminal takes
                // them whole, or the test finds them missing.
                [[maybe_unused]] const ssize_t written = ::write(m_master, answer.constData(), size_t(answer.size()));
            }
            if (m_hangUpRequested && m_master >= 0) {
                ::close(m_master);
                m_master = -1;
            }
        }
    }
}
