// The XModem sender on the fake port and the virtual clock: blocks on the wire,
// fill, progress, the start handshake, answers and silence, stop and faults.

#include "CKDX.h"
#include "ScriptedLoader.h"
#include "TestEnv.h"
#include "frmCKDX.h"

#include <QtTest>

#include <sys/stat.h>

#include <functional>

using Outcome = XModemSender::Outcome;
using Answer = std::function<QByteArray(int n)>;
Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(XModemSender::Outcome)

namespace {

constexpr char kACK = 0x06;
constexpr char kNAK = 0x15;
constexpr char kCAN = 0x18;

// One handshake poll and one block poll on the virtual clock: Delay(n) ends on
// the first reading past n ms.
constexpr qint64 kStartPollMs = 101;

QByteArray pattern(int size)
{
    QByteArray b(size, 0);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + 3) & 0xFF);
    return b;
}

} // namespace

class tst_sender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileOnTheWire_data();
    void fileOnTheWire();
    void blockNumbersWrap();
    void handshake_data();
    void handshake();
    void blockAnswers_data();
    void blockAnswers();
    void stopBeforeFirstTick();
    void stopDuringTransfer_data();
    void stopDuringTransfer();
    void faults_data();
    void faults();

private:
    // Writes a file, starts a transfer with the start byte arriving at once, and
    // runs the clock until the sender has finished.
    void runTransfer(const QByteArray &content, bool crc, qint64 startAfterMs = 250);
    QString writeFile(const QByteArray &content);

    QTemporaryDir m_dir;
    std::unique_ptr<kdxtest::DriverEnv> m_env;
    std::unique_ptr<CKDX> m_kdx;
    ScriptedLoader m_loader;
};

void tst_sender::initTestCase()
{
    kdxtest::isolateUserFolders();
    QVERIFY(m_dir.isValid());
}

void tst_sender::init()
{
    m_env = std::make_unique<kdxtest::DriverEnv>();
    m_kdx = std::make_unique<CKDX>();
    m_loader = ScriptedLoader {};
    m_loader.attach(m_env->port());
}

void tst_sender::cleanup()
{
    m_kdx.reset();
    m_env.reset();
}

QString tst_sender::writeFile(const QByteArray &content)
{
    const QString path = m_dir.filePath(QStringLiteral("image.bin"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    f.write(content);
    return path;
}

void tst_sender::runTransfer(const QByteArray &content, bool crc, qint64 startAfterMs)
{
    m_kdx->setFile(writeFile(content));
    m_kdx->setCheckSumType(crc ? 1 : 0);
    m_env->port().setPortOpen(true);
    if (startAfterMs >= 0)
        m_env->port().reply(QByteArray(1, crc ? 'C' : kNAK), startAfterMs);
    m_kdx->StartSendFile();
    m_env->clock.advance(200);
}

void tst_sender::fileOnTheWire_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("crc");
    QTest::addColumn<QList<int>>("progress"); // when each block and then EOT went out
    // The block checks on the wire, block after block; worked out apart from
    // the sender (CRC-16/XMODEM of Python's binascii.crc_hqx, the byte sum).
    QTest::addColumn<QByteArray>("checks");

    QTest::newRow("1 byte, checksum") << 1 << false << QList<int> {0, 100} << QByteArray("e9");
    QTest::newRow("1 byte, CRC") << 1 << true << QList<int> {0, 100} << QByteArray("0670");
    QTest::newRow("127 bytes") << 127 << true << QList<int> {0, 100} << QByteArray("2284");
    QTest::newRow("128 bytes: no extra block") << 128 << false << QList<int> {0, 100} << QByteArray("c0");
    QTest::newRow("129 bytes") << 129 << true << QList<int> {0, 100, 100} << QByteArray("2ee4951d");
    QTest::newRow("256 bytes") << 256 << false << QList<int> {0, 50, 100} << QByteArray("c0c0");
    QTest::newRow("three blocks") << 384 << true << QList<int> {0, 33, 67, 100} << QByteArray("2ee495062ee4");
    QTest::newRow("eight blocks, halves to even") << 1024 << false
                                                  << QList<int> {0, 12, 25, 38, 50, 62, 75, 88, 100}
                                                  << QByteArray("c0c0c0c0c0c0c0c0");
}

void tst_sender::fileOnTheWire()
{
    QFETCH(int, size);
    QFETCH(bool, crc);
    QFETCH(QList<int>, progress);
    QFETCH(QByteArray, checks);

    const QByteArray content = pattern(size);
    runTransfer(content, crc);

    QCOMPARE(m_kdx->transferOutcome(), Outcome::Complete);
    QVERIFY(m_kdx->UpdateFirmwareFinish());
    QCOMPARE(m_kdx->Progress(), qint16(0));
    QVERIFY(m_env->dialogs.boxes.isEmpty());

    const int blocks = (size + 127) / 128;
    QCOMPARE(m_loader.blocks.size(), blocks);
    QByteArray padded = content;
    if (size % 128)
        padded.append(QByteArray(128 - size % 128, 0x1A));
    QList<int> seen;
    QByteArray checksSeen;
    for (int i = 0; i < blocks; ++i) {
        const ScriptedLoader::Block &b = m_loader.blocks[i];
        const quint8 n = quint8(i + 1);
        QCOMPARE(b.header, QByteArray().append(char(0x01)).append(char(n)).append(char(255 - n)));
        QCOMPARE(b.data, padded.mid(i * 128, 128));
        checksSeen += b.check.toHex();
        seen << b.progress;
    }
    QCOMPARE(checksSeen, checks);
    seen << m_loader.progressAtEnd.value(0, -1);
    QCOMPARE(seen, progress);
    // EOT, then the loader's own closing.
    QCOMPARE(m_loader.afterBlocks, (QList<QByteArray> {"\x04", "\x1B", "R\r"}));
    QCOMPARE(m_env->port().portOpen(), true);
}

void tst_sender::blockNumbersWrap()
{
    runTransfer(pattern(257 * 128), false);
    QCOMPARE(m_kdx->transferOutcome(), Outcome::Complete);
    QCOMPARE(m_loader.blocks.size(), 257);
    QCOMPARE(m_loader.blocks[254].header.toHex(), QByteArray("01ff00"));
    QCOMPARE(m_loader.blocks[255].header.toHex(), QByteArray("0100ff"));
    QCOMPARE(m_loader.blocks[256].header.toHex(), QByteArray("0101fe"));
}

void tst_sender::handshake_data()
{
    QTest::addColumn<bool>("crc");
    QTest::addColumn<QByteArray>("arrives");
    QTest::addColumn<qint64>("atMs"); // after the tick
    QTest::addColumn<bool>("starts");

    QTest::newRow("C at the first poll") << true << QByteArray("C") << qint64(50) << true;
    QTest::newRow("NAK behind other bytes") << false << QByteArray("xy\x15z") << qint64(50) << true;
    QTest::newRow("C behind other bytes") << true << QByteArray("\x15\x15" "C") << qint64(50) << true;
    QTest::newRow("NAK does not start CRC mode") << true << QByteArray("\x15") << qint64(50) << false;
    QTest::newRow("C does not start checksum mode") << false << QByteArray("C") << qint64(50) << false;
    QTest::newRow("at the 201st poll") << true << QByteArray("C") << 200 * kStartPollMs + 50 << true;
    QTest::newRow("after the 201st poll") << true << QByteArray("C") << 201 * kStartPollMs + 50
                                          << false;
}

void tst_sender::handshake()
{
    QFETCH(bool, crc);
    QFETCH(QByteArray, arrives);
    QFETCH(qint64, atMs);
    QFETCH(bool, starts);

    m_kdx->setFile(writeFile(pattern(10)));
    m_kdx->setCheckSumType(crc ? 1 : 0);
    m_env->port().setPortOpen(true);
    m_env->port().reply(arrives, 200 + atMs);
    m_kdx->StartSendFile();
    m_env->clock.advance(200);

    if (starts) {
        QCOMPARE(m_kdx->transferOutcome(), Outcome::Complete);
        QCOMPARE(m_loader.blocks.size(), 1);
        return;
    }
    QCOMPARE(m_kdx->transferOutcome(), Outcome::NoStartRequest);
    QCOMPARE(m_kdx->transferOutcomeText(), QStringLiteral("the display did not ask for the file"));
    QVERIFY(m_env->port().writes.isEmpty());
    QCOMPARE(m_env->port().inBufferCountCalls, 201);
    QVERIFY(!m_kdx->UpdateFirmwareFinish());
    QCOMPARE(m_kdx->Progress(), qint16(0));
}

void tst_sender::blockAnswers_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QList<int>>("sentAtPoll"); // poll count when each copy of block 1 went out
    QTest::addColumn<int>("polls");             // polls of block 1 in all

    const Answer silent = [](int) { return QByteArray(); };
    QTest::newRow("silent: repeats after 100 and 200 polls, fails after 251")
        << silent << Outcome::NoAnswer << QList<int> {0, 100, 200} << 251;
    QTest::newRow("NAK and ACK in one read") << Answer([](int) { return QByteArray("\x15\x06"); })
                                             << Outcome::Complete << QList<int> {0} << 1;
    QTest::newRow("noise then ACK") << Answer([](int) { return QByteArray("\x01\x02\x06"); })
                                    << Outcome::Complete << QList<int> {0} << 1;
    QTest::newRow("NAK repeats at once") << Answer([](int n) {
        return QByteArray(1, n < 2 ? kNAK : kACK);
    }) << Outcome::Complete << QList<int> {0, 1, 2} << 3;
    QTest::newRow("CAN cancels") << Answer([](int) { return QByteArray(1, kCAN); })
                                 << Outcome::Cancelled << QList<int> {0} << 1;
    // Every poll reads "C...": counted, the block is never sent again.
    QTest::newRow("C at every poll fails without a repeat")
        << Answer([](int) { return QByteArray("C*"); }) << Outcome::NoAnswer << QList<int> {0} << 251;
    QTest::newRow("NAK answers share the limit")
        << Answer([](int) { return QByteArray(1, kNAK); }) << Outcome::NoAnswer
        << QList<int> {} << 251;
}

void tst_sender::blockAnswers()
{
    QFETCH(Answer, answer);
    QFETCH(Outcome, outcome);
    QFETCH(QList<int>, sentAtPoll);
    QFETCH(int, polls);

    kdxtest::FakeSerialPort &port = m_env->port();
    m_loader.answerBlock = [&](int n, const ScriptedLoader::Block &) {
        QByteArray a = answer(n);
        if (!a.endsWith('*'))
            return a;
        // A stream: the bytes arrive every 50 ms for longer than the block waits.
        a.chop(1);
        for (int k = 0; k < 800; ++k)
            port.reply(a, 10 + 50 * k);
        return QByteArray();
    };
    runTransfer(pattern(100), false);

    QCOMPARE(m_kdx->transferOutcome(), outcome);
    QVERIFY(m_kdx->UpdateFirmwareFinish());
    // Poll counts are taken from the handshake's last look on.
    const int base = m_loader.blocks.value(0).pollsBefore;
    if (!sentAtPoll.isEmpty()) {
        QList<int> at;
        for (const ScriptedLoader::Block &b : std::as_const(m_loader.blocks))
            at << b.pollsBefore - base;
        QCOMPARE(at, sentAtPoll);
    } else {
        QCOMPARE(m_loader.blocks.size(), polls + 1);
    }
    QCOMPARE(m_env->port().inBufferCountCalls - base, polls);
    // A transfer that did not complete is cancelled, never ended with EOT.
    const QByteArray end = outcome == Outcome::Complete ? QByteArray("\x04") : QByteArray("\x18\x18");
    QCOMPARE(m_loader.afterBlocks, (QList<QByteArray> {end, "\x1B", "R\r"}));
}

void tst_sender::stopBeforeFirstTick()
{
    // The loader is already in its receive: the armed tick still runs, only to
    // cancel it and let the display go, and reports the stop.
    m_kdx->setFile(writeFile(pattern(300)));
    m_env->port().setPortOpen(true);
    m_kdx->StartSendFile();
    m_env->clock.advance(150);
    m_kdx->StopSendFile();
    QCOMPARE(m_kdx->transferOutcome(), Outcome::None);
    m_env->clock.advance(30000);
    QCOMPARE(m_kdx->transferOutcome(), Outcome::Stopped);
    QVERIFY(m_loader.blocks.isEmpty());
    QCOMPARE(m_loader.afterBlocks, (QList<QByteArray> {"\x18\x18", "\x1B", "R\r"}));
    QCOMPARE(m_env->port().inBufferCountCalls, 0);
    QVERIFY(!frmCKDX::instance().sender().Timer1().isEnabled());

    // The stop left behind does not touch the next transfer.
    m_loader = ScriptedLoader {};
    m_loader.attach(m_env->port());
    m_env->port().reply(QByteArray(1, kNAK), 250);
    m_kdx->StartSendFile();
    m_env->clock.advance(200);
    QCOMPARE(m_kdx->transferOutcome(), Outcome::Complete);
    QCOMPARE(m_loader.blocks.size(), 3);
}

void tst_sender::stopDuringTransfer_data()
{
    QTest::addColumn<qint64>("stopAtMs"); // after the tick
    QTest::addColumn<int>("blocks");

    QTest::newRow("while waiting for the start request") << qint64(10000) << 0;
    QTest::newRow("while a block waits for its answer") << qint64(22000) << 1;
}

void tst_sender::stopDuringTransfer()
{
    QFETCH(qint64, stopAtMs);
    QFETCH(int, blocks);

    m_loader.answerBlock = [](int, const ScriptedLoader::Block &) { return QByteArray(); };
    m_kdx->setFile(writeFile(pattern(300)));
    m_env->port().setPortOpen(true);
    m_env->port().reply(QByteArray(1, kNAK), 200 + 20000);
    const qint64 tick = m_env->clock.nowMs() + 200;
    m_env->clock.schedule(tick + stopAtMs, [this] { m_kdx->StopSendFile(); });
    m_kdx->StartSendFile();
    m_env->clock.advance(200);

    QCOMPARE(m_kdx->transferOutcome(), Outcome::Stopped);
    QCOMPARE(m_kdx->transferOutcomeText(), QStringLiteral("the transfer was stopped"));
    QCOMPARE(m_loader.blocks.size(), blocks);
    QCOMPARE(m_loader.afterBlocks, (QList<QByteArray> {"\x18\x18", "\x1B", "R\r"}));
    // The stop is seen at the end of the poll in which it came.
    QVERIFY(m_env->clock.nowMs() - tick - stopAtMs < 2000);
}

void tst_sender::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QByteArray>("closing");

    QTest::newRow("port cannot be opened") << "open" << Outcome::PortFault << 0 << QByteArray();
    // The fault ends the transfer; the cancel is still tried.
    QTest::newRow("write of block 2 fails") << "write" << Outcome::PortFault << 1
                                            << QByteArray("\x18\x18\x1BR\r");
    QTest::newRow("port hangs up in the handshake") << "hangup" << Outcome::PortFault << 0
                                                    << QByteArray();
    QTest::newRow("file missing") << "nofile" << Outcome::FileFault << 0
                                  << QByteArray("\x18\x18\x1BR\r");
    // Emptied after the window's check: EOT would hand the loader an empty image.
    QTest::newRow("file empty") << "empty" << Outcome::FileFault << 0 << QByteArray("\x18\x18\x1BR\r");
    QTest::newRow("a FIFO in the file's place") << "fifo" << Outcome::FileFault << 0
                                                << QByteArray("\x18\x18\x1BR\r");
}

void tst_sender::faults()
{
    QFETCH(QString, fault);
    QFETCH(Outcome, outcome);
    QFETCH(int, blocks);
    QFETCH(QByteArray, closing);

    kdxtest::FakeSerialPort &port = m_env->port();
    m_kdx->setFile(writeFile(pattern(1000)));
    m_kdx->setCheckSumType(1);
    if (fault == QLatin1String("open")) {
        port.failOpen = true;
    } else {
        port.setPortOpen(true);
        port.reply("C", 250);
    }
    if (fault == QLatin1String("write")) {
        // Block 1 is three writes; the fourth write is block 2's header.
        m_loader.answerBlock = [&port](int n, const ScriptedLoader::Block &) {
            if (n == 0)
                port.failWriteAt = 0;
            return QByteArray(1, kACK);
        };
    }
    if (fault == QLatin1String("hangup"))
        m_env->clock.schedule(m_env->clock.nowMs() + 200 + 50, [&port] { port.hungUp = true; });
    if (fault == QLatin1String("nofile"))
        m_kdx->setFile(m_dir.filePath(QStringLiteral("missing.bin")));
    if (fault == QLatin1String("empty"))
        m_kdx->setFile(writeFile(QByteArray()));
    if (fault == QLatin1String("fifo")) {
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        m_kdx->setFile(fifo);
    }
    m_kdx->StartSendFile();
    m_env->clock.advance(200);

    QCOMPARE(m_kdx->transferOutcome(), outcome);
    QCOMPARE(m_loader.blocks.size(), blocks);
    QCOMPARE(m_loader.closing(), closing);
    // Reported once, by whoever shows the outcome; the sender itself shows nothing.
    QVERIFY(m_env->dialogs.boxes.isEmpty());
    QVERIFY(!m_kdx->transferOutcomeText().isEmpty());
    if (outcome == Outcome::PortFault)
        QVERIFY2(m_kdx->transferOutcomeText().startsWith(QLatin1String("the serial port failed")),
                 qPrintable(m_kdx->transferOutcomeText()));
}

QTEST_GUILESS_MAIN(tst_sender)
#include "tst_sender.moc"
