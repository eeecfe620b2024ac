// kdxctl through ser2net (started here, on 127.0.0.1) to kdx-sim's
// pseudo-terminal: every command over rfc2217:// and tcp://, several commands in
// one run over one kept connection, the line rate reaching the far side, a firmware image full of 0xFF bytes, a server that
// goes away in the middle of a command, and a port nobody serves.

#include "Ser2NetProcess.h"
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <csignal>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

using Accepter = Ser2NetProcess::Accepter;

struct Step
{
    QStringList args;
    int exitCode = 0;
    QString out; // checked when not empty
    QStringList options;
};
using Steps = QList<Step>;

Step ok(const QStringList &args, const QString &out = QStringLiteral("OK"))
{
    return Step {args, 0, out, {}};
}

Step fails(const QStringList &args, int exitCode)
{
    return Step {args, exitCode, QString(), {}};
}

// A raw TCP server on 127.0.0.1 that takes every connection and ends it at
// once, with a close or with a reset, as a server that turns clients away.
class Doorman
{
public:
    explicit Doorman(bool reset)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_fd, 8) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this, reset] {
            // "At once" even on a busy machine: ahead of the client in the queue.
            ::setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), -15);
            while (!m_stop) {
                pollfd p {m_fd, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0)
                    continue;
                const int c = ::accept(m_fd, nullptr, nullptr);
                if (c < 0)
                    continue;
                const linger now {1, 0};
                if (reset)
                    ::setsockopt(c, SOL_SOCKET, SO_LINGER, &now, sizeof now);
                ::close(c);
            }
        });
    }
    ~Doorman()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(m_port); }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

} // namespace

Q_DECLARE_METATYPE(Step)

class tst_ser2net : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void commandsInOneRun();
    void firmware_data();
    void firmware();
    void serverStops_data();
    void serverStops();
    void nobodyListens_data();
    void nobodyListens();
    void turnedAway_data();
    void turnedAway();
    void secondSignalInFirmware();
    void portMapEntry();

private:
    // kdx-sim and ser2net in front of it.
    bool startBoth(SimProcess &sim, Ser2NetProcess &server, Accepter accepter, const QStringList &simArgs = {});
};

void tst_ser2net::initTestCase()
{
    if (!Ser2NetProcess::available())
        QSKIP("ser2net is not installed (scripts/bootstrap.sh installs it)");
    if (!SimProcess::built() || !QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdx-sim and kdxctl are not built");
}

bool tst_ser2net::startBoth(SimProcess &sim, Ser2NetProcess &server, Accepter accepter, const QStringList &simArgs)
{
    if (!sim.start(simArgs)) {
        qWarning("kdx-sim: %s", qPrintable(sim.error()));
        return false;
    }
    if (!server.start(sim.device(), accepter)) {
        qWarning("%s", qPrintable(server.error()));
        return false;
    }
    return true;
}

void tst_ser2net::commands_data()
{
    QTest::addColumn<int>("accepter");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("checks"); // "path=value" of the simulator's state

    const QString lit(20, QChar(0x2588));
    const struct
    {
        const char *name;
        Steps steps;
        QStringList checks;
    } rows[] = {
        {"intl and send", {ok({"intl", "32"}), ok({"send", "[x]"})},
         {"international/code=50", "lines/0=ÄxÜ" + QString(17, QLatin1Char(' '))}},
        {"position", {ok({"position", "21"})}, {"cursor/row=2", "cursor/col=1"}},
        {"save", {ok({"send", "One"}), ok({"save", "1"})}, {"layers/0/saved=true"}},
        {"clear", {ok({"send", "ABCDE"}), ok({"clear", "2", "4"})}, {"lines/0=A   E" + QString(15, QLatin1Char(' '))}},
        {"reboot-mode", {ok({"reboot-mode", "1"})}, {"powerUp=running"}},
        {"demo", {ok({"send", "Demo"}), ok({"save", "1"}), ok({"demo", "0", "2"})},
         {"demo/running=true", "demo/modes/0=blinking"}},
        {"switch", {ok({"switch", "epson"})}, {"commandSet=epson"}},
        {"printer", {ok({"printer", "on"}), ok({"send", "PRN"}), ok({"printer", "off"})},
         {"aux/tail=PRN", "printer=false"}},
        {"light", {ok({"light", "40"})}, {"lines/0=" + lit, "lines/1=" + lit}},
        {"version", {ok({"version"}, "?1.05")}, {}},
        {"get-message", {ok({"send", "Hi there"}), ok({"get-message"}, "Hi there")}, {}},
        {"send-byte 255", {ok({"send-byte", "255"}), ok({"send-byte", "65"})}, {"codes/0/0=255", "codes/0/1=65"}},
        {"send-bytes", {ok({"send-bytes", "/4/1/80/51/23"})}, {"cursor/col=3"}},
        {"no display answer", {fails({"send-bytes", "/72/255/13"}, 4)}, {"codes/0/1=255"}},
    };
    for (const auto &row : rows) {
        QTest::addRow("rfc2217: %s", row.name) << int(Accepter::Rfc2217) << row.steps << row.checks;
        QTest::addRow("tcp: %s", row.name) << int(Accepter::Raw) << row.steps << row.checks;
    }
    // The rate reaches the far UART: after the display has moved to 9600, the
    // next command at 19200 goes unanswered and one at 9600 works.
    Step at9600 = ok({"position", "3"});
    at9600.options = QStringList {"--baud", "9600"};
    QTest::newRow("rfc2217: set-baud 9600")
        << int(Accepter::Rfc2217)
        << Steps {ok({"set-baud", "9600", "N,8,1"},
                     QStringLiteral("The display now uses 9600 N,8,1; reach it with --baud 9600 --parity N,8,1.")),
                  fails({"position", "3"}, 4), at9600}
        << QStringList {"baud=9600", "hostBaud=9600", "cursor/col=3"};
    // find tries rates only where they reach the far UART.
    QTest::newRow("rfc2217: find") << int(Accepter::Rfc2217) << Steps {ok({"find"}, QString())}
                                   << QStringList {"baud=19200"};
    QTest::newRow("tcp: find has nothing to try") << int(Accepter::Raw) << Steps {fails({"find"}, 64)}
                                                  << QStringList {"rxBytes=0"};
}

void tst_ser2net::commands()
{
    QFETCH(int, accepter);
    QFETCH(Steps, steps);
    QFETCH(QStringList, checks);
    SimProcess sim;
    Ser2NetProcess server;
    QVERIFY(startBoth(sim, server, Accepter(accepter)));
    for (const Step &step : steps) {
        const SimProcess::Result r = sim.kdxctlOn(server.url(), step.options + step.args);
        const QString what = step.args.join(QLatin1Char(' ')) + QStringLiteral(": ") + r.out + QLatin1Char('|') + r.err;
        QVERIFY2(r.exitCode == step.exitCode, qPrintable(what));
        if (!step.out.isEmpty())
            QVERIFY2(r.out == step.out, qPrintable(what));
    }
    for (const QString &check : checks) {
        const QString path = check.section(QLatin1Char('='), 0, 0);
        const QString want = check.section(QLatin1Char('='), 1);
        const bool holds = sim.waitForState([&](const QJsonObject &s) { return SimProcess::valueAt(s, path) == want; }, 2000);
        QVERIFY2(holds, qPrintable(check + QStringLiteral(" (state: ") + SimProcess::valueAt(sim.state(), path) + QLatin1Char(')')));
    }
}

void tst_ser2net::commandsInOneRun()
{
    // One process, one command after the other, as a script runs them: each
    // open takes up the connection the last close kept (tst_netport counts the
    // connections), has the settings confirmed and the input purged again, and
    // a real server answers all of it; a change of rate still reaches the line.
    SimProcess sim;
    Ser2NetProcess server;
    QVERIFY(startBoth(sim, server, Accepter::Rfc2217));
    const QString file = sim.path(QStringLiteral("commands.txt"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("send One\nposition 21\nversion\nsend-byte 65\nset-baud 9600 N,8,1\n");
    }
    const SimProcess::Result r = sim.kdxctlOn(server.url(), {"run", file});
    // The last line is answered at the new rate, which reads as "Get Nack";
    // the version read at 9600 through the server then confirms the change.
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + QLatin1Char('|') + r.err));
    QVERIFY2(r.out.contains(QStringLiteral("?1.05")), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("The display now uses 9600 N,8,1")), qPrintable(r.out));
    QVERIFY(sim.waitForState([](const QJsonObject &s) {
        return SimProcess::valueAt(s, QStringLiteral("cursor/row")) == QLatin1String("2")
            && SimProcess::valueAt(s, QStringLiteral("codes/1/0")) == QLatin1String("65")
            && SimProcess::valueAt(s, QStringLiteral("baud")) == QLatin1String("9600");
    }));
}

void tst_ser2net::firmware_data()
{
    QTest::addColumn<int>("accepter");
    QTest::addColumn<int>("size");
    // A whole 64 KiB image through Telnet, where every 0xFF travels doubled;
    // a shorter one through the raw port.
    QTest::newRow("rfc2217: 64 KiB") << int(Accepter::Rfc2217) << 64 * 1024;
    QTest::newRow("tcp: 2 KiB") << int(Accepter::Raw) << 2 * 1024;
}

void tst_ser2net::firmware()
{
    QFETCH(int, accepter);
    QFETCH(int, size);
    SimProcess sim;
    Ser2NetProcess server;
    const QString received = sim.path(QStringLiteral("received.bin"));
    QVERIFY(startBoth(sim, server, Accepter(accepter), {"--firmware-out", received}));
    QByteArray image(size, '\xff');
    QRandomGenerator rng(7);
    // Random bytes with runs of 0xFF, and whole blocks of it.
    for (int i = 0; i < size / 2; ++i)
        image[i] = (i % 7 == 0 || i % 128 < 3) ? '\xff' : char(rng.bounded(256));
    QVERIFY(image.count('\xff') > size / 2);
    const QString file = sim.path(QStringLiteral("image.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    const SimProcess::Result r = sim.kdxctlOn(server.url(), {"firmware", file, "--crc"}, 150000);
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + QLatin1Char('|') + r.err));
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["restarts"].toInt() == 1; }));
    QFile got(received);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), image);
}

void tst_ser2net::serverStops_data()
{
    QTest::addColumn<int>("accepter");
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("stopAfterMs");
    QTest::addColumn<int>("waitMs"); // the command's own longest wait

    // GetMessage waits 16 polls of 200 ms for a display that stays silent.
    const QStringList silent {"--fault", "silent"};
    for (auto a : {Accepter::Rfc2217, Accepter::Raw}) {
        const char *kind = a == Accepter::Rfc2217 ? "rfc2217" : "tcp";
        QTest::addRow("%s: get-message", kind) << int(a) << silent << QStringList {"get-message"} << 600 << 3200;
    }
    // In the middle of the blocks of a firmware update; a block waits at most
    // about 10 s for its answer.
    QTest::newRow("rfc2217: firmware") << int(Accepter::Rfc2217) << QStringList() << QStringList {"firmware", "IMAGE"}
                                       << 4000 << 10000;
}

void tst_ser2net::serverStops()
{
    QFETCH(int, accepter);
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, command);
    QFETCH(int, stopAfterMs);
    QFETCH(int, waitMs);
    SimProcess sim;
    Ser2NetProcess server;
    QVERIFY(startBoth(sim, server, Accepter(accepter), simArgs));
    const QString image = sim.path(QStringLiteral("image.bin"));
    {
        QFile f(image);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(16 * 1024, 'x'));
    }
    command.replaceInStrings(QStringLiteral("IMAGE"), image);

    QProcess p;
    p.setProcessEnvironment(sim.environment());
    QElapsedTimer t;
    t.start();
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), QStringList {QStringLiteral("--port"), server.url()} + command);
    QVERIFY(!p.waitForFinished(stopAfterMs));
    QVERIFY(server.stop());
    const qint64 stopped = t.elapsed();
    QVERIFY(p.waitForFinished(waitMs + 1000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 3, qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("Device is not connected.")) || err.contains(QStringLiteral("lost")));
    // Noticed at the next look at the line, well within the command's own wait + 1 s.
    QVERIFY2(t.elapsed() - stopped < 1000, qPrintable(QString::number(t.elapsed() - stopped)));
}

void tst_ser2net::nobodyListens_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("rfc2217") << "rfc2217";
    QTest::newRow("tcp") << "tcp";
}

void tst_ser2net::nobodyListens()
{
    QFETCH(QString, scheme);
    SimProcess sim;
    const QString url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(Ser2NetProcess::freePort());
    QElapsedTimer t;
    t.start();
    const SimProcess::Result r = sim.kdxctlOn(url, {"version"});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.err, QStringLiteral("Commport open failed.\n%1: connection refused").arg(url));
    QVERIFY(t.elapsed() < 3000);
}

// A raw TCP server that turns the client away: nothing reached a display, so
// no command that awaits no answer may say OK, however the timing falls.
void tst_ser2net::turnedAway_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("ser2net, port in use") << "in use";
    QTest::newRow("closes every connection at once") << "close";
    QTest::newRow("resets every connection at once") << "reset";
}

void tst_ser2net::turnedAway()
{
    QFETCH(QString, server);
    SimProcess sim;
    Ser2NetProcess ser2net;
    std::unique_ptr<Doorman> doorman;
    QTcpSocket first;
    QString url;
    if (server == QLatin1String("in use")) {
        QVERIFY(startBoth(sim, ser2net, Accepter::Raw));
        // The first client has the port; ser2net has opened it once the first
        // byte reaches the display.
        first.connectToHost(QStringLiteral("127.0.0.1"), ser2net.port());
        QVERIFY(first.waitForConnected(3000));
        first.write("\x04\x01P1\x17");
        QVERIFY(first.waitForReadyRead(3000));
        url = ser2net.url();
    } else {
        doorman = std::make_unique<Doorman>(server == QLatin1String("reset"));
        url = doorman->url();
    }
    // The state file follows the answer: wait until it counts the first client's frame.
    QVERIFY(doorman || sim.waitForState([](const QJsonObject &s) { return s["rxBytes"].toInt() == 5; }));
    const int rxBefore = sim.state()["rxBytes"].toInt();
    const QStringList commands[] = {{"send", "Lost"}, {"send-byte", "65"}, {"light", "40"}, {"epson", "clear"}, {"send", "Again"}};
    for (const QStringList &command : commands) {
        const SimProcess::Result r = sim.kdxctlOn(url, command);
        QVERIFY2(r.exitCode == 2 || r.exitCode == 3, qPrintable(command.join(' ') + QStringLiteral(": exit %1 %2|%3").arg(r.exitCode).arg(r.out, r.err)));
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
    }
    if (server == QLatin1String("in use"))
        QCOMPARE(sim.state()["rxBytes"].toInt(), rxBefore);
}

// A second Ctrl+C ends an update at once; the display is still told to
// cancel and to leave its loader, through the server.
void tst_ser2net::secondSignalInFirmware()
{
    SimProcess sim;
    Ser2NetProcess server;
    QVERIFY(startBoth(sim, server, Accepter::Rfc2217));
    const QString image = sim.path(QStringLiteral("image.bin"));
    {
        QFile f(image);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(64 * 1024, 'x'));
    }
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), {"--port", server.url(), "firmware", image, "--crc"});
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["loader"].toObject()["blocks"].toInt() >= 2; }, 20000));
    ::kill(pid_t(p.processId()), SIGINT);
    QTest::qWait(30);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    QVERIFY2(p.exitCode() > 128, qPrintable(p.readAllStandardError()));
    QVERIFY2(sim.waitForState([](const QJsonObject &s) {
        return s["loader"].toObject()["state"].toString() == QLatin1String("off") && s["restarts"].toInt() == 1;
    }), qPrintable(QJsonDocument(sim.state()["loader"].toObject()).toJson() + sim.state()["restarts"].toVariant().toString()));
}

// The windows reach a network port by its COM number: kdxctl manages the entry.
void tst_ser2net::portMapEntry()
{
    SimProcess sim;
    Ser2NetProcess server;
    QVERIFY(startBoth(sim, server, Accepter::Rfc2217));
    const QStringList steps[] = {
        {"ports", "add", "COM9", server.url()},
        {"ports"},
        {"--port", "COM9", "version"},
        {"ports", "remove", "COM9"},
        {"--port", "COM9", "version"},
    };
    QList<SimProcess::Result> r;
    for (const QStringList &args : steps)
        r.append(sim.kdxctlOn(args.first() == QLatin1String("--port") ? args[1] : sim.comName(),
                              args.first() == QLatin1String("--port") ? args.mid(2) : args));
    QCOMPARE(r[0].exitCode, 0);
    QVERIFY2(r[1].out.split(QLatin1Char('\n')).contains(QStringLiteral("COM9 ") + server.url()), qPrintable(r[1].out));
    QCOMPARE(r[2].out, QStringLiteral("?1.05"));
    QCOMPARE(r[3].exitCode, 0);
    QCOMPARE(r[4].exitCode, 2);
}

QTEST_GUILESS_MAIN(tst_ser2net)
#include "tst_ser2net.moc"
