#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down spinner bound to a text box: its arrows (and the Up and Down keys in
// the box) step the number in the box by 1 within a range. A box holding
// something that is not a number is stepped from the spinner's last value.
class BuddySpinner : public QWidget
{
    Q_OBJECT
public:
    explicit BuddySpinner(QWidget *parent = nullptr);

    void setBuddy(QLineEdit *buddy);
    QLineEdit *buddy() const { return m_buddy; }

    void setRange(int min, int max);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    int value() const { return m_value; }
    // Clamps to the range and writes the value into the box.
    void setValue(int value);

    void stepBy(int steps);

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
