// kdxctl on many simulated displays at once: one kdxctl per port, the summary,
// the exit status, firmware into every display, Ctrl+C, and run files.

#include "SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Call
{
    int exitCode = -1;
    QString out;
    QString err;
};

// kdxctl with the simulator's port map, standard input given.
Call kdxctl(const SimProcess &sim, const QStringList &args, const QByteArray &input = QByteArray(),
            int timeoutMs = 30000)
{
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), args);
    p.write(input);
    p.closeWriteChannel();
    Call c;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        c.err = QStringLiteral("kdxctl did not finish");
        return c;
    }
    c.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    c.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    c.err = QString::fromLocal8Bit(p.readAllStandardError());
    return c;
}

QString said(const Call &c)
{
    return QStringLiteral("exit %1\n%2\n%3").arg(c.exitCode).arg(c.out, c.err);
}

int cursorCol(const QJsonObject &s)
{
    return s["cursor"].toObject()["col"].toInt();
}

// The processes pid has started and not yet reaped.
int childrenOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray pids = f.readAll().simplified();
    return pids.isEmpty() ? 0 : int(pids.count(' ')) + 1;
}

QByteArray image(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131) ^ (i >> 7));
    return data;
}

} // namespace

class tst_KdxctlMulti : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyDisplayChanges();
    void oneSilentDisplay_data();
    void oneSilentDisplay();
    void firmwareIntoFour();
    void ctrlCCancelsEveryLoader();
    void allAsksForTheVersionFirst();
    void runFile_data();
    void runFile();
    void runFileOnTwoPorts();
    void jobsBoundTheChildren();
    void ctrlCStartsNoMore();
    void portFile_data();
    void portFile();
    void jsonLinesAndLogs();
};

void tst_KdxctlMulti::initTestCase()
{
    if (!SimProcess::built() || !QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdx-sim or kdxctl is not built");
}

void tst_KdxctlMulti::everyDisplayChanges()
{
    SimProcess sim;
    QVERIFY2(sim.startMany(4, {}), qPrintable(sim.error()));
    const Call c = kdxctl(sim, {"--port", "COM1-COM4", "intl", "32"});
    QVERIFY2(c.exitCode == 0, qPrintable(said(c)));
    for (const QString &com : sim.comNames()) {
        QVERIFY2(c.out.contains(com + QStringLiteral(": OK\n")), qPrintable(said(c)));
        QCOMPARE(sim.state(com)["international"].toObject()["code"].toInt(), 0x32);
    }
    QVERIFY2(c.out.endsWith(QLatin1String("all 4 ports succeeded\n")), qPrintable(said(c)));
}

// Three displays that answer and one that does not, in the middle of the list.
void tst_KdxctlMulti::oneSilentDisplay_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("table") << false;
    QTest::newRow("json") << true;
}

void tst_KdxctlMulti::oneSilentDisplay()
{
    QFETCH(bool, json);
    SimProcess good;
    QVERIFY2(good.startMany(3, {"--com", "1"}), qPrintable(good.error()));
    SimProcess silent(good.portsDir());
    QVERIFY2(silent.start({"--com", "4", "--fault", "silent"}), qPrintable(silent.error()));

    QStringList args {"--port", "COM1,COM4,COM2,COM3", "position", "5"};
    if (json)
        args.prepend(QStringLiteral("--json"));
    const Call c = kdxctl(good, args);
    QVERIFY2(c.exitCode == 4, qPrintable(said(c)));
    for (const QString &com : good.comNames())
        QCOMPARE(cursorCol(good.state(com)), 5);

    if (!json) {
        QVERIFY2(c.out.contains(QRegularExpression(QStringLiteral("\\nCOM4 +4 .*Device does not respond\\."))),
                 qPrintable(said(c)));
        QVERIFY2(c.out.endsWith(QLatin1String("1 of 4 ports failed: COM4\n")), qPrintable(said(c)));
        QVERIFY2(c.err.contains(QLatin1String("COM4: Device does not respond.")), qPrintable(said(c)));
        return;
    }
    // Standard output holds the summary alone.
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(c.out.toUtf8(), &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(said(c)));
    QCOMPARE(doc["status"].toInt(), 4);
    QCOMPARE(doc["failed"].toArray(), QJsonArray {"COM4"});
    QStringList order;
    for (const QJsonValue &v : doc["ports"].toArray()) {
        const QJsonObject port = v.toObject();
        order.append(port["port"].toString());
        QCOMPARE(port["result"].toInt(), port["port"] == QLatin1String("COM4") ? 4 : 0);
        QVERIFY(port["seconds"].toDouble() > 0);
    }
    QCOMPARE(order, QStringList({"COM1", "COM4", "COM2", "COM3"}));
    QVERIFY2(c.err.contains(QLatin1String("COM2: OK")), qPrintable(said(c)));
}

void tst_KdxctlMulti::firmwareIntoFour()
{
    SimProcess sim;
    QVERIFY2(sim.startMany(4, {"--firmware-out", sim.path(QStringLiteral("got-%n.bin"))}), qPrintable(sim.error()));
    const QByteArray data = image(16 * 1024);
    const QString file = sim.path(QStringLiteral("firmware.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    const Call c = kdxctl(sim, {"--port", "COM1-COM4", "firmware", file, "--crc"}, QByteArray(), 90000);
    QVERIFY2(c.exitCode == 0, qPrintable(said(c)));
    for (const QString &com : sim.comNames()) {
        QFile got(sim.path(QStringLiteral("got-%1.bin").arg(com.mid(3))));
        QVERIFY2(got.open(QIODevice::ReadOnly), qPrintable(com));
        QVERIFY2(got.readAll() == data, qPrintable(com));
        // Off a terminal the progress comes as plain lines.
        QVERIFY2(c.err.contains(com + QStringLiteral(": firmware: ")), qPrintable(said(c)));
    }
}

void tst_KdxctlMulti::ctrlCCancelsEveryLoader()
{
    SimProcess sim;
    QVERIFY2(sim.startMany(4, {}), qPrintable(sim.error()));
    const QString file = sim.path(QStringLiteral("firmware.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image(64 * 1024));
    }
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), {"--port", "COM1-COM4", "firmware", file, "--crc"});
    auto receiving = [](const QJsonObject &s) { return s["loader"].toObject()["blocks"].toInt() >= 2; };
    for (const QString &com : sim.comNames())
        QVERIFY2(sim.waitForState(com, receiving, 20000), qPrintable(com));
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    // Each port's kdxctl stops as a single one does, with 128 + the signal.
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 128 + SIGINT, qPrintable(out + err));
    QVERIFY2(out.contains(QLatin1String("4 of 4 ports failed")), qPrintable(out + err));
    for (const QString &com : sim.comNames()) {
        // CAN CAN ends the receive, ESC "R" CR leaves the loader.
        QVERIFY2(sim.waitForState(com, [](const QJsonObject &s) {
            return s["loader"].toObject()["failure"].toString() == QLatin1String("cancelled by the sender")
                && s["restarts"].toInt() == 1;
        }), qPrintable(com + QJsonDocument(sim.state(com)["loader"].toObject()).toJson()));
        QCOMPARE(sim.state(com)["loader"].toObject()["images"].toInt(), 0);
    }
}

// "all" is the one list nobody wrote out: beside a display the port map holds
// a device that is not one (a modem, a scale), which gets the version query and
// nothing else, and shows as a failure. The system has one more device that
// nobody gave a number: it is not added and hears nothing. Both are
// pseudo-terminals of the test's own, the system's list is just them.
void tst_KdxctlMulti::allAsksForTheVersionFirst()
{
    SimProcess sim;
    QVERIFY2(sim.start({"--com", "1", "--firmware-out", sim.path(QStringLiteral("got.bin"))}), qPrintable(sim.error()));
    int masters[2];
    QStringList devices;
    for (int &master : masters) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        devices.append(QString::fromLocal8Bit(::ptsname(master)));
    }
    auto closeMasters = qScopeGuard([&masters] {
        for (int master : masters)
            ::close(master);
    });
    QVERIFY(QFile::link(devices[0], sim.portsDir() + QStringLiteral("/COM2")));
    sim.setSystemDevices(devices);
    const QByteArray data = image(2048);
    const QString file = sim.path(QStringLiteral("firmware.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    const Call c = kdxctl(sim, {"--port", "all", "firmware", file, "--crc"}, QByteArray(), 60000);
    QByteArray heard[2];
    for (int i = 0; i < 2; ++i) {
        char buf[4096];
        for (ssize_t n; (n = ::read(masters[i], buf, sizeof buf)) > 0;)
            heard[i].append(buf, int(n));
    }
    QVERIFY2(c.exitCode == 4, qPrintable(said(c)));
    QVERIFY2(c.out.contains(QRegularExpression(QStringLiteral("\\nCOM2 +4 .*no display answered"))), qPrintable(said(c)));
    QCOMPARE(heard[0].toHex(' '), QByteArray("\x04\x01V\x17").toHex(' '));
    QCOMPARE(heard[1].toHex(' '), QByteArray());
    QFile got(sim.path(QStringLiteral("got.bin")));
    QVERIFY2(got.open(QIODevice::ReadOnly) && got.readAll().startsWith(data), qPrintable(said(c)));
    QCOMPARE(QDir(sim.portsDir()).entryList(QDir::System | QDir::Files), QStringList({"COM1", "COM2"}));
}

void tst_KdxctlMulti::runFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");   // a part of standard error
    QTest::addColumn<QString>("line0"); // the start of the display's first line
    QTest::addColumn<int>("col");       // where the cursor ends, -1 anywhere

    const QByteArray text = QStringLiteral("# set-up of one display\n"
                                           "intl 32\n"
                                           "\n"
                                           "send \"[x] y\"   # ÄxÜ y\n"
                                           "send 'z'\n").toUtf8();
    QTest::newRow("quoting and comments") << text << QStringList() << 0 << QString() << "ÄxÜ yz " << 7;
    QTest::newRow("stops at the failing line")
        << text + "position 41\nposition 3\n" << QStringList() << 6 << "line 6 (position 41): Get Nack" << "ÄxÜ yz " << 7;
    QTest::newRow("--keep-going runs the rest")
        << text + "position 41\nposition 3\n" << QStringList {"--keep-going"} << 6 << "line 6 (position 41): Get Nack"
        << "ÄxÜ yz " << 3;
    // The display at 19200 does not understand 9600, and the run stops there.
    QTest::newRow("options on a line") << QByteArray("--baud 9600 position 3\nposition 4\n") << QStringList() << 4
                                       << "line 1 (--baud 9600 position 3): Device does not respond." << "" << -1;
    QTest::newRow("a mistake anywhere runs nothing") << text + "position three\n" << QStringList() << 64
                                                     << "line 6: position takes a whole number" << "  " << 1;
    QTest::newRow("an unclosed quote runs nothing") << QByteArray("send \"abc\nintl 32\n") << QStringList() << 64
                                                    << "line 1: a \" without its closing \"" << "  " << 1;
    QTest::newRow("--port is the call's") << QByteArray("--port COM2 intl 32\n") << QStringList() << 64
                                          << "line 1: --port is given for the whole run" << "  " << 1;
    // Every value is checked as the display takes it before line 1 sends a byte.
    const struct
    {
        const char *name;
        QByteArray line2;
        const char *err;
    } refused[] = {
        {"a layer out of range", "save 300\n", "line 2: save 300: out of the range the display takes"},
        {"a national set out of range", "epson national 15\n", "line 2: epson national takes a number from 0 to 14"},
        {"text the display cannot show", "send \"\xce\xa9\"\n", "line 2: send: the display has no character for"},
        {"bytes that are not UTF-8", "send \"caf\xe9\"\n", "line 2: the text is not UTF-8"},
    };
    for (const auto &r : refused)
        QTest::addRow("%s on line 2 runs nothing", r.name)
            << QByteArray("intl 32\n") + r.line2 << QStringList() << 64 << r.err << "  " << 1;
}

void tst_KdxctlMulti::runFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, line0);
    QFETCH(int, col);

    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    const QString path = sim.path(QStringLiteral("setup.kdx"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    const Call c = kdxctl(sim, QStringList {"--port", sim.comName()} + options + QStringList {"run", path});
    QVERIFY2(c.exitCode == exitCode, qPrintable(said(c)));
    QVERIFY2(c.err.contains(err), qPrintable(said(c)));
    QVERIFY2(sim.waitForState([&](const QJsonObject &s) {
        return s["lines"].toArray()[0].toString().startsWith(line0) && (col < 0 || cursorCol(s) == col);
    }), qPrintable(said(c) + QJsonDocument(sim.state()).toJson()));
    if (exitCode == 64)
        QCOMPARE(sim.state()["rxBytes"].toInt(), 0);
}

// One file configures a rack: read once from standard input, run on each port.
void tst_KdxctlMulti::runFileOnTwoPorts()
{
    SimProcess sim;
    QVERIFY2(sim.startMany(2, {}), qPrintable(sim.error()));
    const Call c = kdxctl(sim, {"--port", "COM1,COM2", "run", "-"}, "intl 3A\nsend '[\\]'\nversion\n");
    QVERIFY2(c.exitCode == 0, qPrintable(said(c)));
    for (const QString &com : sim.comNames()) {
        QVERIFY(sim.state(com)["lines"].toArray()[0].toString().startsWith(QStringLiteral("ÆØÅ")));
        QVERIFY2(c.out.contains(QRegularExpression(com + QStringLiteral(" +0 .* \\?1\\.05\\n"))), qPrintable(said(c)));
    }
}

// Twelve slow displays, three at a time: never more, and the run keeps three
// busy until the list runs out; each port's JSON line comes as it ends, while
// others still run.
void tst_KdxctlMulti::jobsBoundTheChildren()
{
    SimProcess sim;
    QVERIFY2(sim.startMany(12, {"--fault", "slow=300"}), qPrintable(sim.error()));
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")),
            {"--jobs", "3", "--json-lines", "--port", "COM1-COM12", "position", "5"});
    QVERIFY(p.waitForStarted());
    int most = 0;
    bool lineWhileRunning = false;
    QDeadlineTimer deadline(60000);
    while (!p.waitForFinished(5) && !deadline.hasExpired()) {
        const int now = childrenOf(p.processId());
        most = std::max(most, now);
        lineWhileRunning = lineWhileRunning || (p.canReadLine() && now > 0);
    }
    const QString lines = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString out = lines + QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, qPrintable(out));
    QVERIFY2(most >= 2 && most <= 3, qPrintable(QStringLiteral("%1 at once\n").arg(most) + out));
    QVERIFY2(lineWhileRunning && lines.count(QStringLiteral("\"result\":0,")) == 12, qPrintable(out));
    for (const QString &com : sim.comNames())
        QCOMPARE(cursorCol(sim.state(com)), 5);
    QVERIFY2(out.endsWith(QLatin1String("all 12 ports succeeded\n")), qPrintable(out));
}

// Ctrl+C while the first of four ports runs: it stops, the rest never start.
void tst_KdxctlMulti::ctrlCStartsNoMore()
{
    SimProcess sim;
    QVERIFY2(sim.startMany(4, {"--fault", "slow=2000"}), qPrintable(sim.error()));
    QProcess p;
    p.setProcessEnvironment(sim.environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")), {"--jobs", "1", "--port", "COM1-COM4", "position", "5"});
    QVERIFY(sim.waitForState(sim.comNames().first(), [](const QJsonObject &s) { return s["rxBytes"].toInt() > 0; }, 10000));
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 128 + SIGINT, qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral("\\nCOM1 +130 .* stopped by SIGINT\\n"))), qPrintable(out));
    for (const QString &com : sim.comNames().mid(1)) {
        QVERIFY2(out.contains(QRegularExpression(com + QStringLiteral(" +130 .* not started\\n"))), qPrintable(out));
        QCOMPARE(sim.state(com)["rxBytes"].toInt(), 0);
    }
}

// A file of ports: comments, blank lines, a device path beside COM names, and
// the same checks as a list on the command line.
void tst_KdxctlMulti::portFile_data()
{
    QTest::addColumn<QString>("text"); // %1, %2: the devices of COM1 and COM2
    QTest::addColumn<bool>("fromInput");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("changed"); // displays whose cursor moved
    const QString tills = QStringLiteral("# store 12\n\n%1    # till 1, by its device\nCOM2-COM3\n\n# the back office\nCOM4\n");
    QTest::newRow("a file") << tills << false << 0 << QString() << 4;
    QTest::newRow("standard input") << tills << true << 0 << QString() << 4;
    QTest::newRow("a port twice") << "COM1\nCOM2\nCOM3\n%2\n" << false << 64
                                  << "line 4: %2 and COM2 on line 2 are the same port" << 0;
    QTest::newRow("no ports") << "# none\n" << false << 64 << "names no ports" << 0;
}

void tst_KdxctlMulti::portFile()
{
    QFETCH(QString, text);
    QFETCH(bool, fromInput);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(int, changed);
    SimProcess sim;
    QVERIFY2(sim.startMany(4, {}), qPrintable(sim.error()));
    auto withDevices = [&sim](QString t) {
        return t.replace(QLatin1String("%1"), sim.devices().value(0)).replace(QLatin1String("%2"), sim.devices().value(1));
    };
    const QString content = withDevices(text);
    const QString file = sim.path(QStringLiteral("tills.txt"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content.toUtf8());
    }
    const QString port = fromInput ? QStringLiteral("@-") : QLatin1Char('@') + file;
    const Call c = kdxctl(sim, {"--port", port, "position", "5"}, fromInput ? content.toUtf8() : QByteArray());
    QVERIFY2(c.exitCode == exitCode, qPrintable(said(c)));
    QVERIFY2(c.err.contains(withDevices(err)), qPrintable(said(c)));
    int moved = 0;
    for (const QString &com : sim.comNames())
        moved += cursorCol(sim.state(com)) == 5 ? 1 : 0;
    QCOMPARE(moved, changed);
}

// One JSON line per port as it ends, and each port's output in its log; a
// log that is a link is never written through, and its port does not run.
void tst_KdxctlMulti::jsonLinesAndLogs()
{
    SimProcess good;
    QVERIFY2(good.startMany(2, {"--com", "1"}), qPrintable(good.error()));
    SimProcess silent(good.portsDir());
    QVERIFY2(silent.start({"--com", "3", "--fault", "silent"}), qPrintable(silent.error()));
    const QString logs = good.path(QStringLiteral("logs"));
    const QString someoneElses = good.path(QStringLiteral("someone-elses.txt"));
    {
        QFile f(someoneElses);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("theirs\n");
    }
    QVERIFY(QDir().mkpath(logs));
    QVERIFY(QFile::link(someoneElses, QDir(logs).filePath(QStringLiteral("COM2.log"))));

    const Call c = kdxctl(good, {"--json-lines", "--log-dir", logs, "--port", "COM1-COM3", "version"});
    QVERIFY2(c.exitCode == 73, qPrintable(said(c)));
    QStringList lines = c.out.split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString());
    QCOMPARE(lines.size(), 3);
    QMap<QString, QJsonObject> byPort;
    for (const QString &line : lines) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(line));
        byPort.insert(o["port"].toString(), o);
    }
    QCOMPARE(byPort.keys(), QStringList({"COM1", "COM2", "COM3"}));
    QCOMPARE(byPort["COM1"]["result"].toInt(), 0);
    QCOMPARE(byPort["COM1"]["answer"].toString(), QStringLiteral("?1.05"));
    QCOMPARE(byPort["COM2"]["result"].toInt(), 73);
    QVERIFY(byPort["COM2"]["code"].isNull());
    QVERIFY2(byPort["COM2"]["text"].toString().startsWith(QLatin1String("cannot write")), qPrintable(said(c)));
    QCOMPARE(good.state(QStringLiteral("COM2"))["rxBytes"].toInt(), 0);
    QCOMPARE(byPort["COM3"]["result"].toInt(), 4);
    QCOMPARE(byPort["COM3"]["code"].toInt(), -4);
    QVERIFY(!byPort["COM3"].contains(QLatin1String("answer")));
    // The summary is for the people watching.
    QVERIFY2(c.err.contains(QLatin1String("2 of 3 ports failed: COM2, COM3")), qPrintable(said(c)));

    QFile theirs(someoneElses);
    QVERIFY(theirs.open(QIODevice::ReadOnly));
    QCOMPARE(theirs.readAll(), QByteArray("theirs\n"));
    QFile log(QDir(logs).filePath(QStringLiteral("COM3.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(byPort["COM3"]["log"].toString(), log.fileName());
    const QString kept = QString::fromLocal8Bit(log.readAll());
    QVERIFY2(kept.contains(QLatin1String("Device does not respond.")), qPrintable(kept));
    QFile ok(QDir(logs).filePath(QStringLiteral("COM1.log")));
    QVERIFY(ok.open(QIODevice::ReadOnly));
    QVERIFY(ok.readAll().contains("?1.05\n"));
}

QTEST_GUILESS_MAIN(tst_KdxctlMulti)
#include "tst_kdxctl_multi.moc"
