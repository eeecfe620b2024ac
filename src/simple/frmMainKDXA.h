#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class CKDX;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class StatusLine;
class UpDown;

// The compact window for a KDXA display at 9600,N,8,1: port choice, cursor
// position, clearing a range, and sending a message as text or in byte notation
// ("/72/105"). It owns its own driver object and is a main window of its own:
// Exit and closing it end the program.
class frmMainKDXA : public QWidget
{
    Q_OBJECT
public:
    explicit frmMainKDXA(QWidget *parent = nullptr);
    ~frmMainKDXA() override;

    // What Exit and closing the window do. The default quits the event loop, or,
    // when an action is still waiting for the display, closes the port and ends
    // the process without letting the action run on. Tests install their own.
    using EndRoutine = std::function<void()>;
    static void setEndRoutine(EndRoutine routine);

    // The message exactly as typed or converted, line breaks as CR LF.
    QString messageText() const { return m_sMessage; }
    void setMessageText(const QString &text);

    bool isBusy() const { return m_blnBusy; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Check1_Click();
    void txtMessage_Change();

    void RefreshCommPorts();
    void ApplyPortSettings();
    void ShowStatus(qint32 i_lResult);
    // A rejected input: said in the status line too, so no earlier "OK" stands.
    void refuse(const QString &text);

    // Guard of the actions: false when one is already running; otherwise the
    // hourglass shows and the command controls are disabled until endAction.
    bool beginAction();
    void endAction();
    void showNormalPointer();
    void EndProgram();

    CKDX &kdx();

    QLabel *Label1 = nullptr;
    QComboBox *cboComport = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *Label6 = nullptr;
    QLineEdit *txtPosition = nullptr;
    UpDown *UpDown2 = nullptr;
    QPushButton *Command3 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *txtStart = nullptr;
    UpDown *UpDown3 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtEnd = nullptr;
    UpDown *UpDown1 = nullptr;
    QPushButton *Command4 = nullptr;
    QLabel *Label13 = nullptr;
    QPlainTextEdit *txtMessage = nullptr;
    QPushButton *Command5 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLabel *Label26 = nullptr;
    StatusLine *txtStatus = nullptr;
    QPushButton *Command1 = nullptr;

    std::unique_ptr<CKDX> m_kdx;
    // The box shows line breaks as Qt does; this keeps the text as the driver
    // gets it, so converted control characters survive unchanged.
    QString m_sMessage;
    bool m_blnSettingMessage = false;
    bool m_blnBusy = false;
    bool m_blnEnding = false;
};
