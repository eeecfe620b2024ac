#pragma once

#include "PassThrough.h"

#include <QDialog>

class QComboBox;
class QPushButton;

namespace monitor {

// "Watch a port...": which port the display hangs on and which COM name to
// offer the program that drives it, for the Traffic window's pass-through (the
// same as kdxctl spy).
class frmWatchPort final : public QDialog
{
    Q_OBJECT
public:
    explicit frmWatchPort(QWidget *parent = nullptr);

    // What was chosen; valid once the dialog was accepted.
    platform::PassThrough::Setup setup() const;

private:
    void check();

    QComboBox *cboPort = nullptr;
    QComboBox *cboOffer = nullptr;
    QComboBox *cboBaudRate = nullptr;
    QComboBox *cboParity = nullptr;
    QPushButton *cmdWatch = nullptr;
};

} // namespace monitor
