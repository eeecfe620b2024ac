#pragma once

#include "StatusLine.h"
#include "TabHost.h"
#include "Timer.h"

#include <QPointer>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class AsciiTab;
class CKDX;
class EpsonTab;
class LimitedTextEdit;
class NativeTab;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class SettingTab;
class UpDown;

// The utility's main window: four tabs (the PC side of the serial link, the
// display's native commands, its EPSON-style commands, the character table)
// over one display driver, and the status line below them. Each tab is a class
// of its own that owns its controls, its settings and its handlers; the window
// wires them together, holds the driver, the busy guard and the status line,
// and keeps the system's names: the handlers below and the controls as fields
// (also their objectName; array members are "<array>_<index>").
//
// Device commands run inside their click handlers; the driver's waits keep the
// event loop running, so a handler first checks the busy state and returns at
// once if another command is still running.
class frmMain : public QWidget, public TabHost
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The display driver, shared with the firmware and VT100 windows. kdx()
    // creates it on first use, which is the port list's handler while the
    // window loads.
    std::unique_ptr<CKDX> m_kdx;
    CKDX &kdx() override;

    bool isBusy() const override { return m_blnBusy; }
    // True while a command of this window runs or a firmware update owns the port.
    bool commandRefused() const override;
    bool isLoading() const override { return m_blnLoading; }

    // What closing the window does. By default the process ends at once; tests
    // install something harmless.
    static void setUnloadHandler(std::function<void()> handler);

    void cboComport_Click();
    void cboBaudRate_Click();
    void cboParity_Click();
    void cboKDXType_Click();
    void cmdLightTube_Click();
    void cmdFirmwireUpdate_Click();
    void cmdMis_Click();
    void cmdExit_Click();
    void cmdPRYX_Click(int Index);
    void cboNational_Click();
    void cmdEPSON_Click(int Index);
    void cmdASCII1_Click(int Index);
    void cmdASCII2_Click(int Index);
    void updateComportDevice();

    SettingTab *settingTab = nullptr;
    NativeTab *nativeTab = nullptr;
    EpsonTab *epsonTab = nullptr;
    AsciiTab *asciiTab = nullptr;

    QTabWidget *SSTab1 = nullptr;
    StatusLine *txtStatus = nullptr;
    QPushButton *cmdExit = nullptr;
    // Shown only while a command that can be stopped runs (Find Display).
    QPushButton *cmdCancel = nullptr;
    // The row below the tabs: "Status:", txtStatus, then the window's buttons,
    // cmdExit last. A further window button goes in before cmdExit.
    QHBoxLayout *statusRow = nullptr;

    QGroupBox *fraRS232 = nullptr;
    QComboBox *cboComport = nullptr;
    QLabel *lblComportDevice = nullptr;
    QComboBox *cboBaudRate = nullptr;
    QComboBox *cboParity = nullptr;
    QGroupBox *fraMiscellaneous = nullptr;
    QPushButton *cmdLightTube = nullptr;
    QPushButton *cmdFirmwireUpdate = nullptr;
    QPushButton *cmdMis = nullptr;
    QGroupBox *fraDisplayType = nullptr;
    QComboBox *cboKDXType = nullptr;

    QLabel *lblFirmwareVersion = nullptr;
    QComboBox *cboS_BaudRate = nullptr;
    QComboBox *cboS_Parity = nullptr;
    QComboBox *cboInternationalCode = nullptr;
    QLineEdit *txtLayer = nullptr;
    UpDown *UpDown1 = nullptr;
    QLineEdit *txtPosition = nullptr;
    UpDown *UpDown2 = nullptr;
    QLineEdit *txtStart = nullptr;
    UpDown *UpDown3 = nullptr;
    QLineEdit *txtEnd = nullptr;
    UpDown *UpDown4 = nullptr;
    QComboBox *cboLayer = nullptr;
    QComboBox *cboMode = nullptr;
    QComboBox *cboShowSavedMessageAfterRebootMode = nullptr;
    QComboBox *cboDevice = nullptr;
    LimitedTextEdit *txtMessage = nullptr;
    QVector<QPushButton *> cmdPRYX;

    QComboBox *cboRow = nullptr;
    QComboBox *cboColumn = nullptr;
    QComboBox *cboOperation = nullptr;
    QComboBox *cboNational = nullptr;
    QComboBox *cboExpand = nullptr;
    QLineEdit *txtBlink = nullptr;
    QComboBox *cboPeripheral = nullptr;
    LimitedTextEdit *txtEPSON = nullptr;
    QVector<QPushButton *> cmdEPSON;

    QVector<QPushButton *> cmdASCII1;
    QVector<QPushButton *> cmdASCII2;

    // TabHost
    bool beginCommand() override;
    void endCommand() override;
    void showResult(qint32 result) override;
    void showSent(qint32 result) override;
    void refuse(const QString &text) override;
    void setCancel(std::function<void()> cancel) override;
    void showStatus(const QString &text) override;
    QString settingsName() const override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildUi();
    void wireTabs();
    void fitToScreen();
    void switchTab(int step);

    void Form_Load();
    void Form_Unload();
    void applyTabsBySelector(int selector);

    // What the status line talks about, so that it goes when that changes: a
    // command's outcome goes with the port, rate or parity it was had at; a
    // port found in use goes once the port is free.
    enum class StatusSubject { None, Outcome, PortInUse, SaveProblem };
    void setStatus(const QString &text, const QString &detail, StatusSubject subject);
    void lineSettingsChanged();
    void recheckPortInUse();
    StatusSubject m_statusSubject = StatusSubject::None;
    int m_statusPort = 0;
    // Looks again every second while a "port in use" status stands.
    platform::Timer m_portInUseCheck;

    bool m_blnLoading = false;
    bool m_blnBusy = false;
    bool m_blnSized = false;
    QPointer<QWidget> m_focusBeforeCommand;
    std::function<void()> m_cancel;
    class QShortcut *m_escape = nullptr;
};
