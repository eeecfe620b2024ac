#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An in-memory copy of what a display in VT100 mode shows: a grid of character
// cells, a cursor and the escape sequence being received. It does no input or
// output; the test window feeds it the bytes it sends and paints what it holds.
//
// Three parts are kept apart: the cells (m_Screen and the operations that only
// touch cells), the cursor (moves that keep it inside the grid) and the byte
// parser (m_blnEscape, m_sEscape and the classification of an open sequence).
//
// Coordinates seen from outside are 1-based; inside they are 0-based. Cells are
// exchanged as a flat list in row order: element r * cols + c is row r, column c.
//
// Depends on the C++ standard library only, so that it builds alone (fuzzer).
class CVT100
{
public:
    // An open sequence that grows past this many characters is dropped, so an
    // endless run of digits cannot grow it without bound.
    static constexpr std::size_t kMaxEscapeLength = 16;

    CVT100();

    // Re-creates the grid empty. Refused (false, nothing changed) below 1 row or
    // 1 column. The cursor stays where it is unless it lies outside the new grid;
    // then it moves to the nearest cell inside. The escape state is kept.
    bool SetDisplaySize(std::int16_t i_iRow, std::int16_t i_iCol);

    // Applies one typed or sent byte.
    void setKey(std::int16_t i_iAsc);

    // 1-based row and column.
    void GetCursorPosition(std::int16_t &o_iCursorY, std::int16_t &o_iCursorX) const;

    // Copies every cell in row order from element 0 on. A container smaller than
    // rows * columns is grown to that size; a larger one keeps its extra elements
    // untouched. Nothing is ever written past the container's end.
    void GetData(std::vector<std::int16_t> &o_iData) const;

    // Loads cells in row order from element 0 on. A cell with no element keeps
    // its value; elements beyond rows * columns are ignored. Cursor and escape
    // state are kept.
    void SetData(const std::uint8_t *i_bData, std::size_t size);
    void SetData(const std::vector<std::uint8_t> &i_bData) { SetData(i_bData.data(), i_bData.size()); }

    std::int16_t rows() const { return m_iRows; }
    std::int16_t cols() const { return m_iCols; }
    bool escapeOpen() const { return m_blnEscape; }
    const std::string &escapeText() const { return m_sEscape; }

    // What an open escape sequence amounts to after its latest byte. Kept public
    // and free of state so the parser can be checked on its own.
    struct EscapeAction
    {
        enum Kind {
            Open,           // keep collecting
            Drop,           // end without effect
            ClearScreen,    // ESC [2J
            ClearToEndOfLine, // ESC [0K
            CursorTo,       // ESC [ Py ; Px H
        };
        Kind kind = Drop;
        // For CursorTo: the parameters as read, before rounding and limiting.
        double row = 0;
        double col = 0;
    };
    // text: the characters received since the ESC, the latest included.
    static EscapeAction classifyEscape(const std::string &text);

    // Whether text reads as a decimal number: optional blanks around it, an
    // optional sign, digits with at most one decimal point (at least one digit),
    // an optional exponent. value receives the number when it does.
    static bool parseNumber(const std::string &text, double &value);

private:
    // Cells.
    std::size_t cellIndex(int row, int col) const { return std::size_t(row) * std::size_t(m_iCols) + std::size_t(col); }
    void ScrollUp();
    void ClearScreen();
    void ClearToEndOfLine();

    // Cursor.
    void lineFeed();
    void advanceAfterWrite();
    void moveCursorTo(double row, double col);

    // Parser.
    void ProcessEscapeByte(std::int16_t i_iAsc);
    void endEscape();

    std::vector<std::int16_t> m_Screen; // m_iRows * m_iCols cells, row order
    std::int16_t m_iCursorX = 0;
    std::int16_t m_iCursorY = 0;
    std::int16_t m_iRows = 4;
    std::int16_t m_iCols = 20;
    bool m_blnEscape = false;
    std::string m_sEscape;
};
