// libFuzzer target for the traffic decoder: arbitrary chunks in both
// directions at arbitrary times, with expiries, under AddressSanitizer and
// UBSan. Afterwards every byte must sit in exactly one event, in order, and the
// events of one direction must keep the order of time.

#include "TrafficDecoder.h"

#include <cstdio>
#include <cstdlib>

using monitor::Direction;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace

// AddressSanitizer keeps freed blocks in a quarantine (256 MB by default) to
// catch late uses, and records the stack of every allocation. The decoder's
// events are many small strings, so with redzones the quarantine alone made a
// run grow to a gigabyte; and the stacks, unwound through Qt's code that keeps
// no frame pointers, came out different each time and piled up in the
// sanitizer's stack store. One input frees a few kilobytes: 16 MB of quarantine
// still covers hundreds of inputs, and two frames of allocation stack keep that
// store small. For the full stacks of a finding, run its input again with
// ASAN_OPTIONS=malloc_context_size=30.
extern "C" const char *__asan_default_options()
{
    return "quarantine_size_mb=16:malloc_context_size=2";
}

// Input: records of one header byte and its chunk. Header bits: 7 direction,
// 6 an expiry before the chunk, 5-4 the pause (none, 1 ms, 150 ms, 3 s), 3-0 the
// chunk length minus one (1 to 16 bytes).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const qint64 pauses[] = {0, 1000, 150000, 3000000};
    monitor::TrafficDecoder d;
    QByteArray sent[2];
    qint64 t = 0;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t h = data[i++];
        const int dir = h >> 7;
        t += pauses[(h >> 4) & 3];
        if (h & 0x40)
            d.expire(t);
        const std::size_t n = std::min<std::size_t>((h & 0x0F) + 1, size - i);
        const QByteArray chunk(reinterpret_cast<const char *>(data + i), int(n));
        i += n;
        d.feed(dir ? Direction::FromDisplay : Direction::ToDisplay, t, chunk);
        sent[dir] += chunk;
    }
    d.finish();

    QByteArray got[2];
    qint64 last[2] = {-1, -1};
    for (const monitor::TrafficEvent &e : d.take()) {
        if (e.direction == Direction::Port)
            fail("port event from bytes");
        const int dir = e.direction == Direction::FromDisplay ? 1 : 0;
        if (e.bytes.isEmpty())
            fail("event without bytes");
        if (e.meaning.isEmpty())
            fail("event without a meaning");
        if (e.timeUs < last[dir])
            fail("events out of time order");
        last[dir] = e.timeUs;
        got[dir] += e.bytes;
        (void)monitor::formatLine(e, 0);
    }
    if (got[0] != sent[0] || got[1] != sent[1])
        fail("bytes lost, doubled or reordered");
    return 0;
}
