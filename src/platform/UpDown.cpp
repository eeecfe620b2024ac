#include "UpDown.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The number a text starts with (after blanks), as typed numbers are read.
bool leadingNumber(const QString &text, double &value)
{
    static const QRegularExpression number(QStringLiteral(R"(^\s*([+-]?(\d+\.?\d*|\.\d+)))"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch())
        return false;
    value = m.captured(1).toDouble();
    return std::isfinite(value);
}

} // namespace

UpDown::UpDown(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {m_up, m_down}) {
        // The box takes the keyboard; the arrows are for the mouse.
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

UpDown::UpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent)
    : UpDown(parent)
{
    setRange(minimum, maximum);
    setBuddy(buddy);
    double typed = 0;
    m_value = leadingNumber(buddy->text(), typed) ? int(qBound<double>(m_min, std::nearbyint(typed), m_max)) : m_min;
}

void UpDown::setBuddy(QLineEdit *buddy)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (!m_buddy)
        return;
    m_buddy->installEventFilter(this);
    // The two arrows together are as tall as the box they serve.
    const int h = m_buddy->sizeHint().height();
    m_up->setFixedHeight(h / 2);
    m_down->setFixedHeight(h - h / 2);
}

void UpDown::nameFor(const QString &what)
{
    setAccessibleName(QCoreApplication::translate("UpDown", "%1 spinner").arg(what));
    m_up->setAccessibleName(QCoreApplication::translate("UpDown", "%1 up").arg(what));
    m_down->setAccessibleName(QCoreApplication::translate("UpDown", "%1 down").arg(what));
    m_up->setToolTip(m_up->accessibleName());
    m_down->setToolTip(m_down->accessibleName());
}

void UpDown::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = qMax(minimum, maximum);
    m_value = qBound(m_min, m_value, m_max);
}

void UpDown::setValue(int value)
{
    m_value = qBound(m_min, value, m_max);
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
}

void UpDown::stepBy(int steps)
{
    // The box may have been edited since the last step: what it holds counts.
    const int before = m_value;
    const QString beforeText = m_buddy ? m_buddy->text() : QString();
    double typed = 0;
    if (m_buddy && leadingNumber(m_buddy->text(), typed))
        m_value = int(qBound<double>(m_min, std::nearbyint(typed), m_max));
    setValue(m_value + steps);
    if (m_value != before || (m_buddy && m_buddy->text() != beforeText))
        emit changed();
}

bool UpDown::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
