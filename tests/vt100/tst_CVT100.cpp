// The screen model: bytes in, cells and cursor out.

#include "CVT100.h"

#include <QtTest>

namespace {

// The grid as one text per row: a 0 cell shows as '.', trailing empty cells
// are left out.
QStringList render(const CVT100 &m)
{
    std::vector<std::int16_t> cells;
    m.GetData(cells);
    QStringList rows;
    for (int r = 0; r < m.rows(); ++r) {
        QString row;
        for (int c = 0; c < m.cols(); ++c) {
            const std::int16_t v = cells[size_t(r * m.cols() + c)];
            row += v == 0 ? QChar('.') : QChar(char16_t(v));
        }
        while (row.endsWith(QLatin1Char('.')))
            row.chop(1);
        rows << row;
    }
    return rows;
}

void feed(CVT100 &m, const QByteArray &bytes)
{
    for (char b : bytes)
        m.setKey(std::int16_t(uchar(b)));
}

QPair<int, int> cursor(const CVT100 &m)
{
    std::int16_t y = 0;
    std::int16_t x = 0;
    m.GetCursorPosition(y, x);
    return {y, x};
}

QString dots(int n)
{
    return QString(n, QLatin1Char('.'));
}

} // namespace

class tst_CVT100 : public QObject
{
    Q_OBJECT

private slots:
    void bytes_data();
    void bytes();
    void numbers_data();
    void numbers();
    void setData();
    void getDataContainer();
    void setDisplaySize();
    void setDisplaySizeRefused_data();
    void setDisplaySizeRefused();
};

void tst_CVT100::bytes_data()
{
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("open");

    const QString row3Z = dots(19) + 'Z';
    auto row = [](const char *name, const QByteArray &in, QStringList rows, int r, int c, bool open = false) {
        while (rows.size() < 4)
            rows << QString();
        QTest::newRow(name) << in << rows << r << c << open;
    };

    // Writing, wrapping and scrolling.
    row("printable", "A", {"A"}, 1, 2);
    row("zero is stored and looks empty", QByteArray("A\0B", 3), {"A.B"}, 1, 4);
    row("controls other than BS LF CR ESC are written", "\x01\x7f", {"\x01\x7f"}, 1, 3);
    row("wrap at the last column", "\x1b[1;20HX", {dots(19) + 'X'}, 2, 1);
    row("scroll on the last row", "top\x1b[4;20HZ", {"", "", row3Z, ""}, 4, 1);
    row("LF on the last row scrolls and keeps the column", "ab\x1b[4;5HQ\n", {"", "", "....Q", ""}, 4, 6);
    row("LF elsewhere moves down", "ab\n", {"ab"}, 2, 3);
    row("BS in column 0 does nothing", "ab\x08\x08\x08", {"ab"}, 1, 1);
    row("BS does not erase", "ab\x08", {"ab"}, 1, 2);
    row("BS then overwrite", "ab\x08" "c", {"ac"}, 1, 3);
    row("BS does not go to the previous row", "\x1b[2;1H\x08", {}, 2, 1);
    row("CR", "abc\r", {"abc"}, 1, 1);

    // Known sequences.
    row("ESC [2J clears, cursor stays", "ab\nc\x1b[2J", {}, 2, 4);
    row("ESC [0K from column 5", "abcdefghijklmnopqrstUVW\x1b[1;6H\x1b[0K", {"abcde", "UVW"}, 1, 6);
    row("ESC [0K keeps the cells left of the cursor", "abc\x1b[0K", {"abc"}, 1, 4);
    row("ESC [2;7H", "\x1b[2;7H", {}, 2, 7);
    row("ESC [9;99H is limited", "\x1b[9;99H", {}, 4, 20);
    row("ESC [0c then a byte", "\x1b[0cA", {"A"}, 1, 2);
    row("ESC R and two bytes", "\x1bRxy", {}, 1, 1);
    row("ESC R two bytes then a third", "\x1bRxyZ", {"Z"}, 1, 2);
    row("ESC R waits", "\x1bR", {}, 1, 1, true);
    row("ESC X swallows X", "\x1bXA", {"A"}, 1, 2);
    row("ESC ESC A", "\x1b\x1b" "A", {"A"}, 1, 2);
    row("ESC [1;2h dropped at h", "\x1b[1;2hA", {"A"}, 1, 2);
    row("ESC [12;5 stays open", "\x1b[12;5", {}, 1, 1, true);
    row("ESC [ stays open", "\x1b[", {}, 1, 1, true);
    row("ESC [H without effect", "ab\x1b[Hc", {"abc"}, 1, 4);
    row("ESC [2H without effect", "ab\x1b[2Hc", {"abc"}, 1, 4);
    row("ESC [5J without effect", "ab\x1b[5J", {"ab"}, 1, 3);
    row("ESC [2K without effect", "ab\x1b[2K", {"ab"}, 1, 3);
    row("ESC [2j is case-sensitive", "ab\x1b[2j", {"ab"}, 1, 3);
    row("malformed part is not written", "\x1b[1e;3H", {";3H"}, 1, 4);
    row("second ; drops, the rest is written", "\x1b[1;2;3H", {"3H"}, 1, 3);
    row("second decimal point drops", "\x1b[1..2;3H", {"2;3H"}, 1, 5);
    row("a sign cannot start a parameter", "\x1b[-3;1H", {"3;1H"}, 1, 5);
    row("nor a blank", "\x1b[ 2;3H", {"2;3H"}, 1, 5);

    // Cursor parameters outside the grid or unusual in form.
    row("zero goes to 1", "\x1b[3;3H\x1b[0;0H", {}, 1, 1);
    row("empty goes to 1", "\x1b[3;3H\x1b[;H", {}, 1, 1);
    row("beyond 16 bits", "\x1b[99999;2H", {}, 4, 2);
    row("far beyond 16 bits", "\x1b[2;123456789012H", {}, 2, 20);
    row("halves to even", "\x1b[2.5;3.5H", {}, 3, 3);
    row("1.5 is row 1, 4.5 column 5", "\x1b[1.5;4.5H", {}, 1, 5);
    row("fraction below a half", "\x1b[3;0.4H", {}, 3, 1);
    row("trailing blanks", "\x1b[2 ;3 H", {}, 2, 3);

    // Length bound of an open sequence.
    row("16 characters stay open", "\x1b[" + QByteArray(15, '1'), {}, 1, 1, true);
    row("17th character drops it", "\x1b[" + QByteArray(16, '1') + "A", {"A"}, 1, 2);
    row("17 characters complete", "\x1b[0001;0000000002H", {}, 1, 2);
}

void tst_CVT100::bytes()
{
    QFETCH(QByteArray, in);
    QFETCH(QStringList, rows);
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(bool, open);

    CVT100 m;
    feed(m, in);
    QCOMPARE(render(m), rows);
    QCOMPARE(cursor(m), qMakePair(row, col));
    QCOMPARE(m.escapeOpen(), open);
    QVERIFY(m.escapeText().size() <= CVT100::kMaxEscapeLength);
}

void tst_CVT100::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");

    QTest::newRow("blanks around") << " \t7 " << true << 7.0;
    QTest::newRow("minus") << "-3" << true << -3.0;
    QTest::newRow("trailing point") << "1." << true << 1.0;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("exponent") << "25E-1" << true << 2.5;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0;
    QTest::newRow("exponent without digits") << "1e" << false << 0.0;
    QTest::newRow("inner blank") << "1 2" << false << 0.0;
    QTest::newRow("comma") << "1,5" << false << 0.0;
}

void tst_CVT100::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);

    double v = -42;
    QCOMPARE(CVT100::parseNumber(text.toStdString(), v), ok);
    if (ok)
        QCOMPARE(v, value);
}

void tst_CVT100::setData()
{
    CVT100 m;
    feed(m, "\x1b[2;3H\x1b[1"); // cursor moved, a sequence open

    std::vector<std::uint8_t> full(80);
    for (size_t i = 0; i < full.size(); ++i)
        full[i] = std::uint8_t(i + 1);
    m.SetData(full);
    std::vector<std::int16_t> back;
    m.GetData(back);
    QCOMPARE(back.size(), size_t(80));
    for (size_t i = 0; i < back.size(); ++i)
        QCOMPARE(back[i], std::int16_t(i + 1));
    QCOMPARE(cursor(m), qMakePair(2, 3));
    QVERIFY(m.escapeOpen());

    // Ten bytes change row 0, columns 0 to 9 only.
    m.SetData(std::vector<std::uint8_t>(10, 'x'));
    m.GetData(back);
    for (size_t i = 0; i < back.size(); ++i)
        QCOMPARE(back[i], i < 10 ? std::int16_t('x') : std::int16_t(i + 1));

    // Nothing and too much.
    m.SetData(std::vector<std::uint8_t>());
    m.SetData(nullptr, 5);
    m.SetData(std::vector<std::uint8_t>(200, 0xFF));
    m.GetData(back);
    QCOMPARE(back.size(), size_t(80));
    QCOMPARE(back[79], std::int16_t(0xFF));
}

void tst_CVT100::getDataContainer()
{
    CVT100 m;
    feed(m, "\x1b[4;20HZ"); // writes the last cell, scrolls it to row 3
    std::vector<std::int16_t> small(3, 7);
    m.GetData(small);
    QCOMPARE(small.size(), size_t(80));
    QCOMPARE(small[59], std::int16_t('Z'));

    std::vector<std::int16_t> large(90, 7);
    m.GetData(large);
    QCOMPARE(large.size(), size_t(90));
    QCOMPARE(large[0], std::int16_t(0));
    QCOMPARE(large[80], std::int16_t(7));
}

void tst_CVT100::setDisplaySize()
{
    CVT100 m;
    feed(m, "abc\x1b[1;5Hx\x1b[1");
    QVERIFY(m.SetDisplaySize(2, 40));
    QCOMPARE(render(m), QStringList({"", ""}));
    QCOMPARE(cursor(m), qMakePair(1, 6));
    QVERIFY(m.escapeOpen());
    QCOMPARE(QString::fromStdString(m.escapeText()), QStringLiteral("[1"));

    // The open sequence finishes on the new grid.
    feed(m, ";40HQ");
    QCOMPARE(render(m), QStringList({dots(39) + 'Q', ""}));
    QCOMPARE(cursor(m), qMakePair(2, 1));

    // A smaller grid brings the cursor inside.
    feed(m, "\x1b[2;40H");
    QVERIFY(m.SetDisplaySize(1, 10));
    QCOMPARE(cursor(m), qMakePair(1, 10));
    feed(m, "W"); // last cell of the only row: wraps and scrolls
    QCOMPARE(render(m), QStringList({""}));
    QCOMPARE(cursor(m), qMakePair(1, 1));
}

void tst_CVT100::setDisplaySizeRefused_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::newRow("no rows") << 0 << 20;
    QTest::newRow("no columns") << 4 << 0;
    QTest::newRow("negative") << -1 << -1;
}

void tst_CVT100::setDisplaySizeRefused()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    CVT100 m;
    feed(m, "hi\x1b[3;4H");
    QVERIFY(!m.SetDisplaySize(std::int16_t(rows), std::int16_t(cols)));
    QCOMPARE(m.rows(), std::int16_t(4));
    QCOMPARE(m.cols(), std::int16_t(20));
    QCOMPARE(render(m), QStringList({"hi", "", "", ""}));
    QCOMPARE(cursor(m), qMakePair(3, 4));
}

QTEST_APPLESS_MAIN(tst_CVT100)
#include "tst_CVT100.moc"
