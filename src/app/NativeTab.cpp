#include "NativeTab.h"

#include "BaudChange.h"
#include "CKDX.h"
#include "DisplayModel.h"
#include "LimitedTextEdit.h"
#include "NumericText.h"
#include "ResultCode.h"
#include "TabHost.h"
#include "TabSupport.h"
#include "UpDown.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace tabSupport;

namespace {

// The layers the display can save.
constexpr int kLayers = 3;

// What each button of the tab does, for those who cannot see its row.
const char *const kAccessibleNames[] = {
    "Set display baud rate and parity", "Set international code", "Save current view as layer",
    "Set cursor position",              "Clear display range",    "Display saved demo message",
    "Send message",                     "Get message",            "Set peripheral device",
    "Get firmware version",             "Set reboot mode",        "Switch to EPSON command set",
};

} // namespace

NativeTab::NativeTab(TabHost &host, QWidget *parent)
    : QWidget(parent)
    , m_host(host)
{
    auto *grid = new QGridLayout(this);
    QList<QWidget *> focus;

    cmdPRYX.fill(nullptr, 13);
    auto makeButton = [this](int index, const QString &caption) {
        auto *b = named(new QPushButton(caption, this), QStringLiteral("cmdPRYX_%1").arg(index));
        b->setProperty("Index", index);
        b->setAccessibleName(QString::fromLatin1(kAccessibleNames[index]));
        connect(b, &QPushButton::clicked, this, [this, index] { cmdPRYX_Click(index); });
        cmdPRYX[index] = b;
        return b;
    };
    auto params = [this](std::initializer_list<QWidget *> widgets) {
        auto *box = new QHBoxLayout;
        for (QWidget *w : widgets) {
            if (w)
                box->addWidget(w);
            else
                box->addSpacing(fontMetrics().averageCharWidth() * 2);
        }
        box->addStretch(1);
        return box;
    };
    auto numberBox = [this](const QString &name, int maxLength = 0) {
        auto *box = named(new QLineEdit(QStringLiteral("1"), this), name);
        if (maxLength > 0)
            box->setMaxLength(maxLength);
        box->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
        return box;
    };
    // Long captions wrap rather than widen the tab.
    auto rowLabel = [this](const QString &text, QWidget *buddy) {
        QLabel *label = buddy ? buddyLabel(text, buddy, this) : new QLabel(text, this);
        label->setWordWrap(true);
        return label;
    };
    int row = 0;

    lblFirmwareVersion = named(new QLabel(this), QStringLiteral("lblFirmwareVersion"));
    // The display's own text, shown as received, never as markup.
    lblFirmwareVersion->setTextFormat(Qt::PlainText);
    lblFirmwareVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton *getVersion = makeButton(9, tr("GetVersion"));
    grid->addWidget(rowLabel(tr("Firmware &Version : "), getVersion), row, 0);
    grid->addWidget(lblFirmwareVersion, row, 1);
    grid->addWidget(getVersion, row++, 2);
    focus << getVersion;

    cboS_BaudRate = named(new QComboBox(this), QStringLiteral("cboS_BaudRate"));
    cboS_Parity = named(new QComboBox(this), QStringLiteral("cboS_Parity"));
    grid->addWidget(rowLabel(tr("Change the KDX Baud-&Rate && Parity,Data bit,Stop bit::"), cboS_BaudRate),
                    row, 0);
    grid->addLayout(params({cboS_BaudRate, cboS_Parity}), row, 1);
    grid->addWidget(makeButton(0, tr("Set")), row++, 2);
    focus << cboS_BaudRate << cboS_Parity << cmdPRYX[0];

    cboInternationalCode = named(new QComboBox(this), QStringLiteral("cboInternationalCode"));
    grid->addWidget(rowLabel(tr("&International Code:"), cboInternationalCode), row, 0);
    grid->addLayout(params({cboInternationalCode}), row, 1);
    grid->addWidget(makeButton(1, tr("Set")), row++, 2);
    focus << cboInternationalCode << cmdPRYX[1];

    txtLayer = numberBox(QStringLiteral("txtLayer"), 1);
    UpDown1 = named(new UpDown(txtLayer, 1, kLayers, this), QStringLiteral("UpDown1"));
    grid->addWidget(rowLabel(tr("Save the Current View Message (&Layer):"), txtLayer), row, 0);
    grid->addLayout(params({txtLayer, UpDown1}), row, 1);
    grid->addWidget(makeButton(2, tr("Set")), row++, 2);
    focus << txtLayer << cmdPRYX[2];

    txtPosition = numberBox(QStringLiteral("txtPosition"));
    UpDown2 = named(new UpDown(txtPosition, 1, 40, this), QStringLiteral("UpDown2"));
    grid->addWidget(rowLabel(tr("Set &Cursor Position:"), txtPosition), row, 0);
    grid->addLayout(params({txtPosition, UpDown2}), row, 1);
    grid->addWidget(makeButton(3, tr("Set")), row++, 2);
    focus << txtPosition << cmdPRYX[3];

    txtStart = numberBox(QStringLiteral("txtStart"));
    UpDown3 = named(new UpDown(txtStart, 1, 40, this), QStringLiteral("UpDown3"));
    txtEnd = numberBox(QStringLiteral("txtEnd"));
    UpDown4 = named(new UpDown(txtEnd, 1, 40, this), QStringLiteral("UpDown4"));
    grid->addWidget(rowLabel(tr("Clear &Display Range:"), txtStart), row, 0);
    grid->addLayout(params({buddyLabel(tr("&From:"), txtStart, this), txtStart, UpDown3, nullptr,
                            buddyLabel(tr("&To:"), txtEnd, this), txtEnd, UpDown4}),
                    row, 1);
    grid->addWidget(makeButton(4, tr("Set")), row++, 2);
    focus << txtStart << txtEnd << cmdPRYX[4];
    UpDown1->nameFor(tr("Layer"));
    UpDown2->nameFor(tr("Cursor position"));
    UpDown3->nameFor(tr("Clear from"));
    UpDown4->nameFor(tr("Clear to"));

    cboLayer = named(new QComboBox(this), QStringLiteral("cboLayer"));
    cboMode = named(new QComboBox(this), QStringLiteral("cboMode"));
    grid->addWidget(rowLabel(tr("Display the Saved Demo Message:"), nullptr), row, 0);
    // Layer and Mode on a line each, so the row stays narrow at a large scale.
    auto *demo = new QGridLayout;
    demo->addWidget(buddyLabel(tr("L&ayer:"), cboLayer, this), 0, 0);
    demo->addWidget(cboLayer, 0, 1, Qt::AlignLeft);
    demo->addWidget(buddyLabel(tr("&Mode:"), cboMode, this), 1, 0);
    demo->addWidget(cboMode, 1, 1, Qt::AlignLeft);
    demo->setColumnStretch(1, 1);
    grid->addLayout(demo, row, 1);
    grid->addWidget(makeButton(5, tr("Set")), row++, 2);
    focus << cboLayer << cboMode << cmdPRYX[5];

    cboShowSavedMessageAfterRebootMode = named(new QComboBox(this), QStringLiteral("cboShowSavedMessageAfterRebootMode"));
    grid->addWidget(rowLabel(tr("Show &Saved Message after Reboot Mode :"),
                             cboShowSavedMessageAfterRebootMode),
                    row, 0);
    grid->addLayout(params({cboShowSavedMessageAfterRebootMode}), row, 1);
    grid->addWidget(makeButton(10, tr("Set")), row++, 2);
    focus << cboShowSavedMessageAfterRebootMode << cmdPRYX[10];

    cboDevice = named(new QComboBox(this), QStringLiteral("cboDevice"));
    cboDevice->addItems({tr("Printer ON"), tr("Printer Off")});
    grid->addWidget(rowLabel(tr("&Peripheral Device:"), cboDevice), row, 0);
    grid->addLayout(params({cboDevice}), row, 1);
    grid->addWidget(makeButton(8, tr("Set")), row++, 2);
    focus << cboDevice << cmdPRYX[8];

    txtMessage = named(new LimitedTextEdit(this), QStringLiteral("txtMessage"));
    txtMessage->setFixedHeight(txtMessage->fontMetrics().lineSpacing() * 3 + 12);
    auto *messageButtons = new QVBoxLayout;
    messageButtons->addWidget(makeButton(7, tr("Get")));
    messageButtons->addWidget(makeButton(6, tr("Send")));
    messageButtons->addStretch(1);
    grid->addWidget(rowLabel(tr("&Get/Send Message:"), txtMessage), row, 0, Qt::AlignTop);
    grid->addWidget(txtMessage, row, 1);
    grid->addLayout(messageButtons, row++, 2);
    focus << txtMessage << cmdPRYX[7] << cmdPRYX[6];

    auto *switchRow = new QHBoxLayout;
    switchRow->addWidget(makeButton(11, tr("Switch to Group B Command")));
    switchRow->addStretch(1);
    grid->addLayout(switchRow, row++, 0, 1, 3);
    focus << cmdPRYX[11];

    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 3);
    grid->setRowStretch(row, 1);
    chainFocus(focus);

    // What each list and box is, for those who cannot see its row.
    cboS_BaudRate->setAccessibleName(tr("Display baud rate"));
    cboS_Parity->setAccessibleName(tr("Display parity, data bits and stop bits"));
    cboInternationalCode->setAccessibleName(tr("International code"));
    txtLayer->setAccessibleName(tr("Layer to save"));
    txtPosition->setAccessibleName(tr("Cursor position"));
    txtStart->setAccessibleName(tr("Clear from"));
    txtEnd->setAccessibleName(tr("Clear to"));
    cboLayer->setAccessibleName(tr("Demo message layer"));
    cboMode->setAccessibleName(tr("Demo message mode"));
    cboShowSavedMessageAfterRebootMode->setAccessibleName(tr("Saved message after reboot"));
    cboDevice->setAccessibleName(tr("Peripheral device"));
    txtMessage->setAccessibleName(tr("Message"));

    for (QComboBox *list : findChildren<QComboBox *>())
        wheelOnlyWithFocus(list);

    connect(cboS_BaudRate, &QComboBox::currentIndexChanged, this, &NativeTab::cboS_BaudRate_Click);
    connect(cboS_Parity, &QComboBox::currentIndexChanged, this, &NativeTab::cboS_Parity_Click);
    connect(cboInternationalCode, &QComboBox::currentIndexChanged, this, &NativeTab::cboInternationalCode_Click);
    connect(cboLayer, &QComboBox::currentIndexChanged, this, &NativeTab::cboLayer_Click);
    connect(cboMode, &QComboBox::currentIndexChanged, this, &NativeTab::cboMode_Click);
    connect(cboShowSavedMessageAfterRebootMode, &QComboBox::currentIndexChanged, this,
            &NativeTab::cboShowSavedMessageAfterRebootMode_Click);
}

void NativeTab::CopyParityList(const QStringList &parities)
{
    const QSignalBlocker quiet(cboS_Parity);
    cboS_Parity->clear();
    cboS_Parity->addItems(parities);
}

void NativeTab::FillInternationalCodeList(const DisplayModel &model)
{
    const QSignalBlocker quiet(cboInternationalCode);
    cboInternationalCode->clear();
    cboInternationalCode->addItems(DisplayModel::translated(model.internationalCodes));
    // Selected without saving: the stored position is restored later.
    cboInternationalCode->setCurrentIndex(0);
}

void NativeTab::FillRateLists(const DisplayModel &model)
{
    {
        const QSignalBlocker quiet(cboS_BaudRate);
        cboS_BaudRate->clear();
        cboS_BaudRate->addItems(model.baudRates);
    }
    const QSignalBlocker quiet(cboShowSavedMessageAfterRebootMode);
    cboShowSavedMessageAfterRebootMode->clear();
    cboShowSavedMessageAfterRebootMode->addItems({tr("Stay"), tr("Running")});
}

void NativeTab::FillLayerList()
{
    const QSignalBlocker quiet(cboLayer);
    cboLayer->clear();
    cboLayer->addItems({tr("Layer 1"), tr("Layer 2"), tr("Layer 3"),
                        tr("Layer 1 + 2"), tr("Layer 1 + 3"), tr("Layer 2 + 3"),
                        tr("Layer 1 + 2 + 3")});
}

void NativeTab::FillModeList(const DisplayModel &model)
{
    const QSignalBlocker quiet(cboMode);
    cboMode->clear();
    cboMode->addItems(DisplayModel::translated(model.demoModes));
}

void NativeTab::ApplyDisplayGeometry(const DisplayModel &model)
{
    txtMessage->setMaxLength(model.cells());
    txtMessage->clear();
    for (UpDown *spin : {UpDown2, UpDown3, UpDown4})
        spin->setMaximum(model.cells());
}

void NativeTab::applyCaptions(const DisplayModel &model)
{
    if (!model.toEpsonCaption.isEmpty())
        cmdPRYX[11]->setText(DisplayModel::translated(model.toEpsonCaption));
}

void NativeTab::restoreLinkAndCode()
{
    const QString app = m_host.settingsName();
    restorePosition(app, cboS_BaudRate, kSectionSet, QStringLiteral("BaudRate"), 0, [this] { cboS_BaudRate_Click(); });
    restorePosition(app, cboS_Parity, kSectionSet, QStringLiteral("Parity"), 0, [this] { cboS_Parity_Click(); });
    restorePosition(app, cboInternationalCode, kSectionSet, QStringLiteral("InternationalCode"), 0,
                    [this] { cboInternationalCode_Click(); });
}

void NativeTab::loadDemoChoices(const DisplayModel &model)
{
    const QString app = m_host.settingsName();
    FillLayerList();
    restorePosition(app, cboLayer, kSectionSet, QStringLiteral("Layer"), 0, [this] { cboLayer_Click(); });
    restorePosition(app, cboShowSavedMessageAfterRebootMode, kSectionSet,
                    QStringLiteral("ShowSavedMessageAfterRebootMode"), 0,
                    [this] { cboShowSavedMessageAfterRebootMode_Click(); });
    FillModeList(model);
    restorePosition(app, cboMode, kSectionSet, QStringLiteral("Mode"), 0, [this] { cboMode_Click(); });
}

void NativeTab::useShortCodeList(const QStringList &entries)
{
    {
        const QSignalBlocker quiet(cboInternationalCode);
        cboInternationalCode->clear();
        cboInternationalCode->addItems(entries);
        cboInternationalCode->setCurrentIndex(-1);
    }
    cboInternationalCode->setCurrentIndex(0);
}

void NativeTab::cboS_BaudRate_Click()
{
    if (cboS_BaudRate->currentIndex() >= 0)
        savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("BaudRate"), cboS_BaudRate->currentIndex());
}

void NativeTab::cboS_Parity_Click()
{
    if (cboS_Parity->currentIndex() >= 0)
        savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("Parity"), cboS_Parity->currentIndex());
}

void NativeTab::cboInternationalCode_Click()
{
    const int position = cboInternationalCode->currentIndex();
    if (position < 0)
        return;
    savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("InternationalCode"), position);
    emit internationalCodeChanged(position);
}

void NativeTab::cboLayer_Click()
{
    if (cboLayer->currentIndex() >= 0)
        savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("Layer"), cboLayer->currentIndex());
}

void NativeTab::cboMode_Click()
{
    if (cboMode->currentIndex() >= 0)
        savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("Mode"), cboMode->currentIndex());
}

void NativeTab::cboShowSavedMessageAfterRebootMode_Click()
{
    const int position = cboShowSavedMessageAfterRebootMode->currentIndex();
    if (position >= 0)
        savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("ShowSavedMessageAfterRebootMode"), position);
}

void NativeTab::cmdPRYX_Click(int Index)
{
    if (!m_host.beginCommand())
        return;
    CKDX &kdx = m_host.kdx();

    // A number typed into a box that does not fit 16 bits cannot be sent.
    auto int16Of = [](const QLineEdit *box, qint16 &out) {
        return numericText::toInt16(numericText::leadingNumber(box->text()), out);
    };

    qint32 R = 0;
    switch (Index) {
    case 0: {
        const QString rate = cboS_BaudRate->currentText();
        const QString parity = cboS_Parity->currentText();
        const QString oldRate = kdx.BaudRate();
        const QString oldParity = kdx.Parity();
        R = kdx.SetBaudRate(rate, parity);
        if (!baudChange::mayHaveSwitched(R))
            break;
        // After a switch the display answers at its new rate, which reads as a
        // wrong byte here: the PC side follows it in both cases, and a version
        // read at the new settings tells whether the display is there.
        emit pcSideFollows(cboS_BaudRate->currentIndex(), cboS_Parity->currentIndex());
        R = baudChange::confirm(kdx, R);
        if (R == kdx::OK)
            m_host.showStatus(tr("The display now uses %1 %2; the PC side follows.").arg(rate, parity));
        else
            m_host.showStatus(tr("%1: the display did not answer at %2 %3 either. If it still uses %4 %5, "
                                 "choose those on the Setting tab.")
                                  .arg(CKDX::ErrorDescription(R), rate, parity, oldRate, oldParity));
        m_host.endCommand();
        return;
    }
    case 1: {
        qint16 code = 0;
        if (numericText::toInt16(
                numericText::leadingNumber(QStringLiteral("&H") + cboInternationalCode->currentText()), code))
            R = kdx.SetInternationalCode(code);
        else
            R = kdx::InvalidParameter;
        break;
    }
    case 2: {
        qint16 layer = 0;
        R = int16Of(txtLayer, layer) ? kdx.SaveMessage(layer) : kdx::InvalidParameter;
        break;
    }
    case 3: {
        qint16 position = 0;
        R = int16Of(txtPosition, position) ? kdx.SetPosition(position) : kdx::InvalidParameter;
        break;
    }
    case 4:
        R = kdx.ClearDisplay(numericText::leadingNumber(txtStart->text()), numericText::leadingNumber(txtEnd->text()));
        break;
    case 5:
        R = kdx.DisplayDemoMessage(cboLayer->currentIndex(), cboMode->currentIndex());
        break;
    case 6:
        R = kdx.SendMessage(txtMessage->text());
        emit messageChanged(txtMessage->text());
        break;
    case 7: {
        QString message;
        R = kdx.GetMessage(message);
        txtMessage->setText(message);
        emit messageChanged(message);
        break;
    }
    case 8:
        R = cboDevice->currentIndex() == 0 ? kdx.PrinterOn() : kdx.PrinterOff();
        break;
    case 9: {
        QString version;
        R = kdx.GetVersion(version);
        if (version.startsWith(QLatin1Char('?')))
            version[0] = QLatin1Char('R');
        lblFirmwareVersion->setText(version);
        break;
    }
    case 10:
        R = kdx.DisplayShowSavedMessageAfterRebootMode(cboShowSavedMessageAfterRebootMode->currentIndex());
        break;
    case 11:
        R = kdx.SwitchCommand(1);
        break;
    case 12:
        R = kdx.SwitchCommand(0);
        break;
    default:
        break;
    }

    m_host.showResult(R);
    m_host.endCommand();
}
