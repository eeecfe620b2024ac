// kdx-sim as a program: its link in the port map, signals, the pseudo-terminal
// line, and lrzsz's sx sending into the loader.

#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A host end of the line opened the way a serial program opens it.
class HostPort
{
public:
    explicit HostPort(const QString &path, speed_t speed = B19200)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios t {};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ::tcsetattr(m_fd, TCSANOW, &t);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    ~HostPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    bool write(const QByteArray &b) { return ::write(m_fd, b.constData(), size_t(b.size())) == b.size(); }
    // Reads until want bytes arrived or timeoutMs passed.
    QByteArray read(int want, int timeoutMs)
    {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < want && !deadline.hasExpired()) {
            pollfd p {m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(std::max<qint64>(1, deadline.remainingTime()))) <= 0)
                continue;
            if (p.revents & (POLLHUP | POLLERR))
                break;
            char buf[512];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, int(n));
        }
        return got;
    }

private:
    int m_fd = -1;
};

} // namespace

class tst_SimPty : public QObject
{
    Q_OBJECT

private slots:
    void readinessAndSignals_data();
    void readinessAndSignals();
    void comNumbers();
    void severalDisplays();
    void severalDisplaysNeedTheirOwnFiles();
    void helpIsComplete();
    void reopeningDoesNotSpin();
    void versionExchangeTakesLineTime_data();
    void versionExchangeTakesLineTime();
    void hangupFault();
    void sxIntoLoader_data();
    void sxIntoLoader();
};

void tst_SimPty::readinessAndSignals_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void tst_SimPty::readinessAndSignals()
{
    QFETCH(int, signal);
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--com"), QStringLiteral("1")}), qPrintable(sim.error()));
    // The link is there the moment readiness is announced.
    QCOMPARE(sim.comName(), QStringLiteral("COM1"));
    QCOMPARE(QFileInfo(sim.linkPath()).symLinkTarget(), sim.device());
    {
        HostPort host(sim.linkPath());
        QVERIFY(host.ok());
        QVERIFY(host.write(QByteArray("\x04\x01P\x33\x17")));
        QCOMPARE(host.read(1, 2000), QByteArray("\x06"));
    }
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["cursor"].toObject()["col"].toInt() == 3; }));
    QVERIFY(sim.stop(signal));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(sim.linkPath()).isSymLink());
}

void tst_SimPty::comNumbers()
{
    SimProcess first;
    QDir().mkpath(first.portsDir());
    // A live link keeps its number; a dangling one left by a crash is reused.
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), first.portsDir() + QStringLiteral("/COM1")));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such"), first.portsDir() + QStringLiteral("/COM3")));
    QVERIFY2(first.start({}), qPrintable(first.error()));
    QCOMPARE(first.comName(), QStringLiteral("COM2"));

    SimProcess second;
    QDir().mkpath(second.portsDir());
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such"), second.portsDir() + QStringLiteral("/COM3")));
    QVERIFY2(second.start({QStringLiteral("--com"), QStringLiteral("3")}), qPrintable(second.error()));
    QCOMPARE(QFileInfo(second.linkPath()).symLinkTarget(), second.device());

    SimProcess taken;
    QDir().mkpath(taken.portsDir());
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), taken.portsDir() + QStringLiteral("/COM1")));
    QVERIFY(!taken.start({QStringLiteral("--com"), QStringLiteral("1")}));
    QVERIFY(!taken.running() || taken.stop());
    QVERIFY(taken.exitCode() != 0);
    QCOMPARE(QFileInfo(taken.portsDir() + QStringLiteral("/COM1")).symLinkTarget(), QStringLiteral("/dev/null"));
}

// --count: displays on consecutive numbers, each a line and a state of its own.
void tst_SimPty::severalDisplays()
{
    SimProcess sim;
    QDir().mkpath(sim.portsDir());
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), sim.portsDir() + QStringLiteral("/COM2")));
    QVERIFY2(sim.startMany(3, {}), qPrintable(sim.error()));
    QCOMPARE(sim.comNames(), QStringList({"COM3", "COM4", "COM5"}));
    {
        HostPort host(sim.portsDir() + QStringLiteral("/COM4"));
        QVERIFY(host.ok());
        QVERIFY(host.write(QByteArray("\x04\x01P\x35\x17")));
        QCOMPARE(host.read(1, 2000), QByteArray("\x06"));
    }
    auto col = [](const QJsonObject &s) { return s["cursor"].toObject()["col"].toInt(); };
    QVERIFY(sim.waitForState(QStringLiteral("COM4"), [&](const QJsonObject &s) { return col(s) == 5; }));
    QCOMPARE(col(sim.state(QStringLiteral("COM3"))), 1);
    QCOMPARE(col(sim.state(QStringLiteral("COM5"))), 1);
    QCOMPARE(sim.state(QStringLiteral("COM3"))["rxBytes"].toInt(), 0);

    QVERIFY(sim.stop(SIGINT));
    QCOMPARE(sim.exitCode(), 0);
    for (const QString &com : sim.comNames())
        QVERIFY2(!QFileInfo(sim.portsDir() + QLatin1Char('/') + com).isSymLink(), qPrintable(com));
    QVERIFY(QFileInfo(sim.portsDir() + QStringLiteral("/COM2")).isSymLink());
}

void tst_SimPty::severalDisplaysNeedTheirOwnFiles()
{
    QTemporaryDir dir;
    QProcess p;
    p.start(SimProcess::binary(QStringLiteral("kdx-sim")),
            {"--count", "2", "--quiet", "--firmware-out", dir.filePath(QStringLiteral("image.bin"))});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(QString::fromLocal8Bit(p.readAllStandardError()).contains(QLatin1String("%n")));
}

void tst_SimPty::helpIsComplete()
{
    QProcess p;
    p.start(SimProcess::binary(QStringLiteral("kdx-sim")), {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QStringList words = {"--com", "--count", "--rows", "--cols", "--baud", "--mode", "--fault", "--aux",
                               "--firmware-out", "--state-json", "--quiet", "--xmodem-start", "--code6", "--line-time",
                               "--version-text", "silent", "nak", "slow=MS", "garble", "no-prompt",
                               "no-prompt=xa", "ignore-load=N", "cancel-at-block=N", "nak-block=N",
                               "hangup-after=N", "short-version", "double-ack", "SIGTERM"};
    for (const QString &w : words)
        QVERIFY2(help.contains(w), qPrintable(w));
}

// The host opens and closes the port for every command; the simulator must
// neither lose the line nor spin while nobody has it open.
void tst_SimPty::reopeningDoesNotSpin()
{
    SimProcess sim;
    // Instant: the answer is on the line by the time the state counts it.
    QVERIFY2(sim.start({QStringLiteral("--line-time"), QStringLiteral("off")}), qPrintable(sim.error()));
    for (int i = 1; i <= 5; ++i) {
        HostPort host(sim.device());
        QVERIFY(host.write(QByteArray("\x04\x01P") + char('0' + i) + '\x17'));
        QCOMPARE(host.read(1, 2000), QByteArray("\x06"));
    }
    // An answer sent while the port is closed is lost when it is opened again.
    // The state file is written after the answer goes out, so the last ACK can
    // arrive before the count that includes it: read the count only once the
    // state shows the last command.
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["cursor"].toObject()["col"].toInt() == 5; }));
    const int sentBefore = sim.state()["txBytes"].toInt();
    {
        HostPort host(sim.device());
        host.write(QByteArray("\x04\x01V\x17"));
    }
    // The simulator writes its answer to the line before it records it.
    QVERIFY(sim.waitForState([sentBefore](const QJsonObject &s) { return s["txBytes"].toInt() > sentBefore; }));
    {
        HostPort host(sim.device());
        QCOMPARE(host.read(1, 200), QByteArray());
    }
    const double before = sim.cpuSeconds();
    QThread::msleep(1000);
    const double used = sim.cpuSeconds() - before;
    QVERIFY2(used >= 0 && used < 0.1, qPrintable(QString::number(used)));
}

// 4 characters of query and 5 of answer at 1200 baud, 10 bits each, take at
// least 75 ms on a real line; the instant line answers well inside that.
void tst_SimPty::versionExchangeTakesLineTime_data()
{
    QTest::addColumn<QString>("lineTime");
    QTest::addColumn<bool>("timed");
    QTest::newRow("timed") << "on" << true;
    QTest::newRow("--line-time off") << "off" << false;
}

void tst_SimPty::versionExchangeTakesLineTime()
{
    QFETCH(QString, lineTime);
    QFETCH(bool, timed);
    constexpr qint64 kNineCharacters = 9 * 10 * 1000 / 1200; // 75 ms
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--baud"), QStringLiteral("1200"), QStringLiteral("--line-time"), lineTime}),
             qPrintable(sim.error()));
    HostPort host(sim.device(), B1200);
    QElapsedTimer t;
    t.start();
    QVERIFY(host.write(QByteArray("\x04\x01V\x17")));
    QCOMPARE(host.read(5, 2000), QByteArray("?1.05"));
    const qint64 took = t.elapsed();
    if (timed)
        QVERIFY2(took >= kNineCharacters, qPrintable(QString::number(took)));
    else
        QVERIFY2(took < kNineCharacters, qPrintable(QString::number(took)));
}

void tst_SimPty::hangupFault()
{
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--fault"), QStringLiteral("hangup-after=3")}), qPrintable(sim.error()));
    HostPort host(sim.device());
    QVERIFY(host.write("ABCDE"));
    QVERIFY(sim.waitForExit(3000));
    QCOMPARE(sim.exitCode(), 3);
    QVERIFY(!QFileInfo(sim.linkPath()).isSymLink());
    QCOMPARE(sim.state()["rxBytes"].toInt(), 3);
    QCOMPARE(sim.state()["lines"].toArray()[0].toString().left(4), QStringLiteral("ABC "));
}

// An independent sender: lrzsz's sx, in each block check and block size.
void tst_SimPty::sxIntoLoader_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("sxOptions");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("check");
    QTest::newRow("crc") << "crc" << QStringList() << 128 * 24 << "crc";
    QTest::newRow("checksum") << "checksum" << QStringList() << 128 * 24 << "checksum";
    QTest::newRow("crc, 1k blocks") << "crc" << QStringList {"-k"} << 1024 * 3 << "crc";
    QTest::newRow("auto, odd size") << "auto" << QStringList() << 1000 << "crc";
}

void tst_SimPty::sxIntoLoader()
{
    QFETCH(QString, start);
    QFETCH(QStringList, sxOptions);
    QFETCH(int, size);
    QFETCH(QString, check);
    if (QStandardPaths::findExecutable(QStringLiteral("sx")).isEmpty())
        QSKIP("lrzsz is not installed (scripts/bootstrap.sh installs it)");

    SimProcess sim;
    const QString image = sim.path(QStringLiteral("image.bin"));
    QVERIFY2(sim.start({QStringLiteral("--firmware-out"), image, QStringLiteral("--xmodem-start"), start}),
             qPrintable(sim.error()));
    QByteArray file(size, '\0');
    QRandomGenerator rng(size);
    for (char &c : file)
        c = char(rng.bounded(256));
    const QString filePath = sim.path(QStringLiteral("firmware.bin"));
    {
        QFile f(filePath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    {
        HostPort host(sim.device());
        QVERIFY(host.write("\x1bLoad"));
        QCOMPARE(host.read(1, 2000), QByteArray(">"));
        QVERIFY(host.write("XA\r"));
        QCOMPARE(host.read(1, 2000), QByteArray(">"));
        QVERIFY(host.write("PX\r\n"));
    }
    QProcess sx;
    sx.setStandardInputFile(sim.device());
    sx.setStandardOutputFile(sim.device(), QIODevice::Append);
    sx.start(QStringLiteral("sx"), sxOptions + QStringList {QStringLiteral("-q"), filePath});
    QVERIFY(sx.waitForFinished(30000));
    QCOMPARE(sx.exitCode(), 0);
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["loader"].toObject()["images"].toInt() == 1; }));
    const QJsonObject loader = sim.state()["loader"].toObject();
    QCOMPARE(loader["check"].toString(), check);
    QFile got(image);
    QVERIFY(got.open(QIODevice::ReadOnly));
    // XModem fills the last block with SUB bytes; the file itself arrives byte for byte.
    const QByteArray received = got.readAll();
    QCOMPARE(received.left(size), file);
    QCOMPARE(received.mid(size), QByteArray(received.size() - size, '\x1a'));
}

QTEST_GUILESS_MAIN(tst_SimPty)
#include "tst_simpty.moc"
