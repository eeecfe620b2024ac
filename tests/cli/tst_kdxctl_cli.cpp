// kdxctl's command line: help, version, and how mistakes are reported, run as
// the program itself with an empty port map so that nothing real is touched.

#include "ProgramLibrary.h"
#include "PtyPeer.h"
#include "SystemDevices.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class tst_kdxctl_cli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answersWithoutAPort_data();
    void answersWithoutAPort();
    void usageMistakes_data();
    void usageMistakes();
    void usageLayout_data();
    void usageLayout();
    void argumentsAfterTheCommandAreItsOwn_data();
    void argumentsAfterTheCommandAreItsOwn();
    void librariesOnlyWhenNeeded_data();
    void librariesOnlyWhenNeeded();
    void portsListsTheSystemsDevices_data();
    void portsListsTheSystemsDevices();
    void portsAsJson();

private:
    Run kdxctl(const QStringList &args, const QString &portsDir = QString());
    QTemporaryDir m_ports;
};

Run tst_kdxctl_cli::kdxctl(const QStringList &args, const QString &portsDir)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KDX_PORTS_DIR"), portsDir.isEmpty() ? m_ports.path() : portsDir);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("KDX_BIN_DIR") + QStringLiteral("/kdxctl"), args);
    if (!p.waitForFinished(20000))
        p.kill();
    return Run {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
}

void tst_kdxctl_cli::initTestCase()
{
    QVERIFY(m_ports.isValid());
    // Every test program, and what it starts, sees no serial device of this machine.
    QVERIFY(qEnvironmentVariableIsSet("KDX_SYSTEM_DEVICES") && qEnvironmentVariableIsEmpty("KDX_SYSTEM_DEVICES"));
}

void tst_kdxctl_cli::answersWithoutAPort_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("outStart");
    const QString usage = QStringLiteral("usage: kdxctl [--port PORT]");
    const QString version = QStringLiteral("kdxctl 1.3.5\n");
    QTest::newRow("--version") << QStringList {"--version"} << version;
    QTest::newRow("--version after options") << QStringList {"--port", "COM9", "--version"} << version;
    QTest::newRow("--version beats a command") << QStringList {"--version", "version"} << version;
    QTest::newRow("-h") << QStringList {"-h"} << usage;
    QTest::newRow("--help") << QStringList {"--help"} << usage;
    QTest::newRow("help") << QStringList {"help"} << usage;
    QTest::newRow("--help after options") << QStringList {"--baud=9600", "--help"} << usage;
    // The port map, with no serial devices (the tests' system has none).
    QTest::newRow("ports") << QStringList {"ports"} << QString();
    QTest::newRow("ports ignores an empty --port") << QStringList {"--port=", "ports"} << QString();
}

void tst_kdxctl_cli::answersWithoutAPort()
{
    QFETCH(QStringList, args);
    QFETCH(QString, outStart);
    const Run r = kdxctl(args);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    QVERIFY2(r.out.startsWith(outStart), qPrintable(r.out));
}

void tst_kdxctl_cli::usageMistakes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem");
    QTest::newRow("option without its value") << QStringList {"--baud"} << "--baud needs a value";
    QTest::newRow("value missing after others") << QStringList {"--baud", "9600", "--port"} << "--port needs a value";
    QTest::newRow("unknown long option") << QStringList {"--speed=3", "version"} << "unknown option --speed";
    QTest::newRow("unknown short option") << QStringList {"-x", "version"} << "unknown option -x";
    QTest::newRow("data bits as name=value") << QStringList {"--databits=9", "version"} << "--databits takes 7 or 8";
    QTest::newRow("every --databits is checked")
        << QStringList {"--databits", "6", "--databits", "8", "version"} << "--databits takes 7 or 8";
    QTest::newRow("empty port") << QStringList {"--port=", "version"} << "--port needs a device path or a COM name";
    QTest::newRow("no command") << QStringList {"--port", "COM2"} << "no command given";
    QTest::newRow("unknown command") << QStringList {"reboot"} << "unknown command reboot";
    QTest::newRow("argument too many") << QStringList {"version", "1"} << "version takes no argument";
    QTest::newRow("ports takes nothing") << QStringList {"ports", "all"}
                                         << "ports takes no argument, or COM<n>, or add COM<n> URL, or remove COM<n>";
    QTest::newRow("word not in the pair") << QStringList {"printer", "yes"} << "printer takes on or off";
    QTest::newRow("negative cell count") << QStringList {"light", "-1"} << "light takes a cell count";
    QTest::newRow("intl beyond 16 bits") << QStringList {"intl", "8000"} << "intl takes a hexadecimal code such as 3A";
    QTest::newRow("spy as no COM name") << QStringList {"spy", "--as", "ttyS0"} << "spy --as takes a COM name, COM1 to COM32767";
    QTest::newRow("spy with another word") << QStringList {"spy", "--fast"} << "spy does not take --fast";
    QTest::newRow("no jobs") << QStringList {"--jobs", "0", "--port", "COM1,COM2", "version"}
                             << "--jobs takes a number from 1 to 1024";
    QTest::newRow("jobs not a number") << QStringList {"--jobs=x", "version"} << "--jobs takes a number from 1 to 1024";
    QTest::newRow("too many jobs") << QStringList {"--jobs", "1025", "version"} << "--jobs takes a number from 1 to 1024";
    QTest::newRow("too many retries") << QStringList {"--retry", "11", "version"} << "--retry takes a number from 0 to 10";
    QTest::newRow("spy screen too tall") << QStringList {"spy", "--rows", "9"} << "spy --rows takes 1 to 8";
    // Found when spy runs, told like the others, with spy's usage line.
    QTest::newRow("spy on all ports") << QStringList {"--port", "all", "spy"}
                                      << "spy watches one port: --port takes a COM name, a device or a network address\n"
                                         "usage: kdxctl spy [--as COM<n>] [--screen] [--rows N] [--cols N] [--mode native|epson|vt100]";
}

void tst_kdxctl_cli::usageMistakes()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    const Run r = kdxctl(args);
    QCOMPARE(r.exitCode, 64);
    QCOMPARE(r.out, QString());
    // The reason first and where the help is last, not the whole help.
    const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() <= 3, qPrintable(r.err));
    QVERIFY2(r.err.startsWith(QStringLiteral("kdxctl: ") + problem + QLatin1Char('\n')), qPrintable(r.err));
    QCOMPARE(lines.last(), QStringLiteral("Try 'kdxctl --help'."));
}

void tst_kdxctl_cli::usageLayout_data()
{
    // Help columns and continuation lines, as scripts and the man page read them.
    QTest::addColumn<QString>("lines");
    QTest::newRow("synopsis") << QStringLiteral(
        "usage: kdxctl [--port PORT] [--baud RATE] [--parity TEXT] [--databits 7|8] [--json] [--jobs MAX] "
        "[--json-lines] [--log-dir DIR] [--retry TIMES] [--keep-going] [--identify] [--raw] [--trace] "
        "[--trace-file FILE] COMMAND [ARG...]\n");
    QTest::newRow("option with a second line") << QStringLiteral(
        "  TEXT   parity, data bits and stop bits: N,8,1 (default), O,7,1, E,7,1, O,8,1, E,8,1;\n"
        "         NONE, ODD and EVEN take 7 or 8 data bits from --databits (default 7)\n"
        "  --json the port list, or a command's summary, as JSON on standard output\n"
        "         (the ports' own lines on standard error)\n"
        "  MAX    on many ports: at most MAX (1 to 1024) at once, the others start\n");
    QTest::newRow("switches after the options with values") << QStringLiteral(
        "  --keep-going\n"
        "         run: go on past a failing line, exit with the first failure\n"
        "  --identify\n"
        "         send the version query first (at --baud and --parity) and nothing more\n"
        "         unless a display answers (\"no display answered\"); always so for the\n"
        "         ports of all\n"
        "  --trace\n"
        "         every exchange on the line, decoded, one line each on standard error\n"
        "  FILE   the same lines appended to FILE (a regular file, never through a link)\n"
        "commands:\n"
        "  ports [COM<n>]           list the port map: \"COM3 /dev/ttyUSB0\" (with --json an array of\n");
    QTest::newRow("command with a second line") << QStringLiteral(
        "  demo LAYER MODE          show the saved demo message; rows of the window's lists from 0:\n"
        "                           LAYER 0 \"Layer 1\" ... 6 \"Layer 1 + 2 + 3\", MODE 0 the first ... 6\n"
        "  switch epson|native      change the display's command set\n");
    QTest::newRow("long synopsis, help below") << QStringLiteral(
        "  firmware FILE [--crc] [--code-type 0|1]\n"
        "                           switch the display into its loader and send FILE over\n");
}

void tst_kdxctl_cli::usageLayout()
{
    QFETCH(QString, lines);
    const Run r = kdxctl({QStringLiteral("--help")});
    QVERIFY2(r.out.contains(lines), qPrintable(r.out));
}

void tst_kdxctl_cli::argumentsAfterTheCommandAreItsOwn_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errStart");
    // The firmware command reads --crc itself: here it still misses its file.
    QTest::newRow("firmware --crc") << QStringList {"firmware", "--crc"} << 64
                                    << "kdxctl: firmware: no firmware file given\nusage: kdxctl firmware FILE";
    // Text that looks like an option is sent; the port map is empty, so the
    // port does not open.
    QTest::newRow("send --help") << QStringList {"--port=COM9", "send", "--help"} << 2
                                 << "Commport open failed.\nCOM9 is not in the port map";
    QTest::newRow("position -1") << QStringList {"--port", "COM9", "position", "-1"} << 2
                                 << "Commport open failed.\nCOM9 is not in the port map";
}

void tst_kdxctl_cli::argumentsAfterTheCommandAreItsOwn()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, errStart);
    const Run r = kdxctl(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.startsWith(errStart), qPrintable(r.err));
}

// The programs' own libraries are loaded only by the commands that need them:
// a command on a local port loads neither the network port (nor Qt Network
// with it) nor the list of serial devices (Qt Serial Port, udev). The system's
// devices are a pseudo-terminal given in KDX_SYSTEM_DEVICES, so the list's
// library is never loaded; the commands that ask for the list enrol it.
void tst_kdxctl_cli::librariesOnlyWhenNeeded_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<bool>("asksForDevices");
    const QStringList network {"libkdx_netport.so", "libQt6Network.so"};
    // Nothing is there, so the port does not open.
    QTest::newRow("device path") << QStringList {"--port", "/nonexistent/ttyUSB0", "position", "5"} << 2 << QStringList()
                                 << false;
    // A COM number the map lacks may be an adapter plugged in a moment ago.
    QTest::newRow("COM name not in the map") << QStringList {"--port", "COM9", "position", "5"} << 2 << QStringList() << true;
    QTest::newRow("address") << QStringList {"--port", "rfc2217://127.0.0.1:1", "position", "5"} << 2 << network << false;
    QTest::newRow("the port map") << QStringList {"ports"} << 0 << QStringList() << true;
}

void tst_kdxctl_cli::librariesOnlyWhenNeeded()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, loaded);
    QFETCH(bool, asksForDevices);
    QTemporaryDir ports;
    PtyPeer device;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KDX_PORTS_DIR"), ports.path());
    env.insert(QStringLiteral("KDX_SYSTEM_DEVICES"), device.slavePath());
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("KDX_BIN_DIR") + QStringLiteral("/kdxctl"), args);
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), exitCode);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    for (const char *library : {"libkdx_netport.so", "libQt6Network.so", "libkdx_devices.so", "libQt6SerialPort.so"})
        QVERIFY2(err.contains(QLatin1String(library)) == loaded.contains(QLatin1String(library)), library);
    QCOMPARE(QFileInfo(ports.filePath(QStringLiteral("COM1"))).symLinkTarget() == device.slavePath(), asksForDevices);
    QVERIFY(device.received().isEmpty());

    // The library itself is where the programs look for it, of this version
    // (only loaded here: asking it for the list would reach real devices).
    const auto *version = static_cast<const int *>(platform::programLibrarySymbol(
        QStringLiteral("libkdx_devices.so"), "kdx_system_devices_interface", nullptr));
    QVERIFY(version && *version == KDX_SYSTEM_DEVICES_INTERFACE);
}

// KDX_SYSTEM_DEVICES is the system's list whole: its paths and no other device
// get COM numbers, empty entries are skipped, and empty means none; the system
// is not asked (the list's library is not loaded).
void tst_kdxctl_cli::portsListsTheSystemsDevices_data()
{
    QTest::addColumn<QString>("devices"); // %1, %2: two pseudo-terminals
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("none") << "" << QStringList();
    QTest::newRow("one") << "%1" << QStringList {"%1"};
    QTest::newRow("two, an empty entry between") << "%2::%1" << QStringList {"%1", "%2"};
}

void tst_kdxctl_cli::portsListsTheSystemsDevices()
{
    QFETCH(QString, devices);
    QFETCH(QStringList, listed);
    PtyPeer first;
    PtyPeer second;
    auto fill = [&](QString text) {
        return text.replace(QLatin1String("%1"), first.slavePath()).replace(QLatin1String("%2"), second.slavePath());
    };
    QTemporaryDir ports;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KDX_PORTS_DIR"), ports.path());
    env.insert(QStringLiteral("KDX_SYSTEM_DEVICES"), fill(devices));
    env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("KDX_BIN_DIR") + QStringLiteral("/kdxctl"), {"ports"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!p.readAllStandardError().contains("libkdx_devices.so"));
    // "COM<n> device", one line each, numbered from 1.
    const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList want;
    for (const QString &d : listed)
        want << fill(d);
    QStringList got;
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].startsWith(QStringLiteral("COM%1 ").arg(i + 1)), qPrintable(lines.join(QLatin1Char('\n'))));
        got << lines[i].section(QLatin1Char(' '), 1);
    }
    want.sort();
    got.sort();
    QCOMPARE(got, want);
}

void tst_kdxctl_cli::portsAsJson()
{
    // A map with an unplugged device and a network entry: nothing is opened.
    QTemporaryDir dir;
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone/ttyUSB7")), dir.filePath(QStringLiteral("COM4"))));
    QVERIFY(kdxctl({"ports", "add", "COM9", "tcp://127.0.0.1:4001"}, dir.path()).exitCode == 0);

    const Run all = kdxctl({"--json", "ports"}, dir.path());
    QCOMPARE(all.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(all.out.toUtf8(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError && doc.isArray(), qPrintable(all.out));
    QHash<QString, QJsonObject> byName;
    for (const QJsonValue &v : doc.array())
        byName.insert(v.toObject().value("name").toString(), v.toObject());
    QCOMPARE(byName.value("COM4").value("device").toString(), dir.filePath(QStringLiteral("gone/ttyUSB7")));
    QCOMPARE(byName.value("COM4").value("present").toBool(true), false);
    QCOMPARE(byName.value("COM9").value("address").toString(), QStringLiteral("tcp://127.0.0.1:4001"));

    const Run one = kdxctl({"--json", "ports", "COM9"}, dir.path());
    const QJsonObject o = QJsonDocument::fromJson(one.out.toUtf8()).object();
    QCOMPARE(o.value("name").toString(), QStringLiteral("COM9"));
    QCOMPARE(o.value("address").toString(), QStringLiteral("tcp://127.0.0.1:4001"));
}

QTEST_GUILESS_MAIN(tst_kdxctl_cli)
#include "tst_kdxctl_cli.moc"
