#pragma once

#include <QList>
#include <QString>

#include <cstdint>

namespace kdxdisplay {

// What happens when text reaches the end of a line or of the screen.
enum class WriteMode {
    OverWrite,        // wrap to the next line, from the last cell back to home
    VerticalScroll,   // wrap to the next line, the screen scrolls up at the bottom
    HorizontalScroll, // the cursor's line shifts left at its end
};

QString writeModeName(WriteMode mode);

// The character cells of the display and its cursor. A cell keeps the code it
// was given and the glyph that code had under the character set of that moment.
class Screen
{
public:
    struct Cell
    {
        std::uint8_t code = 0x20;
        char32_t glyph = U' ';
        bool reverse = false;
    };

    Screen(int rows = 2, int cols = 20);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    int cellCount() const { return m_rows * m_cols; }
    int cursorRow() const { return m_row; }
    int cursorCol() const { return m_col; }
    const Cell &cell(int row, int col) const { return m_cells[row * m_cols + col]; }
    const QList<Cell> &cells() const { return m_cells; }
    void setCells(const QList<Cell> &cells);

    // Writes at the cursor and advances it by the rules of the mode. The VT100
    // flavour wraps at once and scrolls when it leaves the last cell.
    void put(const Cell &c, WriteMode mode);
    void putVt100(const Cell &c);

    void setCursor(int row, int col);
    void left(WriteMode mode);
    void right(WriteMode mode);
    void up(WriteMode mode);
    void down(WriteMode mode);
    void home() { setCursor(0, 0); }
    void lineStart() { setCursor(m_row, 0); }

    void clear();
    void clearLine(int row);
    void clearToEndOfLine();
    // Cells first..last in row order, 0-based, both included.
    void clearRange(int first, int last);
    void scrollUp();

    QString lineText(int row) const;
    QString text() const;
    QByteArray codes() const;

private:
    int m_rows;
    int m_cols;
    int m_row = 0;
    int m_col = 0;
    // Set after a write into the last cell that has not moved the cursor yet.
    bool m_pendingWrap = false;
    QList<Cell> m_cells;
};

} // namespace kdxdisplay
