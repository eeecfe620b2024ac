#pragma once

#include <QObject>
#include <QTimer>

namespace platform {

// A periodic timer with the window timer's model: an interval and an enabled
// flag. It runs on Qt's timers under the real clock and on the installed virtual
// clock in tests. A tick is never delivered while the previous one is still
// running (handlers wait with Delay, which processes events).
class Timer : public QObject
{
    Q_OBJECT
public:
    explicit Timer(QObject *parent = nullptr);
    ~Timer() override;

    void setInterval(int ms);
    int interval() const { return m_interval; }

    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // Called by a virtual clock when the timer is due.
    void fire();

signals:
    void timeout();

private:
    void arm();

    QTimer m_qtimer;
    int m_interval = 0;
    bool m_enabled = false;
    bool m_inTick = false;
    bool m_virtual = false;
};

} // namespace platform
