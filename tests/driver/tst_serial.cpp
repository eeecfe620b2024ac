// The serial port's pieces that need no line: the open-failure hints, the
// comparison of asked and kept line settings, the write wait, lock files.

#include "OpenFailure.h"
#include "PortLock.h"
#include "PosixSerialPort.h"

#include <QSysInfo>
#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utime.h>

using platform::OpenFailure;
using platform::PortLock;
using Cause = platform::OpenFailure::Cause;

Q_DECLARE_METATYPE(platform::OpenFailure)

namespace {

OpenFailure systemError(int err, const QString &device = QStringLiteral("/dev/ttyUSB0"))
{
    OpenFailure f;
    f.cause = Cause::System;
    f.error = err;
    f.device = device;
    return f;
}

OpenFailure permission(const QString &group, unsigned gid, unsigned mode, bool listed = false)
{
    OpenFailure f = systemError(EACCES);
    f.ownerName = QStringLiteral("root");
    f.groupName = group;
    f.groupId = gid;
    f.mode = S_IFCHR | mode;
    f.listedInGroup = listed;
    return f;
}

termios line(tcflag_t cflag, speed_t speed)
{
    termios t {};
    t.c_cflag = cflag | CREAD | CLOCAL | HUPCL;
    t.c_cc[VMIN] = 1;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray lockContent(qint64 pid)
{
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

// A PID that no process has: one that has just ended.
qint64 deadPid()
{
    QProcess p;
    p.start(QStringLiteral("true"), {});
    p.waitForFinished();
    return p.processId() > 0 ? p.processId() : 999999;
}

} // namespace

class tst_serial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void openFailureHints_data();
    void openFailureHints();
    void settingsRefusal_data();
    void settingsRefusal();
    void writeWaitScalesWithQueueAndRate_data();
    void writeWaitScalesWithQueueAndRate();
    void lockFileNames_data();
    void lockFileNames();
    void lockTakenAndReleased();
    void existingLocks_data();
    void existingLocks();
    void lockFolderNotUsable();
    void releaseLeavesAReplacedLockAlone();
    void releaseForSignalsRemovesOnlyOurs();

private:
    QTemporaryDir *m_dir = nullptr;
};

void tst_serial::init()
{
    m_dir = new QTemporaryDir;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(m_dir->path()));
}

void tst_serial::cleanup()
{
    qunsetenv("KDX_LOCK_DIR");
    delete m_dir;
    m_dir = nullptr;
}

void tst_serial::openFailureHints_data()
{
    QTest::addColumn<OpenFailure>("failure");
    QTest::addColumn<QString>("hint");

    QTest::newRow("EACCES, group dialout may read and write")
        << permission("dialout", 20, 0660)
        << "permission denied on /dev/ttyUSB0: the user is not in the group \"dialout\" that owns the device; "
           "add it (usermod -aG dialout USER) and log in again";
    QTest::newRow("EACCES, in the group since after logging in")
        << permission("dialout", 20, 0660, true)
        << "permission denied on /dev/ttyUSB0: the user was added to the group \"dialout\" after logging in; "
           "log out and in again";
    QTest::newRow("EACCES, root:root 0600")
        << permission("root", 0, 0600)
        << "permission denied on /dev/ttyUSB0 (root:root, mode 0600): a udev rule or the administrator must "
           "grant this user access";
    QTest::newRow("EACCES, group root may read and write")
        << permission("root", 0, 0660)
        << "permission denied on /dev/ttyUSB0 (root:root, mode 0660): a udev rule or the administrator must "
           "grant this user access";
    QTest::newRow("EACCES, group may only read")
        << permission("uucp", 10, 0640)
        << "permission denied on /dev/ttyUSB0 (root:uucp, mode 0640): a udev rule or the administrator must "
           "grant this user access";
    QTest::newRow("EACCES, nothing known about the device")
        << systemError(EACCES)
        << "permission denied on /dev/ttyUSB0: a udev rule or the administrator must grant this user access";

    OpenFailure busy = systemError(EBUSY);
    QTest::newRow("EBUSY, nobody found") << busy
                                         << "/dev/ttyUSB0 is busy: another program has it open; close that program first";
    busy.holders = {{4242, QStringLiteral("minicom")}};
    QTest::newRow("EBUSY, holder found") << busy << "/dev/ttyUSB0 is in use by PID 4242 (minicom); close that program first";

    OpenFailure held;
    held.cause = Cause::Held;
    held.device = QStringLiteral("/dev/pts/3");
    held.holders = {{100, QStringLiteral("kdx-sim")}, {4242, QString()}};
    QTest::newRow("held exclusively, two openers")
        << held << "/dev/pts/3 is in use by PID 100 (kdx-sim), PID 4242; close that program first";

    OpenFailure locked;
    locked.cause = Cause::Locked;
    locked.device = QStringLiteral("/dev/ttyUSB0");
    locked.detail = QStringLiteral("/var/lock/LCK..ttyUSB0");
    locked.holders = {{4242, QStringLiteral("minicom")}};
    QTest::newRow("lock file of a live process")
        << locked << "/dev/ttyUSB0 is in use by PID 4242 (minicom) (lock file /var/lock/LCK..ttyUSB0); close that program first";
    locked.holders = {{4242, QStringLiteral("kdx-utility"), QStringLiteral("pos-12")}};
    QTest::newRow("lock file naming another host")
        << locked << "/dev/ttyUSB0 is in use by PID 4242 (kdx-utility) on host pos-12 (lock file /var/lock/LCK..ttyUSB0); "
                     "close that program first";
    locked.holders.clear();
    QTest::newRow("lock file being written")
        << locked << "/dev/ttyUSB0 is busy: another program has it open; close that program first";

    OpenFailure stale;
    stale.cause = Cause::StaleExclusive;
    stale.device = QStringLiteral("/dev/pts/4");
    QTest::newRow("exclusive mode left on a pseudo-terminal")
        << stale << "/dev/pts/4 was left in exclusive mode by a program that has ended; only root can open it past "
                    "that: run the command once as root (sudo), which clears it, or restart the program at the far "
                    "end of the pseudo-terminal";

    OpenFailure invalid;
    invalid.cause = Cause::LockFileInvalid;
    invalid.device = QStringLiteral("/dev/ttyUSB0");
    invalid.detail = QStringLiteral("/var/lock/LCK..ttyUSB0");
    QTest::newRow("something else at the lock path")
        << invalid << "/dev/ttyUSB0: /var/lock/LCK..ttyUSB0 is not a lock file; the administrator must remove it";

    QTest::newRow("ENOENT") << systemError(ENOENT) << "/dev/ttyUSB0 does not exist: is the adapter plugged in?";
    QTest::newRow("ENXIO") << systemError(ENXIO, "/dev/ttyS4") << "/dev/ttyS4 has no device behind it: is the adapter plugged in?";
    QTest::newRow("ENOTTY") << systemError(ENOTTY, "/tmp/x") << "/tmp/x is not a serial device";
    QTest::newRow("EIO") << systemError(EIO)
                         << "/dev/ttyUSB0 does not answer (input/output error): unplug the adapter and plug it in again";
    QTest::newRow("other errors name the system's reason")
        << systemError(ELOOP) << "/dev/ttyUSB0: " + QString::fromLocal8Bit(strerror(ELOOP));

    OpenFailure map;
    map.cause = Cause::NotInPortMap;
    map.detail = QStringLiteral("/home/u/.config/kdx-utility/ports");
    QTest::newRow("not in the port map") << map << "COM3 is not in the port map (/home/u/.config/kdx-utility/ports)";

    OpenFailure rejected;
    rejected.cause = Cause::SettingsRejected;
    rejected.settings = QStringLiteral("12345,N,8,1");
    QTest::newRow("settings no port takes") << rejected << "the line settings \"12345,N,8,1\" are not ones this port can take";

    OpenFailure refused;
    refused.cause = Cause::SettingsRefused;
    refused.device = QStringLiteral("/dev/ttyUSB0");
    refused.settings = QStringLiteral("9600,N,5,1");
    refused.detail = QStringLiteral("it keeps 8 data bits instead of 5");
    QTest::newRow("settings the driver refused")
        << refused << "/dev/ttyUSB0 does not take the line settings \"9600,N,5,1\": it keeps 8 data bits instead of 5";
}

void tst_serial::openFailureHints()
{
    QFETCH(OpenFailure, failure);
    QFETCH(QString, hint);
    QCOMPARE(failure.hint(QStringLiteral("COM3")), hint);
}

void tst_serial::settingsRefusal_data()
{
    QTest::addColumn<quint32>("askedFlags");
    QTest::addColumn<quint32>("askedSpeed");
    QTest::addColumn<quint32>("keptFlags");
    QTest::addColumn<quint32>("keptSpeed");
    QTest::addColumn<bool>("pty");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("kept as asked") << quint32(CS7 | PARENB) << quint32(B4800) << quint32(CS7 | PARENB)
                                   << quint32(B4800) << false << QString();
    QTest::newRow("5 data bits not taken") << quint32(CS5) << quint32(B9600) << quint32(CS8) << quint32(B9600) << false
                                           << "it keeps 8 data bits instead of 5";
    QTest::newRow("a pseudo-terminal has no framing")
        << quint32(CS7 | PARENB) << quint32(B9600) << quint32(CS8) << quint32(B9600) << true << QString();
    QTest::newRow("rate not taken") << quint32(CS8) << quint32(B230400) << quint32(CS8) << quint32(B9600) << false
                                    << "it keeps 9600 baud instead of 230400 baud";
    QTest::newRow("mark parity left on") << quint32(CS7 | PARENB | PARODD) << quint32(B9600)
                                         << quint32(CS7 | PARENB | PARODD | CMSPAR) << quint32(B9600) << false
                                         << "it keeps mark parity instead of odd parity";
    QTest::newRow("mark parity left on a pseudo-terminal")
        << quint32(CS8) << quint32(B9600) << quint32(CS8 | PARODD | CMSPAR) << quint32(B9600) << true
        << "it keeps mark parity instead of no parity";
    QTest::newRow("stop bits and flow control")
        << quint32(CS8 | CSTOPB) << quint32(B9600) << quint32(CS8 | CRTSCTS) << quint32(B9600) << false
        << "it keeps 1 stop bit instead of 2; it keeps hardware flow control on";
}

void tst_serial::settingsRefusal()
{
    QFETCH(quint32, askedFlags);
    QFETCH(quint32, askedSpeed);
    QFETCH(quint32, keptFlags);
    QFETCH(quint32, keptSpeed);
    QFETCH(bool, pty);
    QFETCH(QString, refusal);
    const termios asked = line(askedFlags, askedSpeed);
    const termios kept = line(keptFlags, keptSpeed);
    QCOMPARE(platform::PosixSerialPort::settingsRefusal(asked, kept, pty), refusal);

    // Input processing the port turned off and the driver kept on is a refusal too.
    termios echoing = kept;
    echoing.c_lflag |= ECHO;
    QVERIFY(platform::PosixSerialPort::settingsRefusal(asked, echoing, pty).contains("processing"));
}

void tst_serial::writeWaitScalesWithQueueAndRate_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<qint64>("ms");
    // Twice the time on the wire plus half a second: 10 bits a byte at N,8,1.
    QTest::newRow("nothing queued") << qint64(0) << "9600,N,8,1" << qint64(500);
    QTest::newRow("4 KiB at 4800") << qint64(4096) << "4800,N,8,1" << qint64(500 + 17066);
    QTest::newRow("4 KiB at 115200") << qint64(4096) << "115200,N,8,1" << qint64(500 + 711);
    // 1 start, 7 data, parity, 2 stop: 11 bits.
    QTest::newRow("100 bytes at 300, E,7,2") << qint64(100) << "300,E,7,2" << qint64(500 + 7333);
}

void tst_serial::writeWaitScalesWithQueueAndRate()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, settings);
    QFETCH(qint64, ms);
    QCOMPARE(platform::PosixSerialPort::drainAllowanceMs(bytes, settings), ms);
}

void tst_serial::lockFileNames_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("name");
    QTest::newRow("ttyUSB0") << "/dev/ttyUSB0" << "LCK..ttyUSB0";
    QTest::newRow("pseudo-terminal") << "/dev/pts/3" << "LCK..pts_3";
    QTest::newRow("outside /dev") << "/tmp/x/tty" << "LCK..tmp_x_tty";
}

void tst_serial::lockFileNames()
{
    QFETCH(QString, device);
    QFETCH(QString, name);
    QCOMPARE(PortLock::fileName(device), name);
}

void tst_serial::lockTakenAndReleased()
{
    QCOMPARE(PortLock::directory(), m_dir->path());
    const QString path = m_dir->path() + "/LCK..ttyS9";
    {
        PortLock lock;
        QCOMPARE(lock.acquire("/dev/ttyS9"), PortLock::Outcome::Taken);
        QCOMPARE(lock.path(), path);
        QCOMPARE(readFile(path), lockContent(QCoreApplication::applicationPid()));
        QCOMPARE(QFileInfo(path).permissions() & QFile::ReadOther, QFile::ReadOther);

        // A second lock of this process is refused like anyone else's.
        PortLock second;
        QCOMPARE(second.acquire("/dev/ttyS9"), PortLock::Outcome::Busy);
        QCOMPARE(second.owner().pid, QCoreApplication::applicationPid());
        QCOMPARE(PortLock::lockOwner("/dev/ttyS9").pid, QCoreApplication::applicationPid());
    }
    QVERIFY2(!QFileInfo::exists(path), "released when the lock goes");
    QCOMPARE(PortLock::lockOwner("/dev/ttyS9").pid, qint64(0));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void tst_serial::existingLocks_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("keptOld");
    QTest::addColumn<QString>("owner"); // PortHolder::text() of a lock that counts

    const qint64 dead = deadPid();
    const qint64 self = QCoreApplication::applicationPid();
    const qint64 parent = getppid();
    int binarySelfPid = int(parent);
    const QString parentText = QStringLiteral("PID %1 (%2)").arg(parent).arg(platform::programOf(parent));
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const auto qtLock = [](qint64 pid, const QByteArray &host) {
        return QByteArray::number(pid) + "\nkdx-test\n" + host + "\n";
    };
    const auto busy = int(PortLock::Outcome::Busy);
    const auto taken = int(PortLock::Outcome::Taken);
    QTest::newRow("dead owner: stale, taken over") << lockContent(dead) << 0 << taken << false << QString();
    QTest::newRow("live owner") << lockContent(parent) << 0 << busy << true << parentText;
    QTest::newRow("live owner, binary PID of old programs")
        << QByteArray(reinterpret_cast<const char *>(&binarySelfPid), 4) << 0 << busy << true << parentText;
    QTest::newRow("live owner, its name after the PID")
        << QByteArray::number(parent) + " minicom root\n" << 60 << busy << true << parentText;
    QTest::newRow("Qt lock file of a live process, old")
        << qtLock(parent, host) << 60 << busy << true << parentText;
    QTest::newRow("Qt lock file of an ended process") << qtLock(dead, host) << 60 << taken << false << QString();
    QTest::newRow("Qt lock file of another host, its PID free here")
        << qtLock(dead, "pos-12") << 60 << busy << true << QStringLiteral("PID %1 (kdx-test) on host pos-12").arg(dead);
    QTest::newRow("our own PID but not our lock: left by an earlier process")
        << lockContent(self) << 0 << taken << false << QString();
    QTest::newRow("unreadable and new: still being written") << QByteArray() << 0 << busy << true << QString();
    QTest::newRow("unreadable and old: stale") << QByteArray("garbage") << 60 << taken << false << QString();
}

void tst_serial::existingLocks()
{
    QFETCH(QByteArray, content);
    QFETCH(int, ageSeconds);
    QFETCH(int, outcome);
    QFETCH(bool, keptOld);
    QFETCH(QString, owner);
    const QString path = m_dir->path() + "/LCK..ttyS9";
    QVERIFY(writeFile(path, content));
    if (ageSeconds) {
        const utimbuf old {time(nullptr) - ageSeconds, time(nullptr) - ageSeconds};
        QCOMPARE(utime(QFile::encodeName(path).constData(), &old), 0);
    }
    {
        PortLock lock;
        QCOMPARE(int(lock.acquire("/dev/ttyS9")), outcome);
        if (!owner.isEmpty()) {
            QCOMPARE(lock.owner().text(), owner);
            QCOMPARE(PortLock::lockOwner("/dev/ttyS9").text(), owner);
        }
        // Another program's lock is never touched: kept byte for byte.
        QCOMPARE(readFile(path), keptOld ? content : lockContent(QCoreApplication::applicationPid()));
    }
    QCOMPARE(QFileInfo::exists(path), keptOld);
}

void tst_serial::lockFolderNotUsable()
{
    // A folder that does not exist (or cannot be written): no lock, no error.
    qputenv("KDX_LOCK_DIR", QFile::encodeName(m_dir->path() + "/missing"));
    {
        PortLock lock;
        QCOMPARE(lock.acquire("/dev/ttyS9"), PortLock::Outcome::Skipped);
    }
    QVERIFY(!QFileInfo::exists(m_dir->path() + "/missing"));

    // A link at the lock path is neither followed nor removed.
    qputenv("KDX_LOCK_DIR", QFile::encodeName(m_dir->path()));
    const QString target = m_dir->path() + "/target";
    QVERIFY(writeFile(target, "precious"));
    QVERIFY(QFile::link(target, m_dir->path() + "/LCK..ttyS9"));
    {
        PortLock lock;
        QCOMPARE(lock.acquire("/dev/ttyS9"), PortLock::Outcome::Invalid);
    }
    QVERIFY(QFileInfo(m_dir->path() + "/LCK..ttyS9").isSymLink());
    QCOMPARE(readFile(target), QByteArray("precious"));
}

void tst_serial::releaseLeavesAReplacedLockAlone()
{
    const QString path = m_dir->path() + "/LCK..ttyS9";
    PortLock lock;
    QCOMPARE(lock.acquire("/dev/ttyS9"), PortLock::Outcome::Taken);
    // Someone removed ours (taking it for stale) and put theirs in its place.
    QVERIFY(QFile::remove(path));
    QVERIFY(writeFile(path, lockContent(getppid())));
    lock.release();
    QCOMPARE(readFile(path), lockContent(getppid()));
}

void tst_serial::releaseForSignalsRemovesOnlyOurs()
{
    const QString ours = m_dir->path() + "/LCK..ttyS8";
    const QString theirs = m_dir->path() + "/LCK..ttyS9";
    QVERIFY(writeFile(theirs, lockContent(getppid())));
    // The port itself: a pseudo-terminal in exclusive mode, as an open port is.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const int tty = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(tty >= 0);
    termios raw {};
    ::tcgetattr(tty, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(tty, TCSANOW, &raw);
    QCOMPARE(::ioctl(tty, TIOCEXCL), 0);
    PortLock lock;
    QCOMPARE(lock.acquire("/dev/ttyS8"), PortLock::Outcome::Taken);
    lock.setTty(tty);
    const QByteArray farewell("\x18\x18\x1bR\r");
    platform::setPortFarewell(farewell);
    platform::releasePortLocks();
    platform::setPortFarewell(QByteArray());
    QVERIFY(!QFileInfo::exists(ours));
    QVERIFY(QFileInfo::exists(theirs));
    // The port got its farewell and is out of exclusive mode.
    QByteArray got;
    for (int i = 0; i < 100 && got.size() < farewell.size(); ++i) {
        pollfd p {master, POLLIN, 0};
        char buf[16];
        if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN))
            got.append(buf, int(qMax<ssize_t>(0, ::read(master, buf, sizeof buf))));
    }
    QCOMPARE(got, farewell);
    int exclusive = 1;
    QCOMPARE(::ioctl(tty, TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 0);
    ::close(tty);
    ::close(master);

    // The lock object still ends cleanly, and does not remove a newer lock.
    QVERIFY(writeFile(ours, lockContent(getppid())));
    lock.release();
    QVERIFY(QFileInfo::exists(ours));
    PortLock again;
    QCOMPARE(again.acquire("/dev/ttyS7"), PortLock::Outcome::Taken);
}

QTEST_GUILESS_MAIN(tst_serial)
#include "tst_serial.moc"
