// The simulated display driven byte by byte: frames, the three command sets,
// national sets, the line rate and the faults.

#include "SimHarness.h"

#include "CharacterSet.h"
#include "LineModel.h"
#include "SimOptions.h"
#include "TerminalView.h"

#include <QtTest>

using namespace kdxsim;

namespace {
const QByteArray kAck("\x06");
const QByteArray kNak("\x15");

DisplayConfig configFor(CommandSetKind set, int rows = 2, int cols = 20)
{
    DisplayConfig c;
    c.commandSet = set;
    c.rows = rows;
    c.cols = cols;
    return c;
}
} // namespace

class tst_SimDisplay : public QObject
{
    Q_OBJECT

private slots:
    void nativeFrames_data();
    void nativeFrames();
    void frameSplitAcrossReads();
    void incompleteFrameTimesOut();
    void nationalSets_data();
    void nationalSets();
    void epsonCommands_data();
    void epsonCommands();
    void epsonRoutingAndPrinter();
    void vt100_data();
    void vt100();
    void vt100Requests();
    void baudChangeAndMismatch();
    void lineModel_data();
    void lineModel();
    void lineTime_data();
    void lineTime();
    void layersDemoAndRestart();
    void selfTestRestoresScreen();
    void options_data();
    void options();
    void terminalView();
};

// Every native frame: its answer, and what it leaves on the screen and cursor.
void tst_SimDisplay::nativeFrames_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("cursor");

    const QString blank(20, QLatin1Char(' '));
    QTest::newRow("text") << QByteArray("Hello") << QByteArray() << QStringLiteral("Hello") << "1,6";
    QTest::newRow("P 20 moves to the last cell of row 1")
        << QByteArray(frame('P', "D") + "X") << kAck << QString(19, QLatin1Char(' ')) + "X" << "2,1";
    QTest::newRow("P 0 is refused") << frame('P', "0") << kNak << blank << "1,1";
    QTest::newRow("P beyond the screen is refused") << frame('P', "y") << kNak << blank << "1,1";
    QTest::newRow("C 2..4 clears three cells")
        << QByteArray("ABCDEF" + frame('C', "24")) << QByteArray(kAck) << QStringLiteral("A   EF") << "1,7";
    QTest::newRow("C reversed range is refused")
        << QByteArray("ABC" + frame('C', "31")) << kNak << QStringLiteral("ABC") << "1,4";
    QTest::newRow("T answers the message") << QByteArray("Hi" + frame('T')) << QByteArray("\x01Hi\x17")
                                           << QStringLiteral("Hi") << "1,3";
    QTest::newRow("T on an empty screen") << frame('T') << QByteArray("\x01\x17") << blank << "1,1";
    QTest::newRow("V answers the version") << frame('V') << QByteArray("?1.05") << blank << "1,1";
    // The answer leaves at the new rate, so a host at 19200 reads a wrong byte.
    QTest::newRow("B 9600 N") << frame('B', "1N") << QByteArray(1, '\0') << blank << "1,1";
    QTest::newRow("B 19200 E,7,1") << frame('B', "0E") << kAck << blank << "1,1";
    QTest::newRow("B unknown code") << frame('B', "9N") << kNak << blank << "1,1";
    QTest::newRow("B unknown parity") << frame('B', "1n") << kNak << blank << "1,1";
    QTest::newRow("I unknown code") << frame('I', "\x50") << kNak << blank << "1,1";
    QTest::newRow("S layer 4 refused") << frame('S', "4") << kNak << blank << "1,1";
    QTest::newRow("O 1") << frame('O', "1") << kAck << blank << "1,1";
    QTest::newRow("D 8 refused") << frame('D', "81") << kNak << blank << "1,1";
    QTest::newRow("unknown letter") << frame('Q') << kNak << blank << "1,1";
    QTest::newRow("missing end byte") << QByteArray("\x04\x01P1X") << kNak << blank << "1,1";
    QTest::newRow("04 not followed by 01 is no frame") << QByteArray("\x04" "AB") << QByteArray()
                                                       << QStringLiteral("AB") << "1,3";
    QTest::newRow("raw 0x17 as the I parameter") << frame('I', "\x17") << kNak << blank << "1,1";
    QTest::newRow("0xB2 lights a whole cell") << QByteArray("\xb2\xb2") << QByteArray() << QStringLiteral("██")
                                              << "1,3";
    QTest::newRow("CR and BS") << QByteArray("abc\rX\x08Y") << QByteArray() << QStringLiteral("Ybc") << "1,2";
    QTest::newRow("wrap from the last cell to home")
        << QByteArray(40, 'a') + "Z" << QByteArray() << "Z" + QString(19, QLatin1Char('a')) << "1,2";
}

void tst_SimDisplay::nativeFrames()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answer);
    QFETCH(QString, line0);
    QFETCH(QString, cursor);
    SimHarness sim;
    QCOMPARE(sim.exchange(input, 50), answer);
    QCOMPARE(sim.line(0).left(line0.size()), line0);
    QCOMPARE(sim.cursor(), cursor);
}

void tst_SimDisplay::frameSplitAcrossReads()
{
    SimHarness sim;
    const QByteArray f = frame('P', "3");
    QByteArray answer;
    for (char c : f)
        answer += sim.exchange(QByteArray(1, c), 5);
    QCOMPARE(answer, kAck);
    QCOMPARE(sim.cursor(), QStringLiteral("1,3"));
}

void tst_SimDisplay::incompleteFrameTimesOut()
{
    SimHarness sim;
    QCOMPARE(sim.exchange(QByteArray("\x04\x01P"), 1500), QByteArray());
    // The half frame is gone: the next bytes are text again.
    QCOMPARE(sim.exchange("AB", 10), QByteArray());
    QCOMPARE(sim.line(0).left(2), QStringLiteral("AB"));
}

// "I" and ESC "R" pick the same replacement sets; the upper half follows code page 437.
void tst_SimDisplay::nationalSets_data()
{
    QTest::addColumn<QByteArray>("select");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("name");

    QTest::newRow("native 32 Germany") << frame('I', "\x32") << QByteArray("[x]{|}~@") << "ÄxÜäöüß§" << "Germany";
    QTest::newRow("native 30 U.S.A") << frame('I', "\x30") << QByteArray("#$@[\\]^`{|}~") << "#$@[\\]^`{|}~"
                                     << "U.S.A";
    QTest::newRow("native 31 France") << frame('I', "\x31") << QByteArray("@[\\]{|}~") << "à°ç§éùè¨" << "France";
    QTest::newRow("native 33 U.K.") << frame('I', "\x33") << QByteArray("#") << "£" << "U.K.";
    QTest::newRow("native 35 Sweden") << frame('I', "\x35") << QByteArray("$@[^`") << "¤ÉÄÜé" << "Sweden";
    QTest::newRow("native 38 Japan") << frame('I', "\x38") << QByteArray("\\") << "¥" << "Japan";
    QTest::newRow("native 3A Denmark II") << frame('I', "\x3A") << QByteArray("[\\]") << "ÆØÅ" << "Denmark II";
    QTest::newRow("native 3C Russian upper half") << frame('I', "\x3C") << QByteArray("\x80\x8f") << "АП"
                                                  << "Russian";
    QTest::newRow("upper half is code page 437") << QByteArray() << QByteArray("\x81\xe1\x9c\xf8") << "üß£°"
                                                 << "U.S.A";
    QTest::newRow("epson R 13 Korea") << QByteArray("\x1bZ1\x00\x1bR\x0d", 7) << QByteArray("\\") << "₩" << "Korea";
    QTest::newRow("epson R 7 Spain") << QByteArray("\x1bZ1\x00\x1bR\x07", 7) << QByteArray("#[]") << "₧¡¿"
                                     << "Spain";
    QTest::newRow("epson R 15 ignored") << QByteArray("\x1bZ1\x00\x1bR\x0f", 7) << QByteArray("[") << "[" << "U.S.A";
}

void tst_SimDisplay::nationalSets()
{
    QFETCH(QByteArray, select);
    QFETCH(QByteArray, text);
    QFETCH(QString, shown);
    QFETCH(QString, name);
    SimHarness sim;
    sim.exchange(select, 50);
    sim.exchange(text);
    QCOMPARE(sim.line(0).left(shown.size()), shown);
    QCOMPARE(sim.display.state()["international"].toObject()["name"].toString(), name);
    // The codes stay what was sent.
    QCOMPARE(sim.display.screen().codes().left(text.size()), text);
}

// EPSON sequences from a known start: "ABCDE" on row 1, "FGHIJ" on row 2, cursor at 2,6.
void tst_SimDisplay::epsonCommands_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<QString>("cursor");

    QTest::newRow("nothing") << QByteArray() << "ABCDE" << "FGHIJ" << "2,6";
    QTest::newRow("US LF up") << QByteArray("\x1f\x0a") << "ABCDE" << "FGHIJ" << "1,6";
    QTest::newRow("LF down from the last row wraps to the top") << QByteArray("\x0a") << "ABCDE" << "FGHIJ" << "1,6";
    QTest::newRow("BS left") << QByteArray("\x08") << "ABCDE" << "FGHIJ" << "2,5";
    QTest::newRow("HT right") << QByteArray("\x09") << "ABCDE" << "FGHIJ" << "2,7";
    QTest::newRow("VT home") << QByteArray("\x0b") << "ABCDE" << "FGHIJ" << "1,1";
    QTest::newRow("US B bottom") << QByteArray("\x0b\x1f" "B") << "ABCDE" << "FGHIJ" << "2,1";
    QTest::newRow("CR") << QByteArray("\x0d") << "ABCDE" << "FGHIJ" << "2,1";
    QTest::newRow("US CR") << QByteArray("\x1f\x0d") << "ABCDE" << "FGHIJ" << "2,20";
    QTest::newRow("FF clears and homes") << QByteArray("\x0c") << "" << "" << "1,1";
    QTest::newRow("CAN clears the line") << QByteArray("\x18") << "ABCDE" << "" << "2,1";
    QTest::newRow("US $ column 20 row 1") << QByteArray("\x1f$\x14\x01") << "ABCDE" << "FGHIJ" << "1,20";
    QTest::newRow("US $ outside is ignored") << QByteArray("\x1f$\x15\x01") << "ABCDE" << "FGHIJ" << "2,6";
    QTest::newRow("over-write wraps to home")
        << QByteArray("\x1f\x01\x1f$\x14\x02XY") << "YBCDE" << "FGHIJ" + QString(14, QLatin1Char(' ')) + "X" << "1,2";
    QTest::newRow("vertical scroll scrolls at the bottom")
        << QByteArray("\x1f\x02\x1f$\x14\x02XY") << "FGHIJ" + QString(14, QLatin1Char(' ')) + "X" << "Y" << "2,2";
    QTest::newRow("vertical scroll LF on the last row")
        << QByteArray("\x1f\x02\x0a") << "FGHIJ" << "" << "2,6";
    QTest::newRow("horizontal scroll shifts the line")
        << QByteArray("\x1f\x03\x1f$\x13\x02XYZ") << "ABCDE" << "GHIJ" + QString(13, QLatin1Char(' ')) + "XYZ" << "2,20";
    QTest::newRow("ESC @ initialises") << QByteArray("\x1f\x02\x1b@") << "" << "" << "1,1";
    QTest::newRow("ESC Z 0 back to native, frames work")
        << QByteArray("\x1bZ0\x00" "\x04\x01P1\x17", 9) << "ABCDE" << "FGHIJ" << "1,1";
}

void tst_SimDisplay::epsonCommands()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, line0);
    QFETCH(QString, line1);
    QFETCH(QString, cursor);
    SimHarness sim(configFor(CommandSetKind::Epson));
    sim.exchange("ABCDE\r\nFGHIJ");
    sim.exchange(input, 10);
    QCOMPARE(sim.line(0).trimmed(), line0.trimmed());
    QCOMPARE(sim.line(0).left(line0.size()), line0);
    QCOMPARE(sim.line(1).left(line1.size()), line1);
    QCOMPARE(sim.line(1).trimmed(), line1.trimmed());
    QCOMPARE(sim.cursor(), cursor);
}

void tst_SimDisplay::epsonRoutingAndPrinter()
{
    QTemporaryDir dir;
    DisplayConfig c = configFor(CommandSetKind::Native);
    c.auxPath = dir.filePath(QStringLiteral("aux.bin"));
    SimHarness sim(c);
    sim.exchange("A\x1bGPRN\x1bSB");
    QCOMPARE(sim.line(0).left(3), QStringLiteral("AB "));
    // The printer sees its text; a frame still reaches the display meanwhile.
    sim.exchange(QByteArray("\x1bG") + frame('P', "5") + "Q\x1bS", 10);
    QCOMPARE(sim.cursor(), QStringLiteral("1,5"));

    sim.exchange(QByteArray("\x1bZ1\x00", 4));
    QCOMPARE(sim.display.commandSet(), CommandSetKind::Epson);
    sim.exchange("\x1b=\x01" "aux\x1b=\x03" "2\x1b=\x02" "d");
    QCOMPARE(sim.line(0).left(6), QStringLiteral("AB  2d"));
    QFile aux(c.auxPath);
    QVERIFY(aux.open(QIODevice::ReadOnly));
    QCOMPARE(aux.readAll(), QByteArray("PRNQaux2"));
    QCOMPARE(sim.display.state()["peripheral"].toString(), QStringLiteral("display"));

    // Cursor display, reverse and blink are state; reverse marks the cells written after it.
    sim.exchange("\x1f" "C1\x1fr1R\x1fr0\x1f" "E\x05");
    const QJsonObject st = sim.display.state();
    QVERIFY(st["cursor"].toObject()["visible"].toBool());
    QCOMPARE(st["reverseCells"].toArray()[0].toString().left(8), QStringLiteral("......r."));
    QCOMPARE(st["blink"].toInt(), 5);
}

// VT100 mode, 4 x 20, starting from the home position.
void tst_SimDisplay::vt100_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("cursor");

    QTest::newRow("text") << QByteArray("AB") << QStringList {"AB"} << "1,3";
    QTest::newRow("wrap at the last column")
        << QByteArray(20, 'x') + "y" << QStringList {QString(20, QLatin1Char('x')), "y"} << "2,2";
    QTest::newRow("scroll past the last cell")
        << QByteArray("\x1b[4;20HZ") << QStringList {"", "", QString(19, QLatin1Char(' ')) + "Z", ""} << "4,1";
    QTest::newRow("LF keeps the column") << QByteArray("ab\ncd") << QStringList {"ab", "  cd"} << "2,5";
    QTest::newRow("BS moves left without erasing") << QByteArray("ab\x08") << QStringList {"ab"} << "1,2";
    QTest::newRow("BS in column 1") << QByteArray("\x08") << QStringList {""} << "1,1";
    QTest::newRow("ESC [2J keeps the cursor") << QByteArray("abc\x1b[2J") << QStringList {""} << "1,4";
    QTest::newRow("ESC [0K from the cursor")
        << QByteArray("abcdef\x1b[1;3H\x1b[0K") << QStringList {"ab"} << "1,3";
    QTest::newRow("ESC [2;7H") << QByteArray("\x1b[2;7H") << QStringList {""} << "2,7";
    QTest::newRow("ESC [9;99H is limited") << QByteArray("\x1b[9;99H") << QStringList {""} << "4,20";
    QTest::newRow("ESC [H homes") << QByteArray("ab\x1b[H") << QStringList {"ab"} << "1,1";
    QTest::newRow("control codes are shown") << QByteArray("\x01\x7f") << QStringList {"☺⌂"} << "1,3";
    QTest::newRow("ESC R 2 Germany") << QByteArray("\x1bR\x02[") << QStringList {"Ä"} << "1,2";
    QTest::newRow("overlong sequence is dropped")
        << QByteArray("\x1b[11111111111111111111A") << QStringList {"111A"} << "1,5";
}

void tst_SimDisplay::vt100()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QFETCH(QString, cursor);
    SimHarness sim(configFor(CommandSetKind::Vt100, 4, 20));
    sim.exchange(input);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(sim.line(i).trimmed(), lines[i].trimmed());
    QCOMPARE(sim.cursor(), cursor);
}

void tst_SimDisplay::vt100Requests()
{
    SimHarness sim(configFor(CommandSetKind::Vt100, 4, 20));
    const QByteArray id = sim.exchange("\x1b[0c", 10);
    QVERIFY2(id.size() >= 15, id.constData());
    // Three lead-in bytes, then five fields separated by ";" and closed by "c".
    const QList<QByteArray> fields = id.mid(3).split(';');
    QCOMPARE(fields.size(), 5);
    QCOMPARE(fields[3], QByteArray("4"));
    QCOMPARE(fields[4], QByteArray("20c"));

    // Typed one key at a time, as the test window does.
    for (char c : QByteArray("Hi\x1b[2;1HThere"))
        sim.exchange(QByteArray(1, c));
    const QByteArray screen = sim.exchange("\x1bT", 10);
    QCOMPARE(screen.size(), 80);
    QCOMPARE(screen.left(3), QByteArray("Hi "));
    QCOMPARE(screen.mid(20, 5), QByteArray("There"));

    sim.exchange("\x1b" "B2");
    QCOMPARE(sim.display.brightness(), 50);
    sim.exchange("\x1b" "B0");
    QCOMPARE(sim.display.brightness(), 100);
}

// "B" changes the rate before the answer leaves: a host still at the old rate
// reads a wrong byte, and commands at a mismatched rate go unanswered.
void tst_SimDisplay::baudChangeAndMismatch()
{
    SimHarness sim;
    const QByteArray answer = sim.exchange(frame('B', "1N"), 50);
    QCOMPARE(sim.display.baud(), 9600);
    QCOMPARE(answer.size(), 1);
    QVERIFY(answer != kAck);

    // At twice the display's rate a frame arrives as a few stray characters.
    QCOMPARE(sim.exchange(frame('P', "2"), 50), QByteArray());
    QVERIFY(sim.cursor() != QStringLiteral("1,2"));
    QCOMPARE(sim.display.state()["lineMatches"].toBool(), false);

    sim.hostBaud = 9600;
    sim.exchange("\x0c");
    QCOMPARE(sim.exchange(frame('P', "2"), 50), kAck);
    QCOMPARE(sim.cursor(), QStringLiteral("1,2"));

    // Code "6" is 38400 unless told otherwise; the framing follows the letter.
    QVERIFY(sim.exchange(frame('B', "6e"), 50) != kAck);
    QCOMPARE(sim.display.baud(), 38400);
    QCOMPARE(sim.display.framing(), QStringLiteral("E,8,1"));
    DisplayConfig slow;
    slow.code6Baud = 300;
    SimHarness sim300(slow);
    sim300.exchange(frame('B', "6O"), 50);
    QCOMPARE(sim300.display.baud(), 300);
    QCOMPARE(sim300.display.framing(), QStringLiteral("O,7,1"));
}

void tst_SimDisplay::lineModel_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray all = [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i)
            b.append(char(i));
        return b;
    }();
    QTest::newRow("equal rates pass everything") << all << 9600 << 9600 << all;
    // 06 at half the rate: the receiver samples 0,0,0,1,1,1,1,0 and finds no stop bit.
    QTest::newRow("ACK at 9600 read at 19200") << QByteArray("\x06") << 9600 << 19200 << QByteArray(1, '\0');
    // FF at a quarter of the rate: the start bit covers the first three samples.
    QTest::newRow("FF at 4800 read at 19200") << QByteArray("\xff") << 4800 << 19200 << QByteArray("\xf8");
    // 06 at twice the rate: every other bit is sampled, then the idle line.
    QTest::newRow("ACK at 19200 read at 9600") << QByteArray("\x06") << 19200 << 9600 << QByteArray("\xf9");
}

void tst_SimDisplay::lineModel()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QByteArray, expected);
    QCOMPARE(LineModel::transfer(sent, from, to, LineModel::FramingErrors::AsZero), expected);
    // Whatever the rates, a frame never survives a mismatch intact.
    if (from != to)
        QVERIFY(LineModel::transfer(frame('P', "1"), from, to, LineModel::FramingErrors::Drop) != frame('P', "1"));
}

// The version exchange on a timed line: the query's four characters reach the
// display one after the other, and each character of the answer arrives only
// once its last bit has.
void tst_SimDisplay::lineTime_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QByteArray>("framingCode"); // set first with the "B" frame; empty: N,8,1
    QTest::addColumn<double>("charMs");
    QTest::newRow("1200 N,8,1: 10 bits") << 1200 << QByteArray() << 10 * 1000.0 / 1200;
    QTest::newRow("1200 O,8,1: 11 bits") << 1200 << QByteArray("4o") << 11 * 1000.0 / 1200;
    QTest::newRow("19200 E,7,1: 10 bits") << 19200 << QByteArray("0E") << 10 * 1000.0 / 19200;
}

void tst_SimDisplay::lineTime()
{
    QFETCH(int, baud);
    QFETCH(QByteArray, framingCode);
    QFETCH(double, charMs);
    DisplayConfig config;
    config.baud = baud;
    SimHarness sim(config, true);
    sim.hostBaud = baud;
    if (!framingCode.isEmpty())
        QCOMPARE(sim.exchange(frame('B', framingCode), 1000), kAck);

    const qint64 sent = sim.now;
    sim.display.feed(frame('V'), sent, baud);
    QByteArray answer;
    QList<qint64> arrived;
    while (answer.size() < 5 && sim.now < sent + 2000) {
        sim.now = std::max(sim.now + 1, sim.display.nextDeadline());
        sim.display.advance(sim.now);
        for (char c : sim.display.takeOutput(sim.now, baud)) {
            answer += c;
            arrived << sim.now;
        }
    }
    QCOMPARE(answer, QByteArray("?1.05"));
    for (int i = 0; i < 5; ++i) {
        // Never before the query's 4 characters and the answer's first i + 1.
        const double earliest = sent + (4 + i + 1) * charMs;
        QVERIFY2(arrived[i] >= earliest && arrived[i] < earliest + 2,
                 qPrintable(QStringLiteral("byte %1 at +%2 ms").arg(i).arg(arrived[i] - sent)));
    }

    // Instant without line time.
    SimHarness instant(config);
    instant.hostBaud = baud;
    QCOMPARE(instant.exchange(frame('V')), QByteArray("?1.05"));
}

void tst_SimDisplay::layersDemoAndRestart()
{
    SimHarness sim;
    sim.exchange("One");
    QCOMPARE(sim.exchange(frame('S', "1"), 10), kAck);
    sim.exchange(QByteArray("\x0c") + "Two");
    QCOMPARE(sim.exchange(frame('S', "2"), 10), kAck);
    QJsonArray layers = sim.display.state()["layers"].toArray();
    QCOMPARE(layers[0].toObject()["lines"].toArray()[0].toString().trimmed(), QStringLiteral("One"));
    QCOMPARE(layers[2].toObject()["saved"].toBool(), false);

    // Layers 1 + 2 blinking: the first frame is blank, then the layer shows.
    QCOMPARE(sim.exchange(frame('D', "43"), 10), kAck);
    QVERIFY(sim.display.demoRunning());
    QCOMPARE(sim.display.state()["demo"].toObject()["layers"].toArray().size(), 2);
    QCOMPARE(sim.line(0).trimmed(), QString());
    sim.wait(450);
    QCOMPARE(sim.line(0).trimmed(), QStringLiteral("One"));
    // Any byte ends the demo and brings back the view it covered.
    sim.exchange(frame('T'), 10);
    QVERIFY(!sim.display.demoRunning());
    QCOMPARE(sim.line(0).trimmed(), QStringLiteral("Two"));

    // A restart from the loader shows layer 1, or runs it with "O" 1.
    sim.exchange(QByteArray("\x1bLoad"), 10);
    sim.exchange(QByteArray("\x1bR\r"), 10);
    QCOMPARE(sim.line(0).trimmed(), QStringLiteral("One"));
    QCOMPARE(sim.display.state()["restarts"].toInt(), 1);
    QCOMPARE(sim.exchange(frame('O', "1"), 10), kAck);
    sim.exchange(QByteArray("\x1bLoad\x1bR\r"), 10);
    QVERIFY(sim.display.demoRunning());
}

void tst_SimDisplay::selfTestRestoresScreen()
{
    SimHarness sim(configFor(CommandSetKind::Epson));
    sim.exchange("keep");
    sim.exchange("\x1f@");
    QVERIFY(sim.line(0).startsWith(QStringLiteral("SELF TEST")));
    QVERIFY(sim.display.state()["demo"].toObject()["selfTest"].toBool());
    sim.wait(20000);
    QCOMPARE(sim.line(0).trimmed(), QStringLiteral("keep"));
    QCOMPARE(sim.cursor(), QStringLiteral("1,5"));
}

void tst_SimDisplay::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("summary");

    QTest::newRow("defaults") << QStringList() << true << "2x20 native 19200 com0 faults:";
    QTest::newRow("vt100 is 4x20") << QStringList {"--mode", "vt100"} << true << "4x20 vt100 19200 com0 faults:";
    QTest::newRow("4x40 epson 9600 COM3")
        << QStringList {"--rows=4", "--cols", "40", "--mode=epson", "--baud", "9600", "--com", "3"} << true
        << "4x40 epson 9600 com3 faults:";
    QTest::newRow("faults by list and repeat")
        << QStringList {"--fault", "silent,slow=200", "--fault=cancel-at-block=3"} << true
        << "2x20 native 19200 com0 faults:silent,slow=200,cancel-at-block=3";
    QTest::newRow("unknown fault") << QStringList {"--fault", "smoke"} << false << "";
    QTest::newRow("fault without its number") << QStringList {"--fault", "slow"} << false << "";
    QTest::newRow("flag fault with a value") << QStringList {"--fault", "nak=2"} << false << "";
    QTest::newRow("odd rate") << QStringList {"--baud", "1234"} << false << "";
    QTest::newRow("bad mode") << QStringList {"--mode", "ascii"} << false << "";
    QTest::newRow("unknown option") << QStringList {"--colour"} << false << "";
    QTest::newRow("the later of two wins") << QStringList {"--baud", "9600", "--baud=38400", "-q"} << true
                                           << "2x20 native 38400 com0 faults:";
    QTest::newRow("vt100 keeps the rows given") << QStringList {"--rows", "2", "--mode", "vt100"} << true
                                                << "2x20 vt100 19200 com0 faults:";
    QTest::newRow("option without its value") << QStringList {"--mode", "epson", "--com"} << false << "";
    QTest::newRow("stray word") << QStringList {"--com", "2", "epson"} << false << "";
    QTest::newRow("unknown short option") << QStringList {"-x"} << false << "";
}

void tst_SimDisplay::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, summary);
    SimOptions o;
    QString error;
    QCOMPARE(o.parse(args, &error), ok);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(QStringLiteral("%1x%2 %3 %4 com%5 faults:%6")
                 .arg(o.display.rows)
                 .arg(o.display.cols)
                 .arg(commandSetName(o.display.commandSet))
                 .arg(o.display.baud)
                 .arg(o.com)
                 .arg(o.display.faults.names().join(QLatin1Char(','))),
             summary);
    // Every fault the parser knows is described in the help.
    for (const QString &name : o.display.faults.names())
        QVERIFY2(SimOptions::helpText().contains(name.section(QLatin1Char('='), 0, 0)), qPrintable(name));
}

void tst_SimDisplay::terminalView()
{
    SimHarness sim;
    sim.exchange("Hi");
    const QString plain = TerminalView::render(sim.display, false);
    // Frame, two rows, frame, four status lines.
    QCOMPARE(plain.count(QLatin1Char('\n')), 8);
    QVERIFY(plain.contains(QStringLiteral("rx: 48 69")));
    QVERIFY(plain.contains(QStringLiteral("│Hi                  │")));
    QVERIFY(plain.contains(QStringLiteral("native")));
    QVERIFY(plain.contains(QStringLiteral("cursor 1,3")));
    const QString ansi = TerminalView::render(sim.display, true);
    QCOMPARE(ansi.count(QLatin1Char('\n')), 8);
}

QTEST_GUILESS_MAIN(tst_SimDisplay)
#include "tst_simdisplay.moc"
