#pragma once

#include "Dialogs.h"
#include "Timer.h"

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPointer>

class CKDX;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Chooses the firmware file, the block check and the code type, switches the
// display into its loader through the main window's driver, runs the transfer
// and reports how it ended. The choices are kept in the settings store.
//
// While the loader dialogue or the transfer runs the window cannot go away: a
// close from the frame or Esc asks "Stop the firmware update?"; Yes stops the
// update as Stop does, and the window closes once the outcome has been shown.
class frmFirmwareUpdate : public QDialog
{
    Q_OBJECT
public:
    explicit frmFirmwareUpdate(CKDX &kdx, QWidget *parent = nullptr);
    ~frmFirmwareUpdate() override;

    // The progress poll (500 ms), for tests on the virtual clock.
    platform::Timer &Timer1() { return m_timer1; }

    void done(int r) override;

    // The open "Stop the firmware update?" box, if any (for tests).
    QMessageBox *stopQuestion() const { return m_stopQuestion.data(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdCtrl_Click(int Index);
    void Send();
    void Browse();
    void Timer1_Timer();
    void Form_Load();
    void Form_Unload();
    void setButtonsEnabled(bool on);
    void reportEnd();
    // The loader switch failed with r: what failed, the code's text and what
    // to check.
    QString loaderFailure(qint32 r) const;
    // The phase beside the bar, from the state and the sender's block.
    void showPhase();
    // Keeps a typed path as Browse keeps a chosen one, when it names a file.
    void keepTypedPath();
    // Shows one outcome box; a stop the user asked for then closes the window.
    void report(const QString &text, platform::MsgIcon icon);
    bool isBusy() const { return m_state != State::Idle; }
    // Asked without a nested event loop, so the transfer goes on meanwhile.
    void askToStop();
    void dismissStopQuestion();

    CKDX &m_kdx;
    QLabel *Label1 = nullptr;
    QLineEdit *txtFile = nullptr;
    QLabel *Label2 = nullptr;
    QComboBox *cboProtocol = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *cboType = nullptr;
    QProgressBar *pb = nullptr;
    QLabel *lblPhase = nullptr;
    QList<QPushButton *> cmdCtrl; // 0 Send, 1 Close, 2 Browse
    platform::Timer m_timer1;

    enum class State { Idle, Loader, Transfer };
    State m_state = State::Idle;
    bool m_blnCloseWhenReported = false; // the user chose to stop and close
    QPointer<QMessageBox> m_stopQuestion;
    bool m_blnUnloaded = false;
};
