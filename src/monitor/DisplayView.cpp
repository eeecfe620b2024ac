#include "DisplayView.h"

#include "CharacterSet.h"
#include "TapSerialPort.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace monitor {

namespace {

struct Size
{
    int rows;
    int cols;
};
constexpr Size kSizes[] = {{2, 20}, {2, 40}, {4, 20}, {4, 40}};

// The glow of the tube's phosphor and the dark glass around it.
const QColor kLit(80, 230, 200);
const QColor kDark(20, 40, 36);
const QColor kGlass(8, 12, 12);

constexpr int kTickMs = 50;
constexpr int kMargin = 6;

qint64 nowMs()
{
    return platform::TapSerialPort::nowUs() / 1000;
}

// Half a period of blinking text: US "E" n counts in steps of 20 ms.
qint64 blinkHalfPeriodMs(int blink)
{
    return std::max(100, blink * 20);
}

} // namespace

DisplayView::DisplayView(QWidget *parent)
    : QWidget(parent)
    , m_model(std::make_unique<kdxdisplay::VfdModel>())
{
    setObjectName(QStringLiteral("picDisplay"));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setAccessibleName(tr("Display picture"));

    cboSize = new QComboBox(this);
    cboSize->setObjectName(QStringLiteral("cboDisplaySize"));
    cboSize->addItems(sizeNames());
    cboSize->setToolTip(tr("Rows and columns of the display"));
    auto *cmdReset = new QPushButton(tr("&Blank"), this);
    cmdReset->setObjectName(QStringLiteral("cmdDisplayBlank"));
    cmdReset->setToolTip(tr("Start the picture again from a blank display"));
    lblState = new QLabel(this);
    lblState->setObjectName(QStringLiteral("lblDisplayState"));

    auto *row = new QHBoxLayout;
    row->addWidget(lblState, 1);
    row->addWidget(cboSize);
    row->addWidget(cmdReset);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    layout->addLayout(row);

    connect(cboSize, qOverload<int>(&QComboBox::activated), this, [this](int i) {
        setSize(kSizes[i].rows, kSizes[i].cols);
    });
    connect(cmdReset, &QPushButton::clicked, this, &DisplayView::reset);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &DisplayView::tick);
    changed();
}

DisplayView::~DisplayView() = default;

QStringList DisplayView::sizeNames()
{
    QStringList names;
    for (const Size &s : kSizes)
        names << QStringLiteral("%1 x %2").arg(s.rows).arg(s.cols);
    return names;
}

void DisplayView::setSize(int rows, int cols)
{
    kdxdisplay::VfdConfig config;
    config.rows = rows;
    config.cols = cols;
    m_model = std::make_unique<kdxdisplay::VfdModel>(config);
    const int i = cboSize->findText(QStringLiteral("%1 x %2").arg(rows).arg(cols));
    if (i >= 0)
        cboSize->setCurrentIndex(i);
    updateGeometry();
    changed();
}

void DisplayView::reset()
{
    setSize(m_model->rows(), m_model->cols());
}

void DisplayView::feed(const std::vector<TrafficEvent> &events)
{
    const quint64 before = m_model->changes();
    for (const TrafficEvent &e : events) {
        if (e.direction == Direction::ToDisplay) {
            m_lastMs = e.timeUs / 1000;
            m_model->feed(e.bytes, m_lastMs);
        }
    }
    if (m_model->changes() != before)
        changed();
}

void DisplayView::tick()
{
    const qint64 now = std::max(nowMs(), m_lastMs);
    m_model->advance(now);
    const int blink = m_model->blink();
    if (blink > 0 && blink < 255 && now >= m_nextBlinkMs) {
        m_textLit = !m_textLit;
        m_nextBlinkMs = now + blinkHalfPeriodMs(blink);
    }
    changed();
}

// Repaints and keeps the timer running only while something moves: a demo or
// self-test, blinking text, or a frame the display would drop if it stopped.
void DisplayView::changed()
{
    const int blink = m_model->blink();
    const bool blinking = blink > 0 && blink < 255;
    if (!blinking) {
        m_textLit = blink != 255;
        m_nextBlinkMs = -1;
    } else if (m_nextBlinkMs < 0) {
        m_nextBlinkMs = std::max(nowMs(), m_lastMs) + blinkHalfPeriodMs(blink);
    }
    const bool moving = blinking || m_model->nextDeadline() >= 0;
    if (moving && !m_timer.isActive())
        m_timer.start();
    else if (!moving)
        m_timer.stop();
    lblState->setText(statusText());
    update();
}

QString DisplayView::statusText() const
{
    const kdxdisplay::VfdModel &m = *m_model;
    QStringList parts;
    parts << tr("cursor %1,%2%3")
                 .arg(m.cursorRow() + 1)
                 .arg(m.cursorCol() + 1)
                 .arg(m.cursorVisible() ? tr(" shown") : QString());
    if (m.blink() == 255)
        parts << tr("text dark");
    else if (m.blink() > 0)
        parts << tr("blink %1").arg(m.blink());
    if (m.lampTest())
        parts << tr("lamp test");
    if (m.demoRunning())
        parts << tr("demo");
    if (m.inLoader())
        parts << tr("firmware loader");
    return parts.join(QLatin1String(" | "));
}

QSize DisplayView::sizeHint() const
{
    const QFontMetrics fm(font());
    const int w = m_model->cols() * (fm.horizontalAdvance(QLatin1Char('M')) + 2) + 2 * kMargin;
    const int h = m_model->rows() * (fm.height() + 4) + 2 * kMargin;
    return QSize(std::max(w, lblState->sizeHint().width()), h + cboSize->sizeHint().height() + kMargin);
}

QSize DisplayView::minimumSizeHint() const
{
    return sizeHint();
}

QRect DisplayView::tubeRect() const
{
    const int below = cboSize->sizeHint().height() + kMargin;
    return QRect(0, 0, width(), std::max(0, height() - below));
}

void DisplayView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect tube = tubeRect();
    p.fillRect(tube, kGlass);
    const kdxdisplay::VfdModel &m = *m_model;
    const int cellW = std::max(1, (tube.width() - 2 * kMargin) / m.cols());
    const int cellH = std::max(1, (tube.height() - 2 * kMargin) / m.rows());
    QFont glyphFont = font();
    glyphFont.setPixelSize(std::max(6, cellH * 7 / 10));
    p.setFont(glyphFont);
    for (int r = 0; r < m.rows(); ++r) {
        for (int c = 0; c < m.cols(); ++c) {
            const kdxdisplay::Screen::Cell &cell = m.cell(r, c);
            const QRect box(tube.left() + kMargin + c * cellW, tube.top() + kMargin + r * cellH, cellW - 2, cellH - 2);
            const bool allDots = cell.glyph == kdxdisplay::kAllDotsGlyph;
            const bool back = m_textLit && (cell.reverse || allDots);
            p.fillRect(box, back ? kLit : kDark);
            if (m_textLit && !allDots) {
                p.setPen(cell.reverse ? kGlass : kLit);
                p.drawText(box, Qt::AlignCenter, kdxdisplay::glyphString(cell.glyph));
            }
            if (m.cursorVisible() && r == m.cursorRow() && c == m.cursorCol())
                p.fillRect(QRect(box.left(), box.bottom() - 1, box.width(), 2), kLit);
        }
    }
}

} // namespace monitor
