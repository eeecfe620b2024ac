// The real serial port and kdxctl over pseudo-terminals, against a scripted peer.

#include "CKDX.h"
#include "PosixSerialPort.h"
#include "PtyPeer.h"
#include "TestEnv.h"
#include "frmCKDX.h"

#include <QtTest>

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
    row("set-baud 38400", {"set-baud", "38400", "N,8,1"}, "04 01 42 36 4E 17");
    row("set-baud 115200 e,8,1", {"set-baud", "115200", "e,8,1"}, "04 01 42 37 65 17");
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
}

void tst_pty::kdxctlUsageErrorsOpenNothing()
{
    QFETCH(QStringList, args);
    PtyPeer peer;
    peer.setScript(display);
    const Run r = kdxctl(QStringList {"--port", peer.slavePath()} + args);
    QCOMPARE(r.exitCode, 64);
    QVERIFY(r.err.contains("usage: kdxctl"));
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

QTEST_GUILESS_MAIN(tst_pty)
#include "tst_pty.moc"
