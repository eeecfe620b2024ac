#include "EpsonTab.h"

#include "CKDX.h"
#include "DisplayModel.h"
#include "Epson.h"
#include "LimitedTextEdit.h"
#include "NumericText.h"
#include "ResultCode.h"
#include "TabHost.h"
#include "TabSupport.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

using namespace tabSupport;

namespace {

const char *const kBlinkRefused = QT_TRANSLATE_NOOP("EpsonTab", "Blink: type a number from 0 to 255.");

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

// The number the Blink field shows: its digits, with unfilled places ("_")
// allowed only before and after them. False for a gap between digits ("1_5")
// or anything that is not a number from 0 to 255 ("-1"). An empty field is 0.
bool blinkValue(const QString &shown, int &out)
{
    QString s = shown;
    s.replace(QLatin1Char('_'), QLatin1Char(' '));
    s = s.trimmed();
    if (s.isEmpty()) {
        out = 0;
        return true;
    }
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    if (!ok || s.contains(QLatin1Char(' ')) || s.startsWith(QLatin1Char('+')) || v < 0 || v > 255)
        return false;
    out = v;
    return true;
}

} // namespace

EpsonTab::EpsonTab(TabHost &host, QWidget *parent)
    : QWidget(parent)
    , m_host(host)
{
    cmdEPSON.fill(nullptr, 20);

    auto *fraCursor = named(new QGroupBox(tr("Cursor control"), this), QStringLiteral("fraCursor"));
    buildCursorFrame(fraCursor);

    auto *fraPeripheral = named(new QGroupBox(tr("Peripheral"), this), QStringLiteral("fraPeripheral"));
    cboPeripheral = named(new QComboBox(fraPeripheral), QStringLiteral("cboPeripheral"));
    cboPeripheral->addItems({tr("aux-device"), tr("display"), tr("both")});
    auto *peripheral = new QHBoxLayout(fraPeripheral);
    peripheral->addWidget(buddyLabel(tr("&Device"), cboPeripheral, fraPeripheral));
    peripheral->addWidget(cboPeripheral);
    peripheral->addStretch(1);

    auto *fraOperation = named(new QGroupBox(tr("Operation"), this), QStringLiteral("fraOperation"));
    buildOperationFrame(fraOperation);

    txtEPSON = named(new LimitedTextEdit(this), QStringLiteral("txtEPSON"));
    txtEPSON->setFixedHeight(txtEPSON->fontMetrics().lineSpacing() * 3 + 12);
    makeButton(19, tr("Send"), QString(), tr("Send message"), this);
    cmdSwitchBack = named(new QPushButton(tr("Switch to Group A Command"), this), QStringLiteral("cmdPRYX_12"));
    cmdSwitchBack->setProperty("Index", 12);
    cmdSwitchBack->setAccessibleName(tr("Switch to native command set"));

    // Cursor control above Peripheral on the left, Operation on the right.
    auto *frames = new QGridLayout;
    frames->addWidget(fraCursor, 0, 0);
    frames->addWidget(fraPeripheral, 1, 0, Qt::AlignTop);
    frames->addWidget(fraOperation, 0, 1, 2, 1, Qt::AlignTop);
    frames->setColumnStretch(2, 1);
    auto *message = new QHBoxLayout;
    message->addWidget(buddyLabel(tr("Me&ssage"), txtEPSON, this), 0, Qt::AlignTop);
    message->addWidget(txtEPSON, 1);
    message->addWidget(cmdEPSON[19], 0, Qt::AlignTop);
    auto *switchRow = new QHBoxLayout;
    switchRow->addWidget(cmdSwitchBack);
    switchRow->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(message);
    layout->addLayout(switchRow);
    layout->addStretch(1);

    chainFocus({cmdEPSON[0], cmdEPSON[2], cmdEPSON[4], cmdEPSON[3], cmdEPSON[1], cmdEPSON[5], cmdEPSON[6],
                cmdEPSON[7], cboRow, cboColumn, cmdEPSON[15], cboPeripheral, cboOperation, cmdEPSON[8],
                cmdEPSON[9], cmdEPSON[10], cmdEPSON[11], cmdEPSON[13], cmdEPSON[14], cboNational, cmdEPSON[16],
                cboExpand, cmdEPSON[17], txtBlink, cmdEPSON[18], txtEPSON, cmdEPSON[19], cmdSwitchBack});

    cboRow->setAccessibleName(tr("Cursor row"));
    cboColumn->setAccessibleName(tr("Cursor column"));
    cboOperation->setAccessibleName(tr("Write mode"));
    cboNational->setAccessibleName(tr("National character set"));
    cboExpand->setAccessibleName(tr("Expand"));
    cboPeripheral->setAccessibleName(tr("Peripheral routing"));
    txtEPSON->setAccessibleName(tr("Message"));
    nameToggles();

    for (QComboBox *list : findChildren<QComboBox *>()) {
        // Typed text is checked when a button is pressed.
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        wheelOnlyWithFocus(list);
    }

    connect(cboOperation, &QComboBox::currentIndexChanged, this, &EpsonTab::cboOperation_Click);
    connect(cboPeripheral, &QComboBox::currentIndexChanged, this, &EpsonTab::cboPeripheral_Click);
    connect(cboNational, &QComboBox::currentIndexChanged, this, &EpsonTab::cboNational_Click);
}

QPushButton *EpsonTab::makeButton(int index, const QString &caption, const QString &tip, const QString &accessible,
                                  QWidget *parent)
{
    auto *b = named(new QPushButton(caption, parent), QStringLiteral("cmdEPSON_%1").arg(index));
    b->setProperty("Index", index);
    if (!tip.isEmpty())
        b->setToolTip(tip);
    b->setAccessibleName(accessible.isEmpty() ? tip : accessible);
    connect(b, &QPushButton::clicked, this, [this, index] { cmdEPSON_Click(index); });
    cmdEPSON[index] = b;
    return b;
}

void EpsonTab::buildCursorFrame(QWidget *frame)
{
    const QStringList arrowTips {tr("up"), tr("down"), tr("left"),
                                 tr("right"), tr("home position")};
    const QStringList arrowNames {tr("Cursor up"), tr("Cursor down"),
                                  tr("Cursor left"), tr("Cursor right"),
                                  tr("Cursor home position")};
    for (int i = 0; i < 5; ++i)
        makeButton(i, QString(), arrowTips[i], arrowNames[i], frame);
    makeButton(5, QStringLiteral("US B"), tr("bottom position"), tr("Cursor bottom position"),
               frame);
    makeButton(6, QStringLiteral("CR"), tr("left end of the line"),
               tr("Cursor to left end of the line"), frame);
    makeButton(7, QStringLiteral("US CR"), tr("right end of the line"),
               tr("Cursor to right end of the line"), frame);
    cboRow = named(new QComboBox(frame), QStringLiteral("cboRow"));
    cboColumn = named(new QComboBox(frame), QStringLiteral("cboColumn"));
    makeButton(15, tr("Position"), QString(), tr("Set cursor row and column"), frame);

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
    position->addWidget(buddyLabel(tr("&row"), cboRow, frame));
    position->addWidget(cboRow);
    position->addWidget(buddyLabel(tr("c&olumn"), cboColumn, frame));
    position->addWidget(cboColumn);
    position->addWidget(cmdEPSON[15]);
    position->addStretch(1);
    auto *cursor = new QVBoxLayout(frame);
    cursor->addLayout(moves);
    auto *caption = new QLabel(tr("Set Position(coordinate)"), frame);
    caption->setWordWrap(true);
    cursor->addWidget(caption);
    cursor->addLayout(position);
}

void EpsonTab::buildOperationFrame(QWidget *frame)
{
    cboOperation = named(new QComboBox(frame), QStringLiteral("cboOperation"));
    cboOperation->addItems({tr("over-write"), tr("vertical-scroll"),
                            tr("horizontal-scroll")});
    makeButton(8, QStringLiteral("CLR"), tr("screen clear"), tr("Clear screen"), frame);
    makeButton(9, QStringLiteral("CAN"), tr("line clear"), tr("Clear line"), frame);
    makeButton(10, tr("cursor on"), QString(), QString(), frame)->setProperty("Tag", QStringLiteral("0"));
    makeButton(11, tr("reverse"), QString(), QString(), frame)->setProperty("Tag", QStringLiteral("0"));
    makeButton(13, tr("Initialize"), QString(), tr("Initialize display"), frame);
    makeButton(14, tr("SelfTest"), QString(), tr("Self-test"), frame);
    cboNational = named(new QComboBox(frame), QStringLiteral("cboNational"));
    cboNational->addItems({tr("U.S.A"), tr("France"), tr("Germany"),
                           tr("U.K."), tr("Denmark I"), tr("Sweden"),
                           tr("Italy"), tr("Spain"), tr("Japan"),
                           tr("Norway"), tr("Denmark II"), tr("Spain II"),
                           tr("Latin America"), tr("Korea"), tr("Greek")});
    makeButton(16, tr("Set"), QString(), tr("Set national character set"), frame);
    cboExpand = named(new QComboBox(frame), QStringLiteral("cboExpand"));
    cboExpand->addItems({tr("ignore Expand"), tr("using Expand")});
    makeButton(17, tr("Set"), QString(), tr("Set expand"), frame);
    txtBlink = named(new QLineEdit(frame), QStringLiteral("txtBlink"));
    // Digits or a sign, as the field shows them; what cannot be sent is refused.
    txtBlink->setInputMask(QStringLiteral("###;_"));
    txtBlink->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    txtBlink->setAccessibleName(tr("Blink"));
    makeButton(18, tr("Set"), QString(), tr("Set blink"), frame);

    auto *operation = new QGridLayout(frame);
    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(buddyLabel(tr("&Mode:"), cboOperation, frame));
    modeRow->addWidget(cboOperation);
    modeRow->addStretch(1);
    operation->addLayout(modeRow, 0, 0, 1, 3);
    operation->addWidget(cmdEPSON[8], 1, 0);
    operation->addWidget(cmdEPSON[9], 1, 1);
    operation->addWidget(cmdEPSON[10], 1, 2);
    operation->addWidget(cmdEPSON[11], 2, 0);
    operation->addWidget(cmdEPSON[13], 2, 1);
    operation->addWidget(cmdEPSON[14], 2, 2);
    operation->addWidget(buddyLabel(tr("&National"), cboNational, frame), 3, 0);
    operation->addWidget(cboNational, 3, 1);
    operation->addWidget(cmdEPSON[16], 3, 2);
    operation->addWidget(buddyLabel(tr("E&xpand"), cboExpand, frame), 4, 0);
    operation->addWidget(cboExpand, 4, 1);
    operation->addWidget(cmdEPSON[17], 4, 2);
    operation->addWidget(buddyLabel(tr("&Blink"), txtBlink, frame), 5, 0);
    operation->addWidget(txtBlink, 5, 1, Qt::AlignLeft);
    operation->addWidget(cmdEPSON[18], 5, 2);
}

void EpsonTab::nameToggles()
{
    // A toggle is named by what its next press does, as its caption is.
    const bool cursorOn = cmdEPSON[10]->property("Tag").toString() == QLatin1String("0");
    cmdEPSON[10]->setAccessibleName(cursorOn ? tr("Show the cursor") : tr("Hide the cursor"));
    const bool reverse = cmdEPSON[11]->property("Tag").toString() == QLatin1String("0");
    cmdEPSON[11]->setAccessibleName(reverse ? tr("Show text in reverse") : tr("Show text normally"));
}

void EpsonTab::ApplyDisplayGeometry(const DisplayModel &model)
{
    txtEPSON->setMaxLength(model.cells());
    txtEPSON->clear();
    const QSignalBlocker quietRows(cboRow);
    const QSignalBlocker quietColumns(cboColumn);
    cboRow->clear();
    for (int r = 1; r <= model.rows; ++r)
        cboRow->addItem(QString::number(r));
    cboRow->setCurrentIndex(0);
    cboColumn->clear();
    for (int c = 1; c <= model.columns; ++c)
        cboColumn->addItem(QString::number(c));
    cboColumn->setCurrentIndex(0);
}

void EpsonTab::applyModel(const DisplayModel &model)
{
    if (!model.toNativeCaption.isEmpty())
        cmdSwitchBack->setText(DisplayModel::translated(model.toNativeCaption));
    for (int i : {10, 11, 18})
        cmdEPSON[i]->setEnabled(model.epsonToggles);
}

void EpsonTab::setStartPositions(int nationalPosition)
{
    cboNational->setCurrentIndex(nationalPosition);
    cboExpand->setCurrentIndex(0);
    cboOperation->setCurrentIndex(0);
    cboPeripheral->setCurrentIndex(1);
    cboRow->setCurrentIndex(0);
    cboColumn->setCurrentIndex(0);
    // Icons 101 to 105: up, down, left, right, home.
    const int side = fontMetrics().height() + 4;
    for (int i = 0; i < 5; ++i) {
        cmdEPSON[i]->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(101 + i)));
        cmdEPSON[i]->setIconSize(QSize(side, side));
    }
}

void EpsonTab::useShortNationalList(const QStringList &entries)
{
    {
        const QSignalBlocker quiet(cboNational);
        cboNational->clear();
        cboNational->addItems(entries);
        cboNational->setCurrentIndex(-1);
    }
    cboNational->setCurrentIndex(0);
}

void EpsonTab::followInternationalCode(int position)
{
    if (cboNational->currentIndex() != position && position < cboNational->count())
        cboNational->setCurrentIndex(position);
}

void EpsonTab::cboOperation_Click()
{
    if (m_host.isLoading())
        return;
    const int position = cboOperation->currentIndex();
    if (position >= 0 && position <= 2)
        m_host.showSent(Epson::setWriteMode(m_host.kdx(), Epson::kMinWriteMode + position));
}

void EpsonTab::cboPeripheral_Click()
{
    if (m_host.isLoading())
        return;
    const int position = cboPeripheral->currentIndex();
    if (position >= 0 && position <= 2)
        m_host.showSent(Epson::setDevice(m_host.kdx(), Epson::kMinDevice + position));
}

void EpsonTab::cboNational_Click()
{
    const int position = cboNational->currentIndex();
    if (position < 0)
        return;
    savePosition(m_host.settingsName(), kSectionSet, QStringLiteral("InternationalCode"), position);
    emit nationalChanged(position);
}

void EpsonTab::cmdEPSON_Click(int Index)
{
    if (m_host.commandRefused())
        return;

    // Parameters that cannot travel as one byte are refused before anything is sent.
    int national = 0;
    int expand = 0;
    int blink = 0;
    int row = 0;
    int column = 0;
    switch (Index) {
    case 15:
        row = listIndex(cboRow) + 1;
        column = listIndex(cboColumn) + 1;
        if (row <= 0 || column <= 0) {
            m_host.refuse(tr("Position: choose a row and a column from the lists."));
            return;
        }
        break;
    case 16:
        national = listIndex(cboNational);
        if (national < 0) {
            m_host.refuse(tr("National: choose a character set from the list."));
            return;
        }
        break;
    case 17: {
        const QString text = cboExpand->currentText();
        const int entry = cboExpand->findText(text, Qt::MatchExactly);
        const double typed = numericText::leadingNumber(text);
        if (entry >= 0) {
            expand = entry;
        } else if (startsWithNumber(text) && typed >= 0 && typed <= 255) {
            expand = int(std::nearbyint(typed));
        } else {
            m_host.refuse(tr("Expand: choose an entry of the list or type a number from 0 to 255."));
            return;
        }
        break;
    }
    case 18:
        if (!blinkValue(txtBlink->displayText(), blink)) {
            m_host.refuse(tr(kBlinkRefused));
            return;
        }
        break;
    default:
        break;
    }

    if (!m_host.beginCommand())
        return;
    CKDX &kdx = m_host.kdx();
    QPushButton *b = Index >= 0 && Index < cmdEPSON.size() ? cmdEPSON[Index] : nullptr;
    using C = Epson::Command;
    qint32 R = kdx::OK;
    switch (Index) {
    case 0: R = Epson::send(kdx, C::CursorUp); break;
    case 1: R = Epson::send(kdx, C::CursorDown); break;
    case 2: R = Epson::send(kdx, C::CursorLeft); break;
    case 3: R = Epson::send(kdx, C::CursorRight); break;
    case 4: R = Epson::send(kdx, C::CursorHome); break;
    case 5: R = Epson::send(kdx, C::CursorBottom); break;
    case 6: R = Epson::send(kdx, C::LineStart); break;
    case 7: R = Epson::send(kdx, C::LineEnd); break;
    case 8: R = Epson::send(kdx, C::ClearScreen); break;
    case 9: R = Epson::send(kdx, C::ClearLine); break;
    case 10: {
        // The caption names what the next click does.
        const bool on = b->property("Tag").toString() == QLatin1String("0");
        b->setProperty("Tag", on ? QStringLiteral("1") : QStringLiteral("0"));
        b->setText(on ? tr("cursor off") : tr("cursor on"));
        R = Epson::setCursorDisplay(kdx, on);
        break;
    }
    case 11: {
        const bool on = b->property("Tag").toString() == QLatin1String("0");
        b->setProperty("Tag", on ? QStringLiteral("1") : QStringLiteral("0"));
        b->setText(on ? tr("normal") : tr("reverse"));
        R = Epson::setReverse(kdx, on);
        break;
    }
    case 13: R = Epson::send(kdx, C::Initialize); break;
    case 14: R = Epson::send(kdx, C::SelfTest); break;
    case 15: R = Epson::setPosition(kdx, row, column); break;
    case 16: R = Epson::setNational(kdx, national); break;
    case 17: R = Epson::setExpand(kdx, expand); break;
    case 18: R = Epson::setBlink(kdx, blink); break;
    case 19:
        emit messageSending(txtEPSON->text());
        R = Epson::sendText(kdx, txtEPSON->text());
        break;
    default: break;
    }
    nameToggles();
    m_host.showSent(R);
    m_host.endCommand();
}
