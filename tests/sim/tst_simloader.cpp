// The firmware loader and its XModem receive, driven by a sender written here
// from the protocol alone.

#include "SimHarness.h"

#include "XModemReceiver.h"

#include <QtTest>

using namespace kdxsim;

namespace {

QByteArray block(int number, const QByteArray &data, bool crc)
{
    QByteArray b;
    b.append(char(data.size() == 1024 ? 0x02 : 0x01));
    b.append(char(number & 0xFF));
    b.append(char(0xFF - (number & 0xFF)));
    b.append(data);
    if (crc) {
        const quint16 c = XModemReceiver::crc16(data.constData(), int(data.size()));
        b.append(char(c >> 8));
        b.append(char(c & 0xFF));
    } else {
        b.append(char(XModemReceiver::checksum(data.constData(), int(data.size()))));
    }
    return b;
}

QByteArray payload(int size, int seed)
{
    QByteArray d(size, '\0');
    for (int i = 0; i < size; ++i)
        d[i] = char((i * 7 + seed * 13) & 0xFF);
    return d;
}

// Walks the loader to the start of a receive and returns what it answered.
QByteArray enterReceive(SimHarness &sim, const QByteArray &codeType = "PX")
{
    QByteArray got = sim.exchange("\x1bLoad", 10);
    got += sim.exchange("XA\r", 10);
    got += sim.exchange(codeType + "\r\n", 10);
    return got;
}

} // namespace

class tst_SimLoader : public QObject
{
    Q_OBJECT

private slots:
    void blockChecks_data();
    void blockChecks();
    void dialogue_data();
    void dialogue();
    void transfer_data();
    void transfer();
    void badBlockIsRefusedAndRetried();
    void duplicateAndOutOfSequence();
    void fallsBackToChecksum();
    void senderNeverStarts();
    void cancelAtBlockFault();
    void imageIsWrittenAndLoaderLeft_data();
    void imageIsWrittenAndLoaderLeft();
};

void tst_SimLoader::blockChecks_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::addColumn<int>("sum");
    QTest::newRow("check value") << QByteArray("123456789") << 0x31C3 << 0xDD;
    QTest::newRow("one byte") << QByteArray("\x01") << 0x1021 << 0x01;
    QTest::newRow("01 00") << QByteArray("\x01\x00", 2) << 0x3331 << 0x01;
    QTest::newRow("sum wraps") << QByteArray("\xff\x02") << 0x23BD << 0x01;
}

void tst_SimLoader::blockChecks()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QFETCH(int, sum);
    QCOMPARE(int(XModemReceiver::crc16(data.constData(), int(data.size()))), crc);
    QCOMPARE(int(XModemReceiver::checksum(data.constData(), int(data.size()))), sum);
}

// The prompt dialogue of the loader, with and without its faults.
void tst_SimLoader::dialogue_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::addColumn<QList<QByteArray>>("answers");

    using L = QList<QByteArray>;
    QTest::newRow("plain") << "" << L {"\x1bLoad", "XA\r", "PX\r\n"} << L {">", ">", "C"};
    QTest::newRow("repeat request") << "" << L {"\x1bLoad", "1", "1"} << L {">", ">", ">"};
    QTest::newRow("ZX starts a receive too") << "" << L {"\x1bLoad", "XA\r", "ZX\r\n"} << L {">", ">", "C"};
    QTest::newRow("unknown line gets nothing") << "" << L {"\x1bLoad", "QQ\r"} << L {">", ""};
    QTest::newRow("ignore-load=2") << "ignore-load=2" << L {"\x1bLoad", "1", "1", "XA\r"}
                                   << L {"", "", ">", ">"};
    QTest::newRow("no-prompt") << "no-prompt" << L {"\x1bLoad", "1", "XA\r"} << L {"", "", ""};
    QTest::newRow("no-prompt=xa") << "no-prompt=xa" << L {"\x1bLoad", "XA\r"} << L {">", ""};
    QTest::newRow("from the EPSON set") << "" << L {QByteArray("\x1bZ1\x00", 4), "\x1bLoad"} << L {"", ">"};
    QTest::newRow("ESC L alone is no load request") << "" << L {"\x1bLx", "1"} << L {"", ""};
}

void tst_SimLoader::dialogue()
{
    QFETCH(QString, fault);
    QFETCH(QList<QByteArray>, sent);
    QFETCH(QList<QByteArray>, answers);
    DisplayConfig c;
    if (!fault.isEmpty())
        QVERIFY(c.faults.add(fault, nullptr));
    SimHarness sim(c);
    for (int i = 0; i < sent.size(); ++i)
        QCOMPARE(sim.exchange(sent[i], 10), answers[i]);
}

// Whole transfers: a good image in either block check and block size arrives intact.
void tst_SimLoader::transfer_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("blocks");
    QTest::newRow("crc 128") << "crc" << 128 << 3;
    QTest::newRow("checksum 128") << "checksum" << 128 << 2;
    QTest::newRow("crc 1024") << "crc" << 1024 << 2;
    QTest::newRow("300 blocks wrap the number") << "crc" << 128 << 300;
}

void tst_SimLoader::transfer()
{
    QFETCH(QString, start);
    QFETCH(int, blockSize);
    QFETCH(int, blocks);
    DisplayConfig c;
    const bool crc = start == QLatin1String("crc");
    c.startCheck = crc ? XModemReceiver::StartCheck::Crc : XModemReceiver::StartCheck::Checksum;
    SimHarness sim(c);
    QCOMPARE(enterReceive(sim).right(1), QByteArray(crc ? "C" : "\x15"));
    QByteArray image;
    for (int i = 1; i <= blocks; ++i) {
        const QByteArray data = payload(blockSize, i);
        image += data;
        QCOMPARE(sim.exchange(block(i, data, crc), 10), QByteArray("\x06"));
    }
    QCOMPARE(sim.exchange("\x04", 10), QByteArray("\x06"));
    const QJsonObject loader = sim.display.state()["loader"].toObject();
    QCOMPARE(loader["transfer"].toString(), QStringLiteral("done"));
    QCOMPARE(loader["check"].toString(), crc ? QStringLiteral("crc") : QStringLiteral("checksum"));
    QCOMPARE(loader["blocks"].toInt(), blocks);
    QCOMPARE(loader["imageBytes"].toInt(), image.size());
}

void tst_SimLoader::badBlockIsRefusedAndRetried()
{
    SimHarness sim;
    enterReceive(sim);
    const QByteArray data = payload(128, 1);
    QByteArray bad = block(1, data, true);
    bad[40] = char(bad[40] ^ 0x01);
    QCOMPARE(sim.exchange(bad, 10), QByteArray("\x15"));
    QByteArray badHeader = block(1, data, true);
    badHeader[2] = 0x00;
    QCOMPARE(sim.exchange(badHeader, 10), QByteArray("\x15"));
    // Half a block, then silence: the receiver gives up on it and asks again.
    QCOMPARE(sim.exchange(block(1, data, true).left(60), 1100), QByteArray("\x15"));
    QCOMPARE(sim.exchange(block(1, data, true), 10), QByteArray("\x06"));
    QCOMPARE(sim.exchange("\x04", 10), QByteArray("\x06"));
    QCOMPARE(sim.display.state()["loader"].toObject()["naks"].toInt(), 3);
    QCOMPARE(sim.display.state()["loader"].toObject()["imageBytes"].toInt(), 128);

    // The nak-block fault refuses a sound block once.
    DisplayConfig c;
    QVERIFY(c.faults.add(QStringLiteral("nak-block=2"), nullptr));
    SimHarness faulty(c);
    enterReceive(faulty);
    QCOMPARE(faulty.exchange(block(1, data, true), 10), QByteArray("\x06"));
    QCOMPARE(faulty.exchange(block(2, data, true), 10), QByteArray("\x15"));
    QCOMPARE(faulty.exchange(block(2, data, true), 10), QByteArray("\x06"));
}

void tst_SimLoader::duplicateAndOutOfSequence()
{
    SimHarness sim;
    enterReceive(sim);
    const QByteArray data = payload(128, 5);
    QCOMPARE(sim.exchange(block(1, data, true), 10), QByteArray("\x06"));
    // The sender missed the ACK: the repeat is acknowledged but not kept twice.
    QCOMPARE(sim.exchange(block(1, data, true), 10), QByteArray("\x06"));
    QCOMPARE(sim.display.state()["loader"].toObject()["blocks"].toInt(), 1);
    QCOMPARE(sim.exchange(block(3, data, true), 10), QByteArray("\x18\x18\x18"));
    QCOMPARE(sim.display.state()["loader"].toObject()["transfer"].toString(), QStringLiteral("failed"));
    // Back at the loader's commands.
    QCOMPARE(sim.exchange("XA\r", 10), QByteArray(">"));
}

void tst_SimLoader::fallsBackToChecksum()
{
    SimHarness sim;
    QCOMPARE(enterReceive(sim), QByteArray(">>C"));
    // "C" three times a second apart, then NAK.
    QCOMPARE(sim.wait(3000), QByteArray("CC\x15"));
    const QByteArray data = payload(128, 9);
    QCOMPARE(sim.exchange(block(1, data, false), 10), QByteArray("\x06"));
    QCOMPARE(sim.display.state()["loader"].toObject()["check"].toString(), QStringLiteral("checksum"));
}

void tst_SimLoader::senderNeverStarts()
{
    SimHarness sim;
    enterReceive(sim);
    const QByteArray asked = sim.wait(25000);
    QCOMPARE(asked.count('C') + asked.count('\x15') + 1, XModemReceiver::kStartRequests);
    QCOMPARE(sim.display.state()["loader"].toObject()["transfer"].toString(), QStringLiteral("failed"));
    QCOMPARE(sim.display.state()["loader"].toObject()["state"].toString(), QStringLiteral("prompt"));
}

void tst_SimLoader::cancelAtBlockFault()
{
    DisplayConfig c;
    QVERIFY(c.faults.add(QStringLiteral("cancel-at-block=2"), nullptr));
    SimHarness sim(c);
    enterReceive(sim);
    const QByteArray data = payload(128, 2);
    QCOMPARE(sim.exchange(block(1, data, true), 10), QByteArray("\x06"));
    QCOMPARE(sim.exchange(block(2, data, true), 10).left(1), QByteArray("\x18"));
}

void tst_SimLoader::imageIsWrittenAndLoaderLeft_data()
{
    QTest::addColumn<int>("blocks");
    QTest::newRow("one block") << 1;
    QTest::newRow("empty file: EOT alone") << 0;
}

// The sender's closing sequence (EOT, ESC, "R" CR) leaves the loader and the
// image lands in the --firmware-out file.
void tst_SimLoader::imageIsWrittenAndLoaderLeft()
{
    QFETCH(int, blocks);
    QTemporaryDir dir;
    DisplayConfig c;
    c.firmwareOutPath = dir.filePath(QStringLiteral("image.bin"));
    SimHarness sim(c);
    sim.exchange("before");
    enterReceive(sim, "ZX");
    const QByteArray data = blocks ? payload(128, 3) : QByteArray();
    if (blocks)
        sim.exchange(block(1, data, true), 10);
    QCOMPARE(sim.exchange("\x04", 500).right(1), QByteArray("\x06"));
    sim.exchange("\x1b", 100);
    sim.exchange("R\r", 100);
    const QJsonObject st = sim.display.state();
    QCOMPARE(st["loader"].toObject()["state"].toString(), QStringLiteral("off"));
    QCOMPARE(st["loader"].toObject()["codeType"].toString(), QStringLiteral("ZX"));
    QCOMPARE(st["restarts"].toInt(), 1);
    QCOMPARE(sim.line(0).trimmed(), QString());
    QFile f(c.firmwareOutPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), data);
    // The display takes commands again.
    QCOMPARE(sim.exchange(frame('P', "2"), 10), QByteArray("\x06"));
}

QTEST_GUILESS_MAIN(tst_SimLoader)
#include "tst_simloader.moc"
