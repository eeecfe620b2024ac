// The password gate and the firmware window, offscreen, with the fake port and
// the virtual clock behind them.

#include "AppInfo.h"
#include "CKDX.h"
#include "ScriptedLoader.h"
#include "SettingsStore.h"
#include "TestEnv.h"
#include "WidgetDialogs.h"
#include "frmCKDX.h"
#include "frmFirmwareUpdate.h"
#include "frmPassword.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

using Icon = platform::MsgIcon;
Q_DECLARE_METATYPE(platform::MsgIcon)

namespace {

const QString kTitle = QStringLiteral("KDXB Utility");
const QString kNoXModemAnswer =
    QStringLiteral("Firmware Update failed: the display's loader did not answer the XModem request.\n\n"
                   "Device does not respond. (-4)\n\nIs the display at 19200 baud and switched on?");

QString fileAppName()
{
    return platform::settings::safeAppName(platform::app::path());
}

} // namespace

class tst_windows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void passwordLooks();
    void password_data();
    void password();
    void passwordLeftWithoutOK_data();
    void passwordLeftWithoutOK();

    void firmwareDefaults();
    void firmwareSettingsKept_data();
    void firmwareSettingsKept();
    void browse();
    void sendMissingFile();
    void sendRefusedFiles_data();
    void sendRefusedFiles();
    void sendOutcomes_data();
    void sendOutcomes();
    void errcodeThenSuccessReportsOnce();
    void closeDuringTransfer_data();
    void closeDuringTransfer();
    void closeWhileBusy_data();
    void closeWhileBusy();
    void closeWhenIdle();
    void silentDisplayThenReplugged();

private:
    QPushButton *button(QWidget &w, int i)
    {
        return w.findChild<QPushButton *>(QStringLiteral("cmdCtrl_%1").arg(i));
    }
    bool buttonsEnabled(QWidget &w)
    {
        return button(w, 0)->isEnabled() && button(w, 1)->isEnabled() && button(w, 2)->isEnabled();
    }
    bool buttonsDisabled(QWidget &w)
    {
        return !button(w, 0)->isEnabled() && !button(w, 1)->isEnabled() && !button(w, 2)->isEnabled();
    }
    QString writeImage(int size);
    void setFile(frmFirmwareUpdate &w, const QString &path)
    {
        w.findChild<QLineEdit *>(QStringLiteral("txtFile"))->setText(path);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<kdxtest::DriverEnv> m_env;
    std::unique_ptr<CKDX> m_kdx;
    ScriptedLoader m_loader;
};

void tst_windows::initTestCase()
{
    kdxtest::isolateUserFolders();
    platform::app::setTitle(kTitle);
}

void tst_windows::init()
{
    m_env = std::make_unique<kdxtest::DriverEnv>();
    m_kdx = std::make_unique<CKDX>();
    m_kdx->setCommPort(2);
    m_kdx->setBaudRate(QStringLiteral("19200"));
    m_kdx->setParity(QStringLiteral("N,8,1"));
    m_loader = ScriptedLoader {};
    m_loader.attach(m_env->port());
    // Each case starts from an empty store.
    for (const QString &app : {kTitle, fileAppName()}) {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kdx-utility"), app);
        s.clear();
    }
}

void tst_windows::cleanup()
{
    m_kdx.reset();
    m_env.reset();
}

QString tst_windows::writeImage(int size)
{
    const QString path = m_dir.filePath(QStringLiteral("fw.bin"));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(QByteArray(size, 'x'));
    return path;
}

// ------------------------------------------------------------------ password

void tst_windows::passwordLooks()
{
    frmPassword w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Password Required"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Enter Password:"));
    QCOMPARE(w.findChild<QLineEdit *>(QStringLiteral("txtPassword"))->echoMode(), QLineEdit::Password);
    QCOMPARE(button(w, 0)->text(), QStringLiteral("OK"));
    QVERIFY(button(w, 0)->isDefault());
    QCOMPARE(button(w, 1)->text(), QStringLiteral("Cancel"));
    QVERIFY(!w.IsOK());
}

void tst_windows::password_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("upper case") << "TVRN" << true;
    QTest::newRow("lower case") << "tvrn" << true;
    QTest::newRow("mixed case") << "tVrN" << true;
    QTest::newRow("trailing space") << "TVRN " << false;
    QTest::newRow("leading space") << " TVRN" << false;
    QTest::newRow("too short") << "TVR" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_windows::password()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);

    frmPassword w;
    w.show();
    auto *txt = w.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
    QTest::keyClicks(txt, typed);
    QTest::keyClick(txt, Qt::Key_Return); // OK is the default button
    QCOMPARE(w.IsOK(), accepted);
    QCOMPARE(w.isVisible(), !accepted);
    if (accepted) {
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(m_env->dialogs.boxes.isEmpty());
        return;
    }
    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, QStringLiteral("Invalid Password!"));
    QCOMPARE(m_env->dialogs.boxes[0].icon, Icon::Exclamation);
    QCOMPARE(txt->selectedText(), typed);

    // Another try is allowed.
    txt->setText(QStringLiteral("tvrn"));
    button(w, 0)->click();
    QVERIFY(w.IsOK());
}

void tst_windows::passwordLeftWithoutOK_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("frame") << "frame";
}

void tst_windows::passwordLeftWithoutOK()
{
    QFETCH(QString, how);
    frmPassword w;
    w.show();
    auto *txt = w.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
    txt->setText(QStringLiteral("TVRN"));
    if (how == QLatin1String("cancel"))
        button(w, 1)->click();
    else if (how == QLatin1String("esc"))
        QTest::keyClick(txt, Qt::Key_Escape);
    else
        w.close();
    QVERIFY(!w.isVisible());
    QVERIFY(!w.IsOK());
    QCOMPARE(w.result(), int(QDialog::Rejected));
}

// ------------------------------------------------------------------ firmware window

void tst_windows::firmwareDefaults()
{
    frmFirmwareUpdate w(*m_kdx);
    QCOMPARE(w.windowTitle(), QStringLiteral("Firmware Update"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("File Name & Path:"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("Using Protocol:"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Label3"))->text(), QStringLiteral("Firmware Code:"));
    auto *proto = w.findChild<QComboBox *>(QStringLiteral("cboProtocol"));
    auto *type = w.findChild<QComboBox *>(QStringLiteral("cboType"));
    QCOMPARE(proto->count(), 2);
    QCOMPARE(proto->itemText(1), QStringLiteral("XModem - CRC"));
    QCOMPARE(proto->currentText(), QStringLiteral("XModem - Checksum"));
    QCOMPARE(type->itemText(1), QStringLiteral("Not Encripted - ZX"));
    QCOMPARE(type->currentText(), QStringLiteral("Encripted - PX"));
    QCOMPARE(w.findChild<QLineEdit *>(QStringLiteral("txtFile"))->text(), platform::app::path());
    auto *pb = w.findChild<QProgressBar *>(QStringLiteral("pb"));
    QCOMPARE(pb->minimum(), 0);
    QCOMPARE(pb->maximum(), 100);
    QCOMPARE(button(w, 0)->text(), QStringLiteral("&Send"));
    QCOMPARE(button(w, 1)->text(), QStringLiteral("&Close"));
    QCOMPARE(button(w, 2)->text(), QStringLiteral("&Browse..."));
    QVERIFY(button(w, 2)->isDefault());
    QVERIFY(!w.Timer1().isEnabled());
    QCOMPARE(w.Timer1().interval(), 500);
}

void tst_windows::firmwareSettingsKept_data()
{
    QTest::addColumn<QString>("storedProtocol");
    QTest::addColumn<QString>("storedType");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");

    QTest::newRow("CRC, not encrypted") << "1" << "1" << 1 << 1;
    QTest::newRow("checksum, encrypted") << "0" << "0" << 0 << 0;
    QTest::newRow("out of range falls back") << "7" << "-1" << 0 << 0;
    QTest::newRow("not a number falls back") << "CRC" << "" << 0 << 0;
}

void tst_windows::firmwareSettingsKept()
{
    QFETCH(QString, storedProtocol);
    QFETCH(QString, storedType);
    QFETCH(int, protocol);
    QFETCH(int, type);

    platform::settings::SaveSetting(kTitle, QStringLiteral("Xmodem"), QStringLiteral("Type"), storedProtocol);
    platform::settings::SaveSetting(kTitle, QStringLiteral("Code"), QStringLiteral("Type"), storedType);
    {
        frmFirmwareUpdate w(*m_kdx);
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cboProtocol"))->currentIndex(), protocol);
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cboType"))->currentIndex(), type);
        // Changed and kept when the window closes.
        w.findChild<QComboBox *>(QStringLiteral("cboProtocol"))->setCurrentIndex(1 - protocol);
        w.findChild<QComboBox *>(QStringLiteral("cboType"))->setCurrentIndex(1 - type);
        w.show();
        button(w, 1)->click();
    }
    QCOMPARE(platform::settings::GetSetting(kTitle, QStringLiteral("Xmodem"), QStringLiteral("Type")),
             QString::number(1 - protocol));
    QCOMPARE(platform::settings::GetSetting(kTitle, QStringLiteral("Code"), QStringLiteral("Type")),
             QString::number(1 - type));
}

void tst_windows::browse()
{
    const QString stored = m_dir.filePath(QStringLiteral("old.bin"));
    platform::settings::SaveSetting(fileAppName(), QStringLiteral("XModem"), QStringLiteral("File"), stored);
    frmFirmwareUpdate w(*m_kdx);
    auto *txt = w.findChild<QLineEdit *>(QStringLiteral("txtFile"));
    QCOMPARE(txt->text(), stored);

    // Cancelled: nothing changes.
    txt->setText(QStringLiteral("typed by hand"));
    button(w, 2)->click();
    QCOMPARE(m_env->dialogs.openFileCalls.size(), 1);
    QCOMPARE(m_env->dialogs.openFileCalls[0].title, QStringLiteral("Sending File"));
    QCOMPARE(m_env->dialogs.openFileCalls[0].initialDir, stored);
    QCOMPARE(m_env->dialogs.openFileCalls[0].filter, QStringLiteral("*.*|*.*"));
    // On Linux "*.*" would hide a file without a dot in its name.
    QCOMPARE(platform::WidgetDialogs::toQtFilter(QStringLiteral("*.*|*.*")), QStringLiteral("*.* (*)"));
    QCOMPARE(platform::WidgetDialogs::toQtFilter(QStringLiteral("Images|*.bin;*.hex|All|*.*")),
             QStringLiteral("Images (*.bin *.hex);;All (*)"));
    QCOMPARE(txt->text(), QStringLiteral("typed by hand"));

    // Chosen: shown and remembered under the program folder's name.
    const QString chosen = m_dir.filePath(QStringLiteral("new.bin"));
    m_env->dialogs.fileToChoose = chosen;
    button(w, 2)->click();
    QCOMPARE(txt->text(), chosen);
    QCOMPARE(platform::settings::GetSetting(fileAppName(), QStringLiteral("XModem"), QStringLiteral("File")),
             chosen);
    button(w, 2)->click();
    QCOMPARE(m_env->dialogs.openFileCalls.last().initialDir, chosen);
}

void tst_windows::sendMissingFile()
{
    frmFirmwareUpdate w(*m_kdx);
    w.show();
    setFile(w, m_dir.filePath(QStringLiteral("missing.bin")));
    button(w, 0)->click();
    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, QStringLiteral("No such file or directory"));
    QCOMPARE(m_env->dialogs.boxes[0].title, QStringLiteral("2"));
    QVERIFY(buttonsEnabled(w));
    QVERIFY(!w.Timer1().isEnabled());
    QVERIFY(m_env->port().writes.isEmpty());

    // The program folder, the default, is not a file either.
    setFile(w, m_dir.path());
    button(w, 0)->click();
    QCOMPARE(m_env->dialogs.boxes.size(), 2);
    QCOMPARE(m_env->dialogs.boxes[1].text, m_dir.path() + QStringLiteral(": not a regular file"));
    QVERIFY(m_env->port().writes.isEmpty());
}

void tst_windows::sendRefusedFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO: refused without blocking") << "fifo" << "not a regular file";
    QTest::newRow("endless device") << "/dev/zero" << "not a regular file";
    QTest::newRow("empty file") << "empty" << "the file is empty";
}

// Nothing is sent for a file that cannot be a firmware image, and the window
// stays idle.
void tst_windows::sendRefusedFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QString path = kind;
    if (kind == QLatin1String("fifo")) {
        path = m_dir.filePath(QStringLiteral("fifo"));
        QFile::remove(path);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("empty")) {
        path = writeImage(0);
    }
    frmFirmwareUpdate w(*m_kdx);
    w.show();
    setFile(w, path);
    button(w, 0)->click();
    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, path + QStringLiteral(": ") + reason);
    QCOMPARE(m_env->dialogs.boxes[0].icon, Icon::Exclamation);
    QCOMPARE(m_env->dialogs.boxes[0].title, kTitle);
    QVERIFY(buttonsEnabled(w));
    QVERIFY(!w.Timer1().isEnabled());
    QVERIFY(m_env->port().writes.isEmpty());
}

void tst_windows::sendOutcomes_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Icon>("icon");

    QTest::newRow("complete") << "good" << "Firmware Update OK!" << Icon::Information;
    QTest::newRow("no start request") << "no-start"
                                      << "Firmware Update failed: the display did not ask for the file."
                                      << Icon::Exclamation;
    QTest::newRow("display cancels") << "cancel"
                                     << "Firmware Update failed: the display cancelled the transfer."
                                     << Icon::Exclamation;
    QTest::newRow("blocks never accepted") << "silent-blocks"
                                           << "Firmware Update failed: the display did not answer."
                                           << Icon::Exclamation;
    QTest::newRow("port fails during the transfer")
        << "port-dies" << "Firmware Update failed: the serial port failed (The device has been disconnected, error 8020)."
        << Icon::Exclamation;
    QTest::newRow("no loader") << "no-prompt" << kNoXModemAnswer << Icon::Exclamation;
    QTest::newRow("port fails after opening")
        << "port-fault"
        << "Firmware Update failed: the serial port failed while the display was being switched to its loader.\n\n"
           "Device is not connected. (-3)\n\nIs the adapter still plugged in? The port has been let go, so the "
           "next Send opens it afresh."
        << Icon::Exclamation;
}

void tst_windows::sendOutcomes()
{
    QFETCH(QString, display);
    QFETCH(QString, text);
    QFETCH(Icon, icon);

    if (display == QLatin1String("no-start"))
        m_loader.startRequest.clear();
    if (display == QLatin1String("cancel"))
        m_loader.answerBlock = [](int n, const ScriptedLoader::Block &) {
            return QByteArray(1, n == 1 ? 0x18 : 0x06);
        };
    if (display == QLatin1String("silent-blocks"))
        m_loader.answerBlock = [](int, const ScriptedLoader::Block &) { return QByteArray(); };
    if (display == QLatin1String("port-dies"))
        m_loader.answerBlock = [this](int n, const ScriptedLoader::Block &) {
            if (n == 2)
                m_env->port().hungUp = true;
            return QByteArray(1, 0x06);
        };
    if (display == QLatin1String("no-prompt"))
        m_loader.promptAnswers = {">"};
    if (display == QLatin1String("port-fault"))
        m_env->port().failWriteAt = 1;

    const bool loaderFails = display == QLatin1String("no-prompt") || display == QLatin1String("port-fault");
    frmFirmwareUpdate w(*m_kdx);
    w.show();
    w.findChild<QComboBox *>(QStringLiteral("cboProtocol"))->setCurrentIndex(1);
    const QString image = writeImage(1000);
    setFile(w, image);
    QList<int> bar;
    QStringList phases;
    auto *pb = w.findChild<QProgressBar *>(QStringLiteral("pb"));
    auto *phase = w.findChild<QLabel *>(QStringLiteral("lblPhase"));
    bool busyDuringTransfer = true;
    connect(&w.Timer1(), &platform::Timer::timeout, &w, [&] {
        bar << pb->value();
        if (phases.isEmpty() || phases.last() != phase->text())
            phases << phase->text();
        if (m_kdx->transferOutcome() == XModemSender::Outcome::None && !buttonsDisabled(w))
            busyDuringTransfer = false;
    });
    button(w, 0)->click();
    m_env->clock.advance(60000);

    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, text);
    QCOMPARE(m_env->dialogs.boxes[0].icon, icon);
    QCOMPARE(m_env->dialogs.boxes[0].title, kTitle);
    QVERIFY(buttonsEnabled(w));
    QVERIFY(!bar.isEmpty());
    if (display == QLatin1String("good")) {
        QCOMPARE(m_loader.blocks.size(), 8);
        QCOMPARE(m_loader.blocks[0].check.size(), 2); // CRC chosen
        QVERIFY(!w.Timer1().isEnabled());
        // The bar showed the loader's steps and the blocks on their way.
        QVERIFY(bar.contains(20));
        QVERIFY(std::any_of(bar.cbegin(), bar.cend(), [](int v) { return v > 0 && v < 100; }));
        // Each percentage with its phase, and a full bar beside the success.
        QCOMPARE(phases.first(), QStringLiteral("Switching the display to its loader"));
        QVERIFY2(phases.indexOf(QRegularExpression(QStringLiteral("^Sending block [1-7] of 8$"))) > 0,
                 qPrintable(phases.join('|')));
        QCOMPARE(phase->text(), QStringLiteral("Done"));
        QCOMPARE(pb->value(), 100);
        // A path that was typed, not browsed, is kept as well.
        QCOMPARE(platform::settings::GetSetting(fileAppName(), QStringLiteral("XModem"), QStringLiteral("File")), image);
    }
    if (!loaderFails)
        QVERIFY(busyDuringTransfer);
    if (loaderFails) {
        // After a failed switch the poll timer keeps going, and the port is let go.
        QVERIFY(w.Timer1().isEnabled());
        QVERIFY(m_loader.blocks.isEmpty());
        QCOMPARE(phase->text(), QStringLiteral("Failed"));
    }
    QVERIFY(!m_env->port().portOpen());
}

void tst_windows::errcodeThenSuccessReportsOnce()
{
    m_loader.promptAnswers = {">"}; // the first switch fails after "XA"
    frmFirmwareUpdate w(*m_kdx);
    w.show();
    setFile(w, writeImage(200));
    button(w, 0)->click();
    m_env->clock.advance(3000);
    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, kNoXModemAnswer);

    m_loader = ScriptedLoader {};
    m_loader.attach(m_env->port());
    button(w, 0)->click();
    m_env->clock.advance(60000);
    QCOMPARE(m_env->dialogs.boxes.size(), 2);
    QCOMPARE(m_env->dialogs.boxes[1].text, QStringLiteral("Firmware Update OK!"));
    QCOMPARE(m_loader.blocks.size(), 2);
}

void tst_windows::closeDuringTransfer_data()
{
    QTest::addColumn<bool>("frame");
    QTest::newRow("the Close button is off while busy") << false;
    QTest::newRow("the frame asks first; left unanswered, the update runs on") << true;
}

void tst_windows::closeDuringTransfer()
{
    QFETCH(bool, frame);
    frmFirmwareUpdate w(*m_kdx);
    w.show();
    setFile(w, writeImage(1000));
    button(w, 0)->click();
    m_env->clock.schedule(m_env->clock.nowMs() + 1000, [&w, frame] {
        if (frame)
            w.close();
        else
            w.findChild<QPushButton *>(QStringLiteral("cmdCtrl_1"))->click();
    });
    m_env->clock.advance(60000);
    QVERIFY(w.isVisible());
    QCOMPARE(m_kdx->transferOutcome(), XModemSender::Outcome::Complete);
    QCOMPARE(m_loader.blocks.size(), 8);
    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, QStringLiteral("Firmware Update OK!"));
    // The question went away with the end it asked about.
    QVERIFY(!w.stopQuestion());
}

void tst_windows::closeWhileBusy_data()
{
    QTest::addColumn<QString>("display");  // what the display does
    QTest::addColumn<QString>("how");      // frame or Esc
    QTest::addColumn<bool>("yes");         // the answer to "Stop the firmware update?"
    QTest::addColumn<QString>("report");   // the one outcome box
    QTest::addColumn<QByteArray>("ending"); // the last bytes written
    QTest::addColumn<bool>("closes");      // the window goes by itself after the report

    const QString stopped = QStringLiteral("Firmware Update failed: the transfer was stopped.");
    const QString stoppedEarly =
        QStringLiteral("Firmware Update failed: the update was stopped before the transfer began.");
    const QByteArray cancel("\x18\x18\x1BR\r");
    const QByteArray leave("\x1BR\r");

    QTest::newRow("transfer, frame, Yes") << "good" << "frame" << true << stopped << cancel << true;
    QTest::newRow("transfer, Esc, Yes") << "good" << "esc" << true << stopped << cancel << true;
    QTest::newRow("transfer, frame, No") << "good" << "frame" << false << "Firmware Update OK!"
                                         << QByteArray("\x04\x1BR\r") << false;
    QTest::newRow("handshake, frame, Yes") << "no-start" << "frame" << true << stopped << cancel << true;
    QTest::newRow("silent loader, frame, Yes") << "silent" << "frame" << true << stoppedEarly << leave << true;
    QTest::newRow("loader talking without a prompt, frame, Yes")
        << "noise" << "frame" << true << stoppedEarly << leave << true;
    QTest::newRow("loader talking without a prompt, frame, No: ends within the minute")
        << "noise" << "frame" << false << kNoXModemAnswer << QByteArray("XA\r") << false;
}

// The window run as the main window runs it, modal through exec(), and closed
// from its frame (or with Esc) while it is busy.
void tst_windows::closeWhileBusy()
{
    QFETCH(QString, display);
    QFETCH(QString, how);
    QFETCH(bool, yes);
    QFETCH(QString, report);
    QFETCH(QByteArray, ending);
    QFETCH(bool, closes);

    if (display == QLatin1String("no-start"))
        m_loader.startRequest.clear();
    if (display == QLatin1String("silent") || display == QLatin1String("noise"))
        m_loader.promptAnswers = {};
    if (display == QLatin1String("noise")) {
        m_loader.promptAnswers = {">"};
        m_env->port().setPortOpen(true); // opening drops what the line has queued
        for (int i = 0; i < 300; ++i)
            m_env->port().reply("\r\nboot", 700 + 300 * i);
    }

    frmFirmwareUpdate w(*m_kdx);
    setFile(w, writeImage(4000)); // 32 blocks, about 4 s
    QString question;
    bool closedBySelf = false;
    QTimer::singleShot(0, &w, [&] {
        const qint64 t0 = m_env->clock.nowMs();
        m_env->clock.schedule(t0 + 1800, [&] {
            if (how == QLatin1String("esc"))
                QTest::keyClick(&w, Qt::Key_Escape);
            else
                w.close();
        });
        m_env->clock.schedule(t0 + 2100, [&] {
            QMessageBox *box = w.stopQuestion();
            if (!box)
                return;
            question = box->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        button(w, 0)->click();
        m_env->clock.advance(90000);
        closedBySelf = !w.isVisible();
        if (!closedBySelf)
            w.close(); // idle now: closes at once
    });
    w.exec();

    QCOMPARE(question, QStringLiteral("Stop the firmware update?"));
    QCOMPARE(closedBySelf, closes);
    QCOMPARE(m_env->dialogs.boxes.size(), 1);
    QCOMPARE(m_env->dialogs.boxes[0].text, report);
    QVERIFY(m_env->port().written().endsWith(ending));
    QVERIFY(!frmCKDX::portOwnedByTransfer());
    if (yes && display == QLatin1String("good"))
        QVERIFY(m_loader.blocks.size() < 32);
    if (ending == "\x1BR\r") // stopped in the loader dialogue: the port is let go
        QVERIFY(!m_env->port().portOpen());
}

void tst_windows::closeWhenIdle()
{
    frmFirmwareUpdate w(*m_kdx);
    w.show();
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(m_env->port().writes.isEmpty());
}

// Modal through exec(): a display that never answers ends the update within
// 20 s with the cause; the adapter is then plugged in again (a new device
// behind the same name) and the next Send goes through at once.
void tst_windows::silentDisplayThenReplugged()
{
    m_loader.promptAnswers = {};
    frmFirmwareUpdate w(*m_kdx);
    setFile(w, writeImage(300));
    qint64 took = -1;
    QTimer::singleShot(0, &w, [&] {
        const qint64 t0 = m_env->clock.nowMs();
        button(w, 0)->click();
        took = m_env->clock.nowMs() - t0;
        m_env->port().hungUp = true; // the old device is gone ...
        m_env->port().replugged = true; // ... and the next open finds the new one
        m_loader = ScriptedLoader {};
        m_loader.attach(m_env->port());
        button(w, 0)->click();
        m_env->clock.advance(30000);
        w.close();
    });
    w.exec();

    QVERIFY2(took >= 15000 && took <= 20000, qPrintable(QString::number(took)));
    QCOMPARE(m_env->dialogs.boxes.size(), 2);
    QCOMPARE(m_env->dialogs.boxes[0].text,
             QStringLiteral("Firmware Update failed: the display did not answer the request to switch to its loader.\n\n"
                            "Device does not respond. (-4)\n\nIs the display at 19200 baud and switched on?"));
    QCOMPARE(m_env->dialogs.boxes[1].text, QStringLiteral("Firmware Update OK!"));
    QCOMPARE(m_loader.blocks.size(), 3);
}

QTEST_MAIN(tst_windows)
#include "tst_windows.moc"
