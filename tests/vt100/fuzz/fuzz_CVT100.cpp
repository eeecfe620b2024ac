// libFuzzer target for the screen model: arbitrary bytes through setKey, mixed
// with resizes, loads and reads, under AddressSanitizer and UBSan. After every
// step the cursor must lie inside the grid and an open sequence within its bound.

#include "CVT100.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// A 0xFF byte followed by one of these is an operation rather than a key.
enum Op : std::uint8_t {
    Resize = 0,     // rows, cols (signed, so refused sizes are tried too)
    Load = 1,       // n, then n bytes for SetData
    WideKey = 2,    // hi, lo: a 16-bit key value
    Read = 3,       // n: GetData into a container of n elements
};

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void check(const CVT100 &m)
{
    std::int16_t y = 0;
    std::int16_t x = 0;
    m.GetCursorPosition(y, x);
    if (y < 1 || y > m.rows() || x < 1 || x > m.cols())
        fail("cursor outside the grid");
    if (m.escapeText().size() > CVT100::kMaxEscapeLength)
        fail("open sequence longer than its bound");
    if (!m.escapeOpen() && !m.escapeText().empty())
        fail("closed sequence keeps text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    CVT100 m;
    std::size_t i = 0;
    auto next = [&](std::uint8_t &out) {
        if (i >= size)
            return false;
        out = data[i++];
        return true;
    };

    std::uint8_t b = 0;
    while (next(b)) {
        std::uint8_t op = 0;
        if (b != 0xFF || i >= size || data[i] > Read) {
            m.setKey(std::int16_t(b));
            check(m);
            continue;
        }
        next(op);
        std::uint8_t p = 0;
        std::uint8_t q = 0;
        switch (op) {
        case Resize: {
            if (!next(p) || !next(q))
                return 0;
            const std::int16_t rows = std::int16_t(int(p % 12) - 2);
            const std::int16_t cols = std::int16_t(int(q % 90) - 2);
            const bool ok = m.SetDisplaySize(rows, cols);
            if (ok != (rows >= 1 && cols >= 1))
                fail("resize accepted or refused wrongly");
            if (ok && (m.rows() != rows || m.cols() != cols))
                fail("resize did not take");
            break;
        }
        case Load: {
            if (!next(p))
                return 0;
            const std::size_t n = std::min<std::size_t>(p, size - i);
            m.SetData(data + i, n);
            i += n;
            break;
        }
        case WideKey:
            if (!next(p) || !next(q))
                return 0;
            m.setKey(std::int16_t(std::uint16_t(p << 8 | q)));
            break;
        case Read: {
            if (!next(p))
                return 0;
            std::vector<std::int16_t> cells(p, 7);
            m.GetData(cells);
            const std::size_t grid = std::size_t(m.rows()) * std::size_t(m.cols());
            if (cells.size() != std::max<std::size_t>(p, grid))
                fail("read container has the wrong size");
            for (std::size_t k = grid; k < cells.size(); ++k) {
                if (cells[k] != 7)
                    fail("read wrote past the grid");
            }
            break;
        }
        }
        check(m);
    }
    return 0;
}
