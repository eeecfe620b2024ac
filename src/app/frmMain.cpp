#include "frmMain.h"

#include "AppInfo.h"
#include "AsciiTab.h"
#include "CKDX.h"
#include "Clock.h"
#include "Dialogs.h"
#include "DisplayModel.h"
#include "EpsonTab.h"
#include "LimitedTextEdit.h"
#include "NativeTab.h"
#include "ResultCode.h"
#include "SettingTab.h"
#include "PortMap.h"
#include "SettingsStore.h"
#include "StatusLine.h"
#include "TabSupport.h"
#include "TrafficWindow.h"
#include "frmCKDX.h"
#include "KDXType.h"

#include "frmFirmwareUpdate.h"
#include "frmPassword.h"
#include "frmVT100.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

using namespace tabSupport;

namespace {

enum Tab { TabSetting = 0, TabNative = 1, TabEpson = 2, TabAscii = 3 };

std::function<void()> &unloadHandler()
{
    static std::function<void()> handler;
    return handler;
}

QScrollArea *scrolled(QWidget *content)
{
    auto *area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    // The page scrolls with the wheel and the scroll bars; as a Tab stop it
    // would take the focus without showing it.
    area->setFocusPolicy(Qt::NoFocus);
    return area;
}

// Why the port would not open, in the serial layer's words; empty when it has
// nothing to say.
QString openFailureReason(int commPort)
{
    QString reason = frmCKDX::instance().MSComm1().openFailureReason(QStringLiteral("COM%1").arg(commPort));
    if (!reason.isEmpty())
        reason[0] = reason[0].toUpper();
    return reason;
}

// The processes that hold COM<number>'s device now: a lock file or an flock.
QList<platform::PortHolder> portHolders(int commPort)
{
    const QString device = platform::PortMap().devicePath(commPort);
    return device.isEmpty() ? QList<platform::PortHolder>() : platform::PortMap::details(device).users;
}

constexpr int kPortInUseCheckMs = 1000;

} // namespace

frmMain::frmMain(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    buildUi();
    wireTabs();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::setUnloadHandler(std::function<void()> handler)
{
    unloadHandler() = std::move(handler);
}

CKDX &frmMain::kdx()
{
    if (!m_kdx)
        m_kdx = std::make_unique<CKDX>();
    return *m_kdx;
}

QString frmMain::settingsName() const
{
    return platform::app::title();
}

// ---------------------------------------------------------------- layout

void frmMain::buildUi()
{
    settingTab = new SettingTab(*this);
    nativeTab = new NativeTab(*this);
    epsonTab = new EpsonTab(*this);
    asciiTab = new AsciiTab(*this);

    SSTab1 = named(new QTabWidget(this), QStringLiteral("SSTab1"));
    SSTab1->addTab(scrolled(settingTab), tr("Setting"));
    SSTab1->addTab(scrolled(nativeTab), tr("Main(PRYX)"));
    SSTab1->addTab(scrolled(epsonTab), tr("Adv.(EPSON)"));
    SSTab1->addTab(scrolled(asciiTab), tr("Send by ASCII"));

    auto *lblStatus = named(new QLabel(tr("Status:"), this), QStringLiteral("lblStatus"));
    txtStatus = named(new StatusLine(this), QStringLiteral("txtStatus"));
    txtStatus->setAccessibleName(tr("Status"));
    lblStatus->setBuddy(txtStatus);
    cmdExit = named(new QPushButton(tr("&Exit"), this), QStringLiteral("cmdExit"));
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    cmdCancel = named(new QPushButton(tr("Cancel"), this), QStringLiteral("cmdCancel"));
    cmdCancel->setAccessibleName(tr("Stop the running search"));
    cmdCancel->setVisible(false);
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        if (m_cancel)
            m_cancel();
    });
    // Esc stops what the Cancel button stops, wherever the focus is.
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, cmdCancel, &QPushButton::click);

    statusRow = new QHBoxLayout;
    statusRow->addWidget(lblStatus);
    statusRow->addWidget(txtStatus, 1);
    statusRow->addWidget(cmdCancel);
    // The Traffic window (also Ctrl+T) shows what went over the line.
    QAbstractButton *traffic = monitor::TrafficWindow::makeOpenButton(this);
    statusRow->addWidget(traffic);
    statusRow->addWidget(cmdExit);
    // Tab goes from the tab's last control to Traffic and Exit, then round to the tabs.
    QWidget::setTabOrder(traffic, cmdExit);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1, 1);
    layout->addLayout(statusRow);

    // A list never gives up part of its widest entry; a tab that has too
    // little room wraps its labels or scrolls instead.
    for (QComboBox *list : findChildren<QComboBox *>()) {
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    // Ctrl+Tab and Ctrl+Shift+Tab switch tabs from every control, also from
    // those that keep other keys for themselves.
    auto *next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    connect(next, &QShortcut::activated, this, [this] { switchTab(1); });
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)}) {
        auto *previous = new QShortcut(keys, this);
        connect(previous, &QShortcut::activated, this, [this] { switchTab(-1); });
    }

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == TabSetting)
            updateComportDevice();
    });

    m_portInUseCheck.setInterval(kPortInUseCheckMs);
    connect(&m_portInUseCheck, &platform::Timer::timeout, this, &frmMain::recheckPortInUse);
}

// The system's names for the tabs' controls, and what one tab tells another.
void frmMain::wireTabs()
{
    fraRS232 = settingTab->fraRS232;
    cboComport = settingTab->cboComport;
    lblComportDevice = settingTab->lblComportDevice;
    cboBaudRate = settingTab->cboBaudRate;
    cboParity = settingTab->cboParity;
    fraMiscellaneous = settingTab->fraMiscellaneous;
    cmdLightTube = settingTab->cmdLightTube;
    cmdFirmwireUpdate = settingTab->cmdFirmwireUpdate;
    cmdMis = settingTab->cmdMis;
    fraDisplayType = settingTab->fraDisplayType;
    cboKDXType = settingTab->cboKDXType;

    lblFirmwareVersion = nativeTab->lblFirmwareVersion;
    cboS_BaudRate = nativeTab->cboS_BaudRate;
    cboS_Parity = nativeTab->cboS_Parity;
    cboInternationalCode = nativeTab->cboInternationalCode;
    txtLayer = nativeTab->txtLayer;
    UpDown1 = nativeTab->UpDown1;
    txtPosition = nativeTab->txtPosition;
    UpDown2 = nativeTab->UpDown2;
    txtStart = nativeTab->txtStart;
    UpDown3 = nativeTab->UpDown3;
    txtEnd = nativeTab->txtEnd;
    UpDown4 = nativeTab->UpDown4;
    cboLayer = nativeTab->cboLayer;
    cboMode = nativeTab->cboMode;
    cboShowSavedMessageAfterRebootMode = nativeTab->cboShowSavedMessageAfterRebootMode;
    cboDevice = nativeTab->cboDevice;
    txtMessage = nativeTab->txtMessage;

    cboRow = epsonTab->cboRow;
    cboColumn = epsonTab->cboColumn;
    cboOperation = epsonTab->cboOperation;
    cboNational = epsonTab->cboNational;
    cboExpand = epsonTab->cboExpand;
    txtBlink = epsonTab->txtBlink;
    cboPeripheral = epsonTab->cboPeripheral;
    txtEPSON = epsonTab->txtEPSON;
    cmdEPSON = epsonTab->cmdEPSON;

    cmdASCII1 = asciiTab->cmdASCII1;
    cmdASCII2 = asciiTab->cmdASCII2;

    // cmdPRYX(12) sits on the EPSON tab and is a native command.
    nativeTab->cmdPRYX[12] = epsonTab->cmdSwitchBack;
    cmdPRYX = nativeTab->cmdPRYX;
    connect(epsonTab->cmdSwitchBack, &QPushButton::clicked, this, [this] { cmdPRYX_Click(12); });

    // After the tab's own handlers: the driver already has the new choice.
    for (QComboBox *list : {settingTab->cboComport, settingTab->cboBaudRate, settingTab->cboParity})
        connect(list, &QComboBox::currentIndexChanged, this, &frmMain::lineSettingsChanged);
    connect(settingTab->cboKDXType, &QComboBox::currentIndexChanged, this, &frmMain::cboKDXType_Click);
    connect(settingTab->cmdFirmwireUpdate, &QPushButton::clicked, this, &frmMain::cmdFirmwireUpdate_Click);
    connect(settingTab->cmdMis, &QPushButton::clicked, this, &frmMain::cmdMis_Click);

    // A new display rate: the PC side follows (its handlers tell the driver and save).
    connect(nativeTab, &NativeTab::pcSideFollows, this, [this](int baud, int parity) {
        cboBaudRate->setCurrentIndex(baud);
        cboParity->setCurrentIndex(parity);
    });
    // The two message boxes hold one message, and the two character-set lists one position.
    connect(nativeTab, &NativeTab::messageChanged, txtEPSON, &LimitedTextEdit::setText);
    connect(epsonTab, &EpsonTab::messageSending, txtMessage, &LimitedTextEdit::setText);
    connect(nativeTab, &NativeTab::internationalCodeChanged, epsonTab, &EpsonTab::followInternationalCode);
    connect(epsonTab, &EpsonTab::nationalChanged, this,
            [this](int position) { cboInternationalCode->setCurrentIndex(position); });
}

void frmMain::switchTab(int step)
{
    const int n = SSTab1->count();
    int i = SSTab1->currentIndex();
    for (int tries = 0; tries < n; ++tries) {
        i = (i + step + n) % n;
        if (SSTab1->isTabEnabled(i)) {
            SSTab1->setCurrentIndex(i);
            return;
        }
    }
}

void frmMain::fitToScreen()
{
    // The tabs sit in scroll areas, which propose a small size of their own:
    // size the window for the largest tab, within the screen.
    QSize content;
    for (int i = 0; i < SSTab1->count(); ++i) {
        auto *area = qobject_cast<QScrollArea *>(SSTab1->widget(i));
        if (area && area->widget()) {
            // Tabs not shown yet are not polished, and unpolished widgets
            // underestimate their size.
            area->widget()->ensurePolished();
            for (QLayout *l : area->widget()->findChildren<QLayout *>())
                l->invalidate();
            content = content.expandedTo(area->widget()->sizeHint());
        }
    }
    const QSize frame(24, SSTab1->tabBar()->sizeHint().height() + 16);
    const QSize status = txtStatus->sizeHint().expandedTo(cmdExit->sizeHint());
    QSize want(content.width() + frame.width(), content.height() + frame.height() + status.height());
    want += QSize(layout()->contentsMargins().left() + layout()->contentsMargins().right(),
                  layout()->contentsMargins().top() + layout()->contentsMargins().bottom() + layout()->spacing());
    if (const QScreen *s = screen()) {
        const QSize avail = s->availableGeometry().size() - QSize(16, 48);
        want = want.boundedTo(avail);
    }
    resize(want);
}

// ---------------------------------------------------------------- loading

void frmMain::Form_Load()
{
    const DisplayModel &model = DisplayModel::of(g_KDXType);
    platform::app::setTitle(model.title);
    nativeTab->applyCaptions(model);
    if (!model.nativeTabCaption.isEmpty())
        SSTab1->setTabText(TabNative, DisplayModel::translated(model.nativeTabCaption));
    if (!model.epsonTabCaption.isEmpty())
        SSTab1->setTabText(TabEpson, DisplayModel::translated(model.epsonTabCaption));
    setWindowTitle(QStringLiteral("%1 V%2.%3R%4")
                       .arg(model.title)
                       .arg(platform::app::versionMajor())
                       .arg(platform::app::versionMinor())
                       .arg(platform::app::versionRevision()));

    settingTab->FillParityList(model);
    nativeTab->CopyParityList(model.parities);
    nativeTab->FillInternationalCodeList(model);
    m_blnLoading = true;
    settingTab->FillPortAndRateLists(model);
    nativeTab->FillRateLists(model);

    // Port, baud rate and parity reach the driver here.
    settingTab->restoreSettings();
    nativeTab->restoreLinkAndCode();
    nativeTab->loadDemoChoices(model);

    nativeTab->ApplyDisplayGeometry(model);
    epsonTab->ApplyDisplayGeometry(model);
    applyTabsBySelector(g_KDXType);

    // The Operation and Peripheral lists stay silent: m_blnLoading holds them.
    epsonTab->setStartPositions(cboInternationalCode->currentIndex());
    cboDevice->setCurrentIndex(0);
    SSTab1->setCurrentIndex(TabSetting);
    epsonTab->applyModel(model);

    m_blnLoading = false;
    updateComportDevice();

    // Said once: a link or a file that is not the store's own is read, never written.
    const QString problem = platform::settings::saveProblem(model.title);
    if (!problem.isEmpty())
        setStatus(problem, problem, StatusSubject::SaveProblem);
}

void frmMain::applyTabsBySelector(int selector)
{
    const DisplayModel &model = DisplayModel::of(selector);
    // A switched-off tab stays in place, greyed out, so the layout never jumps.
    SSTab1->setTabEnabled(TabNative, model.nativeTab);
    SSTab1->setTabEnabled(TabEpson, model.epsonTab);
    SSTab1->setTabEnabled(TabAscii, true);
}

// ---------------------------------------------------------------- busy guard and status line

bool frmMain::commandRefused() const
{
    // A firmware update owns the port until it ends, whichever window started it.
    return m_blnBusy || frmCKDX::portOwnedByTransfer();
}

bool frmMain::beginCommand()
{
    if (commandRefused())
        return false;
    m_blnBusy = true;
    m_focusBeforeCommand = QApplication::focusWidget();
    setCursor(Qt::WaitCursor);
    SSTab1->setEnabled(false);
    setStatus(QString(), QString(), StatusSubject::None);
    return true;
}

void frmMain::endCommand()
{
    platform::clock().processEvents(0);
    SSTab1->setEnabled(true);
    unsetCursor();
    m_blnBusy = false;
    // Disabling the tabs took the focus away; give it back for keyboard users.
    if (m_focusBeforeCommand && m_focusBeforeCommand->isEnabled() && m_focusBeforeCommand->isVisible())
        m_focusBeforeCommand->setFocus(Qt::OtherFocusReason);
    m_focusBeforeCommand = nullptr;
}

void frmMain::setStatus(const QString &text, const QString &detail, StatusSubject subject)
{
    txtStatus->setStatus(text, detail);
    m_statusSubject = subject;
    m_statusPort = kdx().CommPort();
    m_portInUseCheck.setEnabled(subject == StatusSubject::PortInUse);
}

void frmMain::showResult(qint32 result)
{
    if (result == kdx::OK) {
        setStatus(tr("OK"), QString(), StatusSubject::Outcome);
        return;
    }
    const QString text = CKDX::ErrorDescription(result);
    const QString reason = result == kdx::OpenFailed ? openFailureReason(kdx().CommPort()) : QString();
    setStatus(reason.isEmpty() ? text : text + QLatin1Char(' ') + reason, reason,
              result == kdx::OpenFailed && !portHolders(kdx().CommPort()).isEmpty() ? StatusSubject::PortInUse
                                                                                   : StatusSubject::Outcome);
}

void frmMain::showSent(qint32 result)
{
    if (result == kdx::OK)
        showStatus(tr("Sent; the display gave no acknowledge"));
    else
        showResult(result);
}

void frmMain::setCancel(std::function<void()> cancel)
{
    m_cancel = std::move(cancel);
    const bool on = bool(m_cancel);
    cmdCancel->setVisible(on);
    m_escape->setEnabled(on);
    if (on)
        cmdCancel->setFocus(Qt::OtherFocusReason);
}

void frmMain::showStatus(const QString &text)
{
    setStatus(text, QString(), StatusSubject::Outcome);
}

void frmMain::refuse(const QString &text)
{
    // The status line shows it too, so no earlier "OK" stands under a refusal.
    setStatus(text, QString(), StatusSubject::Outcome);
    platform::dialogs().messageBox(text, platform::app::title(), platform::MsgIcon::Exclamation);
}

void frmMain::lineSettingsChanged()
{
    // An outcome had at other settings no longer says anything about these.
    if (m_blnLoading || m_blnBusy)
        return;
    if (m_statusSubject == StatusSubject::Outcome || m_statusSubject == StatusSubject::PortInUse)
        setStatus(QString(), QString(), StatusSubject::None);
}

void frmMain::recheckPortInUse()
{
    if (m_statusSubject == StatusSubject::PortInUse && portHolders(m_statusPort).isEmpty())
        setStatus(QString(), QString(), StatusSubject::None);
}

// ---------------------------------------------------------------- handlers

void frmMain::cboComport_Click() { settingTab->cboComport_Click(); }
void frmMain::cboBaudRate_Click() { settingTab->cboBaudRate_Click(); }
void frmMain::cboParity_Click() { settingTab->cboParity_Click(); }
void frmMain::cmdLightTube_Click() { settingTab->cmdLightTube_Click(); }
void frmMain::updateComportDevice() { settingTab->updateComportDevice(); }
void frmMain::cmdPRYX_Click(int Index) { nativeTab->cmdPRYX_Click(Index); }
void frmMain::cboNational_Click() { epsonTab->cboNational_Click(); }
void frmMain::cmdEPSON_Click(int Index) { epsonTab->cmdEPSON_Click(Index); }
void frmMain::cmdASCII1_Click(int Index) { asciiTab->cmdASCII1_Click(Index); }
void frmMain::cmdASCII2_Click(int Index) { asciiTab->cmdASCII2_Click(Index); }

void frmMain::cboKDXType_Click()
{
    const int position = cboKDXType->currentIndex();
    if (position < 0)
        return;
    savePosition(settingsName(), kSectionSet, QStringLiteral("KDXType"), position);
    g_KDXType = position;
    if (position <= 9)
        applyTabsBySelector(position);
    const DisplayModel &model = DisplayModel::of(position);
    nativeTab->ApplyDisplayGeometry(model);
    epsonTab->ApplyDisplayGeometry(model);
    nativeTab->FillModeList(model);
    cboMode->setCurrentIndex(-1);
    cboMode->setCurrentIndex(0);
    cmdMis->setEnabled(position == 6);
    cmdFirmwireUpdate->setEnabled((position >= 4 && position <= 7) || position == 9);

    const QStringList sets {tr("0: U.S.A"), tr("1: France"), tr("2: Germany"),
                            tr("3: U.K."), tr("4: Denmark I"), tr("5: Sweden"),
                            tr("6: Italy"), tr("7: Spain"), tr("8: Japan"),
                            tr("9: Norway"), tr("A: Denmark II"),
                            tr("B: East Europe"), tr("C: Russian"), tr("D: Hebrew"),
                            tr("E: Greek")};
    nativeTab->useShortCodeList(sets);
    epsonTab->useShortNationalList(sets);
}

void frmMain::cmdFirmwireUpdate_Click()
{
    if (commandRefused())
        return;
    platform::dialogs().messageBox(
        tr("Before updating the firmware, please make sure the device baudrate is set to 19200."),
        platform::app::title(), platform::MsgIcon::Exclamation);
    bool passed = false;
    {
        frmPassword password(this);
        password.exec();
        passed = password.IsOK();
    }
    if (passed) {
        frmFirmwareUpdate update(kdx(), this);
        update.exec();
    }
}

void frmMain::cmdMis_Click()
{
    if (commandRefused())
        return;
    frmVT100 test(kdx(), this);
    test.exec();
}

void frmMain::cmdExit_Click()
{
    close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frmMain::Form_Unload()
{
    if (unloadHandler()) {
        unloadHandler()();
        return;
    }
    // The program ends here, whatever is running: release the serial port first.
    platform::SerialPort &port = frmCKDX::instance().MSComm1();
    if (port.portOpen())
        port.setPortOpen(false);
    if (m_blnBusy) {
        // A command is waiting inside a nested event loop; unwinding it would
        // let it go on talking to the display.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::exit(0);
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!m_blnSized) {
        m_blnSized = true;
        fitToScreen();
    }
    QWidget::showEvent(event);
}

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_blnBusy) {
        updateComportDevice();
        recheckPortInUse();
    }
}
