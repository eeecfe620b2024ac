#pragma once

#include <QPointer>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class CKDX;
class LimitedTextEdit;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class UpDown;

// The utility's main window: the PC side of the serial link and the
// miscellaneous actions, the display's native commands, its EPSON-style
// commands and the character table, over one display driver. The list
// positions the user chooses are kept in the settings store under the
// application title.
//
// Device commands run inside their click handlers; the driver's waits keep the
// event loop running, so a handler first checks the busy state and returns at
// once if another command is still running.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The display driver, shared with the firmware and VT100 windows. kdx()
    // creates it on first use, which is the port list's handler while the
    // window loads.
    std::unique_ptr<CKDX> m_kdx;
    CKDX &kdx();

    bool isBusy() const { return m_blnBusy; }
    bool isLoading() const { return m_blnLoading; }

    // What closing the window does. By default the process ends at once; tests
    // install something harmless.
    static void setUnloadHandler(std::function<void()> handler);

    // The click handlers, one per control or control array.
    void cboComport_Click();
    void cboBaudRate_Click();
    void cboParity_Click();
    void cboKDXType_Click();
    void cmdLightTube_Click();
    void cmdFirmwireUpdate_Click();
    void cmdMis_Click();
    void cmdExit_Click();

    void cboS_BaudRate_Click();
    void cboS_Parity_Click();
    void cboInternationalCode_Click();
    void cboLayer_Click();
    void cboMode_Click();
    void cboShowSavedMessageAfterRebootMode_Click();
    void cmdPRYX_Click(int Index);

    void cboOperation_Click();
    void cboPeripheral_Click();
    void cboNational_Click();
    void cmdEPSON_Click(int Index);

    void cmdASCII1_Click(int Index);
    void cmdASCII2_Click(int Index);

    // Which device the chosen port number stands for in the port map.
    void updateComportDevice();

    // Controls, named as the window's design names them (also their objectName;
    // array members are "<array>_<index>").
    QTabWidget *SSTab1 = nullptr;
    QLineEdit *txtStatus = nullptr;
    QPushButton *cmdExit = nullptr;

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
    // Index 12 is carried by no button and stays null.
    QVector<QPushButton *> cmdEPSON;

    QVector<QPushButton *> cmdASCII1;
    QVector<QPushButton *> cmdASCII2;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildUi();
    QWidget *buildSettingTab();
    QWidget *buildNativeTab();
    QWidget *buildEpsonTab();
    QWidget *buildAsciiTab();
    void fitToScreen();

    void Form_Load();
    void Form_Unload();
    void FillParityList();
    void CopyParityList();
    void FillInternationalCodeList();
    void FillPortAndRateLists();
    void FillLayerList();
    void FillModeList();
    void ApplyDisplayGeometry();
    void applyTabsBySelector(int selector);

    // Sets a list to the position stored under section/key and runs its
    // handler, as a change made by the user would. A stored position outside
    // the list leaves it without a selection.
    void restorePosition(QComboBox *list, const QString &section, const QString &key, int defaultPosition,
                         void (frmMain::*handler)());
    void savePosition(const QString &section, const QString &key, int position);

    // True while a command of this window runs or a firmware update owns the port.
    bool commandRefused() const;
    // The busy guard: false when a command is already running; otherwise the
    // window shows the hourglass and the tabs are disabled until endCommand.
    bool beginCommand();
    void endCommand();

    // Message box for a parameter that cannot be sent.
    void refuse(const QString &text);

    bool m_blnLoading = false;
    bool m_blnBusy = false;
    bool m_blnSized = false;
    QPointer<QWidget> m_focusBeforeCommand;
};
