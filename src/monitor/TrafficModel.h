#pragma once

#include "TrafficEvent.h"
#include "TrafficHistory.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

namespace monitor {

// The rows of the Traffic window: one event each, the oldest dropped beyond the
// cap and counted.
class TrafficModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Dir, Bytes, Meaning, ColumnCount };
    static constexpr int kDefaultCap = TrafficHistory::kDefaultCap;

    explicit TrafficModel(QObject *parent = nullptr);

    void setCap(int cap) { m_cap = cap; }
    int cap() const { return m_cap; }
    void append(std::vector<TrafficEvent> &&events);
    void clear();

    const TrafficEvent &event(int row) const { return m_rows[size_t(row)]; }
    qint64 dropped() const { return m_dropped; }
    // Times are shown in seconds from the first event the window received.
    qint64 baseUs() const { return m_baseUs; }
    QString line(int row) const { return formatLine(event(row), m_baseUs); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::deque<TrafficEvent> m_rows;
    int m_cap = kDefaultCap;
    qint64 m_dropped = 0;
    qint64 m_baseUs = -1;
};

} // namespace monitor
