#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down spinner bound to a text box: its arrows (and the Up/Down keys
// inside the box) step the number in the box by one within a range and write
// the result back into the box. The box stays free text, so a typed number
// outside the range is left as typed until the spinner is used.
class UpDownSpinner : public QWidget
{
    Q_OBJECT
public:
    UpDownSpinner(QLineEdit *buddy, int min, int max, QWidget *parent = nullptr);

    int min() const { return m_min; }
    int max() const { return m_max; }
    void setMax(int max);

    void stepBy(int steps);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_buddy;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_min;
    int m_max;
};
