// The real serial port and kdxctl over pseudo-terminals, against a scripted peer.

#include "CKDX.h"
#include "PortLock.h"
#include "PosixSerialPort.h"
#include "PtyPeer.h"
#include "TestEnv.h"
#include "frmCKDX.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A display that acknowledges native frames and answers the two read requests.
QByteArray display(const QByteArray &chunk, const QByteArray &)
{
    if (chunk == hex("04 01 56 17"))
        return QByteArray("?KDX-B 1.05");
    if (chunk == hex("04 01 54 17"))
        return hex("01") + QByteArray("Hello") + hex("17");
    if (chunk.startsWith(hex("04 01")) && chunk.endsWith(hex("17")))
        return hex("06");
    return {};
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

Run kdxctl(const QStringList &args)
{
    QProcess p;
    p.setProgram(QString::fromLocal8Bit(qgetenv("KDX_BIN_DIR")) + "/kdxctl");
    p.setArguments(args);
    QElapsedTimer t;
    t.start();
    p.start();
    p.waitForFinished(20000);
    Run r;
    r.ms = t.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    r.err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return r;
}

} // namespace

class tst_pty : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void kdxctlPutsTheBytesOnTheWire_data();
    void kdxctlPutsTheBytesOnTheWire();
    void kdxctlSilentDisplay();
    void kdxctlUsageErrorsOpenNothing_data();
    void kdxctlUsageErrorsOpenNothing();
    void kdxctlComNameThroughPortMap();
    void peerHangsUpMidCommand();
    void realPortSettingsAndDiscipline();
    void lockedOnlyWhileACommandRuns();
    void lockReleasedWhenEndedBySignalOrHangUp();
    void lockFileOfAnotherProgram_data();
    void lockFileOfAnotherProgram();
    void holderOfTheDeviceNamed();
    void lockFolderNotUsable();
    void hangUpWhileTheAnswerSettles_data();
    void hangUpWhileTheAnswerSettles();
    void lineSettingsClearedAndReadBack_data();
    void lineSettingsClearedAndReadBack();
    void onlyCharacterDevicesOpened_data();
    void onlyCharacterDevicesOpened();
    void kdxctlShowsTextsWhole_data();
    void kdxctlShowsTextsWhole();
    void kdxctlRefusesArgumentsThatAreNotUtf8();
    void kdxctlPortsSaysWhoUsesThem();
};

void tst_pty::kdxctlPutsTheBytesOnTheWire_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("exitCode");
    auto row = [](const char *name, QStringList args, const char *wire, QString out = "OK", int code = 0) {
        QTest::newRow(name) << args << hex(wire) << out << code;
    };
    // Acknowledged at once: done, named with the settings to use from now on.
    row("set-baud 38400", {"set-baud", "38400", "N,8,1"}, "04 01 42 36 4E 17",
        "The display now uses 38400 N,8,1; reach it with --baud 38400 --parity N,8,1.");
    row("set-baud 115200 e,8,1", {"set-baud", "115200", "e,8,1"}, "04 01 42 37 65 17",
        "The display now uses 115200 e,8,1; reach it with --baud 115200 --parity e,8,1.");
    row("set-baud unknown rate", {"set-baud", "57600", "N,8,1"}, "", "", 5);
    row("set-baud n,8,1", {"set-baud", "9600", "n,8,1"}, "", "", 5);
    row("intl 3A", {"intl", "3A"}, "04 01 49 3A 17");
    row("intl 0", {"intl", "0"}, "04 01 49 00 17");
    row("save 1", {"save", "1"}, "04 01 53 31 17");
    row("position 20", {"position", "20"}, "04 01 50 44 17");
    row("position too large", {"position", "300"}, "", "", 8);
    row("clear 1 20", {"clear", "1", "20"}, "04 01 43 31 44 17");
    row("reboot-mode 1", {"reboot-mode", "1"}, "04 01 4F 31 17");
    row("demo 0 2", {"demo", "0", "2"}, "04 01 44 31 33 17");
    row("switch epson", {"switch", "epson"}, "1B 5A 31 00");
    row("switch native", {"switch", "native"}, "1B 5A 30 00");
    row("printer on", {"printer", "on"}, "1B 47");
    row("printer off", {"printer", "off"}, "1B 53");
    row("light 40", {"light", "40"}, QByteArray(40, char(0xB2)).toHex().constData());
    row("send umlauts", {"send", QString::fromUtf8("Grüße")}, "47 72 81 E1 65");
    row("send-byte 200", {"send-byte", "200"}, "C8");
    row("send-bytes", {"send-bytes", "/72/105"}, "48 69", "Get Nack", 6); // this peer never ACKs text
    row("version", {"version"}, "04 01 56 17", "?KDX-B 1.05");
    row("get-message", {"get-message"}, "04 01 54 17", "Hello");
}

void tst_pty::kdxctlPutsTheBytesOnTheWire()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, wire);
    QFETCH(QString, out);
    QFETCH(int, exitCode);
    PtyPeer peer;
    peer.setScript([](const QByteArray &chunk, const QByteArray &all) {
        if (chunk == hex("48 69"))
            return hex("15");
        return display(chunk, all);
    });
    const Run r = kdxctl(QStringList {"--port", peer.slavePath()} + args);
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode == 0)
        QCOMPARE(r.out, out);
    else if (!out.isEmpty())
        QCOMPARE(r.err, out);
    peer.waitForBytes(int(wire.size()), 1000);
    QCOMPARE(peer.received().toHex(' '), wire.toHex(' '));
}

void tst_pty::kdxctlSilentDisplay()
{
    PtyPeer peer;
    const Run r = kdxctl({"--port", peer.slavePath(), "--baud", "9600", "save", "2"});
    QCOMPARE(r.exitCode, 4);
    QCOMPARE(r.err, QStringLiteral("Device does not respond."));
    QCOMPARE(peer.received(), hex("04 01 53 32 17"));
    QCOMPARE(peer.hostBaud(), 9600);
}

void tst_pty::kdxctlUsageErrorsOpenNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList {};
    QTest::newRow("unknown command") << QStringList {"reboot"};
    QTest::newRow("missing argument") << QStringList {"clear", "1"};
    QTest::newRow("byte out of range") << QStringList {"send-byte", "256"};
    QTest::newRow("bad notation") << QStringList {"send-bytes", "/72/x"};
    QTest::newRow("bad hex") << QStringList {"intl", "G1"};
    QTest::newRow("bad data bits") << QStringList {"--databits", "9", "version"};
    QTest::newRow("unknown option") << QStringList {"--speed", "1", "version"};
    QTest::newRow("baud the line cannot take") << QStringList {"--baud", "12345", "version"};
    QTest::newRow("parity the line cannot take") << QStringList {"--parity", "X,8,1", "version"};
    QTest::newRow("COM0") << QStringList {"--port", "COM0", "version"};
    QTest::newRow("COM99999") << QStringList {"--port", "COM99999", "version"};
    QTest::newRow("COM65536") << QStringList {"--port", "COM65536", "version"};
    QTest::newRow("relative path") << QStringList {"--port", "../x", "version"};
}

void tst_pty::kdxctlUsageErrorsOpenNothing()
{
    QFETCH(QStringList, args);
    PtyPeer peer;
    peer.setScript(display);
    const Run r = kdxctl(QStringList {"--port", peer.slavePath()} + args);
    QCOMPARE(r.exitCode, 64);
    QVERIFY(r.err.endsWith("Try 'kdxctl --help'."));
    QTest::qWait(50);
    QVERIFY(peer.received().isEmpty());
}

void tst_pty::kdxctlComNameThroughPortMap()
{
    QTemporaryDir ports;
    qputenv("KDX_PORTS_DIR", QFile::encodeName(ports.path()));
    PtyPeer peer;
    peer.setScript(display);
    QVERIFY(QFile::link(peer.slavePath(), ports.path() + "/COM7"));
    const Run listed = kdxctl({"ports"});
    QCOMPARE(listed.exitCode, 0);
    QVERIFY2(listed.out.split('\n').contains("COM7 " + peer.slavePath()), qPrintable(listed.out));

    const Run r = kdxctl({"--port", "COM7", "position", "1"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("OK"));

    const Run missing = kdxctl({"--port", "COM8", "position", "1"});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(missing.err.startsWith("Commport open failed.\nCOM8 is not in the port map"));
    qputenv("KDX_PORTS_DIR", QByteArray());
}

void tst_pty::peerHangsUpMidCommand()
{
    // The peer vanishes as soon as it has the frame: a failure, promptly, no hang.
    PtyPeer peer;
    peer.setScript([&peer](const QByteArray &, const QByteArray &) {
        peer.requestHangUp();
        return QByteArray();
    });
    const Run r = kdxctl({"--port", peer.slavePath(), "get-message"});
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(r.err, QStringLiteral("Device is not connected."));
    QVERIFY2(r.ms < 3000, "gives up at once, not after the full wait");
}

void tst_pty::realPortSettingsAndDiscipline()
{
    PtyPeer peer;
    peer.setScript(display);
    frmCKDX::resetInstance();
    const QString path = peer.slavePath();
    frmCKDX::setPortFactory([path] {
        return std::make_unique<platform::PosixSerialPort>(platform::PosixSerialPort::fixedDevice(path));
    });
    {
        CKDX kdx;
        kdx.setCommPort(1);
        kdx.setBaudRate("4800");
        kdx.setParity("E,7,1");
        QCOMPARE(kdx.SendMessage("abc"), kdx::OK);
        QVERIFY(!frmCKDX::instance().MSComm1().portOpen());
        QVERIFY(peer.waitForBytes(3, 1000));
        QCOMPARE(peer.hostBaud(), 4800);

        kdx.setBaudRate("19200");
        kdx.setParity("N,8,1");
        QString version;
        QCOMPARE(kdx.GetVersion(version), kdx::OK);
        QCOMPARE(version, QStringLiteral("?KDX-B 1.05"));
        QVERIFY(!frmCKDX::instance().MSComm1().portOpen());

        // A second program holding the port makes it busy.
        platform::PosixSerialPort other(platform::PosixSerialPort::fixedDevice(path));
        QVERIFY(other.setSettings("9600,N,8,1"));
        QVERIFY(other.setPortOpen(true));
        QCOMPARE(kdx.SetPosition(1), kdx::OpenFailed);
        other.setPortOpen(false);
        QCOMPARE(kdx.SetPosition(1), kdx::OK);
    }
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
}

// ---------------------------------------------------------------- exclusive access

namespace {

QString lockFileOf(const QString &device)
{
    return platform::PortLock::directory() + QLatin1Char('/') + platform::PortLock::fileName(device);
}

QByteArray lockContent(qint64 pid)
{
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(5);
    }
    return true;
}

using kdxtest::ttyExclusive;

// Runs kdxctl without waiting for it.
void startKdxctl(QProcess &p, const QStringList &args)
{
    p.setProgram(QString::fromLocal8Bit(qgetenv("KDX_BIN_DIR")) + "/kdxctl");
    p.setArguments(args);
    p.start();
    QVERIFY(p.waitForStarted());
}

qint64 deadPid()
{
    QProcess p;
    p.start(QStringLiteral("true"), {});
    p.waitForFinished();
    return p.processId() > 0 ? p.processId() : 999999;
}

// Settles a termios read from another descriptor of the same tty.
termios lineOf(const QString &device)
{
    termios tio {};
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ::tcgetattr(fd, &tio);
    ::close(fd);
    return tio;
}

} // namespace

void tst_pty::lockedOnlyWhileACommandRuns()
{
    QTemporaryDir locks;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    PtyPeer peer; // silent: the version request waits its full 1.1 s
    const QString lock = lockFileOf(peer.slavePath());
    QProcess first;
    startKdxctl(first, {"--port", peer.slavePath(), "version"});
    QVERIFY2(waitUntil([&] { return QFileInfo::exists(lock); }, 3000), "the lock file appears");
    QCOMPARE(readFile(lock), lockContent(first.processId()));
    QVERIFY(ttyExclusive(peer.slavePath()));

    const Run second = kdxctl({"--port", peer.slavePath(), "position", "1"});
    QCOMPARE(second.exitCode, 2);
    QVERIFY2(second.err.startsWith("Commport open failed.\n"), qPrintable(second.err));
    QVERIFY2(second.err.contains(QStringLiteral("in use by PID %1 (kdxctl)").arg(first.processId())),
             qPrintable(second.err));

    QVERIFY(first.waitForFinished(5000));
    QCOMPARE(first.exitCode(), 4);
    QVERIFY2(!QFileInfo::exists(lock), "the lock file is gone after the command");
    QVERIFY2(!ttyExclusive(peer.slavePath()), "the tty leaves exclusive mode");
    QCOMPARE(peer.received().toHex(' '), QByteArray("04 01 56 17"));
    qunsetenv("KDX_LOCK_DIR");
}

void tst_pty::lockReleasedWhenEndedBySignalOrHangUp()
{
    QTemporaryDir locks;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    {
        PtyPeer peer;
        const QString lock = lockFileOf(peer.slavePath());
        QProcess p;
        startKdxctl(p, {"--port", peer.slavePath(), "get-message"});
        QVERIFY(waitUntil([&] { return QFileInfo::exists(lock); }, 3000));
        p.terminate(); // SIGTERM
        QVERIFY(p.waitForFinished(3000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QVERIFY2(!QFileInfo::exists(lock), "SIGTERM: the lock file is gone");
        QVERIFY2(!ttyExclusive(peer.slavePath()), "SIGTERM: the tty leaves exclusive mode");
    }
    {
        PtyPeer peer;
        peer.setScript([&peer](const QByteArray &, const QByteArray &) {
            peer.requestHangUp();
            return QByteArray();
        });
        const QString lock = lockFileOf(peer.slavePath());
        const Run r = kdxctl({"--port", peer.slavePath(), "get-message"});
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(!QFileInfo::exists(lock), "hang-up: the lock file is gone");
    }
    QCOMPARE(QDir(locks.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    qunsetenv("KDX_LOCK_DIR");
}

void tst_pty::lockFileOfAnotherProgram_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    const qint64 self = QCoreApplication::applicationPid();
    QTest::newRow("stale: its process is gone") << lockContent(deadPid()) << 0 << QString();
    QTest::newRow("alive") << lockContent(self) << 2 << QStringLiteral("in use by PID %1 (tst_pty)").arg(self);
}

void tst_pty::lockFileOfAnotherProgram()
{
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QTemporaryDir locks;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    PtyPeer peer;
    peer.setScript(display);
    const QString lock = lockFileOf(peer.slavePath());
    {
        QFile f(lock);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const Run r = kdxctl({"--port", peer.slavePath(), "position", "1"});
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    if (exitCode == 0) {
        QVERIFY2(!QFileInfo::exists(lock), "the stale lock was taken over and released");
    } else {
        QCOMPARE(readFile(lock), content);
        QVERIFY(peer.received().isEmpty());
    }
    qunsetenv("KDX_LOCK_DIR");
}

void tst_pty::holderOfTheDeviceNamed()
{
    // A program that does not use lock files but takes flock and the tty's
    // exclusive mode, as careful scripts do.
    QTemporaryDir locks;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    PtyPeer peer;
    peer.setScript(display);
    QProcess py;
    py.start(QStringLiteral("python3"),
             {"-c",
              "import fcntl, os, sys, termios\n"
              "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
              "fcntl.flock(fd, fcntl.LOCK_EX)\n"
              "fcntl.ioctl(fd, termios.TIOCEXCL)\n"
              "print('ready', flush=True)\n"
              "sys.stdin.readline()\n"
              "fcntl.ioctl(fd, termios.TIOCNXCL)\n",
              peer.slavePath()});
    QVERIFY(py.waitForReadyRead(5000));
    QCOMPARE(py.readLine().trimmed(), QByteArray("ready"));

    const Run r = kdxctl({"--port", peer.slavePath(), "position", "1"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral("in use by PID %1 (python3").arg(py.processId())), qPrintable(r.err));
    QTest::qWait(50);
    QVERIFY(peer.received().isEmpty());

    py.write("\n");
    QVERIFY(py.waitForFinished(5000));
    QCOMPARE(kdxctl({"--port", peer.slavePath(), "position", "1"}).exitCode, 0);
    qunsetenv("KDX_LOCK_DIR");
}

void tst_pty::lockFolderNotUsable()
{
    qputenv("KDX_LOCK_DIR", "/nonexistent/kdx-locks");
    PtyPeer peer;
    peer.setScript(display);
    const Run r = kdxctl({"--port", peer.slavePath(), "position", "1"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    qunsetenv("KDX_LOCK_DIR");
}

void tst_pty::hangUpWhileTheAnswerSettles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("partial");
    QTest::newRow("get-message") << "get-message" << hex("01 48");
    QTest::newRow("version") << "version" << QByteArray("?KDX");
}

void tst_pty::hangUpWhileTheAnswerSettles()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, partial);
    // The display starts to answer and is unplugged while the driver lets the
    // answer settle (300 ms for the version, 500 ms for the message).
    PtyPeer peer;
    peer.setScript([partial](const QByteArray &, const QByteArray &) { return partial; });
    QProcess p;
    startKdxctl(p, {"--port", peer.slavePath(), command});
    QVERIFY(peer.waitForBytes(4, 5000));
    QTest::qWait(250);
    peer.hangUp();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 3);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), QStringLiteral("Device is not connected."));
}

void tst_pty::lineSettingsClearedAndReadBack_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<quint32>("speed");
    QTest::addColumn<quint32>("flags"); // of PARODD, CMSPAR, CSTOPB, CRTSCTS
    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << quint32(B9600) << quint32(0);
    QTest::newRow("4800,O,8,2") << "4800,O,8,2" << quint32(B4800) << quint32(PARODD | CSTOPB);
    QTest::newRow("115200,E,7,1") << "115200,E,7,1" << quint32(B115200) << quint32(0);
}

void tst_pty::lineSettingsClearedAndReadBack()
{
    QFETCH(QString, settings);
    QFETCH(quint32, speed);
    QFETCH(quint32, flags);
    PtyPeer peer;
    // Another program left the line with mark parity, flow control, echo and
    // CR/LF mapping.
    {
        const int fd = ::open(QFile::encodeName(peer.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios tio {};
        ::tcgetattr(fd, &tio);
        tio.c_cflag |= PARENB | PARODD | CMSPAR | CRTSCTS;
        tio.c_iflag |= IXON | ICRNL;
        tio.c_oflag |= OPOST | ONLCR;
        tio.c_lflag |= ECHO | ICANON;
        QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);
        ::close(fd);
        QVERIFY(lineOf(peer.slavePath()).c_cflag & CMSPAR);
    }
    platform::PosixSerialPort port(platform::PosixSerialPort::fixedDevice(peer.slavePath()));
    QVERIFY(port.setSettings(settings));
    QVERIFY2(port.setPortOpen(true), qPrintable(port.openFailureReason("COM1")));
    const termios kept = lineOf(peer.slavePath());
    port.setPortOpen(false);
    // Again at the same settings: all that would change now is the parity and
    // data bits a pseudo-terminal does not keep.
    QVERIFY2(port.setPortOpen(true), qPrintable(port.openFailureReason("COM1")));
    port.setPortOpen(false);
    QCOMPARE(quint32(cfgetospeed(&kept)), speed);
    QCOMPARE(quint32(cfgetispeed(&kept)), speed);
    QCOMPARE(quint32(kept.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS)), flags);
    QVERIFY(kept.c_cflag & CLOCAL);
    QCOMPARE(kept.c_iflag, tcflag_t(0));
    QCOMPARE(kept.c_oflag, tcflag_t(0));
    QCOMPARE(kept.c_lflag, tcflag_t(0));
    QCOMPARE(int(kept.c_cc[VMIN]), 1);
    QCOMPARE(int(kept.c_cc[VTIME]), 0);
}

void tst_pty::onlyCharacterDevicesOpened_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("regular file") << "file";
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("directory") << "dir";
}

void tst_pty::onlyCharacterDevicesOpened()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.path() + "/port";
    if (kind == "file") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        QVERIFY(QDir().mkdir(path));
    }
    const Run r = kdxctl({"--port", path, "send", "x"});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.err, QStringLiteral("Commport open failed.\n%1 is not a serial device").arg(path));
    if (kind == "file")
        QCOMPARE(readFile(path), QByteArray("keep"));
}

// ---------------------------------------------------------------- kdxctl's output and names

namespace {

// kdxctl's standard output exactly, taken from a terminal of the test's own
// or from a pipe.
QByteArray kdxctlOutput(const QStringList &args, bool onTerminal)
{
    QProcess p;
    p.setProgram(QString::fromLocal8Bit(qgetenv("KDX_BIN_DIR")) + "/kdxctl");
    p.setArguments(args);
    if (onTerminal)
        return kdxtest::runOnTerminal(p, STDOUT_FILENO);
    p.start();
    p.waitForFinished(20000);
    return p.readAllStandardOutput();
}

} // namespace

void tst_pty::kdxctlShowsTextsWhole_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<bool>("raw");
    QTest::addColumn<QByteArray>("out");
    const QByteArray version = QByteArray("V1.0\0\x1b[2J", 9);
    const QByteArray message = hex("01") + QByteArray("A\0\x1b" "B\\", 5) + hex("17");
    QTest::newRow("version on a terminal") << "version" << version << true << false << QByteArray("V1.0\\x00\\x1b[2J\n");
    QTest::newRow("version through a pipe") << "version" << version << false << false << version + '\n';
    QTest::newRow("version on a terminal, --raw") << "version" << version << true << true << version + '\n';
    QTest::newRow("message on a terminal")
        << "get-message" << message << true << false << QByteArray("A\\x00\\x1bB\\\\\n");
    QTest::newRow("message through a pipe") << "get-message" << message << false << false << QByteArray("A\0\x1b" "B\\\n", 6);
}

void tst_pty::kdxctlShowsTextsWhole()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, answer);
    QFETCH(bool, terminal);
    QFETCH(bool, raw);
    QFETCH(QByteArray, out);
    PtyPeer peer;
    peer.setScript([answer](const QByteArray &, const QByteArray &) { return answer; });
    QStringList args {"--port", peer.slavePath()};
    if (raw)
        args << "--raw";
    QCOMPARE(kdxctlOutput(args << command, terminal), out);
}

void tst_pty::kdxctlRefusesArgumentsThatAreNotUtf8()
{
    PtyPeer peer;
    peer.setScript(display);
    // Through a shell: a QProcess argument is always valid UTF-8.
    QProcess p;
    p.start("/bin/sh", {"-c", "exec \"$0\" --port \"$1\" send \"$(printf 'Gr\\374\\337e')\"",
                        QString::fromLocal8Bit(qgetenv("KDX_BIN_DIR")) + "/kdxctl", peer.slavePath()});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 64);
    QVERIFY2(p.readAllStandardError().startsWith("kdxctl: argument 4 (\"Gr\\xfc\\xdfe\") is not valid UTF-8"),
             "names the argument");
    QTest::qWait(50);
    QVERIFY(peer.received().isEmpty());
}

void tst_pty::kdxctlPortsSaysWhoUsesThem()
{
    QTemporaryDir ports;
    QTemporaryDir locks;
    qputenv("KDX_PORTS_DIR", QFile::encodeName(ports.path()));
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    PtyPeer peer;
    QVERIFY(QFile::link(peer.slavePath(), ports.path() + "/COM7"));
    QVERIFY(QFile::link(peer.slavePath(), ports.path() + "/COM65536"));
    {
        QFile lock(lockFileOf(peer.slavePath()));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(lockContent(QCoreApplication::applicationPid()));
    }
    const Run r = kdxctl({"ports"});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split('\n');
    const qsizetype at = lines.indexOf("COM7 " + peer.slavePath());
    QVERIFY2(at >= 0, qPrintable(r.out));
    QCOMPARE(lines.value(at + 1), QStringLiteral("    in use by PID %1 (tst_pty)").arg(QCoreApplication::applicationPid()));
    QVERIFY2(!r.out.contains("COM65536"), "a link no COM name can reach is not listed");

    // A ports folder that is a file cannot take new devices: said, and not 0.
    QFile file(ports.path() + "/file");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("KDX_PORTS_DIR", QFile::encodeName(file.fileName()));
    const Run bad = kdxctl({"ports"});
    QCOMPARE(bad.exitCode, 73);
    QCOMPARE(bad.err, QStringLiteral("kdxctl: the ports folder %1 is not a folder").arg(file.fileName()));
    qputenv("KDX_PORTS_DIR", QByteArray());
    qunsetenv("KDX_LOCK_DIR");
}

QTEST_GUILESS_MAIN(tst_pty)
#include "tst_pty.moc"
