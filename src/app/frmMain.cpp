#include "frmMain.h"

#include "AppInfo.h"
#include "CKDX.h"
#include "Clock.h"
#include "Dialogs.h"
#include "LimitedTextEdit.h"
#include "NumericText.h"
#include "PortMap.h"
#include "ResultCode.h"
#include "SettingsStore.h"
#include "UpDown.h"
#include "frmCKDX.h"
#include "mod_Init.h"

#include "frmFirmwareUpdate.h"
#include "frmPassword.h"
#include "frmVT100.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Control bytes of the EPSON-style command set.
constexpr int kUS = 0x1F;
constexpr int kESC = 0x1B;

const QString kSectionSettings = QStringLiteral("Settings");
const QString kSectionSet = QStringLiteral("Set");

enum Tab { TabSetting = 0, TabNative = 1, TabEpson = 2, TabAscii = 3 };

std::function<void()> &unloadHandler()
{
    static std::function<void()> handler;
    return handler;
}

// A text made of the given character codes. Codes below 0x80 pass the
// driver's text conversion unchanged, so these are the bytes on the wire.
QString codes(std::initializer_list<int> values)
{
    QString s;
    for (int v : values)
        s.append(QChar(char16_t(v)));
    return s;
}

struct Geometry
{
    int rows = 0;
    int columns = 0;
    int cells() const { return rows * columns; }
};

Geometry geometryOf(int selector)
{
    switch (selector) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 9: case 10: case 11: case 12: return {2, 20};
    case 6: case 7: return {4, 20};
    case 8: return {4, 40};
    default: return {};
    }
}

// The position of a list's text among its entries: a list that accepts typed
// text has no selection while the text matches none of them.
int listIndex(const QComboBox *list)
{
    if (!list->isEditable())
        return list->currentIndex();
    return list->findText(list->currentText(), Qt::MatchExactly);
}

// True when the text starts with a decimal number (after blanks and a sign).
bool startsWithNumber(const QString &text)
{
    int i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    if (i < text.size() && text[i] == QLatin1Char('.'))
        ++i;
    return i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9');
}

template <class W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel *buddyLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

void chainFocus(const QList<QWidget *> &order)
{
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QScrollArea *scrolled(QWidget *content)
{
    auto *area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    buildUi();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::setUnloadHandler(std::function<void()> handler)
{
    unloadHandler() = std::move(handler);
}

CKDX &frmMain::kdx()
{
    if (!m_kdx)
        m_kdx = std::make_unique<CKDX>();
    return *m_kdx;
}

// ---------------------------------------------------------------- layout

void frmMain::buildUi()
{
    SSTab1 = named(new QTabWidget(this), QStringLiteral("SSTab1"));
    SSTab1->addTab(scrolled(buildSettingTab()), QStringLiteral("Setting"));
    SSTab1->addTab(scrolled(buildNativeTab()), QStringLiteral("Main(PRYX)"));
    SSTab1->addTab(scrolled(buildEpsonTab()), QStringLiteral("Adv.(EPSON)"));
    SSTab1->addTab(scrolled(buildAsciiTab()), QStringLiteral("Send by ASCII"));

    auto *lblStatus = named(new QLabel(QStringLiteral("Status:"), this), QStringLiteral("lblStatus"));
    txtStatus = named(new QLineEdit(this), QStringLiteral("txtStatus"));
    txtStatus->setReadOnly(true);
    lblStatus->setBuddy(txtStatus);
    cmdExit = named(new QPushButton(QStringLiteral("&Exit"), this), QStringLiteral("cmdExit"));
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);

    auto *status = new QHBoxLayout;
    status->addWidget(lblStatus);
    status->addWidget(txtStatus, 1);
    status->addWidget(cmdExit);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1, 1);
    layout->addLayout(status);

    // A list never gives up part of its widest entry; a tab that has too
    // little room scrolls instead.
    for (QComboBox *list : findChildren<QComboBox *>()) {
        list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == TabSetting)
            updateComportDevice();
    });
}

QWidget *frmMain::buildSettingTab()
{
    auto *page = new QWidget;

    fraRS232 = named(new QGroupBox(QStringLiteral("RS232 Settings"), page), QStringLiteral("fraRS232"));
    cboComport = named(new QComboBox(fraRS232), QStringLiteral("cboComport"));
    lblComportDevice = named(new QLabel(fraRS232), QStringLiteral("lblComportDevice"));
    lblComportDevice->setTextFormat(Qt::PlainText);
    lblComportDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cboBaudRate = named(new QComboBox(fraRS232), QStringLiteral("cboBaudRate"));
    cboParity = named(new QComboBox(fraRS232), QStringLiteral("cboParity"));
    auto *rs232 = new QGridLayout(fraRS232);
    rs232->addWidget(buddyLabel(QStringLiteral("&Comport:"), cboComport, fraRS232), 0, 0);
    rs232->addWidget(cboComport, 0, 1);
    rs232->addWidget(lblComportDevice, 0, 2);
    rs232->addWidget(buddyLabel(QStringLiteral("&Baud Rate:"), cboBaudRate, fraRS232), 1, 0);
    rs232->addWidget(cboBaudRate, 1, 1);
    rs232->addWidget(buddyLabel(QStringLiteral("&Parity,Data bit,Stop bit:"), cboParity, fraRS232), 2, 0);
    rs232->addWidget(cboParity, 2, 1);
    rs232->setColumnStretch(2, 1);

    fraMiscellaneous = named(new QGroupBox(QStringLiteral("Miscellaneous"), page), QStringLiteral("fraMiscellaneous"));
    cmdLightTube = named(new QPushButton(QStringLiteral("Fully Light the Tube"), fraMiscellaneous),
                         QStringLiteral("cmdLightTube"));
    cmdFirmwireUpdate = named(new QPushButton(QStringLiteral("Firmware Update"), fraMiscellaneous),
                              QStringLiteral("cmdFirmwireUpdate"));
    cmdMis = named(new QPushButton(QStringLiteral("VT100 Mode Test"), fraMiscellaneous), QStringLiteral("cmdMis"));
    cmdMis->setEnabled(false);
    cmdMis->setVisible(false);
    auto *misc = new QHBoxLayout(fraMiscellaneous);
    misc->addWidget(cmdLightTube);
    misc->addWidget(cmdFirmwireUpdate);
    misc->addWidget(cmdMis);
    misc->addStretch(1);

    fraDisplayType = named(new QGroupBox(QStringLiteral("Display type"), page), QStringLiteral("fraDisplayType"));
    cboKDXType = named(new QComboBox(fraDisplayType), QStringLiteral("cboKDXType"));
    cboKDXType->addItems({QStringLiteral("KDXC-P1"), QStringLiteral("KDXC-P2"), QStringLiteral("KDXDA"),
                          QStringLiteral("KDXDB"), QStringLiteral("KDXE")});
    auto *type = new QHBoxLayout(fraDisplayType);
    type->addWidget(buddyLabel(QStringLiteral("KDX model:"), cboKDXType, fraDisplayType));
    type->addWidget(cboKDXType);
    type->addStretch(1);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(fraRS232);
    layout->addWidget(fraMiscellaneous);
    layout->addWidget(fraDisplayType);
    layout->addStretch(1);

    chainFocus({cboComport, cboBaudRate, cboParity, cmdLightTube, cmdFirmwireUpdate, cmdMis, cboKDXType});

    connect(cboComport, &QComboBox::currentIndexChanged, this, &frmMain::cboComport_Click);
    connect(cboBaudRate, &QComboBox::currentIndexChanged, this, &frmMain::cboBaudRate_Click);
    connect(cboParity, &QComboBox::currentIndexChanged, this, &frmMain::cboParity_Click);
    connect(cboKDXType, &QComboBox::currentIndexChanged, this, &frmMain::cboKDXType_Click);
    connect(cmdLightTube, &QPushButton::clicked, this, &frmMain::cmdLightTube_Click);
    connect(cmdFirmwireUpdate, &QPushButton::clicked, this, &frmMain::cmdFirmwireUpdate_Click);
    connect(cmdMis, &QPushButton::clicked, this, &frmMain::cmdMis_Click);
    return page;
}

QWidget *frmMain::buildNativeTab()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    QList<QWidget *> focus;

    cmdPRYX.resize(13);
    auto makeButton = [this, page](int index, const QString &caption) {
        auto *b = named(new QPushButton(caption, page), QStringLiteral("cmdPRYX_%1").arg(index));
        b->setProperty("Index", index);
        connect(b, &QPushButton::clicked, this, [this, index] { cmdPRYX_Click(index); });
        cmdPRYX[index] = b;
        return b;
    };
    auto params = [page](std::initializer_list<QWidget *> widgets) {
        auto *box = new QHBoxLayout;
        for (QWidget *w : widgets) {
            if (w)
                box->addWidget(w);
            else
                box->addSpacing(page->fontMetrics().averageCharWidth() * 2);
        }
        box->addStretch(1);
        return box;
    };
    auto numberBox = [page](const QString &name, int maxLength = 0) {
        auto *box = named(new QLineEdit(QStringLiteral("1"), page), name);
        if (maxLength > 0)
            box->setMaxLength(maxLength);
        box->setFixedWidth(page->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
        return box;
    };
    int row = 0;

    // Firmware version
    lblFirmwareVersion = named(new QLabel(page), QStringLiteral("lblFirmwareVersion"));
    // The display's own text, shown as received, never as markup.
    lblFirmwareVersion->setTextFormat(Qt::PlainText);
    lblFirmwareVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton *getVersion = makeButton(9, QStringLiteral("GetVersion"));
    grid->addWidget(buddyLabel(QStringLiteral("Firmware &Version : "), getVersion, page), row, 0);
    grid->addWidget(lblFirmwareVersion, row, 1);
    grid->addWidget(getVersion, row++, 2);
    focus << getVersion;

    // Baud rate and framing of the display
    cboS_BaudRate = named(new QComboBox(page), QStringLiteral("cboS_BaudRate"));
    cboS_Parity = named(new QComboBox(page), QStringLiteral("cboS_Parity"));
    grid->addWidget(buddyLabel(QStringLiteral("Change the KDX Baud-&Rate && Parity,Data bit,Stop bit::"),
                               cboS_BaudRate, page), row, 0);
    grid->addLayout(params({cboS_BaudRate, cboS_Parity}), row, 1);
    grid->addWidget(makeButton(0, QStringLiteral("Set")), row++, 2);
    focus << cboS_BaudRate << cboS_Parity << cmdPRYX[0];

    cboInternationalCode = named(new QComboBox(page), QStringLiteral("cboInternationalCode"));
    grid->addWidget(buddyLabel(QStringLiteral("&International Code:"), cboInternationalCode, page), row, 0);
    grid->addLayout(params({cboInternationalCode}), row, 1);
    grid->addWidget(makeButton(1, QStringLiteral("Set")), row++, 2);
    focus << cboInternationalCode << cmdPRYX[1];

    txtLayer = numberBox(QStringLiteral("txtLayer"), 1);
    UpDown1 = named(new UpDown(txtLayer, 1, 3, page), QStringLiteral("UpDown1"));
    grid->addWidget(buddyLabel(QStringLiteral("Save the Current View Message (&Layer):"), txtLayer, page), row, 0);
    grid->addLayout(params({txtLayer, UpDown1}), row, 1);
    grid->addWidget(makeButton(2, QStringLiteral("Set")), row++, 2);
    focus << txtLayer << cmdPRYX[2];

    txtPosition = numberBox(QStringLiteral("txtPosition"));
    UpDown2 = named(new UpDown(txtPosition, 1, 40, page), QStringLiteral("UpDown2"));
    grid->addWidget(buddyLabel(QStringLiteral("Set &Cursor Position:"), txtPosition, page), row, 0);
    grid->addLayout(params({txtPosition, UpDown2}), row, 1);
    grid->addWidget(makeButton(3, QStringLiteral("Set")), row++, 2);
    focus << txtPosition << cmdPRYX[3];

    txtStart = numberBox(QStringLiteral("txtStart"));
    UpDown3 = named(new UpDown(txtStart, 1, 40, page), QStringLiteral("UpDown3"));
    txtEnd = numberBox(QStringLiteral("txtEnd"));
    UpDown4 = named(new UpDown(txtEnd, 1, 40, page), QStringLiteral("UpDown4"));
    grid->addWidget(buddyLabel(QStringLiteral("Clear &Display Range:"), txtStart, page), row, 0);
    grid->addLayout(params({buddyLabel(QStringLiteral("&From:"), txtStart, page), txtStart, UpDown3, nullptr,
                            buddyLabel(QStringLiteral("&To:"), txtEnd, page), txtEnd, UpDown4}),
                    row, 1);
    grid->addWidget(makeButton(4, QStringLiteral("Set")), row++, 2);
    focus << txtStart << txtEnd << cmdPRYX[4];

    cboLayer = named(new QComboBox(page), QStringLiteral("cboLayer"));
    cboMode = named(new QComboBox(page), QStringLiteral("cboMode"));
    grid->addWidget(new QLabel(QStringLiteral("Display the Saved Demo Message:"), page), row, 0);
    grid->addLayout(params({buddyLabel(QStringLiteral("L&ayer:"), cboLayer, page), cboLayer, nullptr,
                            buddyLabel(QStringLiteral("&Mode:"), cboMode, page), cboMode}),
                    row, 1);
    grid->addWidget(makeButton(5, QStringLiteral("Set")), row++, 2);
    focus << cboLayer << cboMode << cmdPRYX[5];

    cboShowSavedMessageAfterRebootMode = named(new QComboBox(page), QStringLiteral("cboShowSavedMessageAfterRebootMode"));
    grid->addWidget(buddyLabel(QStringLiteral("Show &Saved Message after Reboot Mode :"),
                               cboShowSavedMessageAfterRebootMode, page),
                    row, 0);
    grid->addLayout(params({cboShowSavedMessageAfterRebootMode}), row, 1);
    grid->addWidget(makeButton(10, QStringLiteral("Set")), row++, 2);
    focus << cboShowSavedMessageAfterRebootMode << cmdPRYX[10];

    cboDevice = named(new QComboBox(page), QStringLiteral("cboDevice"));
    cboDevice->addItems({QStringLiteral("Printer ON"), QStringLiteral("Printer Off")});
    grid->addWidget(buddyLabel(QStringLiteral("&Peripheral Device:"), cboDevice, page), row, 0);
    grid->addLayout(params({cboDevice}), row, 1);
    grid->addWidget(makeButton(8, QStringLiteral("Set")), row++, 2);
    focus << cboDevice << cmdPRYX[8];

    txtMessage = named(new LimitedTextEdit(page), QStringLiteral("txtMessage"));
    txtMessage->setFixedHeight(txtMessage->fontMetrics().lineSpacing() * 3 + 12);
    auto *messageButtons = new QVBoxLayout;
    messageButtons->addWidget(makeButton(7, QStringLiteral("Get")));
    messageButtons->addWidget(makeButton(6, QStringLiteral("Send")));
    messageButtons->addStretch(1);
    grid->addWidget(buddyLabel(QStringLiteral("&Get/Send Message:"), txtMessage, page), row, 0, Qt::AlignTop);
    grid->addWidget(txtMessage, row, 1);
    grid->addLayout(messageButtons, row++, 2);
    focus << txtMessage << cmdPRYX[7] << cmdPRYX[6];

    auto *switchRow = new QHBoxLayout;
    switchRow->addWidget(makeButton(11, QStringLiteral("Switch to Group B Command")));
    switchRow->addStretch(1);
    grid->addLayout(switchRow, row++, 0, 1, 3);
    focus << cmdPRYX[11];

    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    chainFocus(focus);

    connect(cboS_BaudRate, &QComboBox::currentIndexChanged, this, &frmMain::cboS_BaudRate_Click);
    connect(cboS_Parity, &QComboBox::currentIndexChanged, this, &frmMain::cboS_Parity_Click);
    connect(cboInternationalCode, &QComboBox::currentIndexChanged, this, &frmMain::cboInternationalCode_Click);
    connect(cboLayer, &QComboBox::currentIndexChanged, this, &frmMain::cboLayer_Click);
    connect(cboMode, &QComboBox::currentIndexChanged, this, &frmMain::cboMode_Click);
    connect(cboShowSavedMessageAfterRebootMode, &QComboBox::currentIndexChanged, this,
            &frmMain::cboShowSavedMessageAfterRebootMode_Click);
    return page;
}

QWidget *frmMain::buildEpsonTab()
{
    auto *page = new QWidget;
    cmdEPSON.fill(nullptr, 20);
    auto makeButton = [this](int index, const QString &caption, const QString &tip, QWidget *parent) {
        auto *b = named(new QPushButton(caption, parent), QStringLiteral("cmdEPSON_%1").arg(index));
        b->setProperty("Index", index);
        if (!tip.isEmpty()) {
            b->setToolTip(tip);
            b->setAccessibleName(tip);
        }
        connect(b, &QPushButton::clicked, this, [this, index] { cmdEPSON_Click(index); });
        cmdEPSON[index] = b;
        return b;
    };
    auto editableList = [](const QString &name, QWidget *parent) {
        auto *list = named(new QComboBox(parent), name);
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        return list;
    };

    // Cursor control
    auto *fraCursor = named(new QGroupBox(QStringLiteral("Cursor control"), page), QStringLiteral("fraCursor"));
    const QStringList arrowTips {QStringLiteral("up"), QStringLiteral("down"), QStringLiteral("left"),
                                 QStringLiteral("right"), QStringLiteral("home position")};
    for (int i = 0; i < 5; ++i)
        makeButton(i, QString(), arrowTips[i], fraCursor);
    makeButton(5, QStringLiteral("US B"), QStringLiteral("bottom position"), fraCursor);
    makeButton(6, QStringLiteral("CR"), QStringLiteral("left end of the line"), fraCursor);
    makeButton(7, QStringLiteral("US CR"), QStringLiteral("right end of the line"), fraCursor);
    cboRow = editableList(QStringLiteral("cboRow"), fraCursor);
    cboColumn = editableList(QStringLiteral("cboColumn"), fraCursor);
    makeButton(15, QStringLiteral("Position"), QString(), fraCursor);

    auto *arrows = new QGridLayout;
    arrows->addWidget(cmdEPSON[0], 0, 1);
    arrows->addWidget(cmdEPSON[2], 1, 0);
    arrows->addWidget(cmdEPSON[4], 1, 1);
    arrows->addWidget(cmdEPSON[3], 1, 2);
    arrows->addWidget(cmdEPSON[1], 2, 1);
    auto *lineEnds = new QVBoxLayout;
    lineEnds->addWidget(cmdEPSON[5]);
    lineEnds->addWidget(cmdEPSON[6]);
    lineEnds->addWidget(cmdEPSON[7]);
    auto *moves = new QHBoxLayout;
    moves->addLayout(arrows);
    moves->addSpacing(fontMetrics().averageCharWidth() * 2);
    moves->addLayout(lineEnds);
    moves->addStretch(1);
    auto *position = new QHBoxLayout;
    position->addWidget(buddyLabel(QStringLiteral("&row"), cboRow, fraCursor));
    position->addWidget(cboRow);
    position->addWidget(buddyLabel(QStringLiteral("c&olumn"), cboColumn, fraCursor));
    position->addWidget(cboColumn);
    position->addWidget(cmdEPSON[15]);
    position->addStretch(1);
    auto *cursor = new QVBoxLayout(fraCursor);
    cursor->addLayout(moves);
    cursor->addWidget(new QLabel(QStringLiteral("Set Position(coordinate)"), fraCursor));
    cursor->addLayout(position);

    // Peripheral
    auto *fraPeripheral = named(new QGroupBox(QStringLiteral("Peripheral"), page), QStringLiteral("fraPeripheral"));
    cboPeripheral = editableList(QStringLiteral("cboPeripheral"), fraPeripheral);
    cboPeripheral->addItems({QStringLiteral("aux-device"), QStringLiteral("display"), QStringLiteral("both")});
    auto *peripheral = new QHBoxLayout(fraPeripheral);
    peripheral->addWidget(buddyLabel(QStringLiteral("&Device"), cboPeripheral, fraPeripheral));
    peripheral->addWidget(cboPeripheral);
    peripheral->addStretch(1);

    // Operation
    auto *fraOperation = named(new QGroupBox(QStringLiteral("Operation"), page), QStringLiteral("fraOperation"));
    cboOperation = editableList(QStringLiteral("cboOperation"), fraOperation);
    cboOperation->addItems({QStringLiteral("over-write"), QStringLiteral("vertical-scroll"),
                            QStringLiteral("horizontal-scroll")});
    makeButton(8, QStringLiteral("CLR"), QStringLiteral("screen clear"), fraOperation);
    makeButton(9, QStringLiteral("CAN"), QStringLiteral("line clear"), fraOperation);
    makeButton(10, QStringLiteral("cursor on"), QString(), fraOperation)->setProperty("Tag", QStringLiteral("0"));
    makeButton(11, QStringLiteral("reverse"), QString(), fraOperation)->setProperty("Tag", QStringLiteral("0"));
    makeButton(13, QStringLiteral("Initialize"), QString(), fraOperation);
    makeButton(14, QStringLiteral("SelfTest"), QString(), fraOperation);
    cboNational = editableList(QStringLiteral("cboNational"), fraOperation);
    cboNational->addItems({QStringLiteral("U.S.A"), QStringLiteral("France"), QStringLiteral("Germany"),
                           QStringLiteral("U.K."), QStringLiteral("Denmark I"), QStringLiteral("Sweden"),
                           QStringLiteral("Italy"), QStringLiteral("Spain"), QStringLiteral("Japan"),
                           QStringLiteral("Norway"), QStringLiteral("Denmark II"), QStringLiteral("Spain II"),
                           QStringLiteral("Latin America"), QStringLiteral("Korea"), QStringLiteral("Greek")});
    makeButton(16, QStringLiteral("Set"), QString(), fraOperation);
    cboExpand = editableList(QStringLiteral("cboExpand"), fraOperation);
    cboExpand->addItems({QStringLiteral("ignore Expand"), QStringLiteral("using Expand")});
    makeButton(17, QStringLiteral("Set"), QString(), fraOperation);
    txtBlink = named(new QLineEdit(fraOperation), QStringLiteral("txtBlink"));
    txtBlink->setInputMask(QStringLiteral("999;_"));
    txtBlink->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    makeButton(18, QStringLiteral("Set"), QString(), fraOperation);

    auto *operation = new QGridLayout(fraOperation);
    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(buddyLabel(QStringLiteral("&Mode:"), cboOperation, fraOperation));
    modeRow->addWidget(cboOperation);
    modeRow->addStretch(1);
    operation->addLayout(modeRow, 0, 0, 1, 3);
    operation->addWidget(cmdEPSON[8], 1, 0);
    operation->addWidget(cmdEPSON[9], 1, 1);
    operation->addWidget(cmdEPSON[10], 1, 2);
    operation->addWidget(cmdEPSON[11], 2, 0);
    operation->addWidget(cmdEPSON[13], 2, 1);
    operation->addWidget(cmdEPSON[14], 2, 2);
    operation->addWidget(buddyLabel(QStringLiteral("&National"), cboNational, fraOperation), 3, 0);
    operation->addWidget(cboNational, 3, 1);
    operation->addWidget(cmdEPSON[16], 3, 2);
    operation->addWidget(buddyLabel(QStringLiteral("E&xpand"), cboExpand, fraOperation), 4, 0);
    operation->addWidget(cboExpand, 4, 1);
    operation->addWidget(cmdEPSON[17], 4, 2);
    operation->addWidget(buddyLabel(QStringLiteral("&Blink"), txtBlink, fraOperation), 5, 0);
    operation->addWidget(txtBlink, 5, 1, Qt::AlignLeft);
    operation->addWidget(cmdEPSON[18], 5, 2);

    // Message
    txtEPSON = named(new LimitedTextEdit(page), QStringLiteral("txtEPSON"));
    txtEPSON->setFixedHeight(txtEPSON->fontMetrics().lineSpacing() * 3 + 12);
    makeButton(19, QStringLiteral("Send"), QString(), page);
    auto *switchButton = named(new QPushButton(QStringLiteral("Switch to Group A Command"), page),
                               QStringLiteral("cmdPRYX_12"));
    switchButton->setProperty("Index", 12);
    connect(switchButton, &QPushButton::clicked, this, [this] { cmdPRYX_Click(12); });
    cmdPRYX[12] = switchButton;

    auto *left = new QVBoxLayout;
    left->addWidget(fraCursor);
    left->addWidget(fraPeripheral);
    left->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(fraOperation, 0, Qt::AlignTop);
    top->addStretch(1);
    auto *message = new QHBoxLayout;
    message->addWidget(buddyLabel(QStringLiteral("Me&ssage"), txtEPSON, page), 0, Qt::AlignTop);
    message->addWidget(txtEPSON, 1);
    message->addWidget(cmdEPSON[19], 0, Qt::AlignTop);
    auto *switchRow = new QHBoxLayout;
    switchRow->addWidget(switchButton);
    switchRow->addStretch(1);

    auto *layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addLayout(message);
    layout->addLayout(switchRow);
    layout->addStretch(1);

    chainFocus({cmdEPSON[0], cmdEPSON[2], cmdEPSON[4], cmdEPSON[3], cmdEPSON[1], cmdEPSON[5], cmdEPSON[6],
                cmdEPSON[7], cboRow, cboColumn, cmdEPSON[15], cboPeripheral, cboOperation, cmdEPSON[8],
                cmdEPSON[9], cmdEPSON[10], cmdEPSON[11], cmdEPSON[13], cmdEPSON[14], cboNational, cmdEPSON[16],
                cboExpand, cmdEPSON[17], txtBlink, cmdEPSON[18], txtEPSON, cmdEPSON[19], switchButton});

    connect(cboOperation, &QComboBox::currentIndexChanged, this, &frmMain::cboOperation_Click);
    connect(cboPeripheral, &QComboBox::currentIndexChanged, this, &frmMain::cboPeripheral_Click);
    connect(cboNational, &QComboBox::currentIndexChanged, this, &frmMain::cboNational_Click);
    return page;
}

QWidget *frmMain::buildAsciiTab()
{
    auto *page = new QWidget;
    auto *fra0 = named(new QGroupBox(QStringLiteral("ASCII(0~31)"), page), QStringLiteral("fraASCII0"));
    auto *fra32 = named(new QGroupBox(QStringLiteral("ASCII(32~127)"), page), QStringLiteral("fraASCII32"));
    auto *fra128 = named(new QGroupBox(QStringLiteral("ASCII(128~255)"), page), QStringLiteral("fraASCII128"));
    auto *grid0 = new QGridLayout(fra0);
    auto *grid32 = new QGridLayout(fra32);
    auto *grid128 = new QGridLayout(fra128);
    for (QGridLayout *g : {grid0, grid32, grid128})
        g->setSpacing(2);

    QFont symbolFont = font();
    symbolFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    symbolFont.setPointSizeF(9);
    symbolFont.setBold(true);
    QFont deleteFont = font();
    deleteFont.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    deleteFont.setPointSizeF(6.75);

    const QFontMetrics normal(font());
    const QFontMetrics bold(symbolFont);
    const QSize buttonSize(qMax(normal.horizontalAdvance(QStringLiteral("888")), bold.horizontalAdvance(QLatin1Char('W')))
                               + normal.averageCharWidth() * 2,
                           qMax(normal.height(), bold.height()) + 8);

    cmdASCII1.resize(128);
    cmdASCII2.resize(128);
    for (int code = 0; code < 256; ++code) {
        const bool first = code < 128;
        const int index = first ? code : code - 128;
        const bool symbol = first && code >= 48 && code <= 126 && code != 96;
        QGroupBox *frame = code < 32 ? fra0 : (first ? fra32 : fra128);
        auto *b = named(new QPushButton(symbol ? QString(QChar(char16_t(code))) : QString::number(code), frame),
                        QStringLiteral("%1_%2").arg(first ? QStringLiteral("cmdASCII1") : QStringLiteral("cmdASCII2"))
                            .arg(index));
        b->setProperty("Index", index);
        b->setFixedSize(buttonSize);
        if (symbol) {
            b->setFont(symbolFont);
            b->setToolTip(QString::number(code));
        } else if (code == 127) {
            b->setFont(deleteFont);
        }
        if (first) {
            cmdASCII1[index] = b;
            connect(b, &QPushButton::clicked, this, [this, index] { cmdASCII1_Click(index); });
        } else {
            cmdASCII2[index] = b;
            connect(b, &QPushButton::clicked, this, [this, index] { cmdASCII2_Click(index); });
        }
        if (code < 32)
            grid0->addWidget(b, code / 16, code % 16);
        else if (first)
            grid32->addWidget(b, (code - 32) % 16, (code - 32) / 16);
        else
            grid128->addWidget(b, (code - 128) % 16, (code - 128) / 16);
    }

    auto *lblBold = named(new QLabel(QStringLiteral("Bold means ASCII symbol"), page), QStringLiteral("lblBold"));
    QFont boldLabel = lblBold->font();
    boldLabel.setBold(true);
    lblBold->setFont(boldLabel);

    auto *lower = new QHBoxLayout;
    lower->addWidget(fra32, 0, Qt::AlignTop);
    lower->addWidget(fra128, 0, Qt::AlignTop);
    lower->addStretch(1);
    auto *upper = new QHBoxLayout;
    upper->addWidget(fra0);
    upper->addStretch(1);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(upper);
    layout->addLayout(lower);
    layout->addWidget(lblBold);
    layout->addStretch(1);

    // Keyboard order: row by row through each frame, as the buttons are seen.
    QList<QWidget *> focus;
    for (int code = 0; code < 32; ++code)
        focus << cmdASCII1[code];
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 6; ++col)
            focus << cmdASCII1[32 + 16 * col + row];
        for (int col = 0; col < 8; ++col)
            focus << cmdASCII2[16 * col + row];
    }
    chainFocus(focus);
    return page;
}

void frmMain::fitToScreen()
{
    // The tabs sit in scroll areas, which propose a small size of their own:
    // size the window for the largest tab, within the screen.
    QSize content;
    for (int i = 0; i < SSTab1->count(); ++i) {
        auto *area = qobject_cast<QScrollArea *>(SSTab1->widget(i));
        if (area && area->widget()) {
            // Tabs not shown yet are not polished, and unpolished widgets
            // underestimate their size.
            area->widget()->ensurePolished();
            for (QLayout *l : area->widget()->findChildren<QLayout *>())
                l->invalidate();
            content = content.expandedTo(area->widget()->sizeHint());
        }
    }
    const QSize frame(24, SSTab1->tabBar()->sizeHint().height() + 16);
    const QSize status = txtStatus->sizeHint().expandedTo(cmdExit->sizeHint());
    QSize want(content.width() + frame.width(), content.height() + frame.height() + status.height());
    want += QSize(layout()->contentsMargins().left() + layout()->contentsMargins().right(),
                  layout()->contentsMargins().top() + layout()->contentsMargins().bottom() + layout()->spacing());
    if (const QScreen *s = screen()) {
        const QSize avail = s->availableGeometry().size() - QSize(16, 48);
        want = want.boundedTo(avail);
    }
    resize(want);
}

// ---------------------------------------------------------------- loading

void frmMain::Form_Load()
{
    // Title and the captions that depend on the model.
    QString title = QStringLiteral("KDX Utility");
    switch (g_KDXType) {
    case 11:
        title = QStringLiteral("KDXB Utility");
        cmdPRYX[11]->setText(QStringLiteral("Switch to EPSON Command"));
        cmdPRYX[12]->setText(QStringLiteral("Switch to PRYX Command"));
        break;
    case 5: title = QStringLiteral("KDXG Utility"); break;
    case 10: title = QStringLiteral("KDXA Utility"); break;
    case 12:
        title = QStringLiteral("KDXM Utility");
        SSTab1->setTabText(TabNative, QStringLiteral("Group A"));
        SSTab1->setTabText(TabEpson, QStringLiteral("Group B"));
        break;
    default: break;
    }
    platform::app::setTitle(title);

    setWindowTitle(QStringLiteral("%1 V%2.%3R%4")
                       .arg(title)
                       .arg(platform::app::versionMajor())
                       .arg(platform::app::versionMinor())
                       .arg(platform::app::versionRevision()));

    FillParityList();
    CopyParityList();
    FillInternationalCodeList();
    m_blnLoading = true;
    FillPortAndRateLists();

    // The first three hand port, baud rate and parity to the driver.
    restorePosition(cboComport, kSectionSettings, QStringLiteral("Comport"), 0, &frmMain::cboComport_Click);
    restorePosition(cboBaudRate, kSectionSettings, QStringLiteral("BaudRate"), 1, &frmMain::cboBaudRate_Click);
    restorePosition(cboParity, kSectionSettings, QStringLiteral("Parity"), 0, &frmMain::cboParity_Click);
    restorePosition(cboS_BaudRate, kSectionSet, QStringLiteral("BaudRate"), 0, &frmMain::cboS_BaudRate_Click);
    restorePosition(cboS_Parity, kSectionSet, QStringLiteral("Parity"), 0, &frmMain::cboS_Parity_Click);
    restorePosition(cboInternationalCode, kSectionSet, QStringLiteral("InternationalCode"), 0,
                    &frmMain::cboInternationalCode_Click);

    cboNational->setCurrentIndex(cboInternationalCode->currentIndex());

    FillLayerList();
    restorePosition(cboLayer, kSectionSet, QStringLiteral("Layer"), 0, &frmMain::cboLayer_Click);
    restorePosition(cboShowSavedMessageAfterRebootMode, kSectionSet, QStringLiteral("ShowSavedMessageAfterRebootMode"),
                    0, &frmMain::cboShowSavedMessageAfterRebootMode_Click);
    FillModeList();
    restorePosition(cboMode, kSectionSet, QStringLiteral("Mode"), 0, &frmMain::cboMode_Click);

    ApplyDisplayGeometry();
    applyTabsBySelector(g_KDXType);

    // The Operation and Peripheral lists stay silent: m_blnLoading holds them.
    cboExpand->setCurrentIndex(0);
    cboOperation->setCurrentIndex(0);
    cboPeripheral->setCurrentIndex(1);
    cboRow->setCurrentIndex(0);
    cboColumn->setCurrentIndex(0);
    cboDevice->setCurrentIndex(0);

    // Icons 101 to 105: up, down, left, right, home.
    for (int i = 0; i < 5; ++i) {
        QPushButton *b = cmdEPSON[i];
        b->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(101 + i)));
        const int side = fontMetrics().height() + 4;
        b->setIconSize(QSize(side, side));
    }

    SSTab1->setCurrentIndex(TabSetting);

    if (g_KDXType == 9) {
        cmdEPSON[10]->setEnabled(false);
        cmdEPSON[11]->setEnabled(false);
        cmdEPSON[18]->setEnabled(false);
    }

    m_blnLoading = false;
    updateComportDevice();

    // Said once: a link or a file that is not the store's own is read, never written.
    const QString problem = platform::settings::saveProblem(title);
    if (!problem.isEmpty()) {
        txtStatus->setText(problem);
        txtStatus->setToolTip(problem);
    }
}

void frmMain::restorePosition(QComboBox *list, const QString &section, const QString &key, int defaultPosition,
                              void (frmMain::*handler)())
{
    const QString stored = platform::settings::GetSetting(platform::app::title(), section, key,
                                                          QString::number(defaultPosition));
    qint16 position = 0;
    if (!numericText::toInt16(numericText::leadingNumber(stored), position) || position < 0
        || position >= list->count()) {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(-1);
        return;
    }
    {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(position);
    }
    // Restoring counts as a change even when the list already showed this entry.
    (this->*handler)();
}

void frmMain::savePosition(const QString &section, const QString &key, int position)
{
    platform::settings::SaveSetting(platform::app::title(), section, key, QString::number(position));
}

void frmMain::FillParityList()
{
    const QSignalBlocker quiet(cboParity);
    cboParity->clear();
    if (g_KDXType == 7)
        cboParity->addItems({QStringLiteral("N,8,1"), QStringLiteral("O,8,1"), QStringLiteral("E,8,1")});
    else if (g_KDXType == 9)
        cboParity->addItems({QStringLiteral("N,8,1"), QStringLiteral("O,7,1"), QStringLiteral("E,7,1"),
                             QStringLiteral("o,8,1"), QStringLiteral("e,8,1")});
    else
        cboParity->addItems({QStringLiteral("N,8,1"), QStringLiteral("O,7,1"), QStringLiteral("E,7,1")});
}

void frmMain::CopyParityList()
{
    const QSignalBlocker quiet(cboS_Parity);
    cboS_Parity->clear();
    for (int i = 0; i < cboParity->count(); ++i)
        cboS_Parity->addItem(cboParity->itemText(i));
}

void frmMain::FillInternationalCodeList()
{
    const QSignalBlocker quiet(cboInternationalCode);
    cboInternationalCode->clear();
    cboInternationalCode->addItems(
        {QStringLiteral("30- U.S.A"), QStringLiteral("31- France"), QStringLiteral("32- Germany"),
         QStringLiteral("33- U.K."), QStringLiteral("34- Denmark I"), QStringLiteral("35- Sweden"),
         QStringLiteral("36- Italy"), QStringLiteral("37- Spain"), QStringLiteral("38- Japan"),
         QStringLiteral("39- Norway"), QStringLiteral("3A- Denmark II"), QStringLiteral("3B- East Europe"),
         QStringLiteral("3C- Russian"), QStringLiteral("3D- Hebrew"), QStringLiteral("3E- Greek")});
    if (g_KDXType == 5)
        cboInternationalCode->addItem(QStringLiteral("3F- Portuguese"));
    // Selected without saving: the stored position is restored later.
    cboInternationalCode->setCurrentIndex(0);
}

void frmMain::FillPortAndRateLists()
{
    QStringList rates;
    if (g_KDXType == 5)
        rates << QStringLiteral("115200");
    rates << QStringLiteral("38400") << QStringLiteral("19200") << QStringLiteral("9600") << QStringLiteral("4800")
          << QStringLiteral("2400") << QStringLiteral("1200") << QStringLiteral("600");
    for (QComboBox *list : {cboBaudRate, cboS_BaudRate}) {
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItems(rates);
    }
    {
        const QSignalBlocker quiet(cboComport);
        cboComport->clear();
        for (int n = 1; n <= 16; ++n)
            cboComport->addItem(QStringLiteral("COM%1").arg(n));
    }
    {
        const QSignalBlocker quiet(cboShowSavedMessageAfterRebootMode);
        cboShowSavedMessageAfterRebootMode->clear();
        cboShowSavedMessageAfterRebootMode->addItems({QStringLiteral("Stay"), QStringLiteral("Running")});
    }
    cmdMis->setVisible(false);
    fraDisplayType->setVisible(false);
}

void frmMain::FillLayerList()
{
    const QSignalBlocker quiet(cboLayer);
    cboLayer->clear();
    cboLayer->addItems({QStringLiteral("Layer 1"), QStringLiteral("Layer 2"), QStringLiteral("Layer 3"),
                        QStringLiteral("Layer 1 + 2"), QStringLiteral("Layer 1 + 3"), QStringLiteral("Layer 2 + 3"),
                        QStringLiteral("Layer 1 + 2 + 3")});
}

void frmMain::FillModeList()
{
    const QSignalBlocker quiet(cboMode);
    cboMode->clear();
    if (g_KDXType == 8)
        cboMode->addItems({QStringLiteral("Mode 1 (Showing Continuously)"), QStringLiteral("Mode 2 (Horixontal Scroll)"),
                           QStringLiteral("Mode 1 + 2")});
    else
        cboMode->addItems({QStringLiteral("Mode 1 (Horizontal Scroll)"), QStringLiteral("Mode 2 (Vertical Scroll)"),
                           QStringLiteral("Mode 3 (Blinking)"), QStringLiteral("Mode 1 + 2"),
                           QStringLiteral("Mode 1 + 3"), QStringLiteral("Mode 2 + 3"),
                           QStringLiteral("Mode 1 + 2 + 3")});
}

void frmMain::ApplyDisplayGeometry()
{
    const Geometry g = geometryOf(g_KDXType);
    for (LimitedTextEdit *box : {txtMessage, txtEPSON}) {
        box->setMaxLength(g.cells());
        box->clear();
    }
    for (UpDown *spin : {UpDown2, UpDown3, UpDown4})
        spin->setMaximum(g.cells());
    const QSignalBlocker quietRows(cboRow);
    const QSignalBlocker quietColumns(cboColumn);
    cboRow->clear();
    for (int r = 1; r <= g.rows; ++r)
        cboRow->addItem(QString::number(r));
    cboRow->setCurrentIndex(0);
    cboColumn->clear();
    for (int c = 1; c <= g.columns; ++c)
        cboColumn->addItem(QString::number(c));
    cboColumn->setCurrentIndex(0);
}

void frmMain::applyTabsBySelector(int selector)
{
    bool native = true;
    bool epson = true;
    switch (selector) {
    case 0: case 2: case 3: case 8: case 10: epson = false; break;
    case 1: native = false; break;
    default: break;
    }
    // A switched-off tab stays in place, greyed out, so the layout never jumps.
    SSTab1->setTabEnabled(TabNative, native);
    SSTab1->setTabEnabled(TabEpson, epson);
    SSTab1->setTabEnabled(TabAscii, true);
}

// ---------------------------------------------------------------- busy guard

bool frmMain::commandRefused() const
{
    // A firmware update owns the port until it ends, whichever window started it.
    return m_blnBusy || frmCKDX::portOwnedByTransfer();
}

bool frmMain::beginCommand()
{
    if (commandRefused())
        return false;
    m_blnBusy = true;
    m_focusBeforeCommand = QApplication::focusWidget();
    setCursor(Qt::WaitCursor);
    SSTab1->setEnabled(false);
    return true;
}

void frmMain::endCommand()
{
    platform::clock().processEvents(0);
    SSTab1->setEnabled(true);
    unsetCursor();
    m_blnBusy = false;
    // Disabling the tabs took the focus away; give it back for keyboard users.
    if (m_focusBeforeCommand && m_focusBeforeCommand->isEnabled() && m_focusBeforeCommand->isVisible())
        m_focusBeforeCommand->setFocus(Qt::OtherFocusReason);
    m_focusBeforeCommand = nullptr;
}

void frmMain::refuse(const QString &text)
{
    platform::dialogs().messageBox(text, platform::app::title(), platform::MsgIcon::Exclamation);
}

// ---------------------------------------------------------------- Setting tab

void frmMain::cboComport_Click()
{
    const int position = cboComport->currentIndex();
    if (position < 0)
        return;
    kdx().setCommPort(position + 1);
    savePosition(kSectionSettings, QStringLiteral("Comport"), position);
    updateComportDevice();
}

void frmMain::cboBaudRate_Click()
{
    const int position = cboBaudRate->currentIndex();
    if (position < 0)
        return;
    kdx().setBaudRate(cboBaudRate->currentText());
    savePosition(kSectionSettings, QStringLiteral("BaudRate"), position);
}

void frmMain::cboParity_Click()
{
    const int position = cboParity->currentIndex();
    if (position < 0)
        return;
    kdx().setParity(cboParity->currentText());
    savePosition(kSectionSettings, QStringLiteral("Parity"), position);
}

void frmMain::cboKDXType_Click()
{
    const int position = cboKDXType->currentIndex();
    if (position < 0)
        return;
    savePosition(kSectionSet, QStringLiteral("KDXType"), position);
    g_KDXType = position;
    if (position <= 9)
        applyTabsBySelector(position);
    ApplyDisplayGeometry();
    FillModeList();
    cboMode->setCurrentIndex(-1);
    cboMode->setCurrentIndex(0);
    cmdMis->setEnabled(position == 6);
    cmdFirmwireUpdate->setEnabled((position >= 4 && position <= 7) || position == 9);

    const QStringList sets {QStringLiteral("0: U.S.A"), QStringLiteral("1: France"), QStringLiteral("2: Germany"),
                            QStringLiteral("3: U.K."), QStringLiteral("4: Denmark I"), QStringLiteral("5: Sweden"),
                            QStringLiteral("6: Italy"), QStringLiteral("7: Spain"), QStringLiteral("8: Japan"),
                            QStringLiteral("9: Norway"), QStringLiteral("A: Denmark II"),
                            QStringLiteral("B: East Europe"), QStringLiteral("C: Russian"), QStringLiteral("D: Hebrew"),
                            QStringLiteral("E: Greek")};
    for (QComboBox *list : {cboInternationalCode, cboNational}) {
        {
            const QSignalBlocker quiet(list);
            list->clear();
            list->addItems(sets);
            list->setCurrentIndex(-1);
        }
        list->setCurrentIndex(0);
    }
}

void frmMain::updateComportDevice()
{
    const int number = cboComport->currentIndex() + 1;
    if (number <= 0) {
        lblComportDevice->clear();
        return;
    }
    platform::PortMap map;
    map.refresh();
    QString shown = QStringLiteral("not present");
    for (const platform::PortMap::Entry &e : map.entries()) {
        if (e.number != number)
            continue;
        shown = e.present ? e.target : QStringLiteral("not present (%1)").arg(e.target);
        break;
    }
    lblComportDevice->setText(QStringLiteral("device: %1").arg(shown));
    lblComportDevice->setToolTip(QStringLiteral("COM%1 in the port map %2").arg(number).arg(map.dir()));
}

void frmMain::cmdLightTube_Click()
{
    const int cells = geometryOf(g_KDXType).cells();
    if (!beginCommand())
        return;
    kdx().FullyLightTube(qint16(cells));
    endCommand();
}

void frmMain::cmdFirmwireUpdate_Click()
{
    if (commandRefused())
        return;
    platform::dialogs().messageBox(
        QStringLiteral("Before updating the firmware, please make sure the device baudrate is set to 19200."),
        platform::app::title(), platform::MsgIcon::Exclamation);
    bool passed = false;
    {
        frmPassword password(this);
        password.exec();
        passed = password.IsOK();
    }
    if (passed) {
        frmFirmwareUpdate update(kdx(), this);
        update.exec();
    }
}

void frmMain::cmdMis_Click()
{
    if (commandRefused())
        return;
    frmVT100 test(kdx(), this);
    test.exec();
}

void frmMain::cmdExit_Click()
{
    close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frmMain::Form_Unload()
{
    if (unloadHandler()) {
        unloadHandler()();
        return;
    }
    // The program ends here, whatever is running: release the serial port first.
    platform::SerialPort &port = frmCKDX::instance().MSComm1();
    if (port.portOpen())
        port.setPortOpen(false);
    if (m_blnBusy) {
        // A command is waiting inside a nested event loop; unwinding it would
        // let it go on talking to the display.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::exit(0);
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!m_blnSized) {
        m_blnSized = true;
        fitToScreen();
    }
    QWidget::showEvent(event);
}

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_blnBusy)
        updateComportDevice();
}

// ---------------------------------------------------------------- native tab

void frmMain::cboS_BaudRate_Click()
{
    if (cboS_BaudRate->currentIndex() >= 0)
        savePosition(kSectionSet, QStringLiteral("BaudRate"), cboS_BaudRate->currentIndex());
}

void frmMain::cboS_Parity_Click()
{
    if (cboS_Parity->currentIndex() >= 0)
        savePosition(kSectionSet, QStringLiteral("Parity"), cboS_Parity->currentIndex());
}

void frmMain::cboInternationalCode_Click()
{
    const int position = cboInternationalCode->currentIndex();
    if (position < 0)
        return;
    savePosition(kSectionSet, QStringLiteral("InternationalCode"), position);
    if (cboNational->currentIndex() != position && position < cboNational->count())
        cboNational->setCurrentIndex(position);
}

void frmMain::cboLayer_Click()
{
    if (cboLayer->currentIndex() >= 0)
        savePosition(kSectionSet, QStringLiteral("Layer"), cboLayer->currentIndex());
}

void frmMain::cboMode_Click()
{
    if (cboMode->currentIndex() >= 0)
        savePosition(kSectionSet, QStringLiteral("Mode"), cboMode->currentIndex());
}

void frmMain::cboShowSavedMessageAfterRebootMode_Click()
{
    const int position = cboShowSavedMessageAfterRebootMode->currentIndex();
    if (position >= 0)
        savePosition(kSectionSet, QStringLiteral("ShowSavedMessageAfterRebootMode"), position);
}

void frmMain::cmdPRYX_Click(int Index)
{
    if (!beginCommand())
        return;
    txtStatus->clear();

    // A number typed into a box that does not fit 16 bits cannot be sent.
    auto int16Of = [](const QLineEdit *box, qint16 &out) {
        return numericText::toInt16(numericText::leadingNumber(box->text()), out);
    };

    qint32 R = 0;
    switch (Index) {
    case 0:
        R = kdx().SetBaudRate(cboS_BaudRate->currentText(), cboS_Parity->currentText());
        // After a switch the display answers at its new rate, which reads as a
        // wrong byte here: the PC side follows it in both cases.
        if (R == kdx::OK || R == kdx::Nack) {
            cboBaudRate->setCurrentIndex(cboS_BaudRate->currentIndex());
            cboParity->setCurrentIndex(cboS_Parity->currentIndex());
        }
        break;
    case 1: {
        qint16 code = 0;
        if (numericText::toInt16(
                numericText::leadingNumber(QStringLiteral("&H") + cboInternationalCode->currentText()), code))
            R = kdx().SetInternationalCode(code);
        else
            R = kdx::InvalidParameter;
        break;
    }
    case 2: {
        qint16 layer = 0;
        R = int16Of(txtLayer, layer) ? kdx().SaveMessage(layer) : kdx::InvalidParameter;
        break;
    }
    case 3: {
        qint16 position = 0;
        R = int16Of(txtPosition, position) ? kdx().SetPosition(position) : kdx::InvalidParameter;
        break;
    }
    case 4:
        R = kdx().ClearDisplay(numericText::leadingNumber(txtStart->text()),
                               numericText::leadingNumber(txtEnd->text()));
        break;
    case 5:
        R = kdx().DisplayDemoMessage(cboLayer->currentIndex(), cboMode->currentIndex());
        break;
    case 6:
        R = kdx().SendMessage(txtMessage->text());
        txtEPSON->setText(txtMessage->text());
        break;
    case 7: {
        QString message;
        R = kdx().GetMessage(message);
        txtMessage->setText(message);
        txtEPSON->setText(message);
        break;
    }
    case 8:
        R = cboDevice->currentIndex() == 0 ? kdx().PrinterOn() : kdx().PrinterOff();
        break;
    case 9: {
        QString version;
        R = kdx().GetVersion(version);
        if (version.startsWith(QLatin1Char('?')))
            version[0] = QLatin1Char('R');
        lblFirmwareVersion->setText(version);
        break;
    }
    case 10:
        R = kdx().DisplayShowSavedMessageAfterRebootMode(cboShowSavedMessageAfterRebootMode->currentIndex());
        break;
    case 11:
        R = kdx().SwitchCommand(1);
        break;
    case 12:
        R = kdx().SwitchCommand(0);
        break;
    default:
        break;
    }

    txtStatus->setText(R == kdx::OK ? QStringLiteral("OK") : CKDX::ErrorDescription(R));
    endCommand();
}

// ---------------------------------------------------------------- EPSON tab

void frmMain::cboOperation_Click()
{
    if (m_blnLoading)
        return;
    switch (cboOperation->currentIndex()) {
    case 0: kdx().SendMessage(codes({kUS, 0x01})); break;
    case 1: kdx().SendMessage(codes({kUS, 0x02})); break;
    case 2: kdx().SendMessage(codes({kUS, 0x03})); break;
    default: break;
    }
}

void frmMain::cboPeripheral_Click()
{
    if (m_blnLoading)
        return;
    switch (cboPeripheral->currentIndex()) {
    case 0: kdx().SendMessage(codes({kESC, 0x3D, 0x01})); break;
    case 1: kdx().SendMessage(codes({kESC, 0x3D, 0x02})); break;
    case 2: kdx().SendMessage(codes({kESC, 0x3D, 0x03})); break;
    default: break;
    }
}

void frmMain::cboNational_Click()
{
    const int position = cboNational->currentIndex();
    if (position < 0)
        return;
    savePosition(kSectionSet, QStringLiteral("InternationalCode"), position);
    cboInternationalCode->setCurrentIndex(position);
}

void frmMain::cmdEPSON_Click(int Index)
{
    if (commandRefused())
        return;

    // Parameters that cannot travel as one byte are refused before anything is sent.
    int national = 0;
    int expand = 0;
    int blink = 0;
    if (Index == 16) {
        national = listIndex(cboNational);
        if (national < 0) {
            refuse(QStringLiteral("National: choose a character set from the list."));
            return;
        }
    } else if (Index == 17) {
        const QString text = cboExpand->currentText();
        const int entry = cboExpand->findText(text, Qt::MatchExactly);
        const double typed = numericText::leadingNumber(text);
        if (entry >= 0) {
            expand = entry;
        } else if (startsWithNumber(text) && typed >= 0 && typed <= 255) {
            expand = int(std::nearbyint(typed));
        } else {
            refuse(QStringLiteral("Expand: choose an entry of the list or type a number from 0 to 255."));
            return;
        }
    } else if (Index == 18) {
        const double typed = numericText::leadingNumber(txtBlink->text());
        if (typed > 255) {
            refuse(QStringLiteral("Blink: type a number from 0 to 255."));
            return;
        }
        blink = int(typed);
    }

    if (!beginCommand())
        return;
    QPushButton *b = Index >= 0 && Index < cmdEPSON.size() ? cmdEPSON[Index] : nullptr;
    switch (Index) {
    case 0: kdx().SendMessage(codes({kUS, 0x0A})); break;
    case 1: kdx().SendMessage(codes({0x0A})); break;
    case 2: kdx().SendMessage(codes({0x08})); break;
    case 3: kdx().SendMessage(codes({0x09})); break;
    case 4: kdx().SendMessage(codes({0x0B})); break;
    case 5: kdx().SendMessage(codes({kUS, 0x42})); break;
    case 6: kdx().SendMessage(codes({0x0D})); break;
    case 7: kdx().SendMessage(codes({kUS, 0x0D})); break;
    case 8: kdx().SendMessage(codes({0x0C})); break;
    case 9: kdx().SendMessage(codes({0x18})); break;
    case 10: {
        // The caption names what the next click does.
        const bool on = b->property("Tag").toString() == QLatin1String("0");
        b->setProperty("Tag", on ? QStringLiteral("1") : QStringLiteral("0"));
        b->setText(on ? QStringLiteral("cursor off") : QStringLiteral("cursor on"));
        kdx().SendMessage(codes({kUS, 0x43, on ? 0x31 : 0x30}));
        break;
    }
    case 11: {
        const bool on = b->property("Tag").toString() == QLatin1String("0");
        b->setProperty("Tag", on ? QStringLiteral("1") : QStringLiteral("0"));
        b->setText(on ? QStringLiteral("normal") : QStringLiteral("reverse"));
        kdx().SendMessage(codes({kUS, 0x72, on ? 0x31 : 0x30}));
        break;
    }
    case 13: kdx().SendMessage(codes({kESC, 0x40})); break;
    case 14: kdx().SendMessage(codes({kUS, 0x40})); break;
    case 15: {
        // No selection (typed text that matches no entry) gives 0.
        const int column = listIndex(cboColumn) + 1;
        const int row = listIndex(cboRow) + 1;
        kdx().SendMessage(codes({kUS, 0x24, column, row}));
        break;
    }
    case 16: kdx().SendMessage(codes({kESC, 0x52, national})); break;
    case 17: kdx().SendMessageStringAndByte(codes({kESC, 0x74}), quint8(expand)); break;
    case 18: kdx().SendMessageStringAndByte(codes({kUS, 0x45}), quint8(blink)); break;
    case 19:
        txtMessage->setText(txtEPSON->text());
        kdx().SendMessage(txtMessage->text());
        break;
    default: break;
    }
    endCommand();
}

// ---------------------------------------------------------------- character table

void frmMain::cmdASCII1_Click(int Index)
{
    if (Index < 0 || Index >= cmdASCII1.size() || !beginCommand())
        return;
    const QString caption = cmdASCII1[Index]->text();
    if (Index <= 47 || Index == 96 || Index == 127)
        kdx().SendMessage(QString(QChar(char16_t(numericText::leadingNumber(caption)))));
    else
        kdx().SendMessage(caption);
    endCommand();
}

void frmMain::cmdASCII2_Click(int Index)
{
    if (Index < 0 || Index >= cmdASCII2.size() || !beginCommand())
        return;
    kdx().SendMessageB(quint8(numericText::leadingNumber(cmdASCII2[Index]->text())));
    endCommand();
}
