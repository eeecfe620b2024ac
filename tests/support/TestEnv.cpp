#include "TestEnv.h"

#include "frmCKDX.h"
#include "KDXType.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>

#include <cerrno>
#include <sys/ioctl.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kdxtest {

QStringList untimedTrace(const QString &text)
{
    static const QRegularExpression line(QStringLiteral("^ *\\d+\\.\\d{6} ([<>-]) (.*)$"));
    QStringList out;
    for (const QString &l : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(l);
        if (m.hasMatch())
            out << m.captured(1) + QLatin1Char(' ') + m.captured(2).simplified();
    }
    return out;
}

bool ttyExclusive(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    int on = 0;
    ::ioctl(fd, TIOCGEXCL, &on);
    ::close(fd);
    return on != 0;
}

void isolateUserFolders()
{
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));
    qputenv("KDX_PORTS_DIR", QFile::encodeName(dir.path() + QStringLiteral("/ports")));
    QDir().mkpath(dir.path() + QStringLiteral("/config"));
}

void firstStartOn(int comNumber)
{
    QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"),
                QStringLiteral("KDXB Utility"));
    s.clear();
    s.setValue(QStringLiteral("Settings/Comport"), QString::number(comNumber - 1));
    s.sync();
    g_KDXType = 11;
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
}

QByteArray runOnTerminal(QProcess &process, int fd, int timeoutMs)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0)
            ::close(master);
        return QByteArray();
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    process.setChildProcessModifier([slave, fd] { ::dup2(slave, fd); });
    process.start();
    ::close(slave);
    // Read as the program writes, so a long output never fills the terminal.
    QByteArray out;
    char buf[4096];
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd pfd {master, POLLIN, 0};
        if (::poll(&pfd, 1, 20) > 0 && (pfd.revents & POLLIN)) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                out.append(buf, int(n));
                continue;
            }
        }
        if (process.waitForFinished(0) || process.state() == QProcess::NotRunning || deadline.hasExpired())
            break;
    }
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
        out.append(buf, int(n));
    ::close(master);
    return out;
}

DriverEnv::DriverEnv()
{
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory([this] {
        auto p = std::make_unique<FakeSerialPort>();
        m_port = p.get();
        return p;
    });
    frmCKDX::instance();
}

DriverEnv::~DriverEnv()
{
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
}

} // namespace kdxtest
