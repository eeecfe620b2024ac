// Decodes 1 MiB of a recorded line: a session of native commands with their
// answers, EPSON and VT100 sequences, text and the lamp test, then a firmware
// update in CRC blocks (one refused and sent again now and then), as the tap
// delivers it in writes and reads. Reports the decode time; the target is
// under 100 ms.
// Run by hand: build/bin/monitor_bench [runs]

#include "TrafficDecoder.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using monitor::Direction;

namespace {

struct Chunk
{
    Direction direction;
    qint64 timeUs;
    QByteArray bytes;
};

quint16 crc16(const QByteArray &d)
{
    quint16 crc = 0;
    for (const char c : d) {
        crc ^= quint16(quint8(c) << 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

std::vector<Chunk> recording(qint64 target)
{
    std::vector<Chunk> out;
    qint64 t = 0;
    qint64 total = 0;
    auto put = [&](Direction d, const QByteArray &b, qint64 afterUs) {
        t += afterUs;
        out.push_back({d, t, b});
        total += b.size();
    };
    const auto W = Direction::ToDisplay;
    const auto R = Direction::FromDisplay;
    const QByteArray ack(1, 0x06);

    // The commands a technician clicks through.
    for (int round = 0; round < 40; ++round) {
        put(W, QByteArray("\x04\x01\x42\x30\x4E\x17", 6), 2000);
        put(R, ack, 3000);
        put(W, QByteArray("\x04\x01\x50\x44\x17", 5), 50000);
        put(R, ack, 3000);
        put(W, QByteArray("\x04\x01\x56\x17", 4), 50000);
        put(R, QByteArray("?1.23"), 400000);
        put(W, QByteArray("\x04\x01\x54\x17", 4), 50000);
        put(R, QByteArray("\x01Hello display\x17"), 700000);
        put(W, QByteArray("\x1b\x5a\x31\x00", 4), 50000);
        put(W, QByteArray("\x1f\x24\x14\x02", 4), 50000);
        put(W, QByteArray("\x1f\x45\x0f", 3), 50000);
        put(W, QByteArray("Gr\x81\xe1" "e aus dem Test"), 50000);
        put(W, QByteArray(80, char(0xB2)), 50000);
        put(W, QByteArray("\x1b[2J", 4), 50000);
        put(W, QByteArray("\x1b[0c", 4), 50000);
        put(R, QByteArray("\x1b[?KDX420;1.23;00;4;20c"), 200000);
    }

    // The firmware update fills the rest.
    put(W, QByteArray("\x1bLoad"), 50000);
    put(R, QByteArray(">"), 500000);
    put(W, QByteArray("XA\r"), 1000);
    put(R, QByteArray(">"), 500000);
    put(W, QByteArray("PX\r\n"), 1000);
    put(R, QByteArray("C"), 1000000);
    for (int n = 1; total < target; ++n) {
        QByteArray data(128, '\0');
        for (int i = 0; i < 128; ++i)
            data[i] = char((n * 131 + i * 17) & 0xFF);
        const quint16 crc = crc16(data);
        QByteArray header(3, '\0');
        header[0] = 0x01;
        header[1] = char(n & 0xFF);
        header[2] = char(255 - (n & 0xFF));
        QByteArray check(2, '\0');
        check[0] = char(crc >> 8);
        check[1] = char(crc & 0xFF);
        const int sends = n % 97 == 0 ? 2 : 1;
        for (int s = 0; s < sends; ++s) {
            put(W, header, 120000);
            put(W, s + 1 < sends ? QByteArray(128, 'x') : data, 10);
            put(W, check, 10);
            put(R, QByteArray(1, s + 1 < sends ? 0x15 : 0x06), 70000);
        }
    }
    put(W, QByteArray(1, 0x04), 100000);
    put(R, ack, 500000);
    put(W, QByteArray(1, 0x1b), 100000);
    put(W, QByteArray("R\r"), 100000);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const std::vector<Chunk> rec = recording(1 << 20);
    qint64 bytes = 0;
    for (const Chunk &c : rec)
        bytes += c.bytes.size();

    std::vector<double> ms;
    size_t events = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        monitor::TrafficDecoder d;
        for (const Chunk &c : rec)
            d.feed(c.direction, c.timeUs, c.bytes);
        d.finish();
        events = d.take().size();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("decoded %.2f MiB in %zu chunks to %zu events: median %.1f ms, best %.1f ms, worst %.1f ms "
                "(target under 100 ms)\n",
                double(bytes) / (1 << 20), rec.size(), events, ms[ms.size() / 2], ms.front(), ms.back());
    return ms[ms.size() / 2] < 100.0 ? 0 : 1;
}
