// The main window on a scripted port and the virtual clock: what it shows after
// loading, what it keeps in the settings store, and the bytes each control sends.

#include "CKDX.h"
#include "LimitedTextEdit.h"
#include "PosixSerialPort.h"
#include "frmCKDX.h"
#include "SettingTab.h"
#include "TestEnv.h"
#include "frmCKDX.h"
#include "frmMain.h"
#include "PortMap.h"
#include "StatusLine.h"
#include "UpDown.h"
#include "frmVT100.h"
#include "TrafficWindow.h"
#include "mod_Init.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QElapsedTimer>
#include <QClipboard>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A display that acknowledges native frames, holds the message "STORED" and
// reports version "?1.05", each answer 20 ms after the frame.
void display(kdxtest::FakeSerialPort &port, const QByteArray &written)
{
    if (!written.startsWith(hex("04 01")) || !written.endsWith('\x17'))
        return;
    switch (written[2]) {
    case 'T': port.reply(hex("01") + "STORED" + hex("17"), 20); break;
    case 'V': port.reply("?1.05", 20); break;
    default: port.reply(hex("06"), 20); break;
    }
}

QSettings store(const QString &app = QStringLiteral("KDXB Utility"))
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), app);
}

QString stored(const QString &section, const QString &key, const QString &app = QStringLiteral("KDXB Utility"))
{
    return store(app).value(section + QLatin1Char('/') + key).toString();
}

void put(const QString &section, const QString &key, const QString &value,
         const QString &app = QStringLiteral("KDXB Utility"))
{
    QSettings s = store(app);
    s.setValue(section + QLatin1Char('/') + key, value);
    s.sync();
}

QStringList entries(const QComboBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        kdxtest::isolateUserFolders();
        frmMain::setUnloadHandler([this] { ++m_unloads; });
    }
    void init()
    {
        for (const char *app : {"KDXB Utility", "KDXG Utility", "KDX Utility", "KDXM Utility"}) {
            QSettings s = store(QString::fromLatin1(app));
            // A link or FIFO left by a failed row would be read, or block, here.
            const QFileInfo ini(s.fileName());
            if (ini.isSymLink() || (ini.exists() && !ini.isFile())) {
                QFile::remove(s.fileName());
                s.sync();
            }
            s.clear();
            s.sync();
        }
        g_KDXType = 11;
        m_env = std::make_unique<kdxtest::DriverEnv>();
    }
    void cleanup() { m_env.reset(); }

    void firstStart();
    void trafficButtonBesideExit();
    void restore_data();
    void restore();
    void changesAreSavedAndRestored();
    void selectors_data();
    void selectors();
    void messageLimitCountsWhatIsSent();
    void nativeCommands_data();
    void nativeCommands();
    void nativeFailures_data();
    void nativeFailures();
    void baudChange_data();
    void baudChange();
    void busyGuard();
    void refusedWhileTransferOwnsPort();
    void epsonCommands_data();
    void epsonCommands();
    void toggles();
    void refusedParameters_data();
    void refusedParameters();
    void listsSilentWhileLoading();
    void nationalFollowsInternationalCode();
    void asciiButtons_data();
    void asciiButtons();
    void asciiCaptions();
    void lampTest_data();
    void lampTest();
    void firmwareRoad_data();
    void firmwareRoad();
    void findDisplay_data();
    void findDisplay();
    void findDisplayStops_data();
    void findDisplayStops();
    void vt100Window();
    void exitEndsTheProgram();
    void cursorIcons();
    void nativeTabOrderFollowsRows();
    void messageLimitAndLineBreaks();
    void portMapDevice();
    void hiddenDisplayTypeList();
    void mainStartsTheUtility();
    void startWithUnusualIni_data();
    void startWithUnusualIni();
    void noStaleOk_data();
    void noStaleOk();
    void openFailureReasonShown();
    void statusGoesWithItsSubject_data();
    void statusGoesWithItsSubject();
    void statusInUseGoesWhenThePortIsFree();
    void longStatusElidedWithTooltip();
    void ctrlTabFromEveryControl_data();
    void ctrlTabFromEveryControl();
    void tabStopsShowFocus();
    void tabReachesTrafficAndExit_data();
    void tabReachesTrafficAndExit();
    void everyControlIsNamed();
    void vt100FromTheCommandLine();
    void fitsAt200Percent();

private:
    kdxtest::FakeSerialPort &port() { return m_env->port(); }

    std::unique_ptr<kdxtest::DriverEnv> m_env;
    int m_unloads = 0;
};

void tst_frmMain::trafficButtonBesideExit()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *button = w.findChild<QAbstractButton *>(QStringLiteral("cmdTraffic"));
    QVERIFY(button);
    // In the status row, just before "Exit".
    QCOMPARE(button->parentWidget(), w.cmdExit->parentWidget());
    QVERIFY(button->geometry().right() < w.cmdExit->geometry().left());
    QVERIFY(qAbs(button->geometry().center().y() - w.cmdExit->geometry().center().y()) < w.cmdExit->height());
    QTest::mouseClick(button, Qt::LeftButton);
    monitor::TrafficWindow *traffic = monitor::TrafficWindow::instance();
    QVERIFY(traffic && traffic->isVisible());
    traffic->close();
    w.activateWindow();
    QTest::keyClick(w.cboComport, Qt::Key_T, Qt::ControlModifier);
    QVERIFY(traffic->isVisible());
    traffic->close();
}

void tst_frmMain::firstStart()
{
    frmMain w;
    QCOMPARE(w.windowTitle(), QStringLiteral("KDXB Utility V1.3R5"));
    QCOMPARE(w.cboComport->currentText(), QStringLiteral("COM1"));
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("19200"));
    QCOMPARE(w.cboParity->currentText(), QStringLiteral("N,8,1"));
    QCOMPARE(w.cboS_BaudRate->currentText(), QStringLiteral("38400"));
    QCOMPARE(w.cboS_Parity->currentText(), QStringLiteral("N,8,1"));
    QCOMPARE(w.cboInternationalCode->currentText(), QStringLiteral("30- U.S.A"));
    QCOMPARE(w.cboNational->currentText(), QStringLiteral("U.S.A"));
    QCOMPARE(w.cboLayer->currentText(), QStringLiteral("Layer 1"));
    QCOMPARE(w.cboShowSavedMessageAfterRebootMode->currentText(), QStringLiteral("Stay"));
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("Mode 1 (Horizontal Scroll)"));
    QCOMPARE(w.cboOperation->currentText(), QStringLiteral("over-write"));
    QCOMPARE(w.cboPeripheral->currentText(), QStringLiteral("display"));
    QCOMPARE(w.cboExpand->currentText(), QStringLiteral("ignore Expand"));
    QCOMPARE(w.cboDevice->currentText(), QStringLiteral("Printer ON"));
    QCOMPARE(entries(w.cboComport).size(), 16);
    QCOMPARE(entries(w.cboBaudRate),
             QStringList({"38400", "19200", "9600", "4800", "2400", "1200", "600"}));
    QCOMPARE(entries(w.cboRow), QStringList({"1", "2"}));
    QCOMPARE(w.cboColumn->count(), 20);
    QCOMPARE(w.cmdPRYX[11]->text(), QStringLiteral("Switch to EPSON Command"));
    QCOMPARE(w.cmdPRYX[12]->text(), QStringLiteral("Switch to PRYX Command"));
    QCOMPARE(w.SSTab1->currentIndex(), 0);
    for (int t = 0; t < 4; ++t)
        QVERIFY(w.SSTab1->isTabEnabled(t));
    QVERIFY(!w.cmdMis->isEnabled());
    QVERIFY(w.cmdMis->isHidden());
    QVERIFY(w.fraDisplayType->isHidden());
    QVERIFY(!w.isLoading());

    // Restoring hands the PC side to the driver and writes every value back.
    QVERIFY(w.m_kdx);
    QCOMPARE(w.m_kdx->CommPort(), 1);
    QCOMPARE(w.m_kdx->BaudRate(), QStringLiteral("19200"));
    QCOMPARE(w.m_kdx->Parity(), QStringLiteral("N,8,1"));
    QCOMPARE(stored("Settings", "Comport"), QStringLiteral("0"));
    QCOMPARE(stored("Settings", "BaudRate"), QStringLiteral("1"));
    QCOMPARE(stored("Set", "InternationalCode"), QStringLiteral("0"));
    QCOMPARE(stored("Set", "Mode"), QStringLiteral("0"));
    QVERIFY(port().events.isEmpty());
}

void tst_frmMain::restore_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("position"); // -1: no selection

    QTest::newRow("last port") << "Settings" << "Comport" << "15" << "cboComport" << 15;
    QTest::newRow("port past the list") << "Settings" << "Comport" << "16" << "cboComport" << -1;
    QTest::newRow("negative port") << "Settings" << "Comport" << "-1" << "cboComport" << -1;
    QTest::newRow("not a number") << "Settings" << "Comport" << "abc" << "cboComport" << 0;
    QTest::newRow("leading number") << "Settings" << "Comport" << "2 apples" << "cboComport" << 2;
    QTest::newRow("beyond 16 bits") << "Settings" << "Comport" << "40000" << "cboComport" << -1;
    QTest::newRow("baud rate") << "Settings" << "BaudRate" << "3" << "cboBaudRate" << 3;
    QTest::newRow("parity") << "Settings" << "Parity" << "2" << "cboParity" << 2;
    QTest::newRow("display baud") << "Set" << "BaudRate" << "6" << "cboS_BaudRate" << 6;
    QTest::newRow("display parity") << "Set" << "Parity" << "1" << "cboS_Parity" << 1;
    QTest::newRow("international code") << "Set" << "InternationalCode" << "13" << "cboInternationalCode" << 13;
    QTest::newRow("layer") << "Set" << "Layer" << "6" << "cboLayer" << 6;
    QTest::newRow("reboot mode") << "Set" << "ShowSavedMessageAfterRebootMode" << "1"
                                 << "cboShowSavedMessageAfterRebootMode" << 1;
    QTest::newRow("mode") << "Set" << "Mode" << "4" << "cboMode" << 4;
    QTest::newRow("mode past the list") << "Set" << "Mode" << "7" << "cboMode" << -1;
}

void tst_frmMain::restore()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, list);
    QFETCH(int, position);
    put(section, key, value);

    frmMain w;
    auto *combo = w.findChild<QComboBox *>(list);
    QVERIFY(combo);
    QCOMPARE(combo->currentIndex(), position);
    // Loading went on to the end whatever happened to this list.
    QCOMPARE(w.cboMode->count(), 7);
    QCOMPARE(w.cboRow->count(), 2);
    QVERIFY(!w.isLoading());
    if (list == QLatin1String("cboComport") && position >= 0)
        QCOMPARE(w.m_kdx->CommPort(), position + 1);
    if (list == QLatin1String("cboInternationalCode"))
        QCOMPARE(w.cboNational->currentIndex(), position);
    if (position >= 0)
        QCOMPARE(stored(section, key), QString::number(position));
    else
        QCOMPARE(stored(section, key), value);
}

void tst_frmMain::changesAreSavedAndRestored()
{
    {
        frmMain w;
        port().clearRecord();
        w.cboComport->setCurrentIndex(15);
        w.cboBaudRate->setCurrentIndex(2);
        w.cboParity->setCurrentIndex(1);
        w.cboS_BaudRate->setCurrentIndex(4);
        w.cboS_Parity->setCurrentIndex(2);
        w.cboInternationalCode->setCurrentIndex(10);
        w.cboLayer->setCurrentIndex(3);
        w.cboShowSavedMessageAfterRebootMode->setCurrentIndex(1);
        w.cboMode->setCurrentIndex(5);
        QCOMPARE(w.m_kdx->CommPort(), 16);
        QCOMPARE(w.m_kdx->BaudRate(), QStringLiteral("9600"));
        QCOMPARE(w.m_kdx->Parity(), QStringLiteral("O,7,1"));
        // Choosing settings opens nothing; they take effect with the next command.
        QVERIFY(port().events.isEmpty());
    }
    QCOMPARE(stored("Settings", "Comport"), QStringLiteral("15"));
    QCOMPARE(stored("Set", "InternationalCode"), QStringLiteral("10"));

    frmMain w;
    QCOMPARE(w.cboComport->currentText(), QStringLiteral("COM16"));
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("9600"));
    QCOMPARE(w.cboParity->currentText(), QStringLiteral("O,7,1"));
    QCOMPARE(w.cboS_BaudRate->currentText(), QStringLiteral("2400"));
    QCOMPARE(w.cboS_Parity->currentText(), QStringLiteral("E,7,1"));
    QCOMPARE(w.cboInternationalCode->currentText(), QStringLiteral("3A- Denmark II"));
    QCOMPARE(w.cboNational->currentText(), QStringLiteral("Denmark II"));
    QCOMPARE(w.cboLayer->currentText(), QStringLiteral("Layer 1 + 2"));
    QCOMPARE(w.cboShowSavedMessageAfterRebootMode->currentText(), QStringLiteral("Running"));
    QCOMPARE(w.cboMode->currentText(), QStringLiteral("Mode 2 + 3"));

    port().setResponder(display);
    w.cmdPRYX[1]->click();
    QCOMPARE(port().events.first(), QStringLiteral("open 16 9600,O,7,1"));
}

void tst_frmMain::selectors_data()
{
    QTest::addColumn<int>("selector");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("baudAtPosition1");
    QTest::addColumn<QStringList>("parities");
    QTest::addColumn<int>("codes");
    QTest::addColumn<bool>("nativeTab");
    QTest::addColumn<bool>("epsonTab");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("modes");

    const QStringList usual {"N,8,1", "O,7,1", "E,7,1"};
    QTest::newRow("KDXB") << 11 << "KDXB Utility V1.3R5" << "19200" << usual << 15 << true << true << 2 << 20 << 7;
    QTest::newRow("KDXG") << 5 << "KDXG Utility V1.3R5" << "38400" << usual << 16 << true << true << 2 << 20 << 7;
    QTest::newRow("KDXC-P1") << 0 << "KDX Utility V1.3R5" << "19200" << usual << 15 << true << false << 2 << 20 << 7;
    QTest::newRow("KDXC-P2") << 1 << "KDX Utility V1.3R5" << "19200" << usual << 15 << false << true << 2 << 20 << 7;
    QTest::newRow("KDXJ") << 7 << "KDX Utility V1.3R5" << "19200" << QStringList {"N,8,1", "O,8,1", "E,8,1"} << 15
                          << true << true << 4 << 20 << 7;
    QTest::newRow("KDXK") << 8 << "KDX Utility V1.3R5" << "19200" << usual << 15 << true << false << 4 << 40 << 3;
    QTest::newRow("KDXL") << 9 << "KDX Utility V1.3R5" << "19200"
                          << QStringList {"N,8,1", "O,7,1", "E,7,1", "o,8,1", "e,8,1"} << 15 << true << true << 2 << 20
                          << 7;
    QTest::newRow("KDXM") << 12 << "KDXM Utility V1.3R5" << "19200" << usual << 15 << true << true << 2 << 20 << 7;
}

void tst_frmMain::selectors()
{
    QFETCH(int, selector);
    QFETCH(QString, caption);
    QFETCH(QString, baudAtPosition1);
    QFETCH(QStringList, parities);
    QFETCH(int, codes);
    QFETCH(bool, nativeTab);
    QFETCH(bool, epsonTab);
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(int, modes);

    g_KDXType = selector;
    frmMain w;
    QCOMPARE(w.windowTitle(), caption);
    QCOMPARE(w.cboBaudRate->currentText(), baudAtPosition1);
    QCOMPARE(entries(w.cboParity), parities);
    QCOMPARE(entries(w.cboS_Parity), parities);
    QCOMPARE(w.cboInternationalCode->count(), codes);
    QCOMPARE(w.SSTab1->isTabEnabled(1), nativeTab);
    QCOMPARE(w.SSTab1->isTabEnabled(2), epsonTab);
    QVERIFY(w.SSTab1->isTabEnabled(3));
    QCOMPARE(w.SSTab1->count(), 4); // switched-off tabs stay in place
    QCOMPARE(w.cboRow->count(), rows);
    QCOMPARE(w.cboColumn->count(), columns);
    QCOMPARE(w.cboMode->count(), modes);
    QCOMPARE(w.txtMessage->maxLength(), rows * columns);
    const bool kdxl = selector == 9;
    for (int i : {10, 11, 18})
        QCOMPARE(w.cmdEPSON[i]->isEnabledTo(w.cmdEPSON[i]->parentWidget()), !kdxl);
    QCOMPARE(w.SSTab1->tabText(1), selector == 12 ? QStringLiteral("Group A") : QStringLiteral("Main(PRYX)"));
    QCOMPARE(w.cmdPRYX[11]->text(), selector == 11 ? QStringLiteral("Switch to EPSON Command")
                                                   : QStringLiteral("Switch to Group B Command"));
}

void tst_frmMain::messageLimitCountsWhatIsSent()
{
    g_KDXType = 11;
    frmMain w;
    w.show();
    LimitedTextEdit *box = w.txtMessage;
    box->setFocus();
    // 38 characters and a line break fill the 40 cells: the break goes out as CR LF.
    QTest::keyClicks(box, QString(38, QLatin1Char('a')));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClicks(box, QStringLiteral("bc"));
    QCOMPARE(box->text(), QString(38, QLatin1Char('a')) + QStringLiteral("\r\n"));
    QCOMPARE(box->text().size(), 40);

    // A paste takes what fits, a line break counting two.
    box->clear();
    QGuiApplication::clipboard()->setText(QString(37, QLatin1Char('x')) + QStringLiteral("\r\nyz"));
    box->paste();
    QCOMPARE(box->text(), QString(37, QLatin1Char('x')) + QStringLiteral("\r\ny"));
}

void tst_frmMain::nativeCommands_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown"); // what the command puts into its box or label

    QTest::newRow("display baud") << 0 << hex("04 01 42 36 4E 17") << QString();
    QTest::newRow("international code") << 1 << hex("04 01 49 3A 17") << QString();
    QTest::newRow("save layer") << 2 << hex("04 01 53 32 17") << QString();
    QTest::newRow("cursor position") << 3 << hex("04 01 50 35 17") << QString();
    QTest::newRow("clear range") << 4 << hex("04 01 43 33 37 17") << QString();
    QTest::newRow("demo message") << 5 << hex("04 01 44 32 33 17") << QString();
    QTest::newRow("send message") << 6 << QByteArray("Hi") << "Hi";
    QTest::newRow("get message") << 7 << hex("04 01 54 17") << "STORED";
    QTest::newRow("printer off") << 8 << hex("1B 53") << QString();
    QTest::newRow("version") << 9 << hex("04 01 56 17") << "R1.05";
    QTest::newRow("reboot mode") << 10 << hex("04 01 4F 31 17") << QString();
    QTest::newRow("to EPSON") << 11 << hex("1B 5A 31 00") << QString();
    QTest::newRow("to native") << 12 << hex("1B 5A 30 00") << QString();
}

void tst_frmMain::nativeCommands()
{
    QFETCH(int, index);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);

    frmMain w;
    w.cboInternationalCode->setCurrentIndex(10); // "3A- Denmark II"
    w.txtLayer->setText("2");
    w.txtPosition->setText("5");
    w.txtStart->setText("3");
    w.txtEnd->setText("7");
    w.cboLayer->setCurrentIndex(1);
    w.cboMode->setCurrentIndex(2);
    w.cboShowSavedMessageAfterRebootMode->setCurrentIndex(1);
    w.cboDevice->setCurrentIndex(1);
    w.txtMessage->setText("Hi");
    port().setResponder(display);

    w.txtStatus->setText("old");
    w.cmdPRYX[index]->click();
    QCOMPARE(port().written(), bytes);
    QCOMPARE(w.txtStatus->text(), index == 0 ? QStringLiteral("The display now uses 38400 N,8,1; the PC side follows.")
                                             : QStringLiteral("OK"));
    QCOMPARE(port().events.last(), QStringLiteral("close"));
    QVERIFY(!w.isBusy());
    QVERIFY(w.SSTab1->isEnabled());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    if (index == 6 || index == 7) {
        QCOMPARE(w.txtMessage->text(), shown);
        QCOMPARE(w.txtEPSON->text(), shown);
    }
    if (index == 9)
        QCOMPARE(w.lblFirmwareVersion->text(), shown);
}

void tst_frmMain::nativeFailures_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<QString>("status");

    QTest::newRow("silent display") << 1 << false << "Device does not respond.";
    // The driver's text, then the serial layer's reason.
    QTest::newRow("port cannot open") << 3 << true << "Commport open failed. COM1: No such file or directory";
    QTest::newRow("get from silent display") << 7 << false << "Device does not respond.";
    QTest::newRow("version from silent display") << 9 << false << "Device does not respond.";
}

void tst_frmMain::nativeFailures()
{
    QFETCH(int, index);
    QFETCH(bool, openFails);
    QFETCH(QString, status);

    frmMain w;
    port().failOpen = openFails;
    w.txtMessage->setText("before");
    w.lblFirmwareVersion->setText("before");
    w.cmdPRYX[index]->click();
    QCOMPARE(w.txtStatus->text(), status);
    // A failed read leaves both message boxes, or the version, empty.
    if (index == 7) {
        QCOMPARE(w.txtMessage->text(), QString());
        QCOMPARE(w.txtEPSON->text(), QString());
    }
    if (index == 9)
        QCOMPARE(w.lblFirmwareVersion->text(), QString());
}

void tst_frmMain::baudChange_data()
{
    QTest::addColumn<QByteArray>("answer");  // to the baud change; empty: silence
    QTest::addColumn<QByteArray>("version"); // to the version read that follows
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("follows");

    const QString done = QStringLiteral("The display now uses 9600 N,8,1; the PC side follows.");
    QTest::newRow("acknowledged") << hex("06") << QByteArray() << done << true;
    QTest::newRow("answer at the new rate, version there") << hex("F8") << QByteArray("?1.05") << done << true;
    QTest::newRow("answer at the new rate, no version")
        << hex("F8") << QByteArray()
        << "Get Nack: the display did not answer at 9600 N,8,1 either. If it still uses 19200 E,7,1, choose those "
           "on the Setting tab."
        << true;
    QTest::newRow("no answer") << QByteArray() << QByteArray() << "Device does not respond." << false;
}

void tst_frmMain::baudChange()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, version);
    QFETCH(QString, status);
    QFETCH(bool, follows);

    frmMain w;
    w.cboS_BaudRate->setCurrentIndex(2); // 9600
    w.cboS_Parity->setCurrentIndex(0);   // N,8,1
    w.cboParity->setCurrentIndex(2);     // E,7,1 on the PC side before
    port().setResponder([answer, version](kdxtest::FakeSerialPort &p, const QByteArray &written) {
        const QByteArray reply = written == hex("04 01 56 17") ? version : answer;
        if (!reply.isEmpty() && written.startsWith(hex("04 01")))
            p.reply(reply, 10);
    });

    w.cmdPRYX[0]->click();
    // The version is read only after an answer that reads as Get Nack.
    QCOMPARE(port().written(), hex("04 01 42 31 4E 17") + (answer == hex("F8") ? hex("04 01 56 17") : QByteArray()));
    QCOMPARE(w.txtStatus->text(), status);
    QCOMPARE(w.cboBaudRate->currentText(), follows ? QStringLiteral("9600") : QStringLiteral("19200"));
    QCOMPARE(w.cboParity->currentText(), follows ? QStringLiteral("N,8,1") : QStringLiteral("E,7,1"));
    QCOMPARE(stored("Settings", "BaudRate"), follows ? QStringLiteral("2") : QStringLiteral("1"));
    QCOMPARE(stored("Settings", "Parity"), follows ? QStringLiteral("0") : QStringLiteral("2"));

    // The next command goes out at whatever the PC side now holds.
    port().clearRecord();
    w.cmdPRYX[3]->click();
    QCOMPARE(port().events.first(), follows ? QStringLiteral("open 1 9600,N,8,1") : QStringLiteral("open 1 19200,E,7,1"));
}

void tst_frmMain::busyGuard()
{
    frmMain w;
    port().setResponder([](kdxtest::FakeSerialPort &p, const QByteArray &written) {
        if (written.startsWith(hex("04 01")))
            p.reply(hex("06"), 300);
    });
    bool sawBusy = false;
    m_env->clock.schedule(m_env->clock.nowMs() + 100, [&] {
        sawBusy = w.isBusy() && w.cursor().shape() == Qt::WaitCursor && !w.SSTab1->isEnabled()
            && w.cmdExit->isEnabled();
        // Every command handler of the window, while the first still waits.
        w.cmdPRYX_Click(3);
        w.cmdEPSON_Click(8);
        w.cmdEPSON_Click(18);
        w.cmdASCII1_Click(65);
        w.cmdASCII2_Click(0);
        w.cmdLightTube_Click();
    });
    w.cmdPRYX[1]->click();
    QVERIFY(sawBusy);
    QCOMPARE(port().writes.size(), 1);
    QCOMPARE(port().written(), hex("04 01 49 30 17"));
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));
    QVERIFY(!w.isBusy());
    QVERIFY(w.SSTab1->isEnabled());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(m_env->dialogs.boxes.isEmpty());
}

// A firmware transfer owns the port from its start to its end: every command of
// the window, the firmware and VT100 windows included, is turned away meanwhile.
void tst_frmMain::refusedWhileTransferOwnsPort()
{
    frmMain w;
    w.kdx().StartSendFile(); // a display that never asks for the file: 20 s of handshake
    // A window let through would sit in exec(): note it and close it.
    int modals = 0;
    QTimer watcher;
    watcher.setInterval(10);
    connect(&watcher, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++modals;
            modal->close();
        }
    });
    watcher.start();
    int ownedChecks = 0;
    m_env->clock.schedule(m_env->clock.nowMs() + 1000, [&] {
        ownedChecks += frmCKDX::portOwnedByTransfer();
        w.cmdPRYX_Click(3);
        w.cmdEPSON_Click(8);
        w.cmdASCII1_Click(65);
        w.cmdASCII2_Click(0);
        w.cmdLightTube_Click();
        w.cmdFirmwireUpdate_Click();
        w.cmdMis_Click();
        ownedChecks += !w.isBusy();
    });
    m_env->clock.advance(30000);
    QCOMPARE(ownedChecks, 2);
    QCOMPARE(modals, 0);
    QVERIFY(m_env->dialogs.boxes.isEmpty()); // not even the firmware warning
    QVERIFY(port().writes.isEmpty());
    QVERIFY(!frmCKDX::portOwnedByTransfer());

    // Once the transfer has ended the window takes commands again.
    w.cmdLightTube_Click();
    QVERIFY(!port().writes.isEmpty());
}

void tst_frmMain::epsonCommands_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("up") << 0 << hex("1F 0A");
    QTest::newRow("down") << 1 << hex("0A");
    QTest::newRow("left") << 2 << hex("08");
    QTest::newRow("right") << 3 << hex("09");
    QTest::newRow("home") << 4 << hex("0B");
    QTest::newRow("bottom") << 5 << hex("1F 42");
    QTest::newRow("line start") << 6 << hex("0D");
    QTest::newRow("line end") << 7 << hex("1F 0D");
    QTest::newRow("clear screen") << 8 << hex("0C");
    QTest::newRow("clear line") << 9 << hex("18");
    QTest::newRow("initialise") << 13 << hex("1B 40");
    QTest::newRow("self-test") << 14 << hex("1F 40");
    QTest::newRow("position row 2 column 20") << 15 << hex("1F 24 14 02");
    QTest::newRow("national Korea") << 16 << hex("1B 52 0D");
    QTest::newRow("expand ignored") << 17 << hex("1B 74 00");
    QTest::newRow("blink 5") << 18 << hex("1F 45 05");
    QTest::newRow("send text") << 19 << QByteArray("ABC");
}

void tst_frmMain::epsonCommands()
{
    QFETCH(int, index);
    QFETCH(QByteArray, bytes);

    frmMain w;
    w.cboRow->setCurrentIndex(1);
    w.cboColumn->setCurrentIndex(19);
    w.cboNational->setCurrentIndex(13);
    w.txtBlink->setText("5");
    w.txtEPSON->setText("ABC");
    w.txtMessage->setText("old");
    w.txtStatus->setText("untouched");
    port().clearRecord();

    w.cmdEPSON[index]->click();
    QCOMPARE(port().written(), bytes);
    QCOMPARE(port().events.last(), QStringLiteral("close"));
    // The command's own outcome replaces whatever the status line said before.
    QCOMPARE(w.txtStatus->text(), QStringLiteral("Sent; the display gave no acknowledge"));
    QCOMPARE(w.txtMessage->text(), index == 19 ? QStringLiteral("ABC") : QStringLiteral("old"));
    QVERIFY(!w.isBusy());
    QVERIFY(m_env->dialogs.boxes.isEmpty());
}

void tst_frmMain::toggles()
{
    frmMain w;
    struct Step
    {
        int index;
        QByteArray bytes;
        const char *caption;
    };
    const Step steps[] = {
        {10, hex("1F 43 31"), "cursor off"}, {10, hex("1F 43 30"), "cursor on"}, {10, hex("1F 43 31"), "cursor off"},
        {11, hex("1F 72 31"), "normal"},     {11, hex("1F 72 30"), "reverse"},
    };
    for (const Step &s : steps) {
        port().clearRecord();
        w.cmdEPSON[s.index]->click();
        QCOMPARE(port().written(), s.bytes);
        QCOMPARE(w.cmdEPSON[s.index]->text(), QString::fromLatin1(s.caption));
    }
}

void tst_frmMain::refusedParameters_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes"); // empty: refused

    QTest::newRow("blink 255") << 18 << "255" << hex("1F 45 FF");
    QTest::newRow("blink 256") << 18 << "256" << QByteArray();
    QTest::newRow("blink 999") << 18 << "999" << QByteArray();
    QTest::newRow("blink empty") << 18 << "" << hex("1F 45 00");
    QTest::newRow("national typed, unknown") << 16 << "Atlantis" << QByteArray();
    QTest::newRow("national typed, known") << 16 << "Greek" << hex("1B 52 0E");
    QTest::newRow("expand by name") << 17 << "using Expand" << hex("1B 74 01");
    QTest::newRow("expand typed 7") << 17 << "7" << hex("1B 74 07");
    QTest::newRow("expand typed 255") << 17 << "255" << hex("1B 74 FF");
    QTest::newRow("expand typed 256") << 17 << "256" << QByteArray();
    QTest::newRow("expand typed -1") << 17 << "-1" << QByteArray();
    QTest::newRow("expand typed words") << 17 << "more" << QByteArray();
    // Row and column take only their lists' values.
    QTest::newRow("column typed, unknown") << 15 << "x" << QByteArray();
}

void tst_frmMain::refusedParameters()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    frmMain w;
    switch (index) {
    case 15: w.cboColumn->setEditText(text); break;
    case 16: w.cboNational->setEditText(text); break;
    case 17: w.cboExpand->setEditText(text); break;
    case 18: w.txtBlink->setText(text); break;
    }
    port().clearRecord();
    w.cmdEPSON[index]->click();
    QCOMPARE(port().written(), bytes);
    if (bytes.isEmpty()) {
        QVERIFY(port().events.isEmpty());
        QCOMPARE(m_env->dialogs.boxes.size(), 1);
        QCOMPARE(m_env->dialogs.boxes[0].icon, platform::MsgIcon::Exclamation);
        QCOMPARE(m_env->dialogs.boxes[0].title, QStringLiteral("KDXB Utility"));
        QVERIFY(!w.isBusy());
    } else {
        QVERIFY(m_env->dialogs.boxes.isEmpty());
    }
}

void tst_frmMain::listsSilentWhileLoading()
{
    put("Set", "InternationalCode", "4");
    frmMain w;
    QVERIFY(port().writes.isEmpty());
    QVERIFY(port().events.isEmpty());

    const struct
    {
        QComboBox *list;
        int position;
        QByteArray bytes;
    } cases[] = {
        {w.cboPeripheral, 2, hex("1B 3D 03")}, {w.cboPeripheral, 0, hex("1B 3D 01")},
        {w.cboOperation, 1, hex("1F 02")},     {w.cboOperation, 2, hex("1F 03")},
        {w.cboOperation, 0, hex("1F 01")},
    };
    for (const auto &c : cases) {
        port().clearRecord();
        c.list->setCurrentIndex(c.position);
        QCOMPARE(port().written(), c.bytes);
    }
}

void tst_frmMain::nationalFollowsInternationalCode()
{
    frmMain w;
    w.cboNational->setCurrentIndex(13);
    QCOMPARE(w.cboInternationalCode->currentIndex(), 13);
    QCOMPARE(stored("Set", "InternationalCode"), QStringLiteral("13"));
    w.cboInternationalCode->setCurrentIndex(2);
    QCOMPARE(w.cboNational->currentText(), QStringLiteral("Germany"));
    QCOMPARE(stored("Set", "InternationalCode"), QStringLiteral("2"));
    QVERIFY(port().writes.isEmpty());

    // The 16th code of the KDXG has no national set of the same position.
    m_env.reset();
    g_KDXType = 5;
    m_env = std::make_unique<kdxtest::DriverEnv>();
    frmMain g;
    g.cboInternationalCode->setCurrentIndex(15);
    QCOMPARE(stored("Set", "InternationalCode", "KDXG Utility"), QStringLiteral("15"));
    QCOMPARE(g.cboInternationalCode->currentText(), QStringLiteral("3F- Portuguese"));
    g.cboInternationalCode->setCurrentIndex(15);
    port().setResponder(display);
    g.cmdPRYX[1]->click();
    QCOMPARE(port().written(), hex("04 01 49 3F 17"));
}

void tst_frmMain::asciiButtons_data()
{
    QTest::addColumn<bool>("upper");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("0") << false << 0 << hex("00");
    QTest::newRow("27") << false << 27 << hex("1B");
    QTest::newRow("32") << false << 32 << hex("20");
    QTest::newRow("65 A") << false << 65 << hex("41");
    QTest::newRow("96") << false << 96 << hex("60");
    QTest::newRow("126 ~") << false << 126 << hex("7E");
    QTest::newRow("127") << false << 127 << hex("7F");
    QTest::newRow("128") << true << 0 << hex("80");
    QTest::newRow("164") << true << 36 << hex("A4");
    QTest::newRow("255") << true << 127 << hex("FF");
}

void tst_frmMain::asciiButtons()
{
    QFETCH(bool, upper);
    QFETCH(int, index);
    QFETCH(QByteArray, bytes);

    frmMain w;
    (upper ? w.cmdASCII2 : w.cmdASCII1)[index]->click();
    QCOMPARE(port().written(), bytes);
    QCOMPARE(port().writes.size(), 1);
    QVERIFY(!w.isBusy());
}

void tst_frmMain::asciiCaptions()
{
    frmMain w;
    for (int code = 0; code < 256; ++code) {
        const QPushButton *b = code < 128 ? w.cmdASCII1[code] : w.cmdASCII2[code - 128];
        const bool symbol = code >= 48 && code <= 126 && code != 96;
        QCOMPARE(b->text(), symbol ? QString(QChar(code)) : QString::number(code));
        QCOMPARE(b->font().bold(), symbol);
        QCOMPARE(b->toolTip(), symbol ? QString::number(code) : QString());
        // Nothing of a caption may be cut off.
        QVERIFY2(b->fontMetrics().horizontalAdvance(b->text()) < b->width(), qPrintable(b->text()));
    }
    auto *label = w.findChild<QLabel *>("lblBold");
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Bold means ASCII symbol"));
    QVERIFY(label->font().bold());
}

void tst_frmMain::lampTest_data()
{
    QTest::addColumn<int>("selector");
    QTest::addColumn<int>("count");
    QTest::newRow("KDXB") << 11 << 40;
    QTest::newRow("KDXH") << 6 << 80;
    QTest::newRow("KDXK") << 8 << 160;
}

void tst_frmMain::lampTest()
{
    QFETCH(int, selector);
    QFETCH(int, count);
    g_KDXType = selector;
    frmMain w;
    w.cmdLightTube->click();
    QCOMPARE(port().written(), QByteArray(count, char(0xB2)));
    QVERIFY(!w.isBusy());
}

namespace {

// Notes every modal window that comes up and lets `answer` deal with it.
QStringList runModal(const std::function<void()> &open, const std::function<void(QWidget *)> &answer)
{
    QStringList opened;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && !modal->property("seen").toBool()) {
            modal->setProperty("seen", true);
            opened << QString::fromLatin1(modal->metaObject()->className());
            answer(modal);
        }
    });
    watcher.start();
    open();
    return opened;
}

} // namespace

// A display on a line that carries parity: it answers the version query only
// at its own rate and framing ("9600,E,7,1" as the port has it).
void displayAt(kdxtest::FakeSerialPort &port, const QString &line, const QByteArray &answer)
{
    port.setResponder([line, answer](kdxtest::FakeSerialPort &p, const QByteArray &written) {
        if (written == hex("04 01 56 17") && p.settings() == line)
            p.reply(answer, 20);
    });
}

void tst_frmMain::findDisplay_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("box"); // what the message box says, in part
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("setting"); // the Setting tab afterwards
    QTest::addColumn<QString>("from");    // the Setting tab before
    QTest::addColumn<int>("asked");       // version queries sent

    const QString first = QStringLiteral("19200 N,8,1");
    // At the 15th setting of the sweep, then the rate's other four framings.
    QTest::newRow("found and used") << "9600,E,7,1" << QByteArray("?1.05")
                                    << "answers at 9600 baud, E,7,1. Its firmware version is R1.05. Use 9600 baud, E,7,1"
                                    << "The Setting tab now uses 9600 baud, E,7,1." << "9600 E,7,1" << first << 15 + 4;
    QTest::newRow("at the tab's own setting: asked first")
        << "9600,E,7,1" << QByteArray("?1.05") << "Use 9600 baud, E,7,1" << "The Setting tab now uses 9600 baud, E,7,1."
        << "9600 E,7,1" << "9600 E,7,1" << 1 + 4;
    QTest::newRow("a rate the window has not") << "115200,N,8,1" << QByteArray("?1.05")
                                                << "This window has no setting for it."
                                                << "The display answers at 115200 baud." << first << first << 4 + 4;
    QTest::newRow("in its loader") << "4800,N,8,1" << QByteArray(">")
                                   << "is in its firmware loader (it answered at 4800 baud, N,8,1)"
                                   << "The display is in its firmware loader." << first << first << 5;
    QTest::newRow("nothing answers") << "" << QByteArray() << "No display answered on COM1 at any of the 45"
                                     << "Device does not respond." << first << first << 45;
}

void tst_frmMain::findDisplay()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, answer);
    QFETCH(QString, box);
    QFETCH(QString, status);
    QFETCH(QString, setting);
    QFETCH(QString, from);
    QFETCH(int, asked);
    frmMain w;
    w.cboBaudRate->setCurrentText(from.section(QLatin1Char(' '), 0, 0));
    w.cboParity->setCurrentText(from.section(QLatin1Char(' '), 1));
    port().clearRecord();
    displayAt(port(), line, answer);
    QString question;
    runModal([&] { w.settingTab->cmdFindDisplay->click(); },
             [&](QWidget *modal) {
                 auto *b = qobject_cast<QMessageBox *>(modal);
                 question = b ? b->text() : QString();
                 if (auto *use = modal->findChild<QPushButton *>(QStringLiteral("cmdUseFound")))
                     use->click();
             });
    const QString said = question + m_env->dialogs.boxes.value(0).text;
    QVERIFY2(said.contains(box), qPrintable(said));
    QCOMPARE(w.txtStatus->text(), status);
    QCOMPARE(w.cboBaudRate->currentText() + QLatin1Char(' ') + w.cboParity->currentText(), setting);
    QCOMPARE(stored("Settings", "BaudRate"), QString::number(w.cboBaudRate->currentIndex()));
    QVERIFY(!w.isBusy());
    QVERIFY(!w.cmdCancel->isVisible());
    QVERIFY(!port().portOpen());
    QCOMPARE(port().writes.size(), asked);
    // The driver talks at what the tab shows, found or not.
    QCOMPARE(w.kdx().BaudRate() + QLatin1Char(' ') + w.kdx().Parity(), setting);
}

void tst_frmMain::findDisplayStops_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc") << true;
}

void tst_frmMain::findDisplayStops()
{
    QFETCH(bool, escape);
    frmMain w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    qint64 stoppedAt = 0;
    bool busyMeanwhile = false;
    m_env->clock.schedule(m_env->clock.nowMs() + 1000, [&] {
        busyMeanwhile = w.isBusy() && !w.SSTab1->isEnabled() && w.cursor().shape() == Qt::WaitCursor
            && w.cmdCancel->isVisible() && w.txtStatus->text().startsWith(QLatin1String("Looking for the display"));
        stoppedAt = m_env->clock.nowMs();
        if (escape)
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            w.cmdCancel->click();
    });
    w.settingTab->cmdFindDisplay->click();
    QVERIFY(busyMeanwhile);
    QVERIFY2(m_env->clock.nowMs() - stoppedAt <= 10, qPrintable(QString::number(m_env->clock.nowMs() - stoppedAt)));
    QCOMPARE(w.txtStatus->text(), QStringLiteral("The search for the display was stopped."));
    QVERIFY(m_env->dialogs.boxes.isEmpty());
    QVERIFY(!w.isBusy());
    QVERIFY(w.SSTab1->isEnabled());
    QVERIFY(!w.cmdCancel->isVisible());
    QVERIFY(!port().portOpen());
}

void tst_frmMain::firmwareRoad_data()
{
    QTest::addColumn<QString>("password"); // empty: cancelled
    QTest::addColumn<QStringList>("windows");
    QTest::newRow("cancelled") << QString() << QStringList {"frmPassword"};
    QTest::newRow("right password") << "TVRN" << QStringList {"frmPassword", "frmFirmwareUpdate"};
}

void tst_frmMain::firmwareRoad()
{
    QFETCH(QString, password);
    QFETCH(QStringList, windows);
    frmMain w;
    const QStringList opened = runModal([&] { w.cmdFirmwireUpdate->click(); }, [&](QWidget *modal) {
        auto *box = modal->findChild<QLineEdit *>("txtPassword");
        auto *ok = modal->findChild<QPushButton *>("cmdCtrl_0");
        if (box && ok && !password.isEmpty()) {
            box->setText(password);
            ok->click();
        } else {
            modal->close();
        }
    });

    QVERIFY(!m_env->dialogs.boxes.isEmpty());
    const auto &warning = m_env->dialogs.boxes.first();
    QCOMPARE(warning.text,
             QStringLiteral("Before updating the firmware, please make sure the device baudrate is set to 19200."));
    QCOMPARE(warning.icon, platform::MsgIcon::Exclamation);
    QCOMPARE(warning.title, QStringLiteral("KDXB Utility"));
    QCOMPARE(opened, windows);
    QVERIFY(port().writes.isEmpty());
}

void tst_frmMain::vt100Window()
{
    frmMain w;
    const QStringList opened = runModal([&] { w.cmdMis_Click(); }, [](QWidget *modal) { modal->close(); });
    QCOMPARE(opened, QStringList {"frmVT100"});
    QVERIFY(w.m_kdx);
}

void tst_frmMain::exitEndsTheProgram()
{
    frmMain w;
    w.show();
    const int before = m_unloads;
    w.cmdExit->click();
    QCOMPARE(m_unloads, before + 1);
    QVERIFY(w.cmdExit->text().contains(QLatin1String("&Exit")));
}

void tst_frmMain::cursorIcons()
{
    frmMain w;
    const char *tips[] = {"up", "down", "left", "right", "home position"};
    for (int i = 0; i < 5; ++i) {
        QVERIFY(w.cmdEPSON[i]->text().isEmpty());
        QCOMPARE(w.cmdEPSON[i]->toolTip(), QString::fromLatin1(tips[i]));
        const QPixmap p = w.cmdEPSON[i]->icon().pixmap(32, 32);
        QVERIFY2(!p.isNull(), tips[i]);
    }
    // Icons 101 and 102 are drawn differently (not one picture for all).
    QVERIFY(w.cmdEPSON[0]->icon().pixmap(32).toImage() != w.cmdEPSON[1]->icon().pixmap(32).toImage());
    QVERIFY(w.cmdEPSON[12] == nullptr);
}

void tst_frmMain::nativeTabOrderFollowsRows()
{
    frmMain w;
    const QList<QWidget *> rows {w.cmdPRYX[9], w.cboS_BaudRate, w.cboS_Parity, w.cmdPRYX[0], w.cboInternationalCode,
                                 w.cmdPRYX[1], w.txtLayer, w.cmdPRYX[2], w.txtPosition, w.cmdPRYX[3],
                                 w.txtStart, w.txtEnd, w.cmdPRYX[4], w.cboLayer, w.cboMode, w.cmdPRYX[5],
                                 w.cboShowSavedMessageAfterRebootMode, w.cmdPRYX[10], w.cboDevice, w.cmdPRYX[8],
                                 w.txtMessage, w.cmdPRYX[7], w.cmdPRYX[6], w.cmdPRYX[11]};
    for (int i = 1; i < rows.size(); ++i) {
        QWidget *next = rows[i - 1]->nextInFocusChain();
        // Skip what cannot take the keyboard focus (labels, spinner arrows).
        while (next && next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QVERIFY2(next == rows[i], qPrintable(rows[i]->objectName()));
    }
}

void tst_frmMain::messageLimitAndLineBreaks()
{
    frmMain w;
    w.show();
    w.SSTab1->setCurrentIndex(1);
    w.txtMessage->setFocus();
    QTest::keyClicks(w.txtMessage, QString(45, QLatin1Char('x')));
    QCOMPARE(w.txtMessage->toPlainText().size(), 40);

    w.txtMessage->setText("AB\r\nCD");
    QCOMPARE(w.txtMessage->toPlainText(), QStringLiteral("AB\nCD"));
    w.cmdPRYX[6]->click();
    QCOMPARE(port().written(), QByteArray("AB\r\nCD"));
    QCOMPARE(w.txtEPSON->text(), QStringLiteral("AB\r\nCD"));
}

void tst_frmMain::portMapDevice()
{
    const QString dir = QString::fromLocal8Bit(qgetenv("KDX_PORTS_DIR"));
    QDir().mkpath(dir);
    QFile::remove(dir + "/COM14");
    QFile::remove(dir + "/COM15");
    QVERIFY(QFile::link("/dev/null", dir + "/COM14"));
    QVERIFY(QFile::link("/nonexistent/ttyX", dir + "/COM15"));

    frmMain w;
    w.cboComport->setCurrentIndex(13);
    QCOMPARE(w.lblComportDevice->text(), QStringLiteral("device: /dev/null"));
    w.cboComport->setCurrentIndex(14);
    QCOMPARE(w.lblComportDevice->text(), QStringLiteral("device: not present (/nonexistent/ttyX)"));
    w.cboComport->setCurrentIndex(15);
    QVERIFY(w.lblComportDevice->text().startsWith(QLatin1String("device: ")));
    QFile::remove(dir + "/COM14");
    QFile::remove(dir + "/COM15");
}

void tst_frmMain::hiddenDisplayTypeList()
{
    frmMain w;
    w.cboKDXType->setCurrentIndex(1); // KDXC-P2
    QCOMPARE(g_KDXType, 1);
    QCOMPARE(stored("Set", "KDXType"), QStringLiteral("1"));
    QVERIFY(!w.SSTab1->isTabEnabled(1));
    QVERIFY(w.SSTab1->isTabEnabled(2));
    QCOMPARE(w.cboInternationalCode->currentText(), QStringLiteral("0: U.S.A"));
    QCOMPARE(w.cboNational->itemText(10), QStringLiteral("A: Denmark II"));
    QVERIFY(!w.cmdFirmwireUpdate->isEnabled());
    w.cboKDXType->setCurrentIndex(4); // KDXE
    QVERIFY(w.cmdFirmwireUpdate->isEnabled());
    QVERIFY(!w.cmdMis->isEnabled());
    QVERIFY(w.fraDisplayType->isHidden());

    // The refilled list still sends the code in front of the entry.
    w.cboInternationalCode->setCurrentIndex(10);
    port().setResponder(display);
    w.cmdPRYX[1]->click();
    QCOMPARE(port().written(), hex("04 01 49 0A 17"));
}

void tst_frmMain::mainStartsTheUtility()
{
    g_KDXType = 0;
    mod_Init::Main();
    QCOMPARE(g_KDXType, 11);
    frmMain *main = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *f = qobject_cast<frmMain *>(top); f && f->isVisible())
            main = f;
    }
    QVERIFY(main);
    QCOMPARE(main->windowTitle(), QStringLiteral("KDXB Utility V1.3R5"));
    QVERIFY(!main->parentWidget());
    main->hide();
}

void tst_frmMain::startWithUnusualIni_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("comport"); // what the window shows after the start
    QTest::addColumn<QString>("notice");  // part of the status line, empty: nothing said

    QTest::newRow("link to a file elsewhere") << "link" << "COM4" << "symbolic link";
    QTest::newRow("FIFO") << "fifo" << "COM1" << "not a regular file";
    QTest::newRow("read-only file") << "read-only" << "COM4" << "read-only";
    QTest::newRow("own file, nothing to write") << "own" << "COM4" << "";
}

void tst_frmMain::startWithUnusualIni()
{
    QFETCH(QString, kind);
    QFETCH(QString, comport);
    QFETCH(QString, notice);

    // Every value the start restores is already stored, so a start has nothing to write.
    const QByteArray content("[Set]\nBaudRate=0\nInternationalCode=0\nLayer=0\nMode=0\nParity=0\n"
                             "ShowSavedMessageAfterRebootMode=0\n\n[Settings]\nBaudRate=1\nComport=3\nParity=0\n");
    const QString ini = store().fileName();
    QFile::remove(ini);
    QTemporaryDir outside;
    const QString target = outside.filePath("elsewhere.ini");
    auto write = [&](const QString &path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    };
    write(target);
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(target, ini));
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
    else
        write(ini);
    if (kind == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner));
    struct stat before {};
    QCOMPARE(::lstat(QFile::encodeName(ini).constData(), &before), 0);
    const QFileInfo targetBefore(target);
    const QDateTime targetTime = targetBefore.lastModified();

    // A start that blocks (a FIFO opened the ordinary way) ends here, not at the
    // suite's time-out; the bound is wide so that a slow machine never trips it.
    std::signal(SIGALRM, [](int) { std::_Exit(3); });
    ::alarm(10);
    QElapsedTimer started;
    started.start();
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY2(started.elapsed() < 5000, "the window took longer than the bound to open");
        ::alarm(0);
        QCOMPARE(w.cboComport->currentText(), comport);
        if (notice.isEmpty())
            QCOMPARE(w.txtStatus->text(), QString());
        else
            QVERIFY2(w.txtStatus->text().contains(notice), qPrintable(w.txtStatus->text()));
        // A choice made now is taken by the driver even when it cannot be saved.
        w.cboComport->setCurrentIndex(5);
        QCOMPARE(w.m_kdx->CommPort(), 6);
    }

    // Nothing outside the settings folder changed; the INI itself was left alone
    // unless it is the store's own file.
    struct stat after {};
    QCOMPARE(::lstat(QFile::encodeName(ini).constData(), &after), 0);
    QCOMPARE(QFileInfo(target).lastModified(), targetTime);
    QFile t(target);
    QVERIFY(t.open(QIODevice::ReadOnly));
    QCOMPARE(t.readAll(), content);
    if (kind == QLatin1String("own")) {
        QCOMPARE(stored("Settings", "Comport"), QStringLiteral("5"));
    } else {
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
    QFile::setPermissions(ini, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(ini);
}

void tst_frmMain::noStaleOk_data()
{
    QTest::addColumn<QString>("action"); // a button's objectName, or "operation" for the list

    QTest::newRow("lamp test") << "cmdLightTube";
    QTest::newRow("EPSON CLR") << "cmdEPSON_8";
    QTest::newRow("EPSON Blink") << "cmdEPSON_18";
    QTest::newRow("EPSON mode list") << "operation";
    QTest::newRow("character A") << "cmdASCII1_65";
    QTest::newRow("character 200") << "cmdASCII2_72";
    QTest::newRow("native position") << "cmdPRYX_3";
}

void tst_frmMain::noStaleOk()
{
    QFETCH(QString, action);
    frmMain w;
    port().setResponder(display);
    w.cmdPRYX[9]->click();
    QCOMPARE(w.txtStatus->text(), QStringLiteral("OK"));

    // A port that is not there: nothing goes out, and the status says so.
    port().clearRecord();
    port().failOpen = true;
    if (action == QLatin1String("operation"))
        w.cboOperation->setCurrentIndex(1);
    else
        w.findChild<QPushButton *>(action)->click();
    QVERIFY(port().writes.isEmpty());
    QCOMPARE(w.txtStatus->text(), QStringLiteral("Commport open failed. COM1: No such file or directory"));
    QVERIFY(w.txtStatus->toolTip().endsWith(QStringLiteral("COM1: No such file or directory")));
}

void tst_frmMain::openFailureReasonShown()
{
    // The real serial layer on a device that is not there.
    frmCKDX::resetInstance();
    frmCKDX::setPortFactory([] {
        return std::make_unique<platform::PosixSerialPort>(
            platform::PosixSerialPort::fixedDevice(QStringLiteral("/nonexistent/ttyKDX")));
    });
    frmMain w;
    w.cmdLightTube->click();
    const QString status = w.txtStatus->text();
    QVERIFY2(status.startsWith(QLatin1String("Commport open failed. ")), qPrintable(status));
    QVERIFY2(status.contains(QLatin1String("/nonexistent/ttyKDX")), qPrintable(status));
    QVERIFY(!w.txtStatus->toolTip().isEmpty());
    QVERIFY(status.endsWith(w.txtStatus->toolTip()));
    // The native tab's commands say the same.
    w.cmdPRYX[3]->click();
    QCOMPARE(w.txtStatus->text(), status);
}

void tst_frmMain::statusGoesWithItsSubject_data()
{
    QTest::addColumn<QString>("list");
    QTest::newRow("port chosen") << "cboComport";
    QTest::newRow("baud rate chosen") << "cboBaudRate";
    QTest::newRow("parity chosen") << "cboParity";
}

// An outcome had at one port and rate says nothing once another is chosen.
void tst_frmMain::statusGoesWithItsSubject()
{
    QFETCH(QString, list);
    frmMain w;
    port().failOpen = true;
    w.cmdPRYX[3]->click();
    QVERIFY(w.txtStatus->text().startsWith(QLatin1String("Commport open failed.")));
    auto *box = w.findChild<QComboBox *>(list);
    box->setCurrentIndex(box->currentIndex() + 1);
    QCOMPARE(w.txtStatus->text(), QString());
    QCOMPARE(w.txtStatus->toolTip(), QString());
}

void tst_frmMain::statusInUseGoesWhenThePortIsFree()
{
    // COM1 names a device whose lock file belongs to a live process.
    QTemporaryDir locks;
    qputenv("KDX_LOCK_DIR", QFile::encodeName(locks.path()));
    const QString device = locks.filePath(QStringLiteral("ttyKDX9"));
    QFile(device).open(QIODevice::WriteOnly);
    const QString ports = qEnvironmentVariable("KDX_PORTS_DIR");
    QDir().mkpath(ports);
    QFile::remove(ports + QStringLiteral("/COM1"));
    QVERIFY(QFile::link(device, ports + QStringLiteral("/COM1")));
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    QFile lock(locks.filePath(platform::PortLock::fileName(device)));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(holder.processId()).rightJustified(10, ' ') + '\n');
    lock.close();

    frmMain w;
    port().failOpen = true;
    w.cmdPRYX[3]->click();
    QVERIFY(w.txtStatus->text().startsWith(QLatin1String("Commport open failed.")));
    m_env->clock.advance(3000);
    QVERIFY(!w.txtStatus->text().isEmpty()); // still held

    holder.kill();
    holder.waitForFinished();
    m_env->clock.advance(1100);
    QCOMPARE(w.txtStatus->text(), QString());
    QFile::remove(ports + QStringLiteral("/COM1"));
    qunsetenv("KDX_LOCK_DIR");
}

void tst_frmMain::longStatusElidedWithTooltip()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString text = QStringLiteral("Get Nack: the display did not answer at 9600 N,8,1 either. ").repeated(4);
    w.showStatus(text);
    QCOMPARE(w.txtStatus->text(), text);
    QVERIFY(w.txtStatus->isElided());
    QCOMPARE(w.txtStatus->toolTip(), text);
    w.showStatus(QStringLiteral("short"));
    QVERIFY(!w.txtStatus->isElided());
    QCOMPARE(w.txtStatus->toolTip(), QString());
}

void tst_frmMain::ctrlTabFromEveryControl_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("tab");
    QTest::newRow("port list") << "cboComport" << 0;
    QTest::newRow("lamp test") << "cmdLightTube" << 0;
    QTest::newRow("display parity list") << "cboS_Parity" << 1;
    QTest::newRow("number box") << "txtPosition" << 1;
    QTest::newRow("message box") << "txtMessage" << 1;
    QTest::newRow("EPSON mode list, typed text") << "cboOperation" << 2;
    QTest::newRow("Blink field") << "txtBlink" << 2;
    QTest::newRow("EPSON message") << "txtEPSON" << 2;
    QTest::newRow("character button") << "cmdASCII1_65" << 3;
}

void tst_frmMain::ctrlTabFromEveryControl()
{
    QFETCH(QString, control);
    QFETCH(int, tab);
    frmMain w;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *c = w.findChild<QWidget *>(control);
    QVERIFY(c);
    for (int step : {1, -1}) {
        w.SSTab1->setCurrentIndex(tab);
        c->setFocus();
        QVERIFY(c->hasFocus());
        QWidget *target = QApplication::focusWidget();
        if (step > 0)
            QTest::keyClick(target, Qt::Key_Tab, Qt::ControlModifier);
        else
            QTest::keyClick(target, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.SSTab1->currentIndex(), (tab + step + 4) % 4);
    }
}

void tst_frmMain::tabStopsShowFocus()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // What the Tab key reaches draws its focus: buttons, lists, boxes one types
    // into, the tab bar. Scroll areas and read-only boxes are no Tab stops.
    for (int t = 0; t < w.SSTab1->count(); ++t) {
        w.SSTab1->setCurrentIndex(t);
        for (QWidget *c : w.findChildren<QWidget *>()) {
            // A widget with a focus proxy hands the focus on; the proxy is checked itself.
            if (!(c->focusPolicy() & Qt::TabFocus) || !c->isVisible() || !c->isEnabled() || c->focusProxy())
                continue;
            auto *line = qobject_cast<QLineEdit *>(c);
            const bool shows = qobject_cast<QAbstractButton *>(c) || qobject_cast<QComboBox *>(c)
                || qobject_cast<QTextEdit *>(c) || qobject_cast<QPlainTextEdit *>(c) || qobject_cast<QTabBar *>(c)
                || (line && (!line->isReadOnly() || qobject_cast<QComboBox *>(line->parentWidget())));
            QVERIFY2(shows, qPrintable(QStringLiteral("%1 (%2) on tab %3")
                                           .arg(c->objectName(), c->metaObject()->className())
                                           .arg(t)));
        }
    }
}

void tst_frmMain::tabReachesTrafficAndExit_data()
{
    QTest::addColumn<int>("tab");
    for (int t = 0; t < 4; ++t)
        QTest::addRow("tab %d", t) << t;
}

void tst_frmMain::tabReachesTrafficAndExit()
{
    QFETCH(int, tab);
    frmMain w;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.SSTab1->setCurrentIndex(tab);
    w.SSTab1->tabBar()->setFocus();
    QStringList reached;
    for (int i = 0; i < 400 && !reached.contains(QStringLiteral("cmdExit")); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName();
    }
    const int traffic = reached.indexOf(QStringLiteral("cmdTraffic"));
    QVERIFY2(traffic >= 0 && reached.indexOf(QStringLiteral("cmdExit")) == traffic + 1, qPrintable(reached.join(' ')));
    // And on round to the tabs.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.SSTab1->tabBar());
}

// Lists, boxes, spinners and toggles say what they are (and a toggle what its
// next press does), each in words of its own.
void tst_frmMain::everyControlIsNamed()
{
    frmMain w;
    QStringList names;
    for (QWidget *c : w.findChildren<QWidget *>()) {
        const bool needsName = qobject_cast<QComboBox *>(c) || qobject_cast<UpDown *>(c)
            || (qobject_cast<QLineEdit *>(c) && !qobject_cast<QComboBox *>(c->parentWidget()))
            || qobject_cast<QTextEdit *>(c) || qobject_cast<QPlainTextEdit *>(c);
        if (!needsName || c == w.cboKDXType)
            continue;
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
        QVERIFY2(!c->accessibleName().at(0).isDigit(), qPrintable(c->objectName()));
        names << c->accessibleName();
    }
    QCOMPARE(names.count(QStringLiteral("Cursor row")), 1);
    QCOMPARE(names.count(QStringLiteral("Cursor column")), 1);

    port().setResponder(display);
    QCOMPARE(w.cmdEPSON[10]->accessibleName(), QStringLiteral("Show the cursor"));
    w.cmdEPSON[10]->click();
    QCOMPARE(w.cmdEPSON[10]->accessibleName(), QStringLiteral("Hide the cursor"));
    QCOMPARE(w.cmdEPSON[11]->accessibleName(), QStringLiteral("Show text in reverse"));
    w.cmdEPSON[11]->click();
    QCOMPARE(w.cmdEPSON[11]->accessibleName(), QStringLiteral("Show text normally"));
}

void tst_frmMain::vt100FromTheCommandLine()
{
    // The saved port and rate, as the utility left them: COM3 at 9600.
    put("Settings", "Comport", "2");
    put("Settings", "BaudRate", "2");
    mod_Init::MainVT100();
    frmVT100 *test = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *t = qobject_cast<frmVT100 *>(top); t && t->isVisible())
            test = t;
        QVERIFY2(!qobject_cast<frmMain *>(top) || !top->isVisible(), "the main window stays hidden");
    }
    QVERIFY(test);
    test->pic_KeyPress('A');
    QCOMPARE(port().events.first(), QStringLiteral("open 3 9600,N,8,1"));
    QCOMPARE(port().written(), QByteArray("A"));
    QObject::disconnect(test, &QDialog::finished, nullptr, nullptr);
    delete test;
}

void tst_frmMain::fitsAt200Percent()
{
    // A 1920x1080 screen at 200% gives 960x540 in the window's own units; the
    // fonts and controls are as large in those units as at 100%.
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(940, 520);
    for (int t = 0; t < w.SSTab1->count(); ++t) {
        w.SSTab1->setCurrentIndex(t);
        QApplication::processEvents();
        auto *area = qobject_cast<QScrollArea *>(w.SSTab1->currentWidget());
        QVERIFY(area);
        const int need = area->widget()->minimumSizeHint().width();
        QVERIFY2(need <= area->viewport()->width(),
                 qPrintable(QStringLiteral("tab %1 needs %2, has %3").arg(t).arg(need).arg(area->viewport()->width())));
        QVERIFY(!area->horizontalScrollBar()->isVisible());
    }
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
