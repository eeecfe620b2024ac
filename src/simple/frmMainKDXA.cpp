#include "frmMainKDXA.h"

#include "AppInfo.h"
#include "Ansi.h"
#include "ByteNotation.h"
#include "CKDX.h"
#include "Clock.h"
#include "Dialogs.h"
#include "StatusLine.h"
#include "TrafficWindow.h"
#include "UpDown.h"
#include "frmCKDX.h"
#include "myComm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// The line this window always uses: 9600,N,8,1.
const QString kBaudRate = QStringLiteral("9600");
const QString kParity = QStringLiteral("N,8,1");

constexpr int kSpinMin = 1;
constexpr int kSpinMax = 40;

frmMainKDXA::EndRoutine g_endRoutine;

// The number at the start of a text: optional blanks, then decimal digits; 0
// when there are none.
qint32 leadingNumber(const QString &text)
{
    const QString t = text.trimmed();
    qint64 n = 0;
    for (QChar c : t) {
        if (!c.isDigit())
            break;
        n = n * 10 + c.digitValue();
        if (n > std::numeric_limits<qint32>::max())
            return 0;
    }
    return qint32(n);
}

// How the box shows a message: every line break, CR LF or a lone CR or LF, as
// one of Qt's.
QString shownForm(const QString &text)
{
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString typedForm(const QString &shown)
{
    QString s = shown;
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return s;
}

QLineEdit *numberBox(const QString &name, const QString &text, QWidget *parent)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setMaximumWidth(60);
    return box;
}

UpDown *spinner(const QString &name, QLineEdit *buddy, QWidget *parent)
{
    auto *spin = new UpDown(parent);
    spin->setObjectName(name);
    spin->setRange(kSpinMin, kSpinMax);
    spin->setBuddy(buddy);
    spin->setValue(leadingNumber(buddy->text()));
    return spin;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

frmMainKDXA::frmMainKDXA(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMainKDXA"));

    Label1 = label(QStringLiteral("Label1"), tr("Connect to:"), this);
    cboComport = new QComboBox(this);
    cboComport->setObjectName(QStringLiteral("cboComport"));
    Command2 = button(QStringLiteral("Command2"), tr("Refresh"), this);

    Label6 = label(QStringLiteral("Label6"), tr("Set Cursor Position:"), this);
    txtPosition = numberBox(QStringLiteral("txtPosition"), QStringLiteral("1"), this);
    UpDown2 = spinner(QStringLiteral("UpDown2"), txtPosition, this);
    Command3 = button(QStringLiteral("Command3"), tr("Set"), this);

    Label7 = label(QStringLiteral("Label7"), tr("Clear Display Range (from ~ to ):"), this);
    txtStart = numberBox(QStringLiteral("txtStart"), QStringLiteral("1"), this);
    UpDown3 = spinner(QStringLiteral("UpDown3"), txtStart, this);
    Label2 = label(QStringLiteral("Label2"), QStringLiteral("~"), this);
    txtEnd = numberBox(QStringLiteral("txtEnd"), QStringLiteral("40"), this);
    UpDown1 = spinner(QStringLiteral("UpDown1"), txtEnd, this);
    Command4 = button(QStringLiteral("Command4"), tr("Set"), this);

    Label13 = label(QStringLiteral("Label13"), tr("Send Message:"), this);
    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setTabChangesFocus(true);
    txtMessage->setFixedHeight(txtMessage->fontMetrics().lineSpacing() * 3 + 12);
    Command5 = button(QStringLiteral("Command5"), tr("Send"), this);
    Check1 = new QCheckBox(tr("Binary Format"), this);
    Check1->setObjectName(QStringLiteral("Check1"));

    Label26 = label(QStringLiteral("Label26"), tr("Status:"), this);
    txtStatus = new StatusLine(this);
    txtStatus->setObjectName(QStringLiteral("txtStatus"));
    txtStatus->setAccessibleName(tr("Status"));
    Label26->setBuddy(txtStatus);
    Command1 = button(QStringLiteral("Command1"), tr("&Exit"), this);

    auto *grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    auto addRow = [grid](int row, QLabel *l, QLayout *input, QWidget *inputWidget, QWidget *b) {
        grid->addWidget(l, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        if (input)
            grid->addLayout(input, row, 1);
        else
            grid->addWidget(inputWidget, row, 1);
        grid->addWidget(b, row, 2, Qt::AlignTop);
    };

    addRow(0, Label1, nullptr, cboComport, Command2);

    auto *position = new QHBoxLayout;
    position->addWidget(txtPosition);
    position->addWidget(UpDown2);
    position->addStretch();
    addRow(1, Label6, position, nullptr, Command3);

    auto *range = new QHBoxLayout;
    range->addWidget(txtStart);
    range->addWidget(UpDown3);
    range->addWidget(Label2);
    range->addWidget(txtEnd);
    range->addWidget(UpDown1);
    range->addStretch();
    addRow(2, Label7, range, nullptr, Command4);

    auto *sendColumn = new QWidget(this);
    auto *sendLayout = new QVBoxLayout(sendColumn);
    sendLayout->setContentsMargins(0, 0, 0, 0);
    sendLayout->addWidget(Command5);
    sendLayout->addWidget(Check1);
    sendLayout->addStretch();
    grid->addWidget(Label13, 3, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(txtMessage, 3, 1);
    grid->addWidget(sendColumn, 3, 2);

    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(txtStatus);
    QAbstractButton *traffic = monitor::TrafficWindow::makeOpenButton(this);
    statusRow->addWidget(traffic);
    QWidget::setTabOrder(traffic, Command1);
    addRow(4, Label26, statusRow, nullptr, Command1);

    connect(Command1, &QPushButton::clicked, this, &frmMainKDXA::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMainKDXA::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMainKDXA::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmMainKDXA::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMainKDXA::Command5_Click);
    connect(Check1, &QCheckBox::toggled, this, &frmMainKDXA::Check1_Click);
    connect(txtMessage, &QPlainTextEdit::textChanged, this, &frmMainKDXA::txtMessage_Change);
    // An outcome on another port says nothing about this one.
    connect(cboComport, &QComboBox::currentIndexChanged, txtStatus, [this] { txtStatus->setStatus(QString()); });

    // What each control is and does, for those who cannot see its row; the
    // two "Set" buttons are told apart by what they set.
    cboComport->setAccessibleName(tr("Port"));
    Command2->setAccessibleName(tr("Refresh the port list"));
    txtPosition->setAccessibleName(tr("Cursor position"));
    UpDown2->nameFor(tr("Cursor position"));
    Command3->setAccessibleName(tr("Set cursor position"));
    txtStart->setAccessibleName(tr("Clear from"));
    UpDown3->nameFor(tr("Clear from"));
    txtEnd->setAccessibleName(tr("Clear to"));
    UpDown1->nameFor(tr("Clear to"));
    Command4->setAccessibleName(tr("Clear display range"));
    txtMessage->setAccessibleName(tr("Message"));
    Command5->setAccessibleName(tr("Send message"));
    Check1->setAccessibleName(tr("Send the message as byte values (Binary Format)"));
    Label1->setBuddy(cboComport);
    Label6->setBuddy(txtPosition);
    Label7->setBuddy(txtStart);
    Label13->setBuddy(txtMessage);

    setMessageText(QStringLiteral("Hello KDXA!!\r\n"));

    Form_Load();
}

frmMainKDXA::~frmMainKDXA() = default;

void frmMainKDXA::setEndRoutine(EndRoutine routine)
{
    g_endRoutine = std::move(routine);
}

void frmMainKDXA::setMessageText(const QString &text)
{
    m_sMessage = text;
    const QScopedValueRollback<bool> guard(m_blnSettingMessage, true);
    txtMessage->setPlainText(shownForm(text));
}

void frmMainKDXA::txtMessage_Change()
{
    if (!m_blnSettingMessage)
        m_sMessage = typedForm(txtMessage->toPlainText());
}

CKDX &frmMainKDXA::kdx()
{
    if (!m_kdx)
        m_kdx = std::make_unique<CKDX>();
    return *m_kdx;
}

// ---------------------------------------------------------------- helpers

void frmMainKDXA::RefreshCommPorts()
{
    setCursor(Qt::WaitCursor);
    cboComport->clear();
    QStringList ports;
    if (myComm::EnumCommPorts(ports) == 0) {
        platform::dialogs().messageBox(tr("No available comm ports."), platform::app::title(),
                                       platform::MsgIcon::Exclamation);
    } else {
        cboComport->addItems(ports);
        cboComport->setCurrentIndex(0);
    }
    unsetCursor();
}

void frmMainKDXA::ApplyPortSettings()
{
    kdx().setCommPort(leadingNumber(cboComport->currentText().mid(3)));
    kdx().setBaudRate(kBaudRate);
    kdx().setParity(kParity);
}

void frmMainKDXA::ShowStatus(qint32 i_lResult)
{
    txtStatus->setStatus(i_lResult == kdx::OK ? tr("OK") : CKDX::ErrorDescription(i_lResult));
}

void frmMainKDXA::refuse(const QString &text)
{
    txtStatus->setStatus(text);
    platform::dialogs().messageBox(text, platform::app::title(), platform::MsgIcon::Exclamation);
}

bool frmMainKDXA::beginAction()
{
    if (m_blnBusy)
        return false;
    m_blnBusy = true;
    setCursor(Qt::WaitCursor);
    for (QWidget *w : {static_cast<QWidget *>(cboComport), static_cast<QWidget *>(Command2),
                       static_cast<QWidget *>(Command3), static_cast<QWidget *>(Command4),
                       static_cast<QWidget *>(Command5), static_cast<QWidget *>(Check1)})
        w->setEnabled(false);
    return true;
}

void frmMainKDXA::showNormalPointer()
{
    unsetCursor();
}

void frmMainKDXA::endAction()
{
    // Clicks that arrived during the action find the window still busy and are dropped.
    platform::clock().processEvents(0);
    for (QWidget *w : {static_cast<QWidget *>(cboComport), static_cast<QWidget *>(Command2),
                       static_cast<QWidget *>(Command3), static_cast<QWidget *>(Command4),
                       static_cast<QWidget *>(Command5), static_cast<QWidget *>(Check1)})
        w->setEnabled(true);
    showNormalPointer();
    m_blnBusy = false;
}

// ---------------------------------------------------------------- events

void frmMainKDXA::Form_Load()
{
    RefreshCommPorts();
    setWindowTitle(QStringLiteral("KDXA Utility V%1.%2R%3")
                       .arg(platform::app::versionMajor())
                       .arg(platform::app::versionMinor())
                       .arg(platform::app::versionRevision()));
}

void frmMainKDXA::Command2_Click()
{
    if (!beginAction())
        return;
    RefreshCommPorts();
    endAction();
}

void frmMainKDXA::Command3_Click()
{
    if (!beginAction())
        return;
    ApplyPortSettings();
    // A text that is no number, or one beyond 16 bits, never reaches the display.
    double position = 0;
    if (!ByteNotation::isNumeric(txtPosition->text(), &position))
        ShowStatus(kdx::InvalidParameter);
    else if (const double whole = std::nearbyint(position); whole < -32768 || whole > 32767)
        ShowStatus(kdx::InvalidParameter);
    else
        ShowStatus(kdx().SetPosition(qint16(whole)));
    endAction();
}

void frmMainKDXA::Command4_Click()
{
    if (!beginAction())
        return;
    ApplyPortSettings();
    double start = 0;
    double end = 0;
    if (ByteNotation::isNumeric(txtStart->text(), &start) && ByteNotation::isNumeric(txtEnd->text(), &end))
        ShowStatus(kdx().ClearDisplay(start, end));
    else
        ShowStatus(kdx::InvalidParameter);
    endAction();
}

void frmMainKDXA::Command5_Click()
{
    if (!beginAction())
        return;
    ApplyPortSettings();
    if (!Check1->isChecked()) {
        ShowStatus(kdx().SendMessage(messageText()));
        endAction();
        return;
    }
    QByteArray bytes;
    if (!ByteNotation::parse(messageText(), bytes)) {
        showNormalPointer();
        refuse(tr("Invalid Binary Format"));
        endAction();
        return;
    }
    // Raw bytes may be text the display shows without acknowledging it: no
    // acknowledge is not a failure here.
    const qint32 result = kdx().SendMessageByteArray(bytes);
    if (result == kdx::NoResponse)
        txtStatus->setStatus(tr("Sent; the display gave no acknowledge"));
    else
        ShowStatus(result);
    endAction();
}

void frmMainKDXA::Check1_Click()
{
    const QString text = messageText();
    if (Check1->isChecked()) {
        setMessageText(ByteNotation::format(platform::ansi::fromUnicode(text)));
        return;
    }
    if (!text.contains(QLatin1Char('/')))
        return;
    // The first character is dropped whatever it is; the rest is read as parts
    // that each follow a "/".
    QByteArray bytes;
    if (ByteNotation::parse(QLatin1Char('/') + text.mid(1), bytes))
        setMessageText(platform::ansi::toUnicode(bytes));
}

void frmMainKDXA::Command1_Click()
{
    EndProgram();
}

void frmMainKDXA::closeEvent(QCloseEvent *event)
{
    event->accept();
    EndProgram();
}

void frmMainKDXA::EndProgram()
{
    if (m_blnEnding)
        return;
    m_blnEnding = true;
    if (g_endRoutine) {
        g_endRoutine();
        m_blnEnding = false;
        return;
    }
    if (m_blnBusy) {
        // An action is inside a wait for the display; returning to it would keep
        // the program alive until that wait ends.
        frmCKDX::instance().MSComm1().setPortOpen(false);
        std::_Exit(0);
    }
    QCoreApplication::exit(0);
}
