#pragma once

#include <QVector>
#include <QWidget>

class LimitedTextEdit;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TabHost;
class UpDown;
struct DisplayModel;

// Tab 1, "Main(PRYX)": the display's native commands, one row per command, each
// with its "Set" (or "Get", "Send") button of the array cmdPRYX. Its lists only
// save their position; the buttons send. Every command shows its outcome in the
// host's status line.
class NativeTab : public QWidget
{
    Q_OBJECT
public:
    NativeTab(TabHost &host, QWidget *parent = nullptr);

    void CopyParityList(const QStringList &parities);
    void FillInternationalCodeList(const DisplayModel &model);
    void FillRateLists(const DisplayModel &model);
    void FillLayerList();
    void FillModeList(const DisplayModel &model);
    void ApplyDisplayGeometry(const DisplayModel &model);
    void applyCaptions(const DisplayModel &model);
    // The restores of the start, in the order the start needs them: the
    // display's link and character set, then the demo lists, filled and restored.
    void restoreLinkAndCode();
    void loadDemoChoices(const DisplayModel &model);
    // The hidden display-type list's short code entries ("0: U.S.A").
    void useShortCodeList(const QStringList &entries);

    void cboS_BaudRate_Click();
    void cboS_Parity_Click();
    void cboInternationalCode_Click();
    void cboLayer_Click();
    void cboMode_Click();
    void cboShowSavedMessageAfterRebootMode_Click();
    // Index 12 is the button on the EPSON tab.
    void cmdPRYX_Click(int Index);

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
    // Indices 0 to 11; 12 is set by whoever holds the EPSON tab's button.
    QVector<QPushButton *> cmdPRYX;

signals:
    // The display answered a baud-rate change (or answered at its new rate):
    // the PC side follows to these positions of its lists.
    void pcSideFollows(int baudPosition, int parityPosition);
    // Sending or reading the message: the EPSON tab shows the same text.
    void messageChanged(const QString &text);
    void internationalCodeChanged(int position);

private:
    TabHost &m_host;
};
