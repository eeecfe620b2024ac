// The helper module (waits, block checks, code table), the port map and its COM
// list, the byte notation and the ANSI conversion.

#include "Ansi.h"
#include "ByteNotation.h"
#include "CKDX.h"
#include "PortMap.h"
#include "TestEnv.h"
#include "Timer.h"
#include "modKDX.h"
#include "myComm.h"

#include <QtTest>

class tst_helpers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }

    void delayIsStrictlyLonger_data();
    void delayIsStrictlyLonger();
    void delayOnTheRealClockSleeps();
    void crc16_data();
    void crc16();
    void checksum_data();
    void checksum();
    void displayCodeTable();
    void portMapNumbering();
    void comNames_data();
    void comNames();
    void enumCommPortsSortsByNumber();
    void byteNotation_data();
    void byteNotation();
    void ansiRoundTrip();
    void timerOnVirtualClock();
};

void tst_helpers::delayIsStrictlyLonger_data()
{
    QTest::addColumn<double>("ms");
    QTest::addColumn<int>("elapsed");
    QTest::newRow("0") << 0.0 << 1;
    QTest::newRow("1") << 1.0 << 2;
    QTest::newRow("50") << 50.0 << 51;
    QTest::newRow("fraction") << 49.5 << 50;
    QTest::newRow("negative") << -5.0 << 0;
}

void tst_helpers::delayIsStrictlyLonger()
{
    QFETCH(double, ms);
    QFETCH(int, elapsed);
    kdxtest::VirtualClock clock;
    const qint64 start = clock.nowMs();
    modKDX::Delay(ms);
    QCOMPARE(clock.nowMs() - start, qint64(elapsed));
}

void tst_helpers::delayOnTheRealClockSleeps()
{
    // Not a timing test: only that the real wait is at least as long as asked and
    // that events are processed during it.
    QElapsedTimer t;
    t.start();
    bool ticked = false;
    QTimer::singleShot(5, [&] { ticked = true; });
    modKDX::Delay(20);
    QVERIFY(t.elapsed() > 20);
    QVERIFY(ticked);
}

void tst_helpers::crc16_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("published check value") << QByteArray("123456789") << 0x31C3;
    QTest::newRow("01") << QByteArray::fromHex("01") << 0x1021;
    QTest::newRow("01 00") << QByteArray::fromHex("0100") << 0x3331;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("128 x 1A") << QByteArray(128, 0x1A) << 0xF8B0;
}

void tst_helpers::crc16()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(modKDX::CalcCRC16(data) & 0xFFFF, crc);
}

void tst_helpers::checksum_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("sum");
    QTest::newRow("FF 02 wraps") << QByteArray::fromHex("FF02") << 0x01;
    QTest::newRow("one byte") << QByteArray::fromHex("A5") << 0xA5;
    QTest::newRow("128 x FF") << QByteArray(128, char(0xFF)) << 0x80;
}

void tst_helpers::checksum()
{
    QFETCH(QByteArray, data);
    QFETCH(int, sum);
    QCOMPARE(modKDX::CalcCheckSum(data), sum);
}

void tst_helpers::displayCodeTable()
{
    modKDX::InitDisplayCodeTable();
    int moved = 0;
    for (int i = 0; i < 256; ++i) {
        QVERIFY(g_DisplayCode[size_t(i)] >= 0 && g_DisplayCode[size_t(i)] <= 255);
        if (g_DisplayCode[size_t(i)] != i)
            ++moved;
        if (i < 0x80)
            QCOMPARE(int(g_DisplayCode[size_t(i)]), i);
    }
    QCOMPARE(moved, 57);
    QCOMPARE(int(g_DisplayCode[0xA4]), 0x24);
    QCOMPARE(int(g_DisplayCode[0xFC]), 0x81);
    QCOMPARE(int(g_DisplayCode[0x80]), 0x80);
    QCOMPARE(int(g_DisplayCode[0xFF]), 0x98);
}

void tst_helpers::portMapNumbering()
{
    QTemporaryDir dir;
    platform::PortMap map(dir.path() + "/ports");
    QCOMPARE(map.lowestFreeNumber(), 1);
    QVERIFY(map.addLink(2, "/dev/null"));
    QCOMPARE(map.assign({"/dev/zero", "/dev/null", "/dev/full"}), 2);
    QCOMPARE(map.devicePath(1), QStringLiteral("/dev/zero"));
    QCOMPARE(map.devicePath(2), QStringLiteral("/dev/null"));
    QCOMPARE(map.devicePath(3), QStringLiteral("/dev/full"));
    QCOMPARE(map.numberOf("/dev/full"), 3);
    QVERIFY(!map.addLink(3, "/dev/random")); // taken

    // An unplugged device keeps its number and is not reassigned.
    QVERIFY(map.addLink(4, dir.path() + "/unplugged"));
    QCOMPARE(map.lowestFreeNumber(), 5);
    const auto entries = map.entries();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.last().number, 4);
    QVERIFY(!entries.last().present);
    QVERIFY(map.removeLink(1));
    QCOMPARE(map.lowestFreeNumber(), 1);

    // Links no COM name can reach are not part of the map.
    for (const char *name : {"COM65536", "COM32768", "COM0", "COM07", "com5", "COM5.bak"})
        QVERIFY(QFile::link("/dev/null", dir.path() + "/ports/" + name));
    QCOMPARE(map.entries().size(), 3);
    QCOMPARE(map.devicePath(65536), QString());
    QVERIFY(!map.addLink(32768, "/dev/zero"));
    QVERIFY(map.addLink(32767, "/dev/zero"));
    QCOMPARE(map.entries().last().number, 32767);
}

void tst_helpers::comNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("COM1") << "COM1" << 1;
    QTest::newRow("lower case") << "com3" << 3;
    QTest::newRow("highest") << "COM32767" << 32767;
    QTest::newRow("beyond 16 bits") << "COM32768" << 0;
    QTest::newRow("COM65536") << "COM65536" << 0;
    QTest::newRow("COM99999") << "COM99999" << 0;
    QTest::newRow("COM0") << "COM0" << 0;
    QTest::newRow("leading zero") << "COM01" << 0;
    QTest::newRow("sign") << "COM+1" << 0;
    QTest::newRow("blank") << "COM 1" << 0;
    QTest::newRow("no number") << "COM" << 0;
    QTest::newRow("trailing letters") << "COM1x" << 0;
    QTest::newRow("a path") << "../x" << 0;
}

void tst_helpers::comNames()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(platform::PortMap::numberOfName(name), number);
}

void tst_helpers::enumCommPortsSortsByNumber()
{
    QTemporaryDir dir;
    qputenv("KDX_PORTS_DIR", QFile::encodeName(dir.path()));
    platform::PortMap map(dir.path());
    QDir().mkpath(dir.path());
    QVERIFY(map.addLink(3, "/dev/null"));
    QVERIFY(map.addLink(12, "/dev/null"));
    QVERIFY(map.addLink(1, "/dev/null"));
    QVERIFY(map.addLink(9, dir.path() + "/gone"));              // not present: not listed
    QVERIFY(QFile::link("/dev/null", dir.path() + "/LPT1")); // not a COM name: skipped

    QStringList ports {"stale"};
    const int n = myComm::EnumCommPorts(ports);
    // The system's own serial devices may have joined the map; look at ours.
    QVERIFY(n == ports.size());
    QStringList ours;
    for (const QString &p : ports) {
        if (p == "COM1" || p == "COM3" || p == "COM12" || p == "COM9" || p == "LPT1")
            ours << p;
    }
    QCOMPARE(ours, (QStringList {"COM1", "COM3", "COM12"}));

    QStringList unsorted {"COM12", "COM9", "COM3", "COM10"};
    myComm::SortByPortNumber(unsorted);
    QCOMPARE(unsorted, (QStringList {"COM3", "COM9", "COM10", "COM12"}));
    qputenv("KDX_PORTS_DIR", QByteArray());
}

void tst_helpers::byteNotation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("/72/105") << "/72/105" << true << QByteArray("Hi");
    QTest::newRow("text before the first slash") << "72/105" << true << QByteArray("i");
    QTest::newRow("empty last part") << "/72/" << false << QByteArray();
    QTest::newRow("no slash") << "72" << false << QByteArray();
    QTest::newRow("out of range gives 0") << "/300/65" << true << QByteArray("\0A", 2);
    QTest::newRow("negative gives 0") << "/-1/65" << true << QByteArray("\0A", 2);
    QTest::newRow("255.5 does not fit") << "/255.5" << true << QByteArray(1, '\0');
    QTest::newRow("halves to even") << "/64.5/65.5" << true << QByteArray("@B");
    QTest::newRow("blanks and exponent") << "/ 6.5e1 " << true << QByteArray("A");
    QTest::newRow("two points") << "/1.2.3" << false << QByteArray();
    QTest::newRow("letters") << "/72/x" << false << QByteArray();
    QTest::newRow("trailing point") << "/65." << true << QByteArray("A");
    QTest::newRow("leading point, exponent") << "/.5e2" << true << QByteArray("2");
    QTest::newRow("point alone") << "/." << false << QByteArray();
    QTest::newRow("exponent without digits") << "/6e" << false << QByteArray();
    QTest::newRow("sign alone") << "/+" << false << QByteArray();
    QTest::newRow("blank inside") << "/6 5" << false << QByteArray();
    QTest::newRow("tab and CR around") << "/\t65\r" << true << QByteArray("A");
    QTest::newRow("long run of digits, then a letter") << "/" + QString(100000, u'9') + "x" << false << QByteArray();
    QTest::newRow("long run of zeros") << "/" + QString(100000, u'0') + "65" << true << QByteArray("A");
}

void tst_helpers::byteNotation()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    QByteArray out;
    QCOMPARE(ByteNotation::parse(text, out), ok);
    if (ok)
        QCOMPARE(out, bytes);
    QCOMPARE(ByteNotation::format("Hi\r\n"), QStringLiteral("/72/105/13/10"));
}

void tst_helpers::ansiRoundTrip()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = platform::ansi::toUnicode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0x80), QChar(0x20AC)); // euro sign
    QCOMPARE(text.at(0x81), QChar(0x81));   // undefined in the code page
    QCOMPARE(platform::ansi::fromUnicode(text), all);
    QCOMPARE(platform::ansi::fromUnicode(QString::fromUtf8("\U0001F600x")), QByteArray("?x"));
}

void tst_helpers::timerOnVirtualClock()
{
    kdxtest::VirtualClock clock;
    platform::Timer timer;
    int ticks = 0;
    connect(&timer, &platform::Timer::timeout, [&] {
        ++ticks;
        modKDX::Delay(1000); // a long tick does not re-enter itself
    });
    timer.setInterval(200);
    timer.setEnabled(true);
    clock.advance(199);
    QCOMPARE(ticks, 0);
    clock.advance(1);
    QCOMPARE(ticks, 1);
    timer.setEnabled(false);
    clock.advance(5000);
    QCOMPARE(ticks, 1);
}

QTEST_GUILESS_MAIN(tst_helpers)
#include "tst_helpers.moc"
