// The loader dialogue of FirmwareUpdateMode on the fake port and the virtual
// clock: what is written, in which order, the result and the progress.

#include "CKDX.h"
#include "ScriptedLoader.h"
#include "TestEnv.h"
#include "frmCKDX.h"

#include <QtTest>

namespace {

const QByteArray kLoad = QByteArrayLiteral("\x1BLoad");
const QByteArray kXA = QByteArrayLiteral("XA\r");
const QByteArray kPX = QByteArrayLiteral("PX\r\n");
const QByteArray kZX = QByteArrayLiteral("ZX\r\n");

QList<QByteArray> repeated(const QByteArray &b, int n)
{
    QList<QByteArray> out;
    for (int i = 0; i < n; ++i)
        out << b;
    return out;
}

} // namespace

class tst_loader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }

    void dialogue_data();
    void dialogue();
    void talkingDisplayKeepsTheWaitGoing();
    void endlessNoiseEndsWithinAMinute_data();
    void endlessNoiseEndsWithinAMinute();
    void stopAtTheNextPoll_data();
    void stopAtTheNextPoll();
    void portFaults_data();
    void portFaults();
};

void tst_loader::dialogue_data()
{
    QTest::addColumn<QList<QByteArray>>("answers"); // per write; empty = silence
    QTest::addColumn<int>("codeType");
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QList<int>>("progressAtWrites");

    QTest::newRow("prompt, prompt, encrypted")
        << QList<QByteArray> {">", ">"} << 0 << QList<QByteArray> {kLoad, kXA, kPX} << 0 << 100 << QList<int> {0, 20, 80};
    QTest::newRow("not encrypted sends ZX")
        << QList<QByteArray> {">", ">"} << 1 << QList<QByteArray> {kLoad, kXA, kZX} << 0 << 100 << QList<int> {0, 20, 80};
    QTest::newRow("ignored twice, then prompts")
        << QList<QByteArray> {"", "", ">", ">"} << 0
        << QList<QByteArray> {kLoad, "1", "1", kXA, kPX} << 0 << 100 << QList<int> {0, 20, 20, 20, 80};
    QTest::newRow("prompt among other bytes")
        << QList<QByteArray> {"\r\nLoader 2.1\r\n>", "ok>\r\n"} << 0
        << QList<QByteArray> {kLoad, kXA, kPX} << 0 << 100 << QList<int> {0, 20, 80};
    QTest::newRow("no second prompt")
        << QList<QByteArray> {">", ""} << 0 << QList<QByteArray> {kLoad, kXA} << -4 << 80 << QList<int> {0, 20};
    QTest::newRow("bytes without a prompt are not one")
        << QList<QByteArray> {">", "<<"} << 0 << QList<QByteArray> {kLoad, kXA} << -4 << 80 << QList<int> {0, 20};
    // Silent waits of about 5 s each: after 15 s without a byte the display is not there.
    QTest::newRow("silent display: gives up after 15 s")
        << QList<QByteArray> {} << 0 << QList<QByteArray> {kLoad, "1", "1"} << -4 << 20 << QList<int> {0, 20, 20};
    // A byte now and then is a display that is there: the repeats go on past 15 s.
    QTest::newRow("bytes without a prompt, then a prompt after the 5th repeat")
        << (repeated("?", 5) + QList<QByteArray> {">", ">"}) << 1
        << (QList<QByteArray> {kLoad} + repeated("1", 5) + QList<QByteArray> {kXA, kZX}) << 0 << 100
        << QList<int> {0, 20, 20, 20, 20, 20, 20, 80};
    QTest::newRow("unknown code type sends nothing")
        << QList<QByteArray> {">", ">"} << 2 << QList<QByteArray> {} << -8 << 0 << QList<int> {};
}

void tst_loader::dialogue()
{
    QFETCH(QList<QByteArray>, answers);
    QFETCH(int, codeType);
    QFETCH(QList<QByteArray>, writes);
    QFETCH(int, result);
    QFETCH(int, progress);
    QFETCH(QList<int>, progressAtWrites);

    kdxtest::DriverEnv env;
    ScriptedLoader loader;
    loader.promptAnswers = answers;
    loader.startRequest.clear();
    loader.attach(env.port());
    QList<int> progressAtWrite;
    CKDX kdx;
    kdx.setCommPort(3);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    kdx.setFirmwareCodeType(codeType);
    frmCKDX::instance().sender().setProgress(0);

    QCOMPARE(kdx.FirmwareUpdateMode(), result);
    QCOMPARE(env.port().writes, writes);
    QCOMPARE(int(kdx.Progress()), progress);
    QCOMPARE(loader.progressAtDialogue, progressAtWrites);
    // The port stays open for the transfer; a failed switch lets it go.
    if (result == 0)
        QCOMPARE(env.port().events, QStringList {QStringLiteral("open 3 19200,N,8,1")});
    if (result == -4)
        QCOMPARE(env.port().events, (QStringList {QStringLiteral("open 3 19200,N,8,1"), QStringLiteral("close")}));
    QVERIFY(env.dialogs.boxes.isEmpty());
}

void tst_loader::talkingDisplayKeepsTheWaitGoing()
{
    // Only silent polls count toward the limit: 30 polls with bytes, then 10
    // silent ones, before the repeat request goes out.
    kdxtest::DriverEnv env;
    CKDX kdx;
    env.port().setPortOpen(true);
    for (int i = 0; i < 30; ++i)
        env.port().reply("boot\r\n", 100 + 501 * i);
    int pollsBeforeRepeat = -1;
    env.port().setResponder([&pollsBeforeRepeat](kdxtest::FakeSerialPort &p, const QByteArray &w) {
        if (w == "1" && pollsBeforeRepeat < 0) {
            pollsBeforeRepeat = p.inBufferCountCalls;
            p.reply(">", 10);
        }
        if (w == "XA\r")
            p.reply(">", 10);
    });

    QCOMPARE(kdx.FirmwareUpdateMode(), 0);
    QCOMPARE(pollsBeforeRepeat, 40);
}

void tst_loader::endlessNoiseEndsWithinAMinute_data()
{
    QTest::addColumn<QByteArray>("afterLoad"); // the answer to the load request
    QTest::newRow("noise from the start") << QByteArray();
    QTest::newRow("noise after the first prompt") << QByteArray(">");
}

// A line that never stops talking (a floating input, a display in a boot loop)
// keeps every prompt wait going; the dialogue as a whole still ends.
void tst_loader::endlessNoiseEndsWithinAMinute()
{
    QFETCH(QByteArray, afterLoad);
    kdxtest::DriverEnv env;
    ScriptedLoader loader;
    loader.promptAnswers = {afterLoad};
    loader.attach(env.port());
    env.port().setPortOpen(true); // opening drops what the line has queued
    for (int i = 0; i < 400; ++i)
        env.port().reply("#\xfe~", 50 + 300 * i);
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    const qint64 start = env.clock.nowMs();

    QCOMPARE(kdx.FirmwareUpdateMode(), -4);
    const qint64 took = env.clock.nowMs() - start;
    QVERIFY2(took >= 60000 && took <= 61000, qPrintable(QString::number(took)));
    QVERIFY(!env.port().writes.contains(kPX));
}

void tst_loader::stopAtTheNextPoll_data()
{
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::addColumn<QList<QByteArray>>("writes"); // before the loader's closing
    QTest::newRow("display silent") << QList<QByteArray> {} << QList<QByteArray> {kLoad};
    QTest::newRow("after the first prompt") << QList<QByteArray> {">"} << QList<QByteArray> {kLoad, kXA};
}

// A stop reaches the dialogue within one poll: the loader is told to leave,
// the port is let go and the result says stopped, not failed.
void tst_loader::stopAtTheNextPoll()
{
    QFETCH(QList<QByteArray>, answers);
    QFETCH(QList<QByteArray>, writes);
    kdxtest::DriverEnv env;
    ScriptedLoader loader;
    loader.promptAnswers = answers;
    loader.attach(env.port());
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    const qint64 stopAt = env.clock.nowMs() + 3000;
    env.clock.schedule(stopAt, [&kdx] { kdx.StopSendFile(); });

    QCOMPARE(kdx.FirmwareUpdateMode(), -7);
    QVERIFY(env.clock.nowMs() - stopAt <= 501);
    QCOMPARE(env.port().writes, writes + QList<QByteArray> {"\x1BR\r"});
    QVERIFY(!env.port().portOpen());
    QVERIFY(!frmCKDX::portOwnedByTransfer());
}

void tst_loader::portFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("open");

    QTest::newRow("port cannot be opened") << "open" << -2 << false;
    QTest::newRow("load request cannot be written") << "write0" << -3 << false;
    QTest::newRow("XModem request cannot be written") << "write1" << -3 << false;
    QTest::newRow("line dies while waiting for a prompt") << "hangup" << -3 << false;
}

void tst_loader::portFaults()
{
    QFETCH(QString, fault);
    QFETCH(int, result);
    QFETCH(bool, open);

    kdxtest::DriverEnv env;
    ScriptedLoader loader;
    loader.attach(env.port());
    CKDX kdx;
    kdx.setCommPort(1);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    if (fault == QLatin1String("open"))
        env.port().failOpen = true;
    if (fault == QLatin1String("write0"))
        env.port().failWriteAt = 0;
    if (fault == QLatin1String("write1"))
        env.port().failWriteAt = 1;
    if (fault == QLatin1String("hangup"))
        env.clock.schedule(env.clock.nowMs() + 5, [&env] { env.port().hungUp = true; });

    QCOMPARE(kdx.FirmwareUpdateMode(), result);
    QCOMPARE(env.port().portOpen(), open);
    QVERIFY(!env.port().writes.contains(kPX));
}

QTEST_GUILESS_MAIN(tst_loader)
#include "tst_loader.moc"
