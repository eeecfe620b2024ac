#include "BuddySpinner.h"

#include "ByteNotation.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

BuddySpinner::BuddySpinner(QWidget *parent)
    : QWidget(parent)
{
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(18, 11);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void BuddySpinner::setBuddy(QLineEdit *buddy)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy)
        m_buddy->installEventFilter(this);
}

void BuddySpinner::setRange(int min, int max)
{
    m_min = min;
    m_max = qMax(min, max);
    m_value = qBound(m_min, m_value, m_max);
}

void BuddySpinner::setValue(int value)
{
    m_value = qBound(m_min, value, m_max);
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
}

void BuddySpinner::stepBy(int steps)
{
    int base = m_value;
    double typed = 0;
    if (m_buddy && ByteNotation::isNumeric(m_buddy->text(), &typed))
        base = int(qBound<double>(m_min, std::nearbyint(typed), m_max));
    setValue(base + steps);
}

bool BuddySpinner::eventFilter(QObject *watched, QEvent *event)
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
