// The EPSON-style sequences of the driver: bytes on the wire, results, and
// parameters that cannot be sent, on a scripted port.

#include "CKDX.h"
#include "Epson.h"
#include "ResultCode.h"
#include "TestEnv.h"

#include <QtTest>

#include <functional>

using EpsonOp = std::function<qint32(CKDX &)>;
Q_DECLARE_METATYPE(EpsonOp)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class tst_epson : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void init() { m_env = std::make_unique<kdxtest::DriverEnv>(); }
    void cleanup() { m_env.reset(); }

    void sequences_data();
    void sequences();
    void portThatWillNotOpen();

private:
    std::unique_ptr<kdxtest::DriverEnv> m_env;
};

void tst_epson::sequences_data()
{
    QTest::addColumn<EpsonOp>("op");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused, nothing opened
    using E = Epson::Command;
    auto cmd = [](E c) { return EpsonOp([c](CKDX &k) { return Epson::send(k, c); }); };

    QTest::newRow("up") << cmd(E::CursorUp) << hex("1F 0A");
    QTest::newRow("down") << cmd(E::CursorDown) << hex("0A");
    QTest::newRow("left") << cmd(E::CursorLeft) << hex("08");
    QTest::newRow("right") << cmd(E::CursorRight) << hex("09");
    QTest::newRow("home") << cmd(E::CursorHome) << hex("0B");
    QTest::newRow("bottom") << cmd(E::CursorBottom) << hex("1F 42");
    QTest::newRow("line start") << cmd(E::LineStart) << hex("0D");
    QTest::newRow("line end") << cmd(E::LineEnd) << hex("1F 0D");
    QTest::newRow("clear") << cmd(E::ClearScreen) << hex("0C");
    QTest::newRow("clear line") << cmd(E::ClearLine) << hex("18");
    QTest::newRow("initialise") << cmd(E::Initialize) << hex("1B 40");
    QTest::newRow("self-test") << cmd(E::SelfTest) << hex("1F 40");
    QTest::newRow("cursor on") << EpsonOp([](CKDX &k) { return Epson::setCursorDisplay(k, true); }) << hex("1F 43 31");
    QTest::newRow("cursor off") << EpsonOp([](CKDX &k) { return Epson::setCursorDisplay(k, false); }) << hex("1F 43 30");
    QTest::newRow("reverse on") << EpsonOp([](CKDX &k) { return Epson::setReverse(k, true); }) << hex("1F 72 31");
    QTest::newRow("reverse off") << EpsonOp([](CKDX &k) { return Epson::setReverse(k, false); }) << hex("1F 72 30");
    QTest::newRow("position row 2 column 20") << EpsonOp([](CKDX &k) { return Epson::setPosition(k, 2, 20); })
                                              << hex("1F 24 14 02");
    QTest::newRow("position row 0") << EpsonOp([](CKDX &k) { return Epson::setPosition(k, 0, 1); }) << QByteArray();
    QTest::newRow("position column 128") << EpsonOp([](CKDX &k) { return Epson::setPosition(k, 1, 128); })
                                         << QByteArray();
    QTest::newRow("mode 1") << EpsonOp([](CKDX &k) { return Epson::setWriteMode(k, 1); }) << hex("1F 01");
    QTest::newRow("mode 3") << EpsonOp([](CKDX &k) { return Epson::setWriteMode(k, 3); }) << hex("1F 03");
    QTest::newRow("mode 0") << EpsonOp([](CKDX &k) { return Epson::setWriteMode(k, 0); }) << QByteArray();
    QTest::newRow("mode 4") << EpsonOp([](CKDX &k) { return Epson::setWriteMode(k, 4); }) << QByteArray();
    QTest::newRow("device 1") << EpsonOp([](CKDX &k) { return Epson::setDevice(k, 1); }) << hex("1B 3D 01");
    QTest::newRow("device 3") << EpsonOp([](CKDX &k) { return Epson::setDevice(k, 3); }) << hex("1B 3D 03");
    QTest::newRow("device 4") << EpsonOp([](CKDX &k) { return Epson::setDevice(k, 4); }) << QByteArray();
    QTest::newRow("national 13") << EpsonOp([](CKDX &k) { return Epson::setNational(k, 13); }) << hex("1B 52 0D");
    QTest::newRow("national -1") << EpsonOp([](CKDX &k) { return Epson::setNational(k, -1); }) << QByteArray();
    QTest::newRow("expand 1") << EpsonOp([](CKDX &k) { return Epson::setExpand(k, 1); }) << hex("1B 74 01");
    QTest::newRow("expand 256") << EpsonOp([](CKDX &k) { return Epson::setExpand(k, 256); }) << QByteArray();
    // The parameter goes raw: 0xFF is not passed through the code table.
    QTest::newRow("blink 255") << EpsonOp([](CKDX &k) { return Epson::setBlink(k, 255); }) << hex("1F 45 FF");
    QTest::newRow("blink -1") << EpsonOp([](CKDX &k) { return Epson::setBlink(k, -1); }) << QByteArray();
    QTest::newRow("text") << EpsonOp([](CKDX &k) { return Epson::sendText(k, QStringLiteral("AB")); })
                          << QByteArray("AB");
}

void tst_epson::sequences()
{
    QFETCH(EpsonOp, op);
    QFETCH(QByteArray, bytes);
    CKDX kdx;
    kdx.setCommPort(2);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    const qint32 r = op(kdx);
    QCOMPARE(m_env->port().written(), bytes);
    if (bytes.isEmpty()) {
        QCOMPARE(r, kdx::InvalidParameter);
        QVERIFY(m_env->port().events.isEmpty());
    } else {
        QCOMPARE(r, kdx::OK);
        QCOMPARE(m_env->port().events.first(), QStringLiteral("open 2 19200,N,8,1"));
        QCOMPARE(m_env->port().events.last(), QStringLiteral("close"));
    }
}

void tst_epson::portThatWillNotOpen()
{
    CKDX kdx;
    kdx.setCommPort(2);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    m_env->port().failOpen = true;
    QCOMPARE(Epson::send(kdx, Epson::Command::ClearScreen), kdx::OpenFailed);
    QCOMPARE(Epson::setBlink(kdx, 5), kdx::OpenFailed);
    QVERIFY(m_env->port().writes.isEmpty());
}

QTEST_GUILESS_MAIN(tst_epson)
#include "tst_epson.moc"
