// The main window against kdx-sim over a pseudo-terminal, in real time: the
// window's buttons, the real serial port, and the simulated display's state file.

#include "CKDX.h"
#include "LimitedTextEdit.h"
#include "PortMap.h"
#include "SettingTab.h"
#include "SimProcess.h"
#include "TestEnv.h"
#include "TrafficWindow.h"
#include "frmCKDX.h"
#include "frmMain.h"
#include "mod_Init.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int kCom = 7;

} // namespace

class tst_utilityOnSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandsReachTheDisplay();
    void trafficOpenedAfterwardsShowsTheExchange();
    void epsonTabAndCharacterTable();
    void findDisplayAt9600();

private:
    QJsonObject state() const { return m_sim->state(); }

    std::unique_ptr<SimProcess> m_sim;
};

void tst_utilityOnSim::initTestCase()
{
    kdxtest::isolateUserFolders();
    if (!SimProcess::built())
        QSKIP("kdx-sim is not built");
    m_sim = std::make_unique<SimProcess>(platform::PortMap::defaultDir());
    QVERIFY2(m_sim->start({QStringLiteral("--com"), QString::number(kCom), QStringLiteral("--baud"),
                           QStringLiteral("19200")}),
             qPrintable(m_sim->error()));

    // The utility's first start, but on the simulator's port, its line tapped
    // from the start as the program's is.
    monitor::TrafficWindow::installTap();
    kdxtest::firstStartOn(kCom);
}

void tst_utilityOnSim::cleanupTestCase()
{
    frmCKDX::resetInstance();
    m_sim.reset();
}

void tst_utilityOnSim::commandsReachTheDisplay()
{
    kdxtest::RecordingDialogs dialogs;
    frmMain w;
    QCOMPARE(w.m_kdx->CommPort(), kCom);
    QCOMPARE(w.lblComportDevice->text(), QStringLiteral("device: %1").arg(QFileInfo(
        QString::fromLocal8Bit(qgetenv("KDX_PORTS_DIR")) + QStringLiteral("/COM%1").arg(kCom)).symLinkTarget()));

    // International code "32- Germany": the display switches its character set.
    w.cboInternationalCode->setCurrentIndex(2);
    w.cmdPRYX[1]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QTRY_COMPARE(state().value("international").toObject().value("code").toInt(), 0x32);

    // Send: the German set shows its replacements for [ and ].
    w.txtMessage->setText(QStringLiteral("[x]"));
    w.cmdPRYX[6]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QTRY_VERIFY(state().value("lines").toArray().first().toString().startsWith(QStringLiteral("ÄxÜ")));
    QCOMPARE(w.txtEPSON->text(), QStringLiteral("[x]"));

    // Get reads the message back into both message boxes.
    w.txtMessage->setText(QString());
    w.cmdPRYX[7]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QCOMPARE(w.txtMessage->text(), QStringLiteral("[x]"));
    QCOMPARE(w.txtEPSON->text(), QStringLiteral("[x]"));

    // The version's leading "?" is shown as "R".
    w.cmdPRYX[9]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QCOMPARE(w.lblFirmwareVersion->text(), QStringLiteral("R1.05"));

    // The display leaves 19200 for 9600: its answer comes at the new rate, the
    // window follows it, and the next command finds the display at 9600.
    w.cboS_BaudRate->setCurrentIndex(2);
    w.cboS_Parity->setCurrentIndex(0);
    w.cmdPRYX[0]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("The display now uses 9600 N,8,1; the PC side follows."));
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("9600"));
    QTRY_COMPARE(state().value("baud").toInt(), 9600);
    w.cmdPRYX[9]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QVERIFY(dialogs.boxes.isEmpty());
}

// The Traffic window opened only after a version read, as a technician opens
// it after a fault: the exchange that led there is in it.
void tst_utilityOnSim::trafficOpenedAfterwardsShowsTheExchange()
{
    kdxtest::RecordingDialogs dialogs;
    frmMain w; // at the 9600 baud the previous case left behind
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    monitor::TrafficHistory::install().clear();
    QVERIFY(!monitor::TrafficWindow::instance());
    w.cmdPRYX[9]->click();
    QCOMPARE(w.lblFirmwareVersion->text(), QStringLiteral("R1.05"));

    QTest::mouseClick(w.findChild<QAbstractButton *>(QStringLiteral("cmdTraffic")), Qt::LeftButton);
    std::unique_ptr<monitor::TrafficWindow> traffic(monitor::TrafficWindow::instance());
    QVERIFY(traffic);
    QStringList meanings;
    for (int r = 0; r < traffic->model().rowCount(); ++r)
        meanings << traffic->model().event(r).meaning;
    QCOMPARE(meanings, (QStringList {QStringLiteral("open COM%1 9600,N,8,1").arg(kCom), QStringLiteral("GetVersion"),
                                     QStringLiteral("version \"?1.05\""), QStringLiteral("close")}));
}

void tst_utilityOnSim::epsonTabAndCharacterTable()
{
    kdxtest::RecordingDialogs dialogs;
    frmMain w; // restores the 9600 baud the previous case left behind

    w.cmdLightTube->click();
    QTRY_COMPARE(state().value("codes").toArray().last().toArray().last().toInt(), 0xB2);

    w.cmdPRYX[11]->click();
    QTRY_COMPARE(state().value("commandSet").toString(), QStringLiteral("epson"));
    w.cmdEPSON[8]->click(); // CLR
    w.txtEPSON->setText(QStringLiteral("AB"));
    w.cmdEPSON[19]->click();
    QTRY_COMPARE(state().value("lines").toArray().first().toString(), QStringLiteral("AB") + QString(18, ' '));
    QCOMPARE(w.txtMessage->text(), QStringLiteral("AB"));

    w.cboRow->setCurrentIndex(1);
    w.cboColumn->setCurrentIndex(4);
    w.cmdEPSON[15]->click();
    QTRY_COMPARE(state().value("cursor").toObject().value("row").toInt(), 2);
    QCOMPARE(state().value("cursor").toObject().value("col").toInt(), 5);
    w.cmdASCII1[67]->click(); // "C"
    QTRY_VERIFY(state().value("lines").toArray().last().toString().startsWith(QStringLiteral("    C")));

    w.cboPeripheral->setCurrentIndex(2);
    QTRY_COMPARE(state().value("peripheral").toString(), QStringLiteral("both"));
    w.cmdPRYX[12]->click();
    QTRY_COMPARE(state().value("commandSet").toString(), QStringLiteral("native"));
    QVERIFY(dialogs.boxes.isEmpty());
}

// A display nobody remembers setting to 9600: Find Display, then "Use These
// Settings", and the window talks to it.
void tst_utilityOnSim::findDisplayAt9600()
{
    constexpr int kOtherCom = kCom + 1;
    SimProcess sim(platform::PortMap::defaultDir());
    QVERIFY2(sim.start({QStringLiteral("--com"), QString::number(kOtherCom), QStringLiteral("--baud"),
                        QStringLiteral("9600")}),
             qPrintable(sim.error()));
    kdxtest::firstStartOn(kOtherCom);
    kdxtest::RecordingDialogs dialogs;
    frmMain w;
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("19200"));

    QString question;
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        question = box->text();
        box->findChild<QPushButton *>(QStringLiteral("cmdUseFound"))->click();
    });
    watcher.start();
    w.settingTab->cmdFindDisplay->click();
    watcher.stop();
    QVERIFY2(question.contains(QLatin1String("answers at 9600 baud")), qPrintable(question));
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("9600"));
    QCOMPARE(w.cboParity->currentText(), QStringLiteral("N,8,1"));
    QCOMPARE(QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"),
                       QStringLiteral("KDXB Utility"))
                 .value(QStringLiteral("Settings/BaudRate"))
                 .toString(),
             QString::number(w.cboBaudRate->currentIndex()));

    w.cmdPRYX[9]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QCOMPARE(w.lblFirmwareVersion->text(), QStringLiteral("R1.05"));
    QVERIFY(dialogs.boxes.isEmpty());
    frmCKDX::resetInstance();
}

QTEST_MAIN(tst_utilityOnSim)
#include "tst_utilityOnSim.moc"
