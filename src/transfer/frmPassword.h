#pragma once

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;

// The password gate in front of the firmware update. IsOK tells the caller,
// after the window has closed, whether the right password was confirmed.
class frmPassword : public QDialog
{
    Q_OBJECT
public:
    explicit frmPassword(QWidget *parent = nullptr);

    bool IsOK() const { return m_blnOK; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdCtrl_Click(int Index);

    QLabel *Label1 = nullptr;
    QLineEdit *txtPassword = nullptr;
    QList<QPushButton *> cmdCtrl;
    bool m_blnOK = false;
};
