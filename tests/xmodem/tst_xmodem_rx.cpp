// lrzsz's rx as an independent XModem receiver of our blocks, in checksum and
// CRC mode, over a pseudo-terminal made by socat. Real time: a few seconds.

#include "CKDX.h"
#include "PosixSerialPort.h"
#include "TestEnv.h"
#include "frmCKDX.h"
#include "modKDX.h"

#include <QtTest>

class tst_xmodem_rx : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void rxReceivesOurBlocks_data();
    void rxReceivesOurBlocks();
};

void tst_xmodem_rx::initTestCase()
{
    kdxtest::isolateUserFolders();
    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty())
        QSKIP("socat and lrzsz are needed (scripts/bootstrap.sh installs them)");
}

void tst_xmodem_rx::cleanup()
{
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory({});
}

void tst_xmodem_rx::rxReceivesOurBlocks_data()
{
    QTest::addColumn<bool>("crc");
    QTest::addColumn<int>("size");

    QTest::newRow("checksum, rx") << false << 700;
    QTest::newRow("CRC, rx -c") << true << 640;
}

void tst_xmodem_rx::rxReceivesOurBlocks()
{
    QFETCH(bool, crc);
    QFETCH(int, size);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Every byte value, control bytes of the protocol included.
    QByteArray image(size, 0);
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + 3) & 0xFF);
    const QString imagePath = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile f(imagePath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
    }

    const QString link = dir.filePath(QStringLiteral("line"));
    const QString bin = qEnvironmentVariableIsSet("KDX_BIN_DIR") ? qEnvironmentVariable("KDX_BIN_DIR")
                                                                 : QCoreApplication::applicationDirPath();
    const QString cut = bin + QStringLiteral("/xmodem_cut");
    QVERIFY2(QFileInfo::exists(cut), qPrintable(cut));
    const QString receiver = QStringLiteral("SYSTEM:'%1 %2 | rx %3 out.bin',pipes")
                                 .arg(cut, crc ? QStringLiteral("crc") : QStringLiteral("checksum"),
                                      crc ? QStringLiteral("-c") : QString());
    QProcess socat;
    socat.setWorkingDirectory(dir.path());
    socat.start(QStringLiteral("socat"),
                {QStringLiteral("pty,raw,echo=0,link=%1,wait-slave").arg(link), receiver});
    QVERIFY(socat.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(link), 5000);

    frmCKDX::resetInstance();
    frmCKDX::setPortFactory([link] {
        return std::make_unique<platform::PosixSerialPort>(platform::PosixSerialPort::fixedDevice(link));
    });
    CKDX kdx;
    kdx.setFile(imagePath);
    kdx.setCheckSumType(crc ? 1 : 0);
    kdx.StartSendFile();
    QElapsedTimer t;
    t.start();
    while (kdx.transferOutcome() == XModemSender::Outcome::None && t.elapsed() < 30000)
        modKDX::Delay(50);

    QCOMPARE(kdx.transferOutcome(), XModemSender::Outcome::Complete);
    QVERIFY(socat.waitForFinished(10000));
    QFile out(dir.filePath(QStringLiteral("out.bin")));
    QVERIFY(out.open(QIODevice::ReadOnly));
    // rx keeps the fill of the last block.
    QByteArray expected = image;
    if (size % 128)
        expected.append(QByteArray(128 - size % 128, 0x1A));
    QCOMPARE(out.readAll().toHex(), expected.toHex());
}

QTEST_GUILESS_MAIN(tst_xmodem_rx)
#include "tst_xmodem_rx.moc"
