#include "StatusLine.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// QLineEdit keeps this much room between its frame and its text.
constexpr int kHorizontalMargin = 2;

} // namespace

StatusLine::StatusLine(QWidget *parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
    // Read by clicking into it; not a Tab stop, since it shows no focus.
    setFocusPolicy(Qt::ClickFocus);
    connect(this, &QLineEdit::textChanged, this, &StatusLine::updateToolTip);
}

void StatusLine::setStatus(const QString &text, const QString &detail)
{
    m_detail = detail;
    setText(text);
    setCursorPosition(0);
    updateToolTip();
}

QRect StatusLine::textRect() const
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this);
    const QMargins m = textMargins();
    return r.adjusted(m.left() + kHorizontalMargin, m.top(), -m.right() - kHorizontalMargin, -m.bottom());
}

bool StatusLine::isElided() const
{
    return fontMetrics().horizontalAdvance(text()) > textRect().width();
}

void StatusLine::updateToolTip()
{
    setToolTip(isElided() ? text() : m_detail);
}

void StatusLine::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    updateToolTip();
}

void StatusLine::paintEvent(QPaintEvent *event)
{
    // With the focus the line is QLineEdit's own, to scroll through and select.
    if (hasFocus() || !isElided()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter p(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, this);
    const QRect r = textRect();
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
}
