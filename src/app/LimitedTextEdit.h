#pragma once

#include <QPlainTextEdit>

// A multi-line text box with a length limit on what the user types, pastes or
// composes, like a single-line box's maximum length; a line break counts as the
// two characters CR LF it is sent as. Text set by the program is taken whole.
// Tab moves the focus on rather than inserting a tab.
class LimitedTextEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit LimitedTextEdit(QWidget *parent = nullptr);

    // 0 means no limit.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int n) { m_maxLength = n; }

    // Line breaks read as CR LF, as the display expects a new line; CR LF in
    // a text set by the program shows as one line break.
    QString text() const;
    void setText(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    // How many characters may still be inserted in place of the selection.
    int room() const;

    int m_maxLength = 0;
};
