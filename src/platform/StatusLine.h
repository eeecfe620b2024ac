#pragma once

#include <QLineEdit>

// A window's status line: read-only, one line. A text too long for it is shown
// cut at its end with "…" and given whole in the tooltip, never silently cut;
// clicking into the line shows the whole text to scroll and select. When the
// text fits, the tooltip is the detail its owner gave (may be empty).
class StatusLine : public QLineEdit
{
    Q_OBJECT
public:
    explicit StatusLine(QWidget *parent = nullptr);

    void setStatus(const QString &text, const QString &detail = QString());
    // Whether the text is shown shortened.
    bool isElided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QRect textRect() const;
    void updateToolTip();

    QString m_detail;
};
