#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// A pair of up and down arrows bound to a text box, as the window toolkit's
// spinner control: each arrow reads the number in the text box, steps it within
// the range and writes it back. The text box itself can still be edited freely.
class UpDown : public QWidget
{
    Q_OBJECT
public:
    explicit UpDown(QWidget *parent = nullptr);

    void setBuddy(QLineEdit *buddy);
    void setRange(int minimum, int maximum);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    int value() const { return m_value; }
    void setValue(int value);

    void stepUp() { stepBy(1); }
    void stepDown() { stepBy(-1); }

signals:
    // After an arrow has changed the value (and the buddy's text).
    void changed();

private:
    void stepBy(int delta);

    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
    QLineEdit *m_buddy = nullptr;
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
};
