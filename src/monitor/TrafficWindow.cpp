#include "TrafficWindow.h"

#include "Dialogs.h"
#include "DisplayView.h"
#include "TapSerialPort.h"
#include "TextFile.h"
#include "frmWatchPort.h"
#include "frmCKDX.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace monitor {

namespace {

TrafficWindow *g_window = nullptr;

// How often the table takes in what the tap delivered: often enough to feel
// live, seldom enough that a firmware update's thousands of events cost little.
constexpr int kFlushMs = 100;

} // namespace

void TrafficWindow::installTap()
{
    TrafficHistory::install();
    frmCKDX::setPortDecorator([](std::unique_ptr<platform::SerialPort> port) {
        return std::make_unique<platform::TapSerialPort>(std::move(port));
    });
}

TrafficWindow *TrafficWindow::instance()
{
    return g_window;
}

TrafficWindow *TrafficWindow::open()
{
    if (!g_window)
        g_window = new TrafficWindow();
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

QAbstractButton *TrafficWindow::makeOpenButton(QWidget *window)
{
    auto *button = new QToolButton(window);
    button->setObjectName(QStringLiteral("cmdTraffic"));
    button->setText(tr("Traffic"));
    button->setToolTip(tr("Every byte on the line, decoded (Ctrl+T)"));
    button->setAccessibleName(tr("Open the Traffic window"));
    // Reached with Tab like the window's other buttons.
    button->setFocusPolicy(Qt::StrongFocus);
    connect(button, &QToolButton::clicked, window, [] { open(); });
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), window);
    connect(shortcut, &QShortcut::activated, window, [] { open(); });
    return button;
}

TrafficWindow::TrafficWindow()
    : QWidget(nullptr, Qt::Window)
    , m_history(TrafficHistory::install())
    , m_watchRecorder([this](std::vector<TrafficEvent> &&events) { take(std::move(events)); })
{
    setObjectName(QStringLiteral("frmTraffic"));
    setWindowTitle(tr("Traffic"));
    setAttribute(Qt::WA_QuitOnClose, false);

    cmdPause = new QPushButton(tr("&Pause"), this);
    cmdPause->setObjectName(QStringLiteral("cmdPause"));
    cmdPause->setCheckable(true);
    cmdPause->setAccessibleName(tr("Pause the table"));
    cmdClear = new QPushButton(tr("C&lear"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setPlaceholderText(tr("Filter"));
    txtFilter->setClearButtonEnabled(true);
    txtFilter->setAccessibleName(tr("Filter"));
    cmdCopy = new QPushButton(tr("&Copy"), this);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    cmdSaveAs = new QPushButton(tr("Save &As..."), this);
    cmdSaveAs->setObjectName(QStringLiteral("cmdSaveAs"));
    cmdWatchPort = new QPushButton(this);
    cmdWatchPort->setObjectName(QStringLiteral("cmdWatchPort"));
    updateWatchButton();

    picDisplay = new DisplayView(this);

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(&m_model);
    m_proxy->setFilterKeyColumn(-1);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    grdTraffic = new QTableView(this);
    grdTraffic->setObjectName(QStringLiteral("grdTraffic"));
    grdTraffic->setModel(m_proxy);
    grdTraffic->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdTraffic->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdTraffic->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdTraffic->setWordWrap(false);
    grdTraffic->setTextElideMode(Qt::ElideRight);
    grdTraffic->verticalHeader()->hide();
    // Fixed row heights: a table of 100,000 rows must not measure each one.
    grdTraffic->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdTraffic->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView *h = grdTraffic->horizontalHeader();
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    h->resizeSection(TrafficModel::Time, digit * 12);
    h->resizeSection(TrafficModel::Dir, digit * 4);
    h->resizeSection(TrafficModel::Bytes, digit * 36);
    h->setStretchLastSection(true);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    auto *bar = new QHBoxLayout;
    bar->addWidget(cmdPause);
    bar->addWidget(cmdClear);
    bar->addWidget(txtFilter, 1);
    bar->addWidget(cmdCopy);
    bar->addWidget(cmdSaveAs);
    bar->addWidget(cmdWatchPort);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(picDisplay);
    layout->addWidget(grdTraffic, 1);
    layout->addWidget(lblStatus);
    resize(digit * 110, fontMetrics().height() * 30);

    connect(cmdPause, &QPushButton::toggled, this, &TrafficWindow::setPaused);
    connect(cmdClear, &QPushButton::clicked, this, &TrafficWindow::clearRows);
    connect(txtFilter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    connect(cmdCopy, &QPushButton::clicked, this, &TrafficWindow::copySelection);
    connect(cmdSaveAs, &QPushButton::clicked, this, &TrafficWindow::saveAs);
    connect(cmdWatchPort, &QPushButton::clicked, this, &TrafficWindow::watchPort);
    connect(&m_watch, &platform::PassThrough::ended, this, &TrafficWindow::watchEnded);
    auto *copy = new QShortcut(QKeySequence::Copy, grdTraffic, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &TrafficWindow::copySelection);

    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &TrafficWindow::flush);
    m_timer.start();

    // What was recorded before the window opened is shown at once.
    flush();
    updateStatus();
}

TrafficWindow::~TrafficWindow()
{
    if (g_window == this)
        g_window = nullptr;
}

void TrafficWindow::take(std::vector<TrafficEvent> &&events)
{
    // The picture takes each event once, as it comes, paused table or not.
    if (picDisplay && !events.empty())
        picDisplay->feed(events);
    for (TrafficEvent &e : events)
        m_incoming.push_back(std::move(e));
}

void TrafficWindow::flush()
{
    const qint64 now = platform::TapSerialPort::nowUs();
    qint64 dropped = 0;
    take(m_history.take(now, &dropped));
    m_watchRecorder.expire(now);
    m_heldDropped += dropped;
    if (m_incoming.empty()) {
        if (dropped > 0)
            updateStatus();
        return;
    }
    if (m_paused) {
        // Held back, within the same cap as the table.
        for (TrafficEvent &e : m_incoming)
            m_held.push_back(std::move(e));
        m_incoming.clear();
        if (m_held.size() > size_t(m_model.cap())) {
            const size_t drop = m_held.size() - size_t(m_model.cap());
            m_held.erase(m_held.begin(), m_held.begin() + qsizetype(drop));
            m_heldDropped += qint64(drop);
        }
        updateStatus();
        return;
    }
    // Follow the newest row unless the user has scrolled up to read.
    QScrollBar *bar = grdTraffic->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    m_model.append(std::move(m_incoming));
    m_incoming.clear();
    if (follow)
        grdTraffic->scrollToBottom();
    updateStatus();
}

void TrafficWindow::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    flush();
    m_paused = paused;
    cmdPause->setChecked(paused);
    // A toggle is named by what its next press does.
    cmdPause->setAccessibleName(paused ? tr("Resume the table") : tr("Pause the table"));
    if (!paused) {
        m_incoming = std::move(m_held);
        m_held.clear();
        flush();
    }
    updateStatus();
}

void TrafficWindow::clearRows()
{
    m_history.clear();
    m_incoming.clear();
    m_held.clear();
    m_heldDropped = 0;
    m_model.clear();
    updateStatus();
}

void TrafficWindow::copySelection()
{
    QModelIndexList rows = grdTraffic->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QString text;
    for (const QModelIndex &r : rows)
        text += m_model.line(m_proxy->mapToSource(r).row()) + QLatin1Char('\n');
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

bool TrafficWindow::saveTo(const QString &path, QString *error)
{
    QString text;
    for (int r = 0; r < m_proxy->rowCount(); ++r)
        text += m_model.line(m_proxy->mapToSource(m_proxy->index(r, 0)).row()) + QLatin1Char('\n');
    platform::TextFile file;
    if (!file.open(path, platform::TextFile::Mode::Replace) || !file.write(text.toUtf8())) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void TrafficWindow::saveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save As"), QString(),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        platform::dialogs().messageBox(tr("The traffic could not be saved: %1").arg(error), windowTitle(),
                                       platform::MsgIcon::Exclamation);
}

void TrafficWindow::watchPort()
{
    if (m_watch.running()) {
        m_watch.stop();
        flush();
        updateWatchButton();
        return;
    }
    frmWatchPort dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool started = m_watch.start(dialog.setup());
    QApplication::restoreOverrideCursor();
    updateWatchButton();
    if (!started)
        platform::dialogs().messageBox(tr("The port cannot be watched: %1").arg(m_watch.error()),
                                       windowTitle(), platform::MsgIcon::Exclamation);
}

void TrafficWindow::watchEnded()
{
    flush();
    updateWatchButton();
    platform::dialogs().messageBox(tr("Watching stopped: %1").arg(m_watch.error()), windowTitle(),
                                   platform::MsgIcon::Exclamation);
}

void TrafficWindow::updateWatchButton()
{
    const bool on = m_watch.running();
    cmdWatchPort->setText(on ? tr("Stop &Watching") : tr("&Watch a Port..."));
    cmdWatchPort->setToolTip(on ? tr("Take %1 away from the program and let the display's port go")
                                      .arg(m_watch.comName())
                                : tr("Offer a COM name to the program that drives a display and show "
                                     "what passes"));
    if (lblStatus)
        updateStatus();
}

void TrafficWindow::closeEvent(QCloseEvent *event)
{
    if (m_watch.running()) {
        m_watch.stop();
        flush();
        updateWatchButton();
    }
    QWidget::closeEvent(event);
}

QString TrafficWindow::statusText() const
{
    QString s = tr("%1 events").arg(m_model.rowCount());
    const qint64 dropped = m_model.dropped() + m_heldDropped;
    if (dropped > 0)
        s += tr(", %1 oldest dropped").arg(dropped);
    if (m_paused)
        s += tr("; paused, %1 waiting").arg(m_held.size());
    if (m_watch.running())
        s += tr("; watching %1 offered as %2").arg(m_watch.realPort(), m_watch.comName());
    return s;
}

void TrafficWindow::updateStatus()
{
    lblStatus->setText(statusText());
}

} // namespace monitor
