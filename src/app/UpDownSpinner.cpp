#include "UpDownSpinner.h"

#include "NumericText.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

UpDownSpinner::UpDownSpinner(QLineEdit *buddy, int min, int max, QWidget *parent)
    : QWidget(parent)
    , m_buddy(buddy)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
    , m_min(min)
    , m_max(max)
{
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {m_up, m_down}) {
        // The box takes the keyboard; the arrows are for the mouse.
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
    m_buddy->installEventFilter(this);
    const int h = m_buddy->sizeHint().height();
    m_up->setFixedHeight(h / 2);
    m_down->setFixedHeight(h - h / 2);
}

void UpDownSpinner::setMax(int max)
{
    m_max = max;
}

void UpDownSpinner::stepBy(int steps)
{
    const double current = numericText::leadingNumber(m_buddy->text());
    const long long base = std::isfinite(current) ? std::llround(current) : m_min;
    long long next = base + steps;
    if (next > m_max)
        next = m_max;
    if (next < m_min)
        next = m_min;
    m_buddy->setText(QString::number(next));
}

bool UpDownSpinner::eventFilter(QObject *watched, QEvent *event)
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
