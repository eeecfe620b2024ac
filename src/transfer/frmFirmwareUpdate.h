#pragma once

#include "Timer.h"

#include <QDialog>
#include <QList>

class CKDX;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Chooses the firmware file, the block check and the code type, switches the
// display into its loader through the main window's driver, runs the transfer
// and reports how it ended. The choices are kept in the settings store.
class frmFirmwareUpdate : public QDialog
{
    Q_OBJECT
public:
    explicit frmFirmwareUpdate(CKDX &kdx, QWidget *parent = nullptr);
    ~frmFirmwareUpdate() override;

    // The progress poll (500 ms), for tests on the virtual clock.
    platform::Timer &Timer1() { return m_timer1; }

    void done(int r) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdCtrl_Click(int Index);
    void Send();
    void Browse();
    void Timer1_Timer();
    void Form_Load();
    void Form_Unload();
    void setButtonsEnabled(bool on);
    void reportEnd();

    CKDX &m_kdx;
    QLabel *Label1 = nullptr;
    QLineEdit *txtFile = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *cboProtocol = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *cboType = nullptr;
    QProgressBar *pb = nullptr;
    QList<QPushButton *> cmdCtrl; // 0 Send, 1 Close, 2 Browse
    platform::Timer m_timer1;

    bool m_blnSending = false;  // a transfer was started and has not been reported
    bool m_blnUnloaded = false;
};
