// A whole firmware update into kdx-sim over its pseudo-terminal, in real time:
// the loader dialogue, the transfer and the outcome, through the firmware
// window and through kdxctl.

#include "CKDX.h"
#include "PortMap.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "frmCKDX.h"
#include "frmFirmwareUpdate.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kCom = 41;

QByteArray image(int size)
{
    QByteArray b(size, 0);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + 1) & 0xFF);
    return b;
}

// What the display kept equals the file, with at most the fill of the last block.
bool sameUpToFill(const QByteArray &received, const QByteArray &sent)
{
    if (!received.startsWith(sent) || received.size() - sent.size() >= 128)
        return false;
    const QByteArray tail = received.mid(sent.size());
    return tail.count(char(0x1A)) == tail.size();
}

} // namespace

class tst_firmware_sim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowUpdates_data();
    void windowUpdates();
    void silentDisplayThenAnotherDevice();
    void kdxctlUpdates_data();
    void kdxctlUpdates();
    void kdxctlStoppedBySignal();
    void kdxctlRefuses_data();
    void kdxctlRefuses();

private:
    QString writeImage(const QByteArray &content);
    QByteArray received();

    QTemporaryDir m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<kdxtest::RecordingDialogs> m_dialogs;
};

void tst_firmware_sim::initTestCase()
{
    kdxtest::isolateUserFolders();
    if (!SimProcess::built())
        QSKIP("kdx-sim has not been built");
}

void tst_firmware_sim::init()
{
    m_sim = std::make_unique<SimProcess>(platform::PortMap::defaultDir());
    m_dialogs = std::make_unique<kdxtest::RecordingDialogs>();
    QFile::remove(m_dir.filePath(QStringLiteral("received.bin")));
}

void tst_firmware_sim::cleanup()
{
    m_sim.reset();
    m_dialogs.reset();
    frmCKDX::resetInstance();
}

QString tst_firmware_sim::writeImage(const QByteArray &content)
{
    const QString path = m_dir.filePath(QStringLiteral("image.bin"));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
    return path;
}

QByteArray tst_firmware_sim::received()
{
    QFile f(m_dir.filePath(QStringLiteral("received.bin")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void tst_firmware_sim::windowUpdates_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("report");

    QTest::newRow("CRC") << 1 << 1000 << QStringList() << "Firmware Update OK!";
    QTest::newRow("checksum") << 0 << 700 << QStringList() << "Firmware Update OK!";
    QTest::newRow("display cancels at block 3")
        << 1 << 1000 << QStringList {QStringLiteral("--fault"), QStringLiteral("cancel-at-block=3")}
        << "Firmware Update failed: the display cancelled the transfer.";
}

void tst_firmware_sim::windowUpdates()
{
    QFETCH(int, protocol);
    QFETCH(int, size);
    QFETCH(QStringList, faults);
    QFETCH(QString, report);

    QVERIFY2(m_sim->start(QStringList {QStringLiteral("--com"), QString::number(kCom), QStringLiteral("--firmware-out"),
                                          m_dir.filePath(QStringLiteral("received.bin"))}
                             + faults),
             qPrintable(m_sim->error()));
    const QByteArray content = image(size);
    CKDX kdx;
    kdx.setCommPort(kCom);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    frmFirmwareUpdate w(kdx);
    w.show();
    w.findChild<QLineEdit *>(QStringLiteral("txtFile"))->setText(writeImage(content));
    w.findChild<QComboBox *>(QStringLiteral("cboProtocol"))->setCurrentIndex(protocol);
    QList<int> bar;
    connect(&w.Timer1(), &platform::Timer::timeout, &w,
            [&] { bar << w.findChild<QProgressBar *>(QStringLiteral("pb"))->value(); });

    w.findChild<QPushButton *>(QStringLiteral("cmdCtrl_0"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_dialogs->boxes.isEmpty(), 30000);
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].text, report);
    QVERIFY(w.findChild<QPushButton *>(QStringLiteral("cmdCtrl_0"))->isEnabled());
    // The bar moved through the loader and the blocks.
    QVERIFY(std::any_of(bar.cbegin(), bar.cend(), [](int v) { return v > 0 && v < 100; }));
    if (kdx.transferOutcome() == XModemSender::Outcome::Complete) {
        QTRY_VERIFY_WITH_TIMEOUT(!received().isEmpty(), 3000);
        QVERIFY(sameUpToFill(received(), content));
    } else {
        // A cancelled image is never handed over as a whole one.
        QVERIFY(received().isEmpty());
    }
}

// Modal through exec() and in real time: a display that never answers ends the
// update within 20 s with what failed and what to check; the adapter is then
// plugged in again (a new device under the same COM name) and the next Send
// goes through, the phase beside the bar from the loader to "Done".
void tst_firmware_sim::silentDisplayThenAnotherDevice()
{
    const QStringList sim {QStringLiteral("--com"), QString::number(kCom), QStringLiteral("--firmware-out"),
                           m_dir.filePath(QStringLiteral("received.bin"))};
    QVERIFY2(m_sim->start(sim + QStringList {QStringLiteral("--fault"), QStringLiteral("silent")}),
             qPrintable(m_sim->error()));
    const QByteArray content = image(128 * 40);
    CKDX kdx;
    kdx.setCommPort(kCom);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
    frmFirmwareUpdate w(kdx);
    w.findChild<QLineEdit *>(QStringLiteral("txtFile"))->setText(writeImage(content));
    auto *send = w.findChild<QPushButton *>(QStringLiteral("cmdCtrl_0"));
    auto *phase = w.findChild<QLabel *>(QStringLiteral("lblPhase"));
    auto *bar = w.findChild<QProgressBar *>(QStringLiteral("pb"));
    QStringList phases;
    connect(&w.Timer1(), &platform::Timer::timeout, &w, [&] {
        if (phases.isEmpty() || phases.last() != phase->text())
            phases << phase->text();
    });

    QElapsedTimer clock;
    qint64 silentMs = -1;
    QString phaseAtFailure;
    bool restarted = false;
    m_dialogs->onMessageBox = [&](const kdxtest::RecordingDialogs::Box &) {
        if (m_dialogs->boxes.size() > 1) {
            QTimer::singleShot(0, &w, [&] { w.close(); });
            return;
        }
        silentMs = clock.elapsed();
        phaseAtFailure = phase->text();
        QTimer::singleShot(0, &w, [&] {
            m_sim.reset();
            m_sim = std::make_unique<SimProcess>(platform::PortMap::defaultDir());
            restarted = m_sim->start(sim);
            phases.clear();
            if (restarted)
                send->click();
            else
                w.close();
        });
    };
    QTimer::singleShot(0, &w, [&] {
        clock.start();
        send->click();
    });
    // However it goes, the window is closed in the end.
    QTimer::singleShot(90000, &w, [&] {
        kdx.StopSendFile();
        w.close();
    });
    w.exec();

    QVERIFY2(silentMs >= 15000 && silentMs < 20000, qPrintable(QString::number(silentMs)));
    QVERIFY2(restarted, qPrintable(m_sim->error()));
    QCOMPARE(phaseAtFailure, QStringLiteral("Failed"));
    QCOMPARE(m_dialogs->boxes.size(), 2);
    QCOMPARE(m_dialogs->boxes[0].text,
             QStringLiteral("Firmware Update failed: the display did not answer the request to switch to its loader.\n\n"
                            "Device does not respond. (-4)\n\nIs the display at 19200 baud and switched on?"));
    QCOMPARE(m_dialogs->boxes[1].text, QStringLiteral("Firmware Update OK!"));
    QTRY_VERIFY_WITH_TIMEOUT(!received().isEmpty(), 3000);
    QVERIFY(sameUpToFill(received(), content));
    QCOMPARE(phases.first(), QStringLiteral("Switching the display to its loader"));
    QVERIFY2(phases.indexOf(QRegularExpression(QStringLiteral("^Sending block ([1-9]|[1-3][0-9]) of 40$"))) > 0,
             qPrintable(phases.join('|')));
    QCOMPARE(phase->text(), QStringLiteral("Done"));
    QCOMPARE(bar->value(), 100);
}

void tst_firmware_sim::kdxctlUpdates_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("terminal"); // standard error on a terminal, else a pipe

    QTest::newRow("CRC, plain image") << QStringList {"--crc", "--code-type", "1"} << QStringList() << 0 << false;
    QTest::newRow("display cancels")
        << QStringList {"--crc"} << QStringList {QStringLiteral("--fault"), QStringLiteral("cancel-at-block=2")}
        << 7 << false;
    QTest::newRow("progress on a terminal") << QStringList {"--crc"} << QStringList() << 0 << true;
}

void tst_firmware_sim::kdxctlUpdates()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, faults);
    QFETCH(int, exitCode);
    QFETCH(bool, terminal);

    QVERIFY2(m_sim->start(QStringList {QStringLiteral("--com"), QString::number(kCom), QStringLiteral("--firmware-out"),
                                          m_dir.filePath(QStringLiteral("received.bin"))}
                             + faults),
             qPrintable(m_sim->error()));
    const QByteArray content = image(900);
    QProcess p;
    p.setProgram(SimProcess::binary(QStringLiteral("kdxctl")));
    p.setArguments(QStringList {QStringLiteral("--port"), QStringLiteral("COM%1").arg(kCom), QStringLiteral("--baud"),
                                QStringLiteral("19200"), QStringLiteral("firmware"), writeImage(content)}
                   + options);
    QString err;
    if (terminal) {
        err = QString::fromLocal8Bit(kdxtest::runOnTerminal(p, STDERR_FILENO, 30000));
    } else {
        p.start();
        QVERIFY(p.waitForFinished(30000));
        err = QString::fromLocal8Bit(p.readAllStandardError());
    }
    QCOMPARE(p.exitCode(), exitCode);
    if (terminal) {
        // One line per phase, rewritten in place, and ended before the next.
        QVERIFY2(err.contains(QLatin1String("\n\rloader: 0%\rloader: ")), qPrintable(err));
        QVERIFY2(err.contains(QLatin1String("\rloader: 100%\n")), qPrintable(err));
        QVERIFY2(err.contains(QLatin1String("%\rtransfer: ")), qPrintable(err));
        QVERIFY2(err.endsWith(QLatin1String("\rtransfer: 100%\n")), qPrintable(err));
        QCOMPARE(err.count(QLatin1String("%\n")), 2);
    } else {
        // A pipe: one plain line per step, each phase labelled.
        QVERIFY2(err.contains(QLatin1String("\nloader: 20%\n")), qPrintable(err));
        QVERIFY2(!err.contains(QLatin1Char('\r')), qPrintable(err));
    }
    if (exitCode == 0) {
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed(),
                 QStringLiteral("Firmware Update OK!"));
        QVERIFY2(err.contains(terminal ? QLatin1String("\rtransfer: 100%\n") : QLatin1String("\ntransfer: 100%\n")),
                 qPrintable(err));
        QTRY_VERIFY_WITH_TIMEOUT(!received().isEmpty(), 3000);
        QVERIFY(sameUpToFill(received(), content));
    } else {
        QVERIFY2(err.contains(QLatin1String("the display cancelled the transfer")), qPrintable(err));
    }
}

// SIGTERM after a few blocks: the display is told to cancel and to leave its
// loader, never left waiting for the rest of the image.
void tst_firmware_sim::kdxctlStoppedBySignal()
{
    QVERIFY2(m_sim->start(QStringList {QStringLiteral("--com"), QString::number(kCom), QStringLiteral("--firmware-out"),
                                          m_dir.filePath(QStringLiteral("received.bin"))}),
             qPrintable(m_sim->error()));
    QProcess p;
    p.start(SimProcess::binary(QStringLiteral("kdxctl")),
            QStringList {QStringLiteral("--port"), QStringLiteral("COM%1").arg(kCom), QStringLiteral("firmware"),
                         writeImage(image(128 * 200)), QStringLiteral("--crc")});
    QVERIFY(m_sim->waitForState([](const QJsonObject &s) {
        return s.value(QStringLiteral("loader")).toObject().value(QStringLiteral("blocks")).toInt() >= 3;
    }, 15000));
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 143);
    QVERIFY2(err.trimmed().endsWith(QLatin1String("firmware: stopped")), qPrintable(err));
    QJsonObject loader;
    QVERIFY(m_sim->waitForState([&loader](const QJsonObject &s) {
        loader = s.value(QStringLiteral("loader")).toObject();
        return loader.value(QStringLiteral("transfer")).toString() != QLatin1String("receiving");
    }));
    QVERIFY2(loader.value(QStringLiteral("failure")).toString().contains(QLatin1String("cancelled")),
             qPrintable(QJsonDocument(loader).toJson()));
    // ESC "R" CR took the display out of its loader.
    QCOMPARE(loader.value(QStringLiteral("state")).toString(), QStringLiteral("off"));
    QVERIFY(received().isEmpty());
}

void tst_firmware_sim::kdxctlRefuses_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");

    QTest::newRow("FIFO, without blocking") << "fifo" << "COM41" << 66 << ": not a regular file";
    QTest::newRow("endless device") << "/dev/urandom" << "COM41" << 66 << "/dev/urandom: not a regular file";
    QTest::newRow("folder") << "/" << "COM41" << 66 << "/: not a regular file";
    QTest::newRow("empty file") << "empty" << "COM41" << 66 << ": the file is empty";
    QTest::newRow("port not in the map")
        << "image" << "COM99" << 2 << "Commport open failed.\nCOM99 is not in the port map";
}

// Refusals come before the display is touched: no simulator is needed.
void tst_firmware_sim::kdxctlRefuses()
{
    QFETCH(QString, file);
    QFETCH(QString, port);
    QFETCH(int, exitCode);
    QFETCH(QString, says);

    if (file == QLatin1String("fifo")) {
        file = m_dir.filePath(QStringLiteral("fifo"));
        QFile::remove(file);
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    } else if (file == QLatin1String("empty")) {
        file = writeImage(QByteArray());
    } else if (file == QLatin1String("image")) {
        file = writeImage(image(300));
    }
    QProcess p;
    p.setProcessEnvironment(m_sim->environment());
    p.start(SimProcess::binary(QStringLiteral("kdxctl")),
            QStringList {QStringLiteral("--port"), port, QStringLiteral("firmware"), file});
    QVERIFY(p.waitForFinished(5000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(err.contains(says), qPrintable(err));
}

QTEST_MAIN(tst_firmware_sim)
#include "tst_firmware_sim.moc"
