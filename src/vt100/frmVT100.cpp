#include "frmVT100.h"

#include "Ansi.h"
#include "AppInfo.h"
#include "CKDX.h"
#include "ControlBytes.h"
#include "Clock.h"
#include "Dialogs.h"
#include "UpDown.h"
#include "modKDX.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

#include <chrono>
#include <vector>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips)
{
    return twips / kTwipsPerPixel;
}
QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

constexpr int kRows = 4;
constexpr int kCols = 20;

constexpr std::chrono::milliseconds kBlinkInterval {500};
constexpr std::chrono::milliseconds kReplyPoll {200};
constexpr std::chrono::milliseconds kReplySettle {100};
// Identification: stop at 15 bytes or after 11 polls; screen: 80 bytes or 21 polls.
constexpr int kIdentBytes = 15;
constexpr int kIdentPolls = 11;
constexpr int kScreenBytes = 80;
constexpr int kScreenPolls = 21;


enum Button {
    Backspace = 0,
    LineFeed = 1,
    CarriageReturn = 2,
    EraseDisplay = 3,
    PositionCursor = 4,
    EraseToEndOfLine = 5,
    CountryCode = 6,
    Identification = 7,
    SpecialCharacters = 8,
    DisplayMessage = 9,
};

const char *const kCaptions[frmVT100::kButtons] = {
    "Backspace - BS",
    "Line feed - LF",
    "Carriage return - CR",
    "Delete display - ESC [2J",
    "Position cursor - ESC [Py;PxH",
    "Delete to end of line - ESC [0K",
    "Set country code - ESC Rn",
    "Call display identification - ESC [0c",
    "Special Characters Set",
    "Get Display Message",
};

const char *const kCountries[] = {
    "00 - USA",     "01 - France",  "02 - Germany",   "03 - Great Britain", "04 - Denmark 1",
    "05 - Sweden",  "06 - Italy",   "07 - Spain 1",   "08 - Japan",         "09 - Norway",
    "0A - Denmark 2", "0B - Spain 2", "0C - Latin America",
};

QString cellCaption(qint16 code)
{
    if (code <= 0 || code > 255)
        return QString();
    return QString(platform::ansi::charOf(uchar(code)));
}

// 1-based position of needle in text at or after position start (a start of 0
// searches from the beginning); 0 when absent.
int inStr(int start, const QString &text, QChar needle)
{
    const int from = qMax(start, 1) - 1;
    if (from >= text.size())
        return 0;
    const int at = int(text.indexOf(needle, from));
    return at < 0 ? 0 : at + 1;
}

// Text from position first to position last (1-based, both included); empty
// when last lies before first.
QString span(const QString &text, int first, int last)
{
    if (first < 1)
        first = 1;
    if (last < first)
        return QString();
    return text.mid(first - 1, last - first + 1);
}

// The identification reply: three bytes, then type;PROM;set;lines;columns and "c".
void splitIdentification(const QString &reply, QString fields[5])
{
    int a = inStr(1, reply, QLatin1Char(';'));
    int b = inStr(a + 1, reply, QLatin1Char(';'));
    fields[0] = span(reply, 4, a - 1);
    fields[1] = span(reply, a + 1, b - 1);
    a = inStr(b + 1, reply, QLatin1Char(';'));
    fields[2] = span(reply, b + 1, a - 1);
    b = inStr(a + 1, reply, QLatin1Char(';'));
    fields[3] = span(reply, a + 1, b - 1);
    a = inStr(b + 1, reply, QLatin1Char('c'));
    fields[4] = span(reply, b + 1, a - 1);
}

void processPendingEvents()
{
    platform::clock().processEvents(0);
}

} // namespace

frmVT100::frmVT100(CKDX &kdx, QWidget *parent)
    : QDialog(parent)
    , m_kdx(kdx)
{
    buildControls();
    Form_Load();
}

frmVT100::~frmVT100()
{
    Timer1.setEnabled(false);
}

QColor frmVT100::normalBackground()
{
    return QColor(0, 64, 0);
}

QColor frmVT100::normalText()
{
    return QColor(0, 255, 0);
}

QColor frmVT100::blinkBackground()
{
    return QColor(128, 255, 255);
}

QColor frmVT100::cursorBackground()
{
    // Qt has no title-bar colour; the active highlight is the system's accent
    // that title bars use.
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

// ------------------------------------------------------------------ layout

void frmVT100::buildControls()
{
    setObjectName(QStringLiteral("frmVT100"));
    setWindowTitle(tr("VT100 Mode Test"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setFixedSize(px(5700), px(6555));
    // The layout is laid out in the metrics of an 8-point dialog font.
    QFont dialogFont = font();
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    pic = new QFrame(this);
    pic->setObjectName(QStringLiteral("pic"));
    pic->setGeometry(twipsRect(120, 120, 5415, 1815));
    pic->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pic->setFocusPolicy(Qt::StrongFocus);
    pic->installEventFilter(this);

    QFont cellFont;
    // The classic bitmap sans face is rare on Linux; the next faces keep the look.
    cellFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                          QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                          QStringLiteral("Sans Serif")});
    cellFont.setStyleHint(QFont::SansSerif);
    cellFont.setPointSize(12);
    cellFont.setBold(true);
    for (int i = 0; i < kCells; ++i) {
        auto *l = new QLabel(pic);
        l->setObjectName(QStringLiteral("lbl_%1").arg(i));
        l->setGeometry(twipsRect(240 + 240 * (i % kCols), 120 + 360 * (i / kCols), 255, 375));
        l->setAlignment(Qt::AlignCenter);
        l->setTextFormat(Qt::PlainText);
        l->setFont(cellFont);
        l->setAutoFillBackground(true);
        l->installEventFilter(this);
        lbl[size_t(i)] = l;
    }

    auto makeGroup = [this](const char *name, const QString &title, const QRect &r) {
        auto *g = new QGroupBox(title, this);
        g->setObjectName(QLatin1String(name));
        g->setGeometry(r);
        return g;
    };
    Frame4 = makeGroup("Frame4", QString(), twipsRect(0, 2040, 5655, 2295));
    Frame1 = makeGroup("Frame1", tr("Position Cursor"), twipsRect(120, 4080, 2655, 1215));
    Frame2 = makeGroup("Frame2", tr("Contry Code"), twipsRect(2880, 4080, 2655, 1215));
    Frame5 = makeGroup("Frame5", QString(), twipsRect(0, 5520, 2895, 855));
    Frame3 = makeGroup("Frame3", tr("Brightness"), twipsRect(2880, 5520, 2655, 930));

    // Left column: 0, 1, 2, 4; right column: 3, 5, 7, 6; then 8 and 9 below.
    struct Place
    {
        QGroupBox *frame;
        int left, top;
    };
    const int rowTop[4] = {120, 600, 1080, 1560};
    const Place places[kButtons] = {
        {Frame4, 120, rowTop[0]},  {Frame4, 120, rowTop[1]},  {Frame4, 120, rowTop[2]},
        {Frame4, 2880, rowTop[0]}, {Frame4, 120, rowTop[3]},  {Frame4, 2880, rowTop[1]},
        {Frame4, 2880, rowTop[3]}, {Frame4, 2880, rowTop[2]}, {Frame5, 120, 0},
        {Frame5, 120, 480},
    };
    for (int i = 0; i < kButtons; ++i) {
        auto *b = new QPushButton(QLatin1String(kCaptions[i]), places[i].frame);
        b->setObjectName(QStringLiteral("cmdCtrl_%1").arg(i));
        b->setGeometry(twipsRect(places[i].left, places[i].top, 2655, 375));
        b->setAutoDefault(false);
        // Faces here run wider than the original dialog font: shrink a caption
        // that would be cut rather than hide its escape sequence.
        while (b->font().pointSizeF() > 6 && b->sizeHint().width() > b->width()) {
            QFont f = b->font();
            f.setPointSizeF(f.pointSizeF() - 0.5);
            b->setFont(f);
        }
        connect(b, &QPushButton::clicked, this, [this, i] { cmdCtrl_Click(i); });
        cmdCtrl[size_t(i)] = b;
    }

    auto makeSpinRow = [this](int top, const char *labelName, const char *caption, const char *textName,
                              const char *spinName, int maximum, QLabel *&label, QLineEdit *&text,
                              UpDown *&spin) {
        label = new QLabel(QLatin1String(caption), Frame1);
        label->setObjectName(QLatin1String(labelName));
        label->setGeometry(twipsRect(240, top + 30, 300, 255));
        text = new QLineEdit(QStringLiteral("1"), Frame1);
        text->setObjectName(QLatin1String(textName));
        text->setGeometry(twipsRect(600, top, 855, 315));
        spin = new UpDown(Frame1);
        spin->setObjectName(QLatin1String(spinName));
        spin->setGeometry(twipsRect(1455, top, 255, 315));
        spin->setBuddy(text);
        spin->setRange(1, maximum);
        spin->setValue(1);
    };
    makeSpinRow(360, "Label1", "Y:", "txtY", "UpDown1", kRows, Label1, txtY, UpDown1);
    makeSpinRow(720, "Label2", "X:", "txtX", "UpDown2", kCols, Label2, txtX, UpDown2);
    connect(UpDown1, &UpDown::changed, this, &frmVT100::focusPic);
    connect(UpDown2, &UpDown::changed, this, &frmVT100::focusPic);

    cboContryCode = new QComboBox(Frame2);
    cboContryCode->setObjectName(QStringLiteral("cboContryCode"));
    cboContryCode->setGeometry(twipsRect(240, 480, 1815, 315));
    for (const char *c : kCountries)
        cboContryCode->addItem(QLatin1String(c));

    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Line1->setForegroundRole(QPalette::Dark);
    Line1->setGeometry(px(120), px(5400), px(5520 - 120), 1);
    Line2 = new QFrame(this);
    Line2->setObjectName(QStringLiteral("Line2"));
    Line2->setFrameStyle(QFrame::HLine | QFrame::Plain);
    Line2->setForegroundRole(QPalette::Light);
    Line2->setGeometry(px(120), px(5400) + 1, px(5520 - 120), 1);

    Slider1 = new QSlider(Qt::Horizontal, Frame3);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setGeometry(twipsRect(150, 300, 2295, 330));
    Slider1->setRange(0, 3);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(1);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(1);
    Slider1->setValue(0);
    connect(Slider1, &QSlider::valueChanged, this, &frmVT100::Slider1_Change);
    Label3 = new QLabel(QStringLiteral("0"), Frame3);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(twipsRect(150, 630, 450, 255));
    Label4 = new QLabel(QStringLiteral("100%"), Frame3);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label4->setGeometry(twipsRect(150 + 2295 - 600, 630, 600, 255));

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(int(kBlinkInterval.count()));
    connect(&Timer1, &platform::Timer::timeout, this, &frmVT100::Timer1_Timer);
}

void frmVT100::Form_Load()
{
    m_vt100.SetDisplaySize(kRows, kCols);
    for (int i = 0; i < kCells; ++i) {
        lbl[size_t(i)]->setText(QString());
        setCellColours(i, normalBackground(), normalText());
    }
    cboContryCode->setCurrentIndex(0);
    connect(cboContryCode, &QComboBox::activated, this, &frmVT100::focusPic);            // _Click
    connect(cboContryCode, &QComboBox::currentIndexChanged, this, &frmVT100::focusPic); // _Change
    m_blnFirstTick = true;
    for (QGroupBox *g : {Frame4, Frame5}) {
        g->setFlat(true);
        g->setStyleSheet(QStringLiteral("QGroupBox { border: none; margin: 0px; padding: 0px; }"));
    }
    Timer1.setEnabled(true);
}

// ------------------------------------------------------------------- state

void frmVT100::setBusy(bool busy)
{
    m_blnBusy = busy;
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmVT100::setControlsEnabled(bool enabled, bool withSlider)
{
    if (withSlider)
        Slider1->setEnabled(enabled);
    pic->setEnabled(enabled);
    for (QGroupBox *g : {Frame1, Frame2, Frame3, Frame4, Frame5})
        g->setEnabled(enabled);
}

void frmVT100::focusPic()
{
    pic->setFocus(Qt::OtherFocusReason);
}

bool frmVT100::closeIfRequested()
{
    if (!m_blnCloseRequested)
        return false;
    setBusy(false);
    reject();
    return true;
}

void frmVT100::done(int r)
{
    if (m_blnBusy) {
        m_blnCloseRequested = true;
        return;
    }
    m_blnCloseRequested = false;
    Timer1.setEnabled(false);
    m_kdx.Disconnect();
    QDialog::done(r);
}

void frmVT100::keyPressEvent(QKeyEvent *event)
{
    // The window closes from its frame only: Esc is a key the technician sends
    // to the display, and outside the screen copy it does nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ------------------------------------------------------------------- cells

void frmVT100::setCellColours(int index, const QColor &background, const QColor &text)
{
    QLabel *l = lbl[size_t(index)];
    QPalette p = l->palette();
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::WindowText, text);
    l->setPalette(p);
}

void frmVT100::paintCell(int index, qint16 code, const QColor &background)
{
    lbl[size_t(index)]->setText(cellCaption(code));
    setCellColours(index, background, normalText());
}

// ---------------------------------------------------------------- handlers

void frmVT100::pic_KeyPress(qint16 KeyAscii)
{
    qint16 k = KeyAscii;
    if (k < 0) // a double-byte character: its lead byte
        k = qint16(quint16(k) >> 8);

    // The model and the screen copy first, then the byte to the display.
    m_vt100.setKey(k);
    std::vector<qint16> cells(kCells, 0);
    m_vt100.GetData(cells);
    for (int i = 0; i < kCells; ++i)
        paintCell(i, cells[size_t(i)], normalBackground());

    qint16 row = 1;
    qint16 col = 1;
    m_vt100.GetCursorPosition(row, col);
    const int cell = (row - 1) * kCols + (col - 1);
    if (cell >= 0 && cell < kCells) {
        m_iCursorCell = qint16(cell);
        setCellColours(cell, cursorBackground(), normalText());
    }

    m_kdx.SendMessageB_VT100(quint8(k & 0xFF));
}

void frmVT100::cmdCtrl_Click(int Index)
{
    if (m_blnBusy || Index < 0 || Index >= kButtons)
        return;
    setControlsEnabled(false, false);
    setBusy(true);

    switch (Index) {
    case Backspace: sendKeys(QByteArray(1, '\x08')); break;
    case LineFeed: sendKeys(QByteArray(1, '\x0A')); break;
    case CarriageReturn: sendKeys(QByteArray(1, '\x0D')); break;
    case EraseDisplay: sendKeys(QByteArray().append(kESC).append("[2J")); break;
    case PositionCursor: {
        // The texts go as they stand: the spinners keep them in range, typing does not.
        QByteArray bytes;
        bytes.append(kESC).append('[').append(platform::ansi::fromUnicode(txtY->text()));
        bytes.append(';').append(platform::ansi::fromUnicode(txtX->text())).append('H');
        sendKeys(bytes);
        break;
    }
    case EraseToEndOfLine: sendKeys(QByteArray().append(kESC).append("[0K")); break;
    case CountryCode: sendCountryCode(); break;
    case Identification:
        if (!requestIdentification())
            return; // the window closed during the poll
        break;
    case SpecialCharacters:
        sendKeys(QByteArray("\x23\x24\x40\x5B\x5C\x5D\x5E\x60\x7B\x7C\x7D\x7E\x80", 13));
        break;
    case DisplayMessage:
        if (!requestScreen())
            return; // the window closed during the poll
        break;
    }

    processPendingEvents();
    setBusy(false);
    setControlsEnabled(true, false);
    focusPic();
    closeIfRequested();
}

void frmVT100::sendKeys(const QByteArray &bytes)
{
    for (char b : bytes)
        pic_KeyPress(qint16(uchar(b)));
}

void frmVT100::sendCountryCode()
{
    // Straight to the display: the model does not take part.
    const int code = qMax(0, cboContryCode->currentIndex());
    m_kdx.SendMessageB_VT100(quint8(kESC));
    m_kdx.SendMessageB_VT100(quint8('R'));
    m_kdx.SendMessageB_VT100(quint8(code));
}

bool frmVT100::pollInput(int minBytes, int maxPolls)
{
    int counter = 0;
    for (;;) {
        ++counter;
        modKDX::Delay(kReplyPoll);
        if (closeIfRequested())
            return false;
        if (m_kdx.InBufferCount() >= minBytes || counter >= maxPolls)
            return true;
    }
}

bool frmVT100::requestIdentification()
{
    sendKeys(QByteArray().append(kESC).append("[0c"));
    processPendingEvents();
    if (!pollInput(kIdentBytes, kIdentPolls))
        return false;
    modKDX::Delay(kReplySettle);
    QString reply;
    m_kdx.GetCommData(reply);

    QString f[5];
    splitIdentification(reply, f);
    const QString nl = QStringLiteral("\r\n");
    const QString text = tr("Return Code: ") + reply + nl + nl
        + tr("Type of display : ") + f[0] + nl + tr("PROM version : ") + f[1] + nl
        + tr("Character set : ") + f[2] + nl + tr("Number of lines : ") + f[3] + nl
        + tr("Column/line : ") + f[4];
    setBusy(false);
    platform::dialogs().messageBox(text, platform::app::title(), platform::MsgIcon::Information);
    return true;
}

bool frmVT100::requestScreen()
{
    // The model takes ESC T without effect.
    sendKeys(QByteArray().append(kESC).append('T'));
    processPendingEvents();
    if (!pollInput(kScreenBytes, kScreenPolls))
        return false;
    modKDX::Delay(kReplySettle);
    QByteArray bytes;
    m_kdx.GetCommDataB(bytes);
    const int shown = qMin(int(bytes.size()), kCells);
    for (int i = 0; i < shown; ++i)
        lbl[size_t(i)]->setText(cellCaption(qint16(uchar(bytes[i]))));
    m_vt100.SetData(reinterpret_cast<const std::uint8_t *>(bytes.constData()), size_t(bytes.size()));
    return true;
}

void frmVT100::Slider1_Change()
{
    if (m_blnBusy)
        return;
    setBusy(true);
    setControlsEnabled(false, true);

    // Left end (0) is the dimmest level, 3; the right end, "100%", is 0.
    const QByteArray level = QByteArray::number(3 - Slider1->value());
    m_kdx.SendMessageB(quint8(kESC));
    m_kdx.SendMessageB(quint8('B'));
    m_kdx.SendMessageB(quint8(level.at(0)));

    processPendingEvents();
    setBusy(false);
    setControlsEnabled(true, true);
    focusPic();
    closeIfRequested();
}

void frmVT100::Timer1_Timer()
{
    if (m_blnFirstTick) {
        // One BS through the key path paints the screen copy and marks the cursor.
        cmdCtrl_Click(Backspace);
        m_blnFirstTick = false;
    }
    QLabel *l = lbl[size_t(m_iCursorCell)];
    const bool lit = l->palette().color(QPalette::Window) == blinkBackground();
    setCellColours(m_iCursorCell, lit ? normalBackground() : blinkBackground(), normalText());
}

void frmVT100::Form_Click()
{
    if (m_blnBusy)
        return;
    cmdCtrl_Click(Backspace);
    focusPic();
}

void frmVT100::lbl_Click(int Index)
{
    Q_UNUSED(Index);
    if (m_blnBusy)
        return;
    focusPic();
}

// ------------------------------------------------------------------ events

bool frmVT100::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == pic && event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        // Tab keeps moving the focus; Delete has no character of its own.
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab || ke->key() == Qt::Key_Delete)
            return false;
        const QString text = ke->text();
        if (text.isEmpty())
            return false; // arrows and the like send nothing
        for (char b : platform::ansi::fromUnicode(text))
            pic_KeyPress(qint16(uchar(b)));
        return true; // Enter and Esc belong to the screen copy, not to the dialog
    }
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == pic)
            return true;
        for (int i = 0; i < kCells; ++i) {
            if (watched == lbl[size_t(i)]) {
                lbl_Click(i);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmVT100::mousePressEvent(QMouseEvent *event)
{
    QDialog::mousePressEvent(event);
    // Presses that a child let through do not count as a click on the window.
    if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint()))
        Form_Click();
}
