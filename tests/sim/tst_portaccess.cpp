// What kdxctl leaves on a port for the next program, on kdx-sim's real
// pseudo-terminals: after kill -9, after a second Ctrl+C in a firmware update,
// with an exclusive mode nobody holds any more, and beside the lock files of
// other programs.

#include "SimProcess.h"

#include <QJsonDocument>
#include <QSysInfo>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

// Whether the tty is in exclusive mode (root opens it either way).
bool exclusive(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int on = 0;
    const bool known = fd >= 0 && ::ioctl(fd, TIOCGEXCL, &on) == 0;
    if (fd >= 0)
        ::close(fd);
    return !known || on;
}

// A descriptor of the test's own on the device, in exclusive mode.
int holdExclusive(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0)
        ::ioctl(fd, TIOCEXCL);
    return fd;
}

QByteArray image(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131) ^ (i >> 7));
    return data;
}

using Run = SimProcess::Result;

// kdxctl with the simulator's environment and the lock folder given, as root
// or, with setpriv, as the user nobody.
Run kdxctl(const SimProcess &sim, const QString &lockDir, const QStringList &args, bool asNobody = false)
{
    QProcess p;
    QProcessEnvironment env = sim.environment();
    env.insert(QStringLiteral("KDX_LOCK_DIR"), lockDir);
    p.setProcessEnvironment(env);
    const QString program = SimProcess::binary(QStringLiteral("kdxctl"));
    if (asNobody)
        p.start(QStringLiteral("setpriv"),
                QStringList {"--reuid=65534", "--regid=65534", "--clear-groups", program} + args);
    else
        p.start(program, args);
    return SimProcess::finished(p, 20000);
}

QString said(const Run &r)
{
    return QStringLiteral("exit %1: %2|%3").arg(r.exitCode).arg(r.out, r.err);
}

} // namespace

class tst_PortAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void exclusiveModeLeftBehind_data();
    void exclusiveModeLeftBehind();
    void secondSignalInFirmware_data();
    void secondSignalInFirmware();
    void lockOfAnotherProgram_data();
    void lockOfAnotherProgram();

private:
    // A lock folder that the user nobody may write too.
    std::unique_ptr<QTemporaryDir> m_locks;
    QStringList lockFiles() const { return QDir(m_locks->path()).entryList(QDir::Files | QDir::System); }
};

void tst_PortAccess::initTestCase()
{
    if (!SimProcess::built() || !QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdx-sim or kdxctl is not built");
    // Exclusive mode is looked at by opening the tty past it, which only root may.
    if (::geteuid() != 0)
        QSKIP("these tests run as root, as CI does");
}

void tst_PortAccess::init()
{
    m_locks = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kdx-locks-XXXXXX"));
    QVERIFY(::chmod(QFile::encodeName(m_locks->path()).constData(), 0777) == 0);
}

// The tty in exclusive mode with nobody alive holding it: root goes on, and
// clears it; anyone else is told exactly that. A live holder is named, and is
// never kdxctl itself.
void tst_PortAccess::exclusiveModeLeftBehind_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    const QString ended = QStringLiteral("was left in exclusive mode by a program that has ended; only root can open it");
    QTest::newRow("kdxctl killed mid-command, root") << "killed" << false << 0 << QString();
    QTest::newRow("kdxctl killed mid-command, another user") << "killed" << true << 2 << ended;
    QTest::newRow("left by a descriptor now closed, root") << "closed" << false << 0 << QString();
    QTest::newRow("left by a descriptor now closed, another user") << "closed" << true << 2 << ended;
    QTest::newRow("held by a live program") << "held" << false << 2
                                            << QStringLiteral("is in use by PID %1 (").arg(QCoreApplication::applicationPid());
}

void tst_PortAccess::exclusiveModeLeftBehind()
{
    QFETCH(QString, how);
    QFETCH(bool, asNobody);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    // The display answers late, so that a command is still running when it is killed.
    SimProcess sim;
    QVERIFY2(sim.start({"--fault", "slow=700"}), qPrintable(sim.error()));
    const QString device = sim.device();
    QVERIFY(::chmod(QFile::encodeName(device).constData(), 0666) == 0);
    int held = -1;
    if (how == QLatin1String("killed")) {
        QProcess p;
        QProcessEnvironment env = sim.environment();
        env.insert(QStringLiteral("KDX_LOCK_DIR"), m_locks->path());
        p.setProcessEnvironment(env);
        p.start(SimProcess::binary(QStringLiteral("kdxctl")), {"--port", device, "version"});
        QTRY_VERIFY_WITH_TIMEOUT(!lockFiles().isEmpty() && exclusive(device), 5000);
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(5000));
        QVERIFY2(!lockFiles().isEmpty(), "kill -9 leaves its lock file");
        // The late answer to the killed command reaches the line before the
        // next command opens the port (which discards it).
        QTest::qWait(900);
    } else {
        held = holdExclusive(device);
        QVERIFY(held >= 0);
        if (how == QLatin1String("closed"))
            ::close(std::exchange(held, -1));
    }
    QVERIFY(exclusive(device));

    const Run r = kdxctl(sim, m_locks->path(), {"--port", device, "version"}, asNobody);
    if (held >= 0)
        ::close(held);
    QVERIFY2(r.exitCode == exitCode, qPrintable(said(r)));
    QVERIFY2(r.err.contains(err), qPrintable(said(r)));
    QVERIFY2(!r.err.contains(QStringLiteral("kdxctl)")), qPrintable(said(r)));
    if (exitCode == 0) {
        QCOMPARE(r.out, QStringLiteral("?1.05"));
        QVERIFY(!exclusive(device));
        QCOMPARE(lockFiles(), QStringList());
    }
}

// A second signal ends an update at once, yet the display still leaves its
// loader, the tty is out of exclusive mode and no lock file stays: the next
// command just works. Through the runner for many ports as well, which passes
// the second signal on rather than killing.
void tst_PortAccess::secondSignalInFirmware_data()
{
    QTest::addColumn<int>("ports");
    QTest::newRow("one port") << 1;
    QTest::newRow("two ports at once") << 2;
}

void tst_PortAccess::secondSignalInFirmware()
{
    QFETCH(int, ports);
    SimProcess sim;
    QVERIFY2(ports == 1 ? sim.start({}) : sim.startMany(ports, {}), qPrintable(sim.error()));
    const QString file = sim.path(QStringLiteral("firmware.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image(64 * 1024));
    }
    const QStringList coms = sim.comNames();
    QProcess p;
    QProcessEnvironment env = sim.environment();
    env.insert(QStringLiteral("KDX_LOCK_DIR"), m_locks->path());
    p.setProcessEnvironment(env);
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), {"--port", coms.join(QLatin1Char(',')), "firmware", file, "--crc"});
    auto receiving = [](const QJsonObject &s) { return s["loader"].toObject()["blocks"].toInt() >= 2; };
    for (const QString &com : coms)
        QVERIFY2(ports == 1 ? sim.waitForState(receiving, 20000) : sim.waitForState(com, receiving, 20000), qPrintable(com));
    ::kill(pid_t(p.processId()), SIGINT);
    QTest::qWait(30);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() > 128, qPrintable(p.readAllStandardError()));

    QCOMPARE(lockFiles(), QStringList());
    for (const QString &com : coms) {
        const auto state = [&](const QJsonObject &s) {
            const QJsonObject loader = s["loader"].toObject();
            return loader["state"].toString() == QLatin1String("off") && s["restarts"].toInt() == 1;
        };
        QVERIFY2(ports == 1 ? sim.waitForState(state) : sim.waitForState(com, state),
                 qPrintable(com + QJsonDocument(ports == 1 ? sim.state() : sim.state(com)).toJson()));
        const QString device = QFileInfo(sim.portsDir() + QLatin1Char('/') + com).symLinkTarget();
        QVERIFY2(!exclusive(device), qPrintable(com));
        const Run r = kdxctl(sim, m_locks->path(), {"--port", com, "version"});
        QVERIFY2(r.exitCode == 0, qPrintable(com + said(r)));
    }
}

// Another program's lock file, in the form Qt's QLockFile writes: respected,
// its owner named, and the file left exactly as it was.
void tst_PortAccess::lockOfAnotherProgram_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("err");
    const qint64 self = QCoreApplication::applicationPid();
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    QTest::newRow("Qt lock file of a live program")
        << QByteArray::number(self) + "\ntst_portaccess\n" + host + "\n"
        << QStringLiteral("is in use by PID %1 (tst_portaccess)").arg(self);
    QTest::newRow("Qt lock file of a program on another host")
        << QByteArray("4242\nkdx-utility\npos-12\n") << QStringLiteral("is in use by PID 4242 (kdx-utility) on host pos-12");
}

void tst_PortAccess::lockOfAnotherProgram()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, err);
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    const QString lock = m_locks->filePath(QStringLiteral("LCK..") + sim.device().mid(5).replace(QLatin1Char('/'), QLatin1Char('_')));
    {
        QFile f(lock);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    // Old enough that a lock file still being written would not count as one.
    const utimbuf old {::time(nullptr) - 60, ::time(nullptr) - 60};
    QCOMPARE(::utime(QFile::encodeName(lock).constData(), &old), 0);
    const Run r = kdxctl(sim, m_locks->path(), {"--port", sim.comName(), "version"});
    QVERIFY2(r.exitCode == 2 && r.err.contains(err), qPrintable(said(r)));
    QFile f(lock);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    QCOMPARE(sim.state()["rxBytes"].toInt(), 0);
}

QTEST_GUILESS_MAIN(tst_PortAccess)
#include "tst_portaccess.moc"
