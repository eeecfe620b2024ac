#include "frmPassword.h"

#include "AppInfo.h"
#include "Dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kPassword = QStringLiteral("TVRN");
}

frmPassword::frmPassword(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(tr("Password Required"));

    Label1 = new QLabel(tr("Enter Password:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every typed character shows as '*', whatever the style's own mark.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    const QStringList captions {tr("OK"), tr("Cancel")};
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < captions.size(); ++i) {
        auto *b = new QPushButton(captions[i], this);
        b->setObjectName(QStringLiteral("cmdCtrl_%1").arg(i));
        connect(b, &QPushButton::clicked, this, [this, i] { cmdCtrl_Click(i); });
        buttons->addWidget(b);
        cmdCtrl.append(b);
    }
    cmdCtrl[0]->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(txtPassword, 0, 1);
    grid->addLayout(buttons, 1, 0, 1, 2);
    txtPassword->setFocus();
}

void frmPassword::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCtrl[1]->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmPassword::cmdCtrl_Click(int Index)
{
    if (Index == 0) {
        if (txtPassword->text().toUpper() != kPassword) {
            platform::dialogs().messageBox(tr("Invalid Password!"), platform::app::title(),
                                           platform::MsgIcon::Exclamation);
            txtPassword->setFocus();
            txtPassword->selectAll();
            return;
        }
        m_blnOK = true;
        accept();
        return;
    }
    m_blnOK = false;
    reject();
}
