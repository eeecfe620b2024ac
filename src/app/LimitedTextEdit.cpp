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

namespace {

// The length of a text as it is sent: a line break goes out as CR LF.
int sentLength(const QString &text)
{
    return int(text.size() + text.count(QLatin1Char('\n')));
}

// The longest start of text whose sent length fits in room.
QString fitting(QString text, int room)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    int used = 0;
    qsizetype keep = 0;
    for (; keep < text.size(); ++keep) {
        const int cost = text[keep] == QLatin1Char('\n') ? 2 : 1;
        if (used + cost > room)
            break;
        used += cost;
    }
    text.truncate(keep);
    return text;
}

} // namespace

int LimitedTextEdit::room() const
{
    if (m_maxLength <= 0)
        return INT_MAX;
    const QTextCursor c = textCursor();
    const int used = sentLength(toPlainText()) - sentLength(c.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')));
    return qMax(0, m_maxLength - used);
}

void LimitedTextEdit::keyPressEvent(QKeyEvent *event)
{
    const QString typed = event->text();
    const bool newLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool inserts = !typed.isEmpty() && (typed[0].isPrint() || newLine);
    const int cost = newLine ? 2 : int(typed.size());
    if (inserts && !(event->modifiers() & Qt::ControlModifier) && room() < cost) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextEdit::inputMethodEvent(QInputMethodEvent *event)
{
    // Text composed with an input method counts toward the limit too.
    if (!event->commitString().isEmpty() && sentLength(event->commitString()) > room()) {
        QInputMethodEvent trimmed(event->preeditString(), event->attributes());
        trimmed.setCommitString(fitting(event->commitString(), room()), event->replacementStart(),
                                event->replacementLength());
        QPlainTextEdit::inputMethodEvent(&trimmed);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void LimitedTextEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    const QString text = fitting(source->text(), room());
    if (!text.isEmpty())
        insertPlainText(text);
}
