#include "CVT100.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr std::int16_t kESC = 27;
constexpr std::int16_t kBS = 8;
constexpr std::int16_t kLF = 10;
constexpr std::int16_t kCR = 13;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

CVT100::CVT100()
{
    // Sized here: m_Screen is declared before the counts it depends on.
    m_Screen.assign(std::size_t(m_iRows) * std::size_t(m_iCols), 0);
}

bool CVT100::SetDisplaySize(std::int16_t i_iRow, std::int16_t i_iCol)
{
    if (i_iRow < 1 || i_iCol < 1)
        return false;
    m_iRows = i_iRow;
    m_iCols = i_iCol;
    m_Screen.assign(std::size_t(m_iRows) * std::size_t(m_iCols), 0);
    m_iCursorY = std::min<std::int16_t>(m_iCursorY, std::int16_t(m_iRows - 1));
    m_iCursorX = std::min<std::int16_t>(m_iCursorX, std::int16_t(m_iCols - 1));
    return true;
}

void CVT100::setKey(std::int16_t i_iAsc)
{
    if (m_blnEscape) {
        ProcessEscapeByte(i_iAsc);
        return;
    }
    switch (i_iAsc) {
    case kESC:
        m_blnEscape = true;
        m_sEscape.clear();
        return;
    case kBS: // no erase, no move to the previous row
        if (m_iCursorX > 0)
            --m_iCursorX;
        return;
    case kLF:
        lineFeed();
        return;
    case kCR:
        m_iCursorX = 0;
        return;
    default: // every other code, controls and 0 included, is a character
        m_Screen[cellIndex(m_iCursorY, m_iCursorX)] = i_iAsc;
        advanceAfterWrite();
        return;
    }
}

void CVT100::GetCursorPosition(std::int16_t &o_iCursorY, std::int16_t &o_iCursorX) const
{
    o_iCursorY = std::int16_t(m_iCursorY + 1);
    o_iCursorX = std::int16_t(m_iCursorX + 1);
}

void CVT100::GetData(std::vector<std::int16_t> &o_iData) const
{
    if (o_iData.size() < m_Screen.size())
        o_iData.resize(m_Screen.size());
    std::copy(m_Screen.begin(), m_Screen.end(), o_iData.begin());
}

void CVT100::SetData(const std::uint8_t *i_bData, std::size_t size)
{
    if (!i_bData)
        return;
    const std::size_t n = std::min(size, m_Screen.size());
    for (std::size_t i = 0; i < n; ++i)
        m_Screen[i] = std::int16_t(i_bData[i]);
}

// ------------------------------------------------------------------- cells

void CVT100::ScrollUp()
{
    const std::size_t cols = std::size_t(m_iCols);
    std::copy(m_Screen.begin() + std::ptrdiff_t(cols), m_Screen.end(), m_Screen.begin());
    std::fill(m_Screen.end() - std::ptrdiff_t(cols), m_Screen.end(), std::int16_t(0));
}

void CVT100::ClearScreen()
{
    std::fill(m_Screen.begin(), m_Screen.end(), std::int16_t(0));
}

void CVT100::ClearToEndOfLine()
{
    const auto first = m_Screen.begin() + std::ptrdiff_t(cellIndex(m_iCursorY, m_iCursorX));
    const auto end = m_Screen.begin() + std::ptrdiff_t(cellIndex(m_iCursorY, 0) + std::size_t(m_iCols));
    std::fill(first, end, std::int16_t(0));
}

// ------------------------------------------------------------------ cursor

void CVT100::lineFeed()
{
    if (m_iCursorY < m_iRows - 1)
        ++m_iCursorY;
    else
        ScrollUp();
}

void CVT100::advanceAfterWrite()
{
    if (m_iCursorX < m_iCols - 1) {
        ++m_iCursorX;
        return;
    }
    m_iCursorX = 0;
    lineFeed();
}

// Parameters are 1-based; anything below 1 (0 and empty included) means the
// first row or column, anything past the grid the last one.
void CVT100::moveCursorTo(double row, double col)
{
    // The 0-based place is the parameter minus 1, taken to the nearest whole
    // number with halves going to the even neighbour.
    const auto limit = [](double v, std::int16_t count) {
        const double r = std::nearbyint(v - 1);
        if (!(r >= 0))
            return std::int16_t(0);
        if (r >= double(count - 1))
            return std::int16_t(count - 1);
        return std::int16_t(r);
    };
    m_iCursorY = limit(row, m_iRows);
    m_iCursorX = limit(col, m_iCols);
}

// ------------------------------------------------------------------ parser

void CVT100::endEscape()
{
    m_blnEscape = false;
    m_sEscape.clear();
}

void CVT100::ProcessEscapeByte(std::int16_t i_iAsc)
{
    m_sEscape.push_back(char(std::uint8_t(i_iAsc & 0xFF)));
    const EscapeAction action = classifyEscape(m_sEscape);
    switch (action.kind) {
    case EscapeAction::Open:
        if (m_sEscape.size() > kMaxEscapeLength)
            endEscape();
        return;
    case EscapeAction::Drop:
        break;
    case EscapeAction::ClearScreen:
        ClearScreen();
        break;
    case EscapeAction::ClearToEndOfLine:
        ClearToEndOfLine();
        break;
    case EscapeAction::CursorTo:
        moveCursorTo(action.row, action.col);
        break;
    }
    endEscape();
}

CVT100::EscapeAction CVT100::classifyEscape(const std::string &text)
{
    EscapeAction a;
    a.kind = EscapeAction::Drop;
    if (text.empty())
        return a;

    if (text[0] == '[') {
        if (text.size() == 3) {
            if (text == "[2J") { // ESC [2J: erase the whole screen
                a.kind = EscapeAction::ClearScreen;
                return a;
            }
            if (text == "[0K") { // ESC [0K: erase from the cursor to the end of its row
                a.kind = EscapeAction::ClearToEndOfLine;
                return a;
            }
            if (text == "[0c") // ESC [0c: identification request, the display answers it
                return a;
        }
        const std::size_t semi = text.find(';');
        double value = 0;
        if (semi == std::string::npos) {
            // ESC [ digits...: may still become ESC [ Py ; Px H
            std::string param = text.substr(1);
            if (param.empty())
                param = "0";
            if (parseNumber(param, value))
                a.kind = EscapeAction::Open;
            return a;
        }
        // ESC [ Py ; Px H: cursor position
        const bool endsWithH = text.back() == 'H';
        std::string first = text.substr(1, semi - 1);
        std::string second = text.substr(semi + 1);
        if (endsWithH)
            second.pop_back();
        if (first.empty())
            first = "0";
        if (second.empty())
            second = "0";
        double row = 0;
        double col = 0;
        if (!parseNumber(first, row) || !parseNumber(second, col))
            return a;
        if (!endsWithH) {
            a.kind = EscapeAction::Open;
            return a;
        }
        a.kind = EscapeAction::CursorTo;
        a.row = row;
        a.col = col;
        return a;
    }

    if (text[0] == 'R') { // ESC R n m: consumed without effect
        if (text.size() < 3)
            a.kind = EscapeAction::Open;
        return a;
    }

    // ESC and any other byte: that byte is swallowed.
    return a;
}

bool CVT100::parseNumber(const std::string &text, double &value)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;

    std::size_t i = b;
    bool negative = false;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    std::string intDigits;
    std::string fracDigits;
    bool point = false;
    for (; i < e; ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            (point ? fracDigits : intDigits).push_back(c);
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (intDigits.empty() && fracDigits.empty())
        return false;

    std::string expDigits;
    bool expNegative = false;
    if (i < e && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            ++i;
        }
        for (; i < e && isDigit(text[i]); ++i)
            expDigits.push_back(text[i]);
        if (expDigits.empty())
            return false;
    }
    if (i != e)
        return false;

    // Normalised so that the conversion sees one fixed shape, independent of
    // the locale's decimal separator.
    const std::string normal = (intDigits.empty() ? std::string("0") : intDigits) + '.'
        + (fracDigits.empty() ? std::string("0") : fracDigits) + 'e' + (expNegative ? "-" : "")
        + (expDigits.empty() ? std::string("0") : expDigits);
    double v = 0;
    const auto res = std::from_chars(normal.data(), normal.data() + normal.size(), v);
    if (res.ec == std::errc::result_out_of_range)
        v = expNegative ? 0.0 : std::numeric_limits<double>::infinity();
    else if (res.ec != std::errc())
        return false;
    value = negative ? -v : v;
    return true;
}
