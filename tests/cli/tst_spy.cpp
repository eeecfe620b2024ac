// kdxctl spy between a program (kdxctl itself, or the test on COM<n>) and a
// display: kdx-sim, an independent pseudo-terminal peer, or kdx-sim behind
// ser2net. Real pseudo-terminals and processes, throwaway port map and locks.

#include "ByteNotation.h"
#include "PtyPeer.h"
#include "Ser2NetProcess.h"
#include "SimProcess.h"
#include "TestEnv.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kCom = QStringLiteral("COM9");

// kdxctl --port REAL spy ... as a process, its standard output gathered.
class Spy
{
public:
    explicit Spy(const SimProcess &env)
        : m_env(env)
    {
        QProcessEnvironment e = env.environment();
        e.insert(QStringLiteral("KDX_LOCK_DIR"), lockDir());
        m_process.setProcessEnvironment(e);
    }
    ~Spy()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QString lockDir() const { return m_env.path(QStringLiteral("locks")); }
    QString linkPath() const { return m_env.portsDir() + QLatin1Char('/') + kCom; }

    // Starts it and waits for its first line, the one that says it passes.
    bool start(const QString &realPort, const QStringList &spyArgs = {})
    {
        QDir().mkpath(lockDir());
        m_process.start(SimProcess::binary(QStringLiteral("kdxctl")),
                        QStringList {QStringLiteral("--port"), realPort, QStringLiteral("spy"), QStringLiteral("--as"), kCom}
                            + spyArgs);
        return waitFor(QStringLiteral(" passes to "), 5000);
    }
    bool waitFor(const QString &text, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!output().contains(text)) {
            if (t.elapsed() > ms || (m_process.state() == QProcess::NotRunning && !m_process.bytesAvailable()))
                return false;
            m_process.waitForReadyRead(20);
        }
        return true;
    }
    QString output()
    {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out;
    }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }
    bool finish(int ms) { return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }
    void signal(int sig) { ::kill(pid_t(m_process.processId()), sig); }

private:
    const SimProcess &m_env;
    QProcess m_process;
    QString m_out;
};

QByteArray everyByte()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    return all;
}

} // namespace

class tst_spy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionThroughTheSpy_data();
    void versionThroughTheSpy();
    void screen_data();
    void screen();
    void everyByteUnchanged();
    void programRateReachesTheRealPort_data();
    void programRateReachesTheRealPort();
    void stopLeavesNothingBehind_data();
    void stopLeavesNothingBehind();
    void takenComName_data();
    void takenComName();
    void hangUp_data();
    void hangUp();
};

void tst_spy::initTestCase()
{
    QVERIFY2(SimProcess::built(), "kdx-sim has not been built");
}

void tst_spy::versionThroughTheSpy_data()
{
    QTest::addColumn<bool>("network");
    QTest::newRow("kdx-sim") << false;
    QTest::newRow("kdx-sim over rfc2217://") << true;
}

void tst_spy::versionThroughTheSpy()
{
    QFETCH(bool, network);
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    Ser2NetProcess server;
    QString real = sim.comName();
    if (network) {
        if (!Ser2NetProcess::available())
            QSKIP("ser2net is not installed (scripts/bootstrap.sh installs it)");
        QVERIFY2(server.start(sim.device(), Ser2NetProcess::Accepter::Rfc2217), qPrintable(server.error()));
        real = server.url();
    }
    Spy spy(sim);
    QVERIFY2(spy.start(real), qPrintable(spy.output() + spy.errors()));

    // The answer reaches the program intact, and the spy decodes both ways.
    SimProcess::Result r = sim.kdxctlOn(kCom, {QStringLiteral("version")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("?1.05"));
    QVERIFY(spy.waitFor(QStringLiteral("version \"?1.05\""), 3000));
    QVERIFY(spy.waitFor(kCom + QStringLiteral(" closed"), 3000));
    const QStringList lines = kdxtest::untimedTrace(spy.output());
    QVERIFY2(lines.contains(QStringLiteral("> 04 01 56 17 GetVersion")), qPrintable(spy.output()));
    QVERIFY2(!lines.filter(QRegularExpression(QStringLiteral("^- COM9 opened by PID \\d+ \\(kdxctl\\)$"))).isEmpty(),
             qPrintable(spy.output()));

    // The program's rate reaches the display's line, over the network too.
    sim.kdxctlOn(kCom, {QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("position"), QStringLiteral("3")});
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s.value(QStringLiteral("hostBaud")).toInt() == 9600; }));
    QVERIFY(spy.waitFor(QStringLiteral("settings 9600,N,8,1"), 1000));
    QVERIFY(kdxtest::untimedTrace(spy.output()).contains(QStringLiteral("- settings 9600,N,8,1")));
}

void tst_spy::screen_data()
{
    QTest::addColumn<QStringList>("spyArgs");
    QTest::addColumn<QList<QStringList>>("commands");
    QTest::addColumn<QString>("rows");
    const QString blank20 = QStringLiteral("|%1|\n").arg(QString(20, QLatin1Char(' ')));
    QTest::newRow("2 x 20") << QStringList {QStringLiteral("--screen")}
                            << QList<QStringList> {{QStringLiteral("send"), QStringLiteral("Hello")}}
                            << QStringLiteral("|Hello               |\n") + blank20;
    QTest::newRow("4 x 40")
        << QStringList {QStringLiteral("--rows"), QStringLiteral("4"), QStringLiteral("--cols=40")}
        << QList<QStringList> {{QStringLiteral("position"), QStringLiteral("81")}, {QStringLiteral("send"), QStringLiteral("Hello")}}
        << QStringLiteral("|%1|\n|%1|\n|Hello%2|\n|%1|\n").arg(QString(40, QLatin1Char(' ')), QString(35, QLatin1Char(' ')));
    QTest::newRow("EPSON set")
        << QStringList {QStringLiteral("--screen")}
        << QList<QStringList> {{QStringLiteral("switch"), QStringLiteral("epson")},
                               {QStringLiteral("epson"), QStringLiteral("position"), QStringLiteral("2"), QStringLiteral("5")},
                               {QStringLiteral("epson"), QStringLiteral("send"), QStringLiteral("Hi")}}
        << blank20 + QStringLiteral("|    Hi              |\n");
}

void tst_spy::screen()
{
    QFETCH(QStringList, spyArgs);
    QFETCH(QList<QStringList>, commands);
    QFETCH(QString, rows);
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    Spy spy(sim);
    QVERIFY2(spy.start(sim.comName(), spyArgs), qPrintable(spy.errors()));
    for (const QStringList &command : commands)
        sim.kdxctlOn(kCom, command);
    QVERIFY2(spy.waitFor(rows, 3000), qPrintable(spy.output()));
}

void tst_spy::everyByteUnchanged()
{
    SimProcess env;
    PtyPeer peer;
    const QByteArray all = everyByte();
    // Acknowledges the whole run; sends every value back when asked with "?" alone.
    peer.setScript([all](const QByteArray &chunk, const QByteArray &so) -> QByteArray {
        if (chunk == "?")
            return all;
        return so.endsWith(all) ? QByteArray(1, '\x06') : QByteArray();
    });
    Spy spy(env);
    QVERIFY2(spy.start(peer.slavePath()), qPrintable(spy.errors()));

    // What counts is what arrives: the driver's wait of about 30 ms for the
    // acknowledge is the protocol's and may run out on a busy machine.
    env.kdxctlOn(kCom, {QStringLiteral("send-bytes"), ByteNotation::format(all)});
    peer.waitForBytes(int(all.size()), 3000);
    QCOMPARE(peer.received(), all);

    // And back: read by a program of our own on COM9.
    const int fd = ::open(QFile::encodeName(spy.linkPath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 1;
    ::tcsetattr(fd, TCSANOW, &tio);
    QCOMPARE(::write(fd, "?", 1), ssize_t(1));
    QByteArray back;
    QElapsedTimer t;
    t.start();
    char buf[512];
    while (back.size() < all.size() && t.elapsed() < 3000) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            back.append(buf, int(n));
    }
    ::close(fd);
    QCOMPARE(back, all);
}

void tst_spy::programRateReachesTheRealPort_data()
{
    QTest::addColumn<QString>("baud");
    QTest::newRow("9600") << QStringLiteral("9600");
    QTest::newRow("38400") << QStringLiteral("38400");
}

void tst_spy::programRateReachesTheRealPort()
{
    QFETCH(QString, baud);
    SimProcess env;
    PtyPeer peer;
    peer.setScript([](const QByteArray &, const QByteArray &) { return QByteArray(1, '\x06'); });
    Spy spy(env);
    QVERIFY2(spy.start(peer.slavePath()), qPrintable(spy.errors()));
    QCOMPARE(peer.hostBaud(), 19200);
    const SimProcess::Result r = env.kdxctlOn(kCom, {QStringLiteral("--baud"), baud, QStringLiteral("position"), QStringLiteral("3")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(peer.hostBaud(), baud.toInt());
    QVERIFY(spy.waitFor(QStringLiteral("settings %1,N,8,1").arg(baud), 1000));
}

void tst_spy::stopLeavesNothingBehind_data()
{
    QTest::addColumn<QList<int>>("stops");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("Ctrl+C") << QList<int> {SIGINT} << 130;
    QTest::newRow("SIGTERM") << QList<int> {SIGTERM} << 143;
    QTest::newRow("Ctrl+C twice") << QList<int> {SIGINT, SIGINT} << 130;
}

void tst_spy::stopLeavesNothingBehind()
{
    QFETCH(QList<int>, stops);
    QFETCH(int, exitCode);
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    Spy spy(sim);
    QVERIFY2(spy.start(sim.comName()), qPrintable(spy.errors()));
    QVERIFY(QFileInfo(spy.linkPath()).isSymLink());
    QVERIFY(kdxtest::ttyExclusive(sim.device()));
    QVERIFY(!QDir(spy.lockDir()).entryList(QDir::Files).isEmpty());

    QElapsedTimer t;
    t.start();
    for (int sig : stops)
        spy.signal(sig);
    while (QFileInfo(spy.linkPath()).isSymLink() && t.elapsed() < 2000)
        QThread::msleep(5);
    QVERIFY2(t.elapsed() < 1000, qPrintable(QStringLiteral("COM9 left after %1 ms").arg(t.elapsed())));
    QVERIFY(spy.finish(1000));
    QCOMPARE(spy.exitCode(), exitCode);
    // The real port is free again: no lock file, no exclusive mode.
    QCOMPARE(QDir(spy.lockDir()).entryList(QDir::Files), QStringList());
    QVERIFY(!kdxtest::ttyExclusive(sim.device()));
    QCOMPARE(sim.kdxctl({QStringLiteral("version")}).exitCode, 0);
}

void tst_spy::takenComName_data()
{
    QTest::addColumn<QString>("target"); // what COM9 is before the spy starts; "sim": kdx-sim's device
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("a live pseudo-terminal") << QStringLiteral("sim") << 73 << QStringLiteral("COM9 is taken by /dev/pts/");
    QTest::newRow("an unplugged device keeps its number")
        << QStringLiteral("/dev/ttyUSB97") << 73 << QStringLiteral("COM9 is taken by /dev/ttyUSB97 (not present)");
    QTest::newRow("a network entry") << QStringLiteral("rfc2217://pos-12:4001") << 73
                                     << QStringLiteral("COM9 is taken by rfc2217://pos-12:4001");
    QTest::newRow("a pseudo-terminal that is gone is replaced") << QStringLiteral("/dev/pts/99999") << 0 << QString();
}

void tst_spy::takenComName()
{
    QFETCH(QString, target);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    Spy spy(sim);
    if (target.contains(QLatin1String("://")))
        QCOMPARE(sim.kdxctlOn(QStringLiteral("COM1"), {QStringLiteral("ports"), QStringLiteral("add"), kCom, target}).exitCode, 0);
    else
        QVERIFY(QFile::link(target == QLatin1String("sim") ? sim.device() : target, spy.linkPath()));
    const bool started = spy.start(sim.comName());
    QCOMPARE(started, exitCode == 0);
    if (started)
        return;
    QVERIFY(spy.finish(3000));
    QCOMPARE(spy.exitCode(), exitCode);
    QVERIFY2(spy.errors().contains(error), qPrintable(error));
    // Refused before the real port was touched.
    QCOMPARE(QDir(spy.lockDir()).entryList(QDir::Files), QStringList());
}

void tst_spy::hangUp_data()
{
    QTest::addColumn<bool>("realSide");
    QTest::addColumn<QString>("error");
    QTest::newRow("the display's port") << true << QStringLiteral("kdxctl spy: the real port hung up");
    QTest::newRow("COM9, by the program") << false << QStringLiteral("kdxctl spy: COM9 was hung up");
}

void tst_spy::hangUp()
{
    QFETCH(bool, realSide);
    QFETCH(QString, error);
    if (!realSide && ::geteuid() != 0)
        QSKIP("only root may hang up a terminal");
    SimProcess env;
    PtyPeer peer;
    Spy spy(env);
    QVERIFY2(spy.start(peer.slavePath()), qPrintable(spy.errors()));
    if (realSide) {
        peer.hangUp();
    } else {
        const int fd = ::open(QFile::encodeName(spy.linkPath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCVHANGUP), 0);
        ::close(fd);
    }
    QVERIFY(spy.finish(3000));
    QCOMPARE(spy.exitCode(), 3);
    QVERIFY2(spy.errors().startsWith(error), qPrintable(spy.errors()));
    QVERIFY(!QFileInfo(spy.linkPath()).isSymLink());
}

QTEST_GUILESS_MAIN(tst_spy)
#include "tst_spy.moc"
