#include "Screen.h"

#include "CharacterSet.h"

#include <algorithm>

namespace kdxdisplay {

QString writeModeName(WriteMode mode)
{
    switch (mode) {
    case WriteMode::OverWrite: return QStringLiteral("over-write");
    case WriteMode::VerticalScroll: return QStringLiteral("vertical-scroll");
    case WriteMode::HorizontalScroll: return QStringLiteral("horizontal-scroll");
    }
    return QString();
}

Screen::Screen(int rows, int cols)
    : m_rows(std::max(1, rows))
    , m_cols(std::max(1, cols))
    , m_cells(m_rows * m_cols)
{
}

void Screen::setCells(const QList<Cell> &cells)
{
    for (int i = 0; i < cellCount() && i < cells.size(); ++i)
        m_cells[i] = cells[i];
}

void Screen::put(const Cell &c, WriteMode mode)
{
    const int last = m_cols - 1;
    if (m_pendingWrap) {
        m_pendingWrap = false;
        if (mode == WriteMode::HorizontalScroll) {
            Cell *line = m_cells.data() + m_row * m_cols;
            std::move(line + 1, line + m_cols, line);
            line[last] = c;
            m_pendingWrap = true;
            return;
        }
        // Only the vertical-scroll mode defers the wrap at the bottom-right cell.
        scrollUp();
        m_row = m_rows - 1;
        m_col = 0;
    }
    m_cells[m_row * m_cols + m_col] = c;
    if (m_col < last) {
        ++m_col;
        return;
    }
    switch (mode) {
    case WriteMode::OverWrite:
        m_col = 0;
        m_row = m_row + 1 < m_rows ? m_row + 1 : 0;
        break;
    case WriteMode::VerticalScroll:
        if (m_row + 1 < m_rows) {
            ++m_row;
            m_col = 0;
        } else {
            m_pendingWrap = true;
        }
        break;
    case WriteMode::HorizontalScroll:
        m_pendingWrap = true;
        break;
    }
}

void Screen::putVt100(const Cell &c)
{
    m_pendingWrap = false;
    m_cells[m_row * m_cols + m_col] = c;
    if (m_col + 1 < m_cols) {
        ++m_col;
        return;
    }
    m_col = 0;
    if (m_row + 1 < m_rows)
        ++m_row;
    else
        scrollUp();
}

void Screen::setCursor(int row, int col)
{
    m_row = std::clamp(row, 0, m_rows - 1);
    m_col = std::clamp(col, 0, m_cols - 1);
    m_pendingWrap = false;
}

void Screen::left(WriteMode mode)
{
    m_pendingWrap = false;
    if (m_col > 0) {
        --m_col;
    } else if (m_row > 0) {
        --m_row;
        m_col = m_cols - 1;
    } else if (mode == WriteMode::OverWrite) {
        m_row = m_rows - 1;
        m_col = m_cols - 1;
    }
}

void Screen::right(WriteMode mode)
{
    m_pendingWrap = false;
    if (m_col + 1 < m_cols) {
        ++m_col;
    } else if (m_row + 1 < m_rows) {
        ++m_row;
        m_col = 0;
    } else if (mode == WriteMode::OverWrite) {
        m_row = 0;
        m_col = 0;
    } else if (mode == WriteMode::VerticalScroll) {
        scrollUp();
        m_col = 0;
    }
}

void Screen::up(WriteMode mode)
{
    m_pendingWrap = false;
    if (m_row > 0)
        --m_row;
    else if (mode == WriteMode::OverWrite)
        m_row = m_rows - 1;
}

void Screen::down(WriteMode mode)
{
    m_pendingWrap = false;
    if (m_row + 1 < m_rows)
        ++m_row;
    else if (mode == WriteMode::VerticalScroll)
        scrollUp();
    else
        m_row = 0;
}

void Screen::clear()
{
    std::fill(m_cells.begin(), m_cells.end(), Cell());
}

void Screen::clearLine(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    std::fill(m_cells.begin() + row * m_cols, m_cells.begin() + (row + 1) * m_cols, Cell());
}

void Screen::clearToEndOfLine()
{
    std::fill(m_cells.begin() + m_row * m_cols + m_col, m_cells.begin() + (m_row + 1) * m_cols, Cell());
}

void Screen::clearRange(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, cellCount() - 1);
    for (int i = first; i <= last; ++i)
        m_cells[i] = Cell();
}

void Screen::scrollUp()
{
    std::move(m_cells.begin() + m_cols, m_cells.end(), m_cells.begin());
    clearLine(m_rows - 1);
}

QString Screen::lineText(int row) const
{
    QString s;
    for (int c = 0; c < m_cols; ++c)
        s += glyphString(cell(row, c).glyph);
    return s;
}

QString Screen::text() const
{
    QStringList lines;
    for (int r = 0; r < m_rows; ++r)
        lines << lineText(r);
    return lines.join(QLatin1Char('\n'));
}

QByteArray Screen::codes() const
{
    QByteArray out;
    out.reserve(cellCount());
    for (const Cell &c : m_cells)
        out.append(char(c.code));
    return out;
}

} // namespace kdxdisplay
