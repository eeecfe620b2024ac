#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down spinner bound to a text box, as the window toolkit's spinner
// control: its arrows (and the Up and Down keys in the box) read the number in
// the box, step it by one within the range and write it back. The box stays free
// text: a typed number outside the range is left as typed until the spinner is
// used, and a box that holds no number is stepped from the spinner's last value.
class UpDown : public QWidget
{
    Q_OBJECT
public:
    explicit UpDown(QWidget *parent = nullptr);
    UpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent = nullptr);

    void setBuddy(QLineEdit *buddy);
    // Names the spinner and its arrows for those who cannot see them: what
    // "Cursor position" gives "Cursor position spinner", "... up", "... down".
    void nameFor(const QString &what);
    QLineEdit *buddy() const { return m_buddy; }

    void setRange(int minimum, int maximum);
    void setMaximum(int maximum) { setRange(m_min, maximum); }
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    int value() const { return m_value; }
    // Clamps to the range and writes the value into the box.
    void setValue(int value);

    void stepBy(int steps);
    void stepUp() { stepBy(1); }
    void stepDown() { stepBy(-1); }

signals:
    // After a step has changed the value or the box's text.
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
    QLineEdit *m_buddy = nullptr;
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
};
