#pragma once

#include "PassThrough.h"
#include "TrafficHistory.h"
#include "TrafficModel.h"

#include <QTimer>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace monitor {

class DisplayView;

// The "Traffic" window: every event on the display's line, decoded, in a table
// (time, direction, bytes, meaning), and above it the picture of the display
// those bytes draw. One per process, not modal. It shows the program's
// TrafficHistory, which the tap feeds from the start, so whatever window talks
// to the display feeds it, also before it is first opened. "Watch a port..."
// puts it between another program and its display, as kdxctl spy does, and
// shows that traffic too.
class TrafficWindow final : public QWidget
{
    Q_OBJECT
public:
    // Makes every port the driver opens from now on a tapped one, recorded into
    // the program's history. Programs with windows call it once at start,
    // before the first port exists.
    static void installTap();
    // The window, created on first use, shown and brought to the front.
    static TrafficWindow *open();
    static TrafficWindow *instance();
    // A small "Traffic" button for a main window's button row, and Ctrl+T on
    // that window; both open the Traffic window.
    static QAbstractButton *makeOpenButton(QWidget *window);

    ~TrafficWindow() override;

    TrafficModel &model() { return m_model; }
    DisplayView *displayView() const { return picDisplay; }
    bool paused() const { return m_paused; }
    int heldCount() const { return int(m_held.size()); }
    QString statusText() const;
    // Moves what the history has recorded into the table (or the held list
    // while paused). A timer does this; tests call it to avoid waiting.
    void flush();
    // The shown rows in the text format, as "Save As..." writes them.
    bool saveTo(const QString &path, QString *error);
    // The pass-through of "Watch a port...".
    const platform::PassThrough &watch() const { return m_watch; }

protected:
    // Closing the window stops watching: nobody would see what passes.
    void closeEvent(QCloseEvent *event) override;

private:
    TrafficWindow();

    void take(std::vector<TrafficEvent> &&events);
    void watchPort();
    void watchEnded();
    void updateWatchButton();
    void setPaused(bool paused);
    void clearRows();
    void copySelection();
    void saveAs();
    void updateStatus();

    TrafficModel m_model;
    QSortFilterProxyModel *m_proxy = nullptr;
    TrafficHistory &m_history;
    std::vector<TrafficEvent> m_incoming;
    std::vector<TrafficEvent> m_held;
    // Dropped while held (paused) or before the table took them.
    qint64 m_heldDropped = 0;
    bool m_paused = false;
    QTimer m_timer;
    // The watched program's traffic, decoded apart from the tap's.
    TrafficRecorder m_watchRecorder;
    platform::PassThrough m_watch {&m_watchRecorder};

    QPushButton *cmdPause = nullptr;
    QPushButton *cmdClear = nullptr;
    QLineEdit *txtFilter = nullptr;
    QPushButton *cmdCopy = nullptr;
    QPushButton *cmdSaveAs = nullptr;
    QPushButton *cmdWatchPort = nullptr;
    DisplayView *picDisplay = nullptr;
    QTableView *grdTraffic = nullptr;
    QLabel *lblStatus = nullptr;
};

} // namespace monitor
