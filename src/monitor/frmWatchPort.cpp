#include "frmWatchPort.h"

#include "PortMap.h"
#include "myComm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace monitor {

namespace {

const char *const kBaudRates[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const char *const kFramings[] = {"N,8,1", "E,7,1", "O,7,1", "E,8,1", "O,8,1"};

} // namespace

frmWatchPort::frmWatchPort(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmWatchPort"));
    setWindowTitle(tr("Watch a Port"));

    auto *intro = new QLabel(tr("The program that drives the display opens the COM name offered "
                                "here instead of the display's port; everything passes through "
                                "unchanged and shows in the Traffic window."),
                             this);
    intro->setWordWrap(true);

    // The port map's names, or any port kdxctl takes: a device, an address.
    cboPort = new QComboBox(this);
    cboPort->setObjectName(QStringLiteral("cboPort"));
    cboPort->setEditable(true);
    QStringList ports;
    myComm::EnumCommPorts(ports);
    const platform::PortMap map;
    for (const QString &name : ports) {
        const int n = platform::PortMap::numberOfName(name);
        const QString device = map.devicePath(n);
        cboPort->addItem(name);
        cboPort->setItemData(cboPort->count() - 1, device.isEmpty() ? map.urlOf(n) : device, Qt::ToolTipRole);
    }
    cboPort->lineEdit()->setPlaceholderText(tr("COM1, /dev/ttyUSB0 or rfc2217://host:4001"));
    cboPort->setAccessibleName(tr("The display's port"));

    cboOffer = new QComboBox(this);
    cboOffer->setObjectName(QStringLiteral("cboOffer"));
    cboOffer->setEditable(true);
    cboOffer->addItem(platform::PortMap::linkName(map.lowestFreeNumber()));
    cboOffer->setAccessibleName(tr("The COM name offered to the program"));

    cboBaudRate = new QComboBox(this);
    cboBaudRate->setObjectName(QStringLiteral("cboBaudRate"));
    for (const char *rate : kBaudRates)
        cboBaudRate->addItem(QString::fromLatin1(rate));
    cboBaudRate->setCurrentText(QStringLiteral("19200"));
    cboBaudRate->setAccessibleName(tr("Baud rate until the program sets its own"));
    cboParity = new QComboBox(this);
    cboParity->setObjectName(QStringLiteral("cboParity"));
    for (const char *framing : kFramings)
        cboParity->addItem(QString::fromLatin1(framing));
    cboParity->setAccessibleName(tr("Parity, data and stop bits"));

    auto *buttons = new QDialogButtonBox(this);
    cmdWatch = buttons->addButton(tr("&Watch"), QDialogButtonBox::AcceptRole);
    cmdWatch->setObjectName(QStringLiteral("cmdWatch"));
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));

    auto *form = new QFormLayout;
    form->addRow(tr("&Display's port:"), cboPort);
    form->addRow(tr("&Offer to the program as:"), cboOffer);
    form->addRow(tr("&Baud rate:"), cboBaudRate);
    form->addRow(tr("&Parity:"), cboParity);
    auto *note = new QLabel(tr("The rate and stop bits the program sets are applied to the display's "
                               "port; parity and data bits stay as chosen here."),
                            this);
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cboPort, &QComboBox::currentTextChanged, this, &frmWatchPort::check);
    connect(cboOffer, &QComboBox::currentTextChanged, this, &frmWatchPort::check);
    check();
}

void frmWatchPort::check()
{
    cmdWatch->setEnabled(!cboPort->currentText().trimmed().isEmpty()
                         && platform::PortMap::numberOfName(cboOffer->currentText().trimmed()) > 0);
}

platform::PassThrough::Setup frmWatchPort::setup() const
{
    platform::PassThrough::Setup s;
    s.realPort = cboPort->currentText().trimmed();
    s.comNumber = platform::PortMap::numberOfName(cboOffer->currentText().trimmed());
    s.settings = cboBaudRate->currentText() + QLatin1Char(',') + cboParity->currentText();
    return s;
}

} // namespace monitor
