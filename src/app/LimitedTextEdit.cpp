#include "LimitedTextEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

#include <climits>

LimitedTextEdit::LimitedTextEdit(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
}

QString LimitedTextEdit::text() const
{
    return toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void LimitedTextEdit::setText(const QString &text)
{
    setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

int LimitedTextEdit::room() const
{
    if (m_maxLength <= 0)
        return INT_MAX;
    const QTextCursor c = textCursor();
    const int used = int(toPlainText().size()) - (c.selectionEnd() - c.selectionStart());
    return qMax(0, m_maxLength - used);
}

void LimitedTextEdit::keyPressEvent(QKeyEvent *event)
{
    const QString typed = event->text();
    const bool inserts = !typed.isEmpty() && (typed[0].isPrint() || event->key() == Qt::Key_Return
                                              || event->key() == Qt::Key_Enter);
    if (inserts && !(event->modifiers() & Qt::ControlModifier) && room() < typed.size()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    const int r = room();
    if (text.size() > r)
        text.truncate(r);
    if (!text.isEmpty())
        insertPlainText(text);
}
