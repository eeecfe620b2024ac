#include "SettingTab.h"

#include "AppInfo.h"
#include "CKDX.h"
#include "Dialogs.h"
#include "DisplayFinder.h"
#include "DisplayModel.h"
#include "PortMap.h"
#include "TabHost.h"
#include "TabSupport.h"
#include "KDXType.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace tabSupport;

namespace {

constexpr int kComPorts = 16;

// The port list: opening it re-reads the port map first, so an adapter plugged
// in a moment ago is shown without leaving the tab.
class PortList : public QComboBox
{
public:
    PortList(SettingTab *tab, QWidget *parent)
        : QComboBox(parent)
        , m_tab(tab)
    {
    }
    void showPopup() override
    {
        m_tab->updateComportDevice();
        QComboBox::showPopup();
    }

private:
    SettingTab *m_tab;
};

} // namespace

SettingTab::SettingTab(TabHost &host, QWidget *parent)
    : QWidget(parent)
    , m_host(host)
{
    fraRS232 = named(new QGroupBox(tr("RS232 Settings"), this), QStringLiteral("fraRS232"));
    cboComport = named(new PortList(this, fraRS232), QStringLiteral("cboComport"));
    cmdFindDisplay = named(new QPushButton(tr("Find &Display"), fraRS232), QStringLiteral("cmdFindDisplay"));
    cmdFindDisplay->setToolTip(tr("Ask the display for its version at every rate and framing it has."));
    cmdFindDisplay->setAccessibleName(tr("Find the display's line settings"));
    lblComportDevice = named(new QLabel(fraRS232), QStringLiteral("lblComportDevice"));
    lblComportDevice->setTextFormat(Qt::PlainText);
    lblComportDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblComportDevice->setWordWrap(true);
    cboBaudRate = named(new QComboBox(fraRS232), QStringLiteral("cboBaudRate"));
    cboParity = named(new QComboBox(fraRS232), QStringLiteral("cboParity"));
    auto *rs232 = new QGridLayout(fraRS232);
    rs232->addWidget(buddyLabel(tr("&Comport:"), cboComport, fraRS232), 0, 0);
    rs232->addWidget(cboComport, 0, 1);
    rs232->addWidget(cmdFindDisplay, 0, 2);
    rs232->addWidget(lblComportDevice, 0, 3);
    rs232->addWidget(buddyLabel(tr("&Baud Rate:"), cboBaudRate, fraRS232), 1, 0);
    rs232->addWidget(cboBaudRate, 1, 1);
    auto *parityLabel = buddyLabel(tr("&Parity,Data bit,Stop bit:"), cboParity, fraRS232);
    parityLabel->setWordWrap(true);
    rs232->addWidget(parityLabel, 2, 0);
    rs232->addWidget(cboParity, 2, 1);
    rs232->setColumnStretch(3, 1);

    fraMiscellaneous = named(new QGroupBox(tr("Miscellaneous"), this), QStringLiteral("fraMiscellaneous"));
    cmdLightTube = named(new QPushButton(tr("Fully Light the Tube"), fraMiscellaneous),
                         QStringLiteral("cmdLightTube"));
    cmdFirmwireUpdate = named(new QPushButton(tr("Firmware Update"), fraMiscellaneous),
                              QStringLiteral("cmdFirmwireUpdate"));
    cmdMis = named(new QPushButton(tr("VT100 Mode Test"), fraMiscellaneous), QStringLiteral("cmdMis"));
    cmdMis->setEnabled(false);
    cmdMis->setVisible(false);
    auto *misc = new QHBoxLayout(fraMiscellaneous);
    misc->addWidget(cmdLightTube);
    misc->addWidget(cmdFirmwireUpdate);
    misc->addWidget(cmdMis);
    misc->addStretch(1);

    fraDisplayType = named(new QGroupBox(tr("Display type"), this), QStringLiteral("fraDisplayType"));
    cboKDXType = named(new QComboBox(fraDisplayType), QStringLiteral("cboKDXType"));
    cboKDXType->addItems({QStringLiteral("KDXC-P1"), QStringLiteral("KDXC-P2"), QStringLiteral("KDXDA"),
                          QStringLiteral("KDXDB"), QStringLiteral("KDXE")});
    auto *type = new QHBoxLayout(fraDisplayType);
    type->addWidget(buddyLabel(tr("KDX model:"), cboKDXType, fraDisplayType));
    type->addWidget(cboKDXType);
    type->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fraRS232);
    layout->addWidget(fraMiscellaneous);
    layout->addWidget(fraDisplayType);
    layout->addStretch(1);

    chainFocus({cboComport, cmdFindDisplay, cboBaudRate, cboParity, cmdLightTube, cmdFirmwireUpdate, cmdMis, cboKDXType});
    cboComport->setAccessibleName(tr("Port"));
    cboBaudRate->setAccessibleName(tr("PC baud rate"));
    cboParity->setAccessibleName(tr("PC parity, data bits and stop bits"));
    cboKDXType->setAccessibleName(tr("KDX model"));
    for (QComboBox *list : {cboComport, cboBaudRate, cboParity, cboKDXType})
        wheelOnlyWithFocus(list);

    connect(cboComport, &QComboBox::currentIndexChanged, this, &SettingTab::cboComport_Click);
    connect(cboBaudRate, &QComboBox::currentIndexChanged, this, &SettingTab::cboBaudRate_Click);
    connect(cboParity, &QComboBox::currentIndexChanged, this, &SettingTab::cboParity_Click);
    connect(cmdLightTube, &QPushButton::clicked, this, &SettingTab::cmdLightTube_Click);
    connect(cmdFindDisplay, &QPushButton::clicked, this, &SettingTab::cmdFindDisplay_Click);
}

void SettingTab::FillParityList(const DisplayModel &model)
{
    const QSignalBlocker quiet(cboParity);
    cboParity->clear();
    cboParity->addItems(model.parities);
}

void SettingTab::FillPortAndRateLists(const DisplayModel &model)
{
    {
        const QSignalBlocker quiet(cboBaudRate);
        cboBaudRate->clear();
        cboBaudRate->addItems(model.baudRates);
    }
    {
        const QSignalBlocker quiet(cboComport);
        cboComport->clear();
        for (int n = 1; n <= kComPorts; ++n)
            cboComport->addItem(platform::PortMap::linkName(n));
    }
    cmdMis->setVisible(false);
    fraDisplayType->setVisible(false);
}

void SettingTab::restoreSettings()
{
    const QString app = m_host.settingsName();
    restorePosition(app, cboComport, kSectionSettings, QStringLiteral("Comport"), 0, [this] { cboComport_Click(); });
    restorePosition(app, cboBaudRate, kSectionSettings, QStringLiteral("BaudRate"), 1, [this] { cboBaudRate_Click(); });
    restorePosition(app, cboParity, kSectionSettings, QStringLiteral("Parity"), 0, [this] { cboParity_Click(); });
}

void SettingTab::cboComport_Click()
{
    const int position = cboComport->currentIndex();
    if (position < 0)
        return;
    m_host.kdx().setCommPort(position + 1);
    savePosition(m_host.settingsName(), kSectionSettings, QStringLiteral("Comport"), position);
    updateComportDevice();
}

void SettingTab::cboBaudRate_Click()
{
    const int position = cboBaudRate->currentIndex();
    if (position < 0)
        return;
    m_host.kdx().setBaudRate(cboBaudRate->currentText());
    savePosition(m_host.settingsName(), kSectionSettings, QStringLiteral("BaudRate"), position);
}

void SettingTab::cboParity_Click()
{
    const int position = cboParity->currentIndex();
    if (position < 0)
        return;
    m_host.kdx().setParity(cboParity->currentText());
    savePosition(m_host.settingsName(), kSectionSettings, QStringLiteral("Parity"), position);
}

void SettingTab::cmdLightTube_Click()
{
    if (!m_host.beginCommand())
        return;
    m_host.showSent(m_host.kdx().FullyLightTube(qint16(DisplayModel::of(g_KDXType).cells())));
    m_host.endCommand();
}

void SettingTab::updateComportDevice()
{
    platform::PortMap map;
    map.refresh();
    const QList<platform::PortMap::Entry> entries = map.entries();
    // Each entry of the list says in its tooltip what it stands for.
    for (int i = 0; i < cboComport->count(); ++i) {
        QString tip = tr("not in the port map");
        for (const platform::PortMap::Entry &e : entries) {
            if (e.number == i + 1)
                tip = e.present ? e.target : tr("not present (%1)").arg(e.target);
        }
        cboComport->setItemData(i, tip, Qt::ToolTipRole);
    }

    const int number = cboComport->currentIndex() + 1;
    if (number <= 0) {
        lblComportDevice->clear();
        return;
    }
    QString shown = tr("not present");
    for (const platform::PortMap::Entry &e : entries) {
        if (e.number != number)
            continue;
        shown = e.present ? e.target : tr("not present (%1)").arg(e.target);
        break;
    }
    lblComportDevice->setText(tr("device: %1").arg(shown));
    lblComportDevice->setToolTip(tr("COM%1 in the port map %2").arg(number).arg(map.dir()));
}

bool SettingTab::useFound(const QString &baud, const QString &framing)
{
    const int rate = cboBaudRate->findText(baud);
    int parity = -1;
    for (int i = 0; i < cboParity->count(); ++i) {
        if (cboParity->itemText(i).compare(framing, Qt::CaseInsensitive) == 0)
            parity = i;
    }
    if (rate < 0 || parity < 0)
        return false;
    // The lists' handlers hand the values to the driver and save them.
    cboBaudRate->setCurrentIndex(rate);
    cboParity->setCurrentIndex(parity);
    return true;
}

void SettingTab::cmdFindDisplay_Click()
{
    if (!m_host.beginCommand())
        return;
    CKDX &kdx = m_host.kdx();
    const QString port = cboComport->currentText();
    DisplayFinder finder(kdx);
    finder.setStart({kdx.BaudRate(), kdx.Parity()});
    finder.onTrying = [this, port](const DisplayFinder::Setting &s, int n, int total) {
        m_host.showStatus(tr("Looking for the display on %1 at %2 baud, %3 (setting %4 of %5)...")
                              .arg(port, s.baud, s.framing)
                              .arg(n)
                              .arg(total));
    };
    m_host.setCancel([&finder] { finder.cancel(); });
    const DisplayFinder::Result r = finder.find();
    m_host.setCancel({});
    m_host.endCommand();

    const QString title = platform::app::title();
    switch (r.outcome) {
    case DisplayFinder::Outcome::Cancelled:
        m_host.showStatus(tr("The search for the display was stopped."));
        return;
    case DisplayFinder::Outcome::PortFailed:
        m_host.showResult(r.portResult);
        return;
    case DisplayFinder::Outcome::NoLineSettings:
        m_host.showStatus(tr("There is nothing to find on a raw TCP port."));
        platform::dialogs().messageBox(
            tr("%1 is a raw TCP port: its rate and framing stay as the server has them, so there is "
               "nothing to try. Give the server's port an rfc2217:// address, or look for the display "
               "on the machine it hangs off.")
                .arg(port),
            title, platform::MsgIcon::Exclamation);
        return;
    case DisplayFinder::Outcome::NotFound:
        m_host.showResult(kdx::NoResponse);
        platform::dialogs().messageBox(
            tr("No display answered on %1 at any of the %2 line settings. Check that the display "
               "has power, that its cable is plugged in, and that %1 is the port it is on.")
                .arg(port)
                .arg(r.settingsTried),
            title, platform::MsgIcon::Exclamation);
        return;
    case DisplayFinder::Outcome::Loader:
        m_host.showStatus(tr("The display is in its firmware loader."));
        platform::dialogs().messageBox(
            tr("The display on %1 is in its firmware loader (it answered at %2 baud, %3). Run a "
               "firmware update, or power it off and on.")
                .arg(port, r.baud, r.framings.value(0)),
            title, platform::MsgIcon::Exclamation);
        return;
    case DisplayFinder::Outcome::Found:
        break;
    }

    QString version = r.version;
    if (version.startsWith(QLatin1Char('?')))
        version[0] = QLatin1Char('R');
    QString text;
    if (r.framingKnown())
        text = tr("The display on %1 answers at %2 baud, %3. Its firmware version is %4.")
                   .arg(port, r.baud, r.framings.first(), version);
    else
        text = tr("The display on %1 answers at %2 baud. Its firmware version is %3. This line cannot "
                  "tell its framing: the display answered alike with %4.")
                   .arg(port, r.baud, version, r.framings.join(QStringLiteral(", ")));
    m_host.showStatus(tr("The display answers at %1 baud.").arg(r.baud));

    // The entry of the parity list for a framing, -1 for none.
    auto parityEntry = [this](const QString &framing) {
        for (int i = 0; i < cboParity->count(); ++i) {
            if (cboParity->itemText(i).compare(framing, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    // Where the line cannot tell the framing, the tab's own stays if it is
    // one of those possible; otherwise the first possible one the list has.
    int parity = -1;
    if (!r.framingKnown() && r.framings.contains(cboParity->currentText(), Qt::CaseInsensitive))
        parity = cboParity->currentIndex();
    for (int i = 0; parity < 0 && i < r.framings.size(); ++i)
        parity = parityEntry(r.framings[i]);
    if (cboBaudRate->findText(r.baud) < 0 || parity < 0) {
        platform::dialogs().messageBox(
            text + tr(" This window has no setting for it. Bring the display to a rate this window "
                      "lists with kdxctl, for example: kdxctl --port %1 --baud %2 --parity %3 set-baud "
                      "19200 N,8,1")
                       .arg(port, r.baud, r.framings.first()),
            title, platform::MsgIcon::Information);
        return;
    }
    const QString framing = cboParity->itemText(parity);
    QMessageBox box(QMessageBox::Question, title,
                    text + tr(" Use %1 baud, %2 on the Setting tab?").arg(r.baud, framing),
                    QMessageBox::NoButton, window());
    box.setObjectName(QStringLiteral("msgFoundDisplay"));
    QPushButton *use = box.addButton(tr("Use These Settings"), QMessageBox::AcceptRole);
    use->setObjectName(QStringLiteral("cmdUseFound"));
    box.addButton(QMessageBox::Close);
    box.setDefaultButton(use);
    box.exec();
    if (box.clickedButton() == use && useFound(r.baud, framing))
        m_host.showStatus(tr("The Setting tab now uses %1 baud, %2.").arg(r.baud, framing));
}
