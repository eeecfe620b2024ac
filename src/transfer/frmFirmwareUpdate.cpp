#include "frmFirmwareUpdate.h"

#include "AppInfo.h"
#include "CKDX.h"
#include "Dialogs.h"
#include "FileCheck.h"
#include "SettingsStore.h"
#include "frmCKDX.h"
#include "modGeneral.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int kPollMs = 500;

enum Button { kSend = 0, kClose = 1, kBrowse = 2 };

const QString kSectionProtocol = QStringLiteral("Xmodem");
const QString kSectionCode = QStringLiteral("Code");
const QString kSectionFile = QStringLiteral("XModem");
const QString kKeyType = QStringLiteral("Type");
const QString kKeyFile = QStringLiteral("File");

// The last file is remembered per program folder, as the store's application name.
QString fileAppName()
{
    return platform::settings::safeAppName(platform::app::path());
}

QString storedFile()
{
    return platform::settings::GetSetting(fileAppName(), kSectionFile, kKeyFile, platform::app::path());
}

// A stored list position; anything but 0 or 1 falls back to the first entry.
int storedIndex(const QString &section)
{
    bool ok = false;
    const int i = platform::settings::GetSetting(platform::app::title(), section, kKeyType,
                                                 QStringLiteral("0"))
                      .trimmed()
                      .toInt(&ok);
    return ok && (i == 0 || i == 1) ? i : 0;
}

} // namespace

frmFirmwareUpdate::frmFirmwareUpdate(CKDX &kdx, QWidget *parent)
    : QDialog(parent)
    , m_kdx(kdx)
{
    setObjectName(QStringLiteral("frmFirmwareUpdate"));
    setWindowTitle(tr("Firmware Update"));

    // No buddy: the ampersand shows as itself.
    Label1 = new QLabel(tr("File Name & Path:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtFile = new QLineEdit(this);
    txtFile->setObjectName(QStringLiteral("txtFile"));
    txtFile->setMinimumWidth(320);

    Label2 = new QLabel(tr("Using Protocol:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    cboProtocol = new QComboBox(this);
    cboProtocol->setObjectName(QStringLiteral("cboProtocol"));
    cboProtocol->addItems({tr("XModem - Checksum"), tr("XModem - CRC")});

    Label3 = new QLabel(tr("Firmware Code:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    cboType = new QComboBox(this);
    cboType->setObjectName(QStringLiteral("cboType"));
    cboType->addItems({tr("Encripted - PX"), tr("Not Encripted - ZX")});

    pb = new QProgressBar(this);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setRange(0, 100);
    pb->setValue(0);
    // What the bar's percentage is of: the loader switch, then the blocks.
    lblPhase = new QLabel(this);
    lblPhase->setObjectName(QStringLiteral("lblPhase"));
    lblPhase->setTextFormat(Qt::PlainText);
    lblPhase->setMinimumWidth(lblPhase->fontMetrics().horizontalAdvance(
        tr("Switching the display to its loader")));
    pb->setAccessibleName(tr("Firmware update progress"));
    txtFile->setAccessibleName(tr("Firmware file"));
    cboProtocol->setAccessibleName(tr("Block check"));
    cboType->setAccessibleName(tr("Firmware code type"));

    const QStringList captions {tr("&Send"), tr("&Close"),
                                tr("&Browse...")};
    for (int i = 0; i < captions.size(); ++i) {
        auto *b = new QPushButton(captions[i], this);
        b->setObjectName(QStringLiteral("cmdCtrl_%1").arg(i));
        connect(b, &QPushButton::clicked, this, [this, i] { cmdCtrl_Click(i); });
        cmdCtrl.append(b);
    }
    cmdCtrl[kBrowse]->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(txtFile, 1, 0);
    grid->addWidget(cmdCtrl[kBrowse], 1, 1);
    grid->addWidget(Label2, 2, 0, 1, 2);
    grid->addWidget(cboProtocol, 3, 0, 1, 2);
    grid->addWidget(Label3, 4, 0, 1, 2);
    grid->addWidget(cboType, 5, 0, 1, 2);
    grid->addWidget(pb, 6, 0);
    grid->addWidget(lblPhase, 6, 1);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdCtrl[kSend]);
    row->addWidget(cmdCtrl[kClose]);
    grid->addLayout(row, 7, 0, 1, 2);

    m_timer1.setInterval(kPollMs);
    m_timer1.setEnabled(false);
    connect(&m_timer1, &platform::Timer::timeout, this, &frmFirmwareUpdate::Timer1_Timer);

    Form_Load();
}

frmFirmwareUpdate::~frmFirmwareUpdate()
{
    // Only the end of the program takes the window away while it is busy: the
    // display is then at least told to stop.
    if (isBusy())
        m_kdx.StopSendFile();
    Form_Unload();
}

void frmFirmwareUpdate::Form_Load()
{
    cboProtocol->setCurrentIndex(storedIndex(kSectionProtocol));
    cboType->setCurrentIndex(storedIndex(kSectionCode));
    txtFile->setText(storedFile());
}

void frmFirmwareUpdate::Form_Unload()
{
    if (m_blnUnloaded)
        return;
    m_blnUnloaded = true;
    keepTypedPath();
    platform::settings::SaveSetting(platform::app::title(), kSectionProtocol, kKeyType,
                                    QString::number(cboProtocol->currentIndex()));
    platform::settings::SaveSetting(platform::app::title(), kSectionCode, kKeyType,
                                    QString::number(cboType->currentIndex()));
}

void frmFirmwareUpdate::done(int r)
{
    // Whatever asks the window to go while the update owns the port gets the
    // question instead: the outcome must still be shown.
    if (isBusy()) {
        askToStop();
        return;
    }
    Form_Unload();
    QDialog::done(r);
}

void frmFirmwareUpdate::closeEvent(QCloseEvent *event)
{
    if (isBusy()) {
        event->ignore();
        askToStop();
        return;
    }
    QDialog::closeEvent(event);
}

void frmFirmwareUpdate::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Close button when idle, the question while busy.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (isBusy())
            askToStop();
        else
            cmdCtrl[kClose]->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmFirmwareUpdate::askToStop()
{
    if (m_stopQuestion) {
        m_stopQuestion->raise();
        m_stopQuestion->activateWindow();
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Question, platform::app::title(),
                                tr("Stop the firmware update?"),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("stopQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_stopQuestion = box;
    connect(box, &QMessageBox::finished, this, [this, box] {
        const bool yes = box->clickedButton() == box->button(QMessageBox::Yes);
        m_stopQuestion = nullptr;
        if (yes && isBusy()) {
            m_blnCloseWhenReported = true;
            m_kdx.StopSendFile();
        }
    });
    // open(), not exec(): a nested event loop would hold the sender's waits,
    // and with them the transfer, for as long as the question is up.
    box->open();
}

void frmFirmwareUpdate::dismissStopQuestion()
{
    if (!m_stopQuestion)
        return;
    // The update ended by itself; the question no longer applies.
    QMessageBox *box = m_stopQuestion;
    m_stopQuestion = nullptr;
    box->disconnect(this);
    box->close();
}

void frmFirmwareUpdate::setButtonsEnabled(bool on)
{
    for (QPushButton *b : std::as_const(cmdCtrl))
        b->setEnabled(on);
}

void frmFirmwareUpdate::cmdCtrl_Click(int Index)
{
    switch (Index) {
    case kSend:
        Send();
        break;
    case kClose:
        m_kdx.StopSendFile();
        close();
        break;
    case kBrowse:
        Browse();
        break;
    default:
        break;
    }
}

void frmFirmwareUpdate::Send()
{
    fileCheck::Fault fault;
    if (!fileCheck::checkFirmwareFile(txtFile->text(), fault)) {
        // The system's reasons carry their number; a file we refuse ourselves
        // (a FIFO, a device, an empty file) is rejected input.
        if (fault.number != 0)
            platform::dialogs().messageBox(fault.description, QString::number(fault.number),
                                           platform::MsgIcon::None);
        else
            platform::dialogs().messageBox(QStringLiteral("%1: %2").arg(txtFile->text(), fault.description),
                                           platform::app::title(), platform::MsgIcon::Exclamation);
        return;
    }
    keepTypedPath();
    setButtonsEnabled(false);
    m_state = State::Loader;
    m_blnCloseWhenReported = false;
    pb->setValue(0);
    showPhase();
    m_kdx.setFirmwareCodeType(cboType->currentIndex());
    m_kdx.setUpdateFirmwareFinish(false);
    m_timer1.setEnabled(true);

    // The loader dialogue waits with Delay; the window stays meanwhile (a
    // close asks first), but the program may be ending.
    QPointer<frmFirmwareUpdate> self(this);
    const qint32 r = m_kdx.FirmwareUpdateMode();
    if (!self)
        return;
    if (r != kdx::OK) {
        m_state = State::Idle;
        setButtonsEnabled(true);
        lblPhase->setText(r == kdx::Cancelled ? tr("Stopped") : tr("Failed"));
        if (r == kdx::Cancelled)
            report(tr("Firmware Update failed: the update was stopped before the transfer began."),
                   platform::MsgIcon::Exclamation);
        else
            report(loaderFailure(r), platform::MsgIcon::Exclamation);
        return;
    }
    m_kdx.setCheckSumType(cboProtocol->currentIndex());
    m_kdx.setFile(txtFile->text());
    m_state = State::Transfer;
    pb->setValue(0);
    showPhase();
    m_kdx.StartSendFile();
    // A stop that came with the last prompt cancels the loader's receive.
    if (m_blnCloseWhenReported)
        m_kdx.StopSendFile();
}

void frmFirmwareUpdate::keepTypedPath()
{
    const QString path = txtFile->text();
    if (path != storedFile() && QFileInfo(path).isFile())
        platform::settings::SaveSetting(fileAppName(), kSectionFile, kKeyFile, path);
}

void frmFirmwareUpdate::Browse()
{
    QString chosen;
    if (!modGeneral::ShowOpenFileDialog(tr("Sending File"), storedFile(),
                                        QStringLiteral("*.*|*.*"), chosen))
        return;
    platform::settings::SaveSetting(fileAppName(), kSectionFile, kKeyFile, chosen);
    txtFile->setText(chosen);
}

QString frmFirmwareUpdate::loaderFailure(qint32 r) const
{
    QString check;
    switch (r) {
    case kdx::NoResponse:
        check = tr("Is the display at %1 baud and switched on?").arg(m_kdx.BaudRate());
        break;
    case kdx::NotConnected:
        check = tr("Is the adapter still plugged in? The port has been let go, so the next Send "
                   "opens it afresh.");
        break;
    case kdx::OpenFailed:
        check = frmCKDX::instance().MSComm1().openFailureReason(QStringLiteral("COM%1").arg(m_kdx.CommPort()));
        break;
    default:
        break;
    }
    return tr("Firmware Update failed: %1.\n\n%2 (%3)\n\n%4")
        .arg(m_kdx.loaderFailureText(r), CKDX::ErrorDescription(r))
        .arg(r)
        .arg(check)
        .trimmed();
}

void frmFirmwareUpdate::showPhase()
{
    switch (m_state) {
    case State::Idle:
        break;
    case State::Loader:
        lblPhase->setText(tr("Switching the display to its loader"));
        break;
    case State::Transfer: {
        const qint64 block = m_kdx.transferBlock();
        if (block <= 0)
            lblPhase->setText(tr("Waiting for the display to ask for the file"));
        else
            lblPhase->setText(tr("Sending block %1 of %2").arg(block).arg(m_kdx.transferBlocks()));
        break;
    }
    }
}

void frmFirmwareUpdate::Timer1_Timer()
{
    const int progress = qBound(0, int(m_kdx.Progress()), 100);
    // The blocks' bar only moves forward: the closing sequence takes the
    // sender's progress back to 0 after the last block.
    pb->setValue(m_state == State::Transfer ? std::max(pb->value(), progress) : progress);
    showPhase();
    if (m_state != State::Transfer || m_kdx.transferOutcome() == XModemSender::Outcome::None)
        return;
    m_timer1.setEnabled(false);
    m_state = State::Idle;
    setButtonsEnabled(true);
    // Done or not, the port is let go: a retry, or the next command of the
    // main window, opens it afresh.
    m_kdx.Disconnect();
    reportEnd();
}

void frmFirmwareUpdate::reportEnd()
{
    if (m_kdx.transferOutcome() == XModemSender::Outcome::Complete) {
        pb->setValue(100);
        lblPhase->setText(tr("Done"));
        report(tr("Firmware Update OK!"), platform::MsgIcon::Information);
        return;
    }
    lblPhase->setText(m_kdx.transferOutcome() == XModemSender::Outcome::Stopped ? tr("Stopped")
                                                                                : tr("Failed"));
    const QString text = m_kdx.transferOutcomeText();
    const QString why = text.isEmpty() ? tr("the transfer did not complete") : text;
    report(tr("Firmware Update failed: %1.").arg(why), platform::MsgIcon::Exclamation);
}

void frmFirmwareUpdate::report(const QString &text, platform::MsgIcon icon)
{
    dismissStopQuestion();
    platform::dialogs().messageBox(text, platform::app::title(), icon);
    if (m_blnCloseWhenReported) {
        m_blnCloseWhenReported = false;
        done(QDialog::Rejected);
    }
}
