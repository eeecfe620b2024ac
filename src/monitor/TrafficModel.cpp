#include "TrafficModel.h"

#include <QFontDatabase>

namespace monitor {

TrafficModel::TrafficModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void TrafficModel::append(std::vector<TrafficEvent> &&events)
{
    if (events.empty())
        return;
    if (m_baseUs < 0)
        m_baseUs = events.front().timeUs;
    // A batch larger than the cap keeps only its newest events.
    size_t first = 0;
    if (events.size() > size_t(m_cap)) {
        first = events.size() - size_t(m_cap);
        m_dropped += qint64(first);
    }
    const size_t adding = events.size() - first;
    const size_t room = size_t(m_cap) - std::min(m_rows.size(), size_t(m_cap));
    if (adding > room) {
        const size_t drop = std::min(m_rows.size(), adding - room);
        beginRemoveRows(QModelIndex(), 0, int(drop) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + qsizetype(drop));
        endRemoveRows();
        m_dropped += qint64(drop);
    }
    const int at = int(m_rows.size());
    beginInsertRows(QModelIndex(), at, at + int(adding) - 1);
    for (size_t i = first; i < events.size(); ++i)
        m_rows.push_back(std::move(events[i]));
    endInsertRows();
}

void TrafficModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_dropped = 0;
    endResetModel();
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return QVariant();
    const TrafficEvent &e = event(index.row());
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() >= Bytes)) {
        switch (index.column()) {
        case Time: return formatSeconds(e.timeUs - m_baseUs);
        case Dir: return QString(QLatin1Char(char(e.direction)));
        case Bytes: return hexBytes(e.bytes);
        case Meaning: return e.meaning;
        }
    }
    if (role == Qt::FontRole && index.column() != Meaning)
        return QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (role == Qt::TextAlignmentRole && index.column() == Time)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Time: return tr("Time");
    case Dir: return tr("Dir");
    case Bytes: return tr("Bytes");
    case Meaning: return tr("Meaning");
    }
    return QVariant();
}

} // namespace monitor
