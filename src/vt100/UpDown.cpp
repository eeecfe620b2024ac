#include "UpDown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

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
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setBuddy(QLineEdit *buddy)
{
    m_buddy = buddy;
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
}

void UpDown::stepBy(int delta)
{
    // The text box may have been edited since the last step: it is the truth.
    const int before = m_value;
    const QString beforeText = m_buddy ? m_buddy->text() : QString();
    if (m_buddy) {
        bool ok = false;
        const int typed = m_buddy->text().trimmed().toInt(&ok);
        if (ok)
            m_value = qBound(m_min, typed, m_max);
    }
    m_value = qBound(m_min, m_value + delta, m_max);
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
    if (m_value != before || (m_buddy && m_buddy->text() != beforeText))
        emit changed();
}
