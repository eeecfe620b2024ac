// The traffic decoder: bytes in both directions in, readable events out.

#include "TrafficDecoder.h"
#include "modKDX.h"

#include <QRandomGenerator>
#include <QtTest>

using monitor::Direction;
using monitor::TrafficDecoder;
using monitor::TrafficEvent;

namespace {

// "04 01 B2*3" -> 04 01 B2 B2 B2
QByteArray bytesOf(const QString &text)
{
    QByteArray out;
    for (const QString &tok : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = tok.split(QLatin1Char('*'));
        const char b = char(parts[0].toInt(nullptr, 16));
        out += QByteArray(parts.size() > 1 ? parts[1].toInt() : 1, b);
    }
    return out;
}

QString render(const TrafficEvent &e)
{
    return QString(QLatin1Char(char(e.direction))) + QLatin1Char(' ') + monitor::hexBytes(e.bytes) + QLatin1Char('|') + e.meaning;
}

// A script is one chunk per item, "> 04 01 ..." written by the host or
// "< 06" read from the display; "+250 " in front lets that many milliseconds
// pass first (1 ms otherwise).
QStringList decode(const QStringList &script, bool finish = true)
{
    TrafficDecoder d;
    qint64 t = 1000000;
    for (QString item : script) {
        qint64 step = 1000;
        if (item.startsWith(QLatin1Char('+'))) {
            const int space = item.indexOf(QLatin1Char(' '));
            step = item.mid(1, space - 1).toLongLong() * 1000;
            item = item.mid(space + 1);
        }
        t += step;
        const Direction dir = item.startsWith(QLatin1Char('>')) ? Direction::ToDisplay : Direction::FromDisplay;
        d.feed(dir, t, bytesOf(item.mid(2)));
    }
    if (finish)
        d.finish();
    QStringList out;
    for (const TrafficEvent &e : d.take())
        out << render(e);
    return out;
}

QString hexOf(const QByteArray &b)
{
    return monitor::hexBytes(b);
}

// An XModem block as the sender writes it, checked with the driver's own routines.
QByteArray block(int number, const QByteArray &data, bool crc)
{
    QByteArray b;
    b += char(0x01);
    b += char(number & 0xFF);
    b += char(255 - (number & 0xFF));
    b += data;
    if (crc) {
        const qint32 c = modKDX::CalcCRC16(data);
        b += char((c >> 8) & 0xFF);
        b += char(c & 0xFF);
    } else {
        b += char(modKDX::CalcCheckSum(data) & 0xFF);
    }
    return b;
}

QByteArray payload(int seed)
{
    QByteArray d(128, '\0');
    for (int i = 0; i < 128; ++i)
        d[i] = char((seed * 31 + i * 7) & 0xFF);
    return d;
}

} // namespace

class tst_TrafficDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void xmodemSession();
    void blockVerdicts_data();
    void blockVerdicts();
    void blockNumbersGoOn();
    void everyByteOnce();
    void expireClosesQuietRuns();
    void lineFormat();
};

void tst_TrafficDecoder::decode_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("events");

    // Native frames and their answers.
    QTest::newRow("baud 38400") << QStringList {"> 04 01 42 36 4E 17", "< 06"}
                                << QStringList {"> 04 01 42 36 4E 17|SetBaudRate 38400 N,8,1", "< 06|ACK"};
    QTest::newRow("baud 115200 e") << QStringList {"> 04 01 42 37 65 17"}
                                   << QStringList {"> 04 01 42 37 65 17|SetBaudRate 115200 E,8,1"};
    QTest::newRow("baud 9600 O,7,1") << QStringList {"> 04 01 42 31 4F 17"}
                                     << QStringList {"> 04 01 42 31 4F 17|SetBaudRate 9600 O,7,1"};
    QTest::newRow("international") << QStringList {"> 04 01 49 3A 17", "< 15"}
                                   << QStringList {"> 04 01 49 3A 17|SetInternationalCode 3A", "< 15|NAK"};
    QTest::newRow("save layer") << QStringList {"> 04 01 53 31 17"} << QStringList {"> 04 01 53 31 17|SaveMessage layer 1"};
    QTest::newRow("position") << QStringList {"> 04 01 50 44 17", "< 06 06"}
                              << QStringList {"> 04 01 50 44 17|SetPosition 20", "< 06|ACK", "< 06|ACK"};
    QTest::newRow("clear") << QStringList {"> 04 01 43 31 44 17"} << QStringList {"> 04 01 43 31 44 17|ClearDisplay 1..20"};
    QTest::newRow("power-up") << QStringList {"> 04 01 4F 31 17"}
                              << QStringList {"> 04 01 4F 31 17|DisplayShowSavedMessageAfterRebootMode Running"};
    QTest::newRow("demo") << QStringList {"> 04 01 44 34 33 17"}
                          << QStringList {"> 04 01 44 34 33 17|DisplayDemoMessage Layer 1 + 2, Mode 3"};
    QTest::newRow("version") << QStringList {"> 04 01 56 17", "+400 < 3F 31 2E 32 33"}
                             << QStringList {"> 04 01 56 17|GetVersion", "< 3F 31 2E 32 33|version \"?1.23\""};
    QTest::newRow("version over two reads, closed by the next command")
        << QStringList {"> 04 01 56 17", "< 52 31", "< 2E 30", "> 1B 47"}
        << QStringList {"> 04 01 56 17|GetVersion", "< 52 31 2E 30|version \"R1.0\"", "> 1B 47|PrinterOn"};
    QTest::newRow("version too short") << QStringList {"> 04 01 56 17", "< 31 2E 30"}
                                       << QStringList {"> 04 01 56 17|GetVersion", "< 31 2E 30|version answer too short \"1.0\""};
    QTest::newRow("message") << QStringList {"> 04 01 54 17", "< 01 48", "< 69 17"}
                             << QStringList {"> 04 01 54 17|GetMessage", "< 01 48 69 17|message \"Hi\""};
    QTest::newRow("empty message") << QStringList {"> 04 01 54 17", "< 01 17"}
                                   << QStringList {"> 04 01 54 17|GetMessage", "< 01 17|message \"\""};
    QTest::newRow("message refused") << QStringList {"> 04 01 54 17", "< 15"}
                                     << QStringList {"> 04 01 54 17|GetMessage", "< 15|NAK"};
    QTest::newRow("frame over three writes") << QStringList {"> 04 01", "> 50", "> 44 17"}
                                             << QStringList {"> 04 01 50 44 17|SetPosition 20"};
    QTest::newRow("two frames in one write") << QStringList {"> 04 01 50 31 17 04 01 53 32 17"}
                                             << QStringList {"> 04 01 50 31 17|SetPosition 1", "> 04 01 53 32 17|SaveMessage layer 2"};
    QTest::newRow("unknown letter") << QStringList {"> 04 01 58 17"} << QStringList {"> 04 01 58 17|frame with unknown command 58"};
    QTest::newRow("frame without end") << QStringList {"> 04 01 50 44 41"}
                                       << QStringList {"> 04 01 50 44|frame without its end byte", "> 41|text \"A\""};
    QTest::newRow("frame cut off") << QStringList {"> 04 01 50"} << QStringList {"> 04 01 50|incomplete frame"};
    QTest::newRow("frame gone stale") << QStringList {"> 04 01", "+3000 > 41"}
                                      << QStringList {"> 04 01|incomplete frame", "> 41|text \"A\""};

    // Escape commands, text and the lamp test.
    QTest::newRow("switch to EPSON") << QStringList {"> 1B 5A 31 00"} << QStringList {"> 1B 5A 31 00|SwitchCommand EPSON"};
    QTest::newRow("switch to PRYX") << QStringList {"> 1B 5A 30 00"} << QStringList {"> 1B 5A 30 00|SwitchCommand PRYX"};
    QTest::newRow("printer") << QStringList {"> 1B 47", "> 1B 53"} << QStringList {"> 1B 47|PrinterOn", "> 1B 53|PrinterOff"};
    QTest::newRow("lamp test") << QStringList {"> B2*40"} << QStringList {"> " + hexOf(QByteArray(40, char(0xB2))) + "|lamp test 40 x B2"};
    QTest::newRow("lamp test byte by byte")
        << (QStringList() << QVector<QString>(80, QStringLiteral("> B2")).toList())
        << QStringList {"> " + hexOf(QByteArray(80, char(0xB2))) + "|lamp test 80 x B2"};
    QTest::newRow("display codes") << QStringList {"> 47 72 81 E1 65"} << QStringList {"> 47 72 81 E1 65|text \"Grüße\""};
    QTest::newRow("one B2 is text") << QStringList {"> 41 B2"} << QStringList {"> 41|text \"A\"", "> B2|text \"▓\""};
    QTest::newRow("text split by a pause") << QStringList {"> 41", "+200 > 42"}
                                           << QStringList {"> 41|text \"A\"", "> 42|text \"B\""};
    QTest::newRow("text and a final byte") << QStringList {"> 41 42 43", "> 0D"}
                                           << QStringList {"> 41 42 43|text \"ABC\"", "> 0D|CR left end of the line"};

    // The EPSON-style set.
    QTest::newRow("cursor moves") << QStringList {"> 1F 0A", "> 0A", "> 08", "> 09", "> 0B", "> 1F 42", "> 1F 0D"}
                                  << QStringList {"> 1F 0A|cursor up", "> 0A|LF cursor down", "> 08|BS cursor left",
                                                  "> 09|HT cursor right", "> 0B|VT cursor home",
                                                  "> 1F 42|cursor to bottom position", "> 1F 0D|cursor to right end of the line"};
    QTest::newRow("clears") << QStringList {"> 0C", "> 18"} << QStringList {"> 0C|FF clear screen", "> 18|CAN clear line"};
    QTest::newRow("modes") << QStringList {"> 1F 01", "> 1F 02", "> 1F 03"}
                           << QStringList {"> 1F 01|over-write mode", "> 1F 02|vertical-scroll mode", "> 1F 03|horizontal-scroll mode"};
    QTest::newRow("toggles") << QStringList {"> 1F 43 31", "> 1F 43 30", "> 1F 72 31", "> 1F 72 30"}
                             << QStringList {"> 1F 43 31|cursor on", "> 1F 43 30|cursor off", "> 1F 72 31|reverse on",
                                             "> 1F 72 30|reverse off"};
    QTest::newRow("initialise, self-test") << QStringList {"> 1B 40", "> 1F 40"}
                                           << QStringList {"> 1B 40|initialize", "> 1F 40|self-test"};
    QTest::newRow("position") << QStringList {"> 1F 24 14 02"} << QStringList {"> 1F 24 14 02|position row 2 column 20"};
    QTest::newRow("national, expand, blink") << QStringList {"> 1B 52 0D", "> 1B 74 00", "> 1F 45 0F"}
                                             << QStringList {"> 1B 52 0D|national set Korea", "> 1B 74 00|Expand 0", "> 1F 45 0F|blink 15"};
    QTest::newRow("peripheral") << QStringList {"> 1B 3D 01", "> 1B 3D 03"}
                                << QStringList {"> 1B 3D 01|peripheral aux-device", "> 1B 3D 03|peripheral both"};
    QTest::newRow("unknown US") << QStringList {"> 1F 7A"} << QStringList {"> 1F 7A|US z"};

    // VT100.
    QTest::newRow("clear screen") << QStringList {"> 1B", "> 5B", "> 32", "> 4A"} << QStringList {"> 1B 5B 32 4A|ESC [2J clear screen"};
    QTest::newRow("home") << QStringList {"> 1B 5B 48"} << QStringList {"> 1B 5B 48|ESC [H cursor home"};
    QTest::newRow("cursor position") << QStringList {"> 1B 5B 32 3B 37 48"} << QStringList {"> 1B 5B 32 3B 37 48|ESC [2;7H cursor to row 2 column 7"};
    QTest::newRow("clear to end of line") << QStringList {"> 1B 5B 30 4B"} << QStringList {"> 1B 5B 30 4B|ESC [0K clear to end of line"};
    QTest::newRow("identification")
        << QStringList {"> 1B 5B 30 63", "< 1B 5B 3F 4B 44 58", "< 3B 31 63"}
        << QStringList {"> 1B 5B 30 63|ESC [0c identification request", "< 1B 5B 3F 4B 44 58 3B 31 63|identification \"\\x1B[?KDX;1c\""};
    QTest::newRow("screen content") << QStringList {"> 1B 54", "< 41*80", "< 06"}
                                    << QStringList {"> 1B 54|screen content request",
                                                    "< " + hexOf(QByteArray(80, 'A')) + "|screen content \"" + QString(80, 'A') + "\"",
                                                    "< 06|ACK"};
    QTest::newRow("brightness") << QStringList {"> 1B 42 33"} << QStringList {"> 1B 42 33|brightness 25%"};
    QTest::newRow("csi broken by a control byte") << QStringList {"> 1B 5B 32 0D"}
                                                  << QStringList {"> 1B 5B 32|incomplete sequence", "> 0D|CR left end of the line"};

    // Garbage.
    QTest::newRow("unknown bytes out") << QStringList {"> 00 07 7F"} << QStringList {"> 00 07 7F|not decoded"};
    QTest::newRow("unknown bytes in") << QStringList {"< 02 03", "< 41"} << QStringList {"< 02 03|not decoded", "< 41|text \"A\""};
    QTest::newRow("unknown escape") << QStringList {"> 1B 58"} << QStringList {"> 1B 58|ESC X"};
    QTest::newRow("04 alone") << QStringList {"> 04 41"} << QStringList {"> 04|not decoded", "> 41|text \"A\""};
    QTest::newRow("ESC L that is no load request") << QStringList {"> 1B 4C 6F 78"}
                                                   << QStringList {"> 1B 4C 6F|not decoded", "> 78|text \"x\""};
}

void tst_TrafficDecoder::decode()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, events);
    QCOMPARE(::decode(script), events);
}

// A firmware update as the line carries it: the loader dialogue with one
// repeat, a CRC transfer with a corrupted block that is refused and sent again,
// a cancel from the display, then EOT and the loader's closing sequence.
void tst_TrafficDecoder::xmodemSession()
{
    const QByteArray d1 = payload(1);
    const QByteArray d2 = payload(2);
    const QByteArray d3 = payload(3);
    QByteArray bad = block(2, d2, true);
    bad[10] = char(bad[10] ^ 0x40);
    const QByteArray b1 = block(1, d1, true);
    const QByteArray b2 = block(2, d2, true);
    const QByteArray b3 = block(3, d3, true);

    const QStringList script {
        "> 1B 4C 6F 61 64", "+5000 > 31", "< 3E", "> 58 41 0D", "< 3E", "> 50 58 0D 0A",
        "+1000 < 43", "+1000 < 43",
        // Each block in the sender's three writes.
        "> " + hexOf(b1.left(3)), "> " + hexOf(b1.mid(3, 128)), "> " + hexOf(b1.mid(131)), "< 06",
        "> " + hexOf(bad), "< 15",
        "> " + hexOf(b2), "< 06",
        "> " + hexOf(b3), "< 18",
        "> 04", "< 06", "+100 > 1B", "+100 > 52 0D",
        "> 04 01 56 17",
    };
    const QStringList expected {
        "> 1B 4C 6F 61 64|load request",
        "> 31|repeat request",
        "< 3E|prompt",
        "> 58 41 0D|XModem request",
        "< 3E|prompt",
        "> 50 58 0D 0A|code type PX (encrypted)",
        "< 43|start request C (CRC)",
        "< 43|start request C (CRC)",
        "> " + hexOf(b1) + "|block 1 (CRC ok)",
        "< 06|ACK",
        "> " + hexOf(bad) + "|block 2 bad CRC",
        "< 15|NAK",
        "> " + hexOf(b2) + "|block 2 repeated (CRC ok)",
        "< 06|ACK",
        "> " + hexOf(b3) + "|block 3 (CRC ok)",
        "< 18|CAN",
        "> 04|EOT",
        "< 06|ACK",
        "> 1B 52 0D|loader exit",
        "> 04 01 56 17|GetVersion",
    };
    QCOMPARE(::decode(script), expected);
}

void tst_TrafficDecoder::blockVerdicts_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("crc");
    QTest::addColumn<int>("flip");     // byte of the block to corrupt, -1 none
    QTest::addColumn<QString>("meaning");

    QTest::newRow("crc ok") << "43" << true << -1 << "block 1 (CRC ok)";
    QTest::newRow("crc, data corrupted") << "43" << true << 50 << "block 1 bad CRC";
    QTest::newRow("crc, check corrupted") << "43" << true << 132 << "block 1 bad CRC";
    QTest::newRow("checksum ok") << "15" << false << -1 << "block 1 (checksum ok)";
    QTest::newRow("checksum, data corrupted") << "15" << false << 3 << "block 1 bad checksum";
    QTest::newRow("checksum, check corrupted") << "15" << false << 131 << "block 1 bad checksum";
    QTest::newRow("complement wrong") << "43" << true << 2 << "block 1 bad number complement (CRC ok)";
}

void tst_TrafficDecoder::blockVerdicts()
{
    QFETCH(QString, start);
    QFETCH(bool, crc);
    QFETCH(int, flip);
    QFETCH(QString, meaning);

    QByteArray b = block(1, payload(7), crc);
    if (flip >= 0)
        b[flip] = char(b[flip] ^ 0x01);
    // A checksum display asks with NAK, and may have asked for CRC first.
    const QStringList events = ::decode({"> 1B 4C 6F 61 64", "< 3E", "> 5A 58 0D 0A", "< 43", "< " + start, "> " + hexOf(b)});
    QCOMPARE(events.last(), "> " + hexOf(b) + "|" + meaning);
    QVERIFY(events.contains("> 5A 58 0D 0A|code type ZX (not encrypted)"));
}

// Block numbers go round at 256 on the line; the decoder keeps counting.
void tst_TrafficDecoder::blockNumbersGoOn()
{
    TrafficDecoder d;
    qint64 t = 0;
    d.feed(Direction::ToDisplay, t, bytesOf("1B 4C 6F 61 64"));
    d.feed(Direction::FromDisplay, ++t, ">");
    d.feed(Direction::ToDisplay, ++t, "PX\r\n");
    d.feed(Direction::FromDisplay, ++t, "C");
    for (int n = 1; n <= 257; ++n) {
        d.feed(Direction::ToDisplay, ++t, block(n, payload(n), true));
        d.feed(Direction::FromDisplay, ++t, QByteArray(1, 0x06));
    }
    d.finish();
    QStringList blocks;
    for (const TrafficEvent &e : d.take()) {
        if (e.meaning.startsWith(QLatin1String("block")))
            blocks << e.meaning;
    }
    QCOMPARE(blocks.size(), 257);
    QCOMPARE(blocks[255], QStringLiteral("block 256 (CRC ok)"));
    QCOMPARE(blocks[256], QStringLiteral("block 257 (CRC ok)"));
}

// Whatever arrives, every byte shows up in exactly one event, in order, and
// the events of one direction keep the order of time.
void tst_TrafficDecoder::everyByteOnce()
{
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QRandomGenerator rng(seed);
        TrafficDecoder d;
        QByteArray sent[2];
        qint64 t = 0;
        for (int chunk = 0; chunk < 200; ++chunk) {
            const int dir = rng.bounded(2);
            QByteArray bytes(rng.bounded(1, 40), '\0');
            // Mostly protocol bytes, so that frames and blocks start and break.
            static const char common[] = {0x04, 0x01, 0x17, 0x1B, 0x1F, 0x06, 0x15, 0x18, 'C', '>', 'L', 'P', 'X', '\r', '[', char(0xB2)};
            for (char &c : bytes)
                c = rng.bounded(3) ? common[rng.bounded(int(sizeof common))] : char(rng.bounded(256));
            t += rng.bounded(3) ? rng.bounded(1000) : rng.bounded(3000000);
            d.feed(dir ? Direction::FromDisplay : Direction::ToDisplay, t, bytes);
            sent[dir] += bytes;
            if (rng.bounded(20) == 0)
                d.expire(t + rng.bounded(4000000));
        }
        d.finish();
        QByteArray got[2];
        qint64 last[2] = {-1, -1};
        for (const TrafficEvent &e : d.take()) {
            const int dir = e.direction == Direction::FromDisplay ? 1 : 0;
            QVERIFY(!e.bytes.isEmpty());
            QVERIFY2(e.timeUs >= last[dir], qPrintable(QString::number(seed)));
            last[dir] = e.timeUs;
            got[dir] += e.bytes;
        }
        QCOMPARE(got[0], sent[0]);
        QCOMPARE(got[1], sent[1]);
    }
}

// A run without an end marker closes after a short pause; a half sequence
// waits longer, then is given up as hex.
void tst_TrafficDecoder::expireClosesQuietRuns()
{
    TrafficDecoder d;
    d.feed(Direction::ToDisplay, 0, "AB");
    d.feed(Direction::FromDisplay, 10, "Hi");
    d.expire(TrafficDecoder::kRunGapUs);
    QVERIFY(d.take().size() == 1); // the text out closed when the display spoke
    d.expire(TrafficDecoder::kRunGapUs + 11);
    std::vector<TrafficEvent> e = d.take();
    QCOMPARE(e.size(), size_t(1));
    QCOMPARE(e[0].meaning, QStringLiteral("text \"Hi\""));

    d.feed(Direction::ToDisplay, 1000000, QByteArray("\x1b["));
    d.expire(1000000 + TrafficDecoder::kStaleGapUs);
    QVERIFY(!d.hasEvents());
    d.expire(1000000 + TrafficDecoder::kStaleGapUs + 1);
    e = d.take();
    QCOMPARE(e.size(), size_t(1));
    QCOMPARE(e[0].meaning, QStringLiteral("incomplete sequence"));
    QCOMPARE(e[0].timeUs, qint64(1000000));
}

void tst_TrafficDecoder::lineFormat()
{
    const TrafficEvent e {1051234, Direction::ToDisplay, QByteArray("\x04\x01\x50\x44\x17"), QStringLiteral("SetPosition 20")};
    QCOMPARE(monitor::formatLine(e, 1000000), QStringLiteral("  0.051234 > 04 01 50 44 17           SetPosition 20"));
    const TrafficEvent late {3723000001LL, Direction::FromDisplay, QByteArray(1, 0x06), QStringLiteral("ACK")};
    QCOMPARE(monitor::formatLine(late, 1), QStringLiteral("3723.000000 < 06                       ACK"));
}

QTEST_GUILESS_MAIN(tst_TrafficDecoder)
#include "tst_TrafficDecoder.moc"
