#pragma once

#include <QVector>
#include <QWidget>

class LimitedTextEdit;
class QComboBox;
class QLineEdit;
class QPushButton;
class TabHost;
struct DisplayModel;

// Tab 2, "Adv.(EPSON)": drives a display switched to its EPSON-style command
// set. The buttons of the array cmdEPSON and the Operation and Peripheral
// lists send the driver's EPSON sequences; every command shows its outcome in
// the host's status line, and a parameter that cannot be sent is refused with
// a message before anything is opened.
class EpsonTab : public QWidget
{
    Q_OBJECT
public:
    EpsonTab(TabHost &host, QWidget *parent = nullptr);

    void ApplyDisplayGeometry(const DisplayModel &model);
    void applyModel(const DisplayModel &model);
    // The positions the start gives the lists, none of them sent.
    void setStartPositions(int nationalPosition);
    void useShortNationalList(const QStringList &entries);
    // Keeps the national set at the native tab's international-code position.
    void followInternationalCode(int position);

    void cboOperation_Click();
    void cboPeripheral_Click();
    void cboNational_Click();
    void cmdEPSON_Click(int Index);

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
    // cmdPRYX(12), "Switch to PRYX Command": a native command that sits here.
    QPushButton *cmdSwitchBack = nullptr;

signals:
    void nationalChanged(int position);
    // "Send": the native tab's message box takes this text first.
    void messageSending(const QString &text);

private:
    void buildCursorFrame(QWidget *frame);
    void buildOperationFrame(QWidget *frame);
    // Names the two toggles by what their next press does.
    void nameToggles();
    QPushButton *makeButton(int index, const QString &caption, const QString &tip, const QString &accessible,
                            QWidget *parent);

    TabHost &m_host;
};
