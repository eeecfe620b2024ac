// The VT100 test window on the fake port and the virtual clock: keys and
// buttons on the wire and in the screen copy, the replies it waits for, the
// timer, a close during a wait.

#include "Ansi.h"
#include "AppInfo.h"
#include "CKDX.h"
#include "TestEnv.h"
#include "frmVT100.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <functional>

using Setup = std::function<void(frmVT100 &)>;
Q_DECLARE_METATYPE(Setup)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Everything one window needs: the fake port, the virtual clock and a driver
// whose settings the main window would have set.
struct Bench
{
    Bench()
    {
        kdx.setCommPort(1);
        kdx.setBaudRate(QStringLiteral("9600"));
        kdx.setParity(QStringLiteral("N,8,1"));
        w = std::make_unique<frmVT100>(kdx);
    }

    QLabel *lbl(int i) const { return w->findChild<QLabel *>(QStringLiteral("lbl_%1").arg(i)); }
    QPushButton *cmd(int i) const { return w->findChild<QPushButton *>(QStringLiteral("cmdCtrl_%1").arg(i)); }
    QWidget *pic() const { return w->findChild<QWidget *>(QStringLiteral("pic")); }
    QColor background(int i) const { return lbl(i)->palette().color(QPalette::Window); }

    // The first 20 captions of each row, '.' for an empty cell, trailing ones cut.
    QStringList captions() const
    {
        QStringList rows;
        for (int r = 0; r < 4; ++r) {
            QString row;
            for (int c = 0; c < 20; ++c) {
                const QString t = lbl(r * 20 + c)->text();
                row += t.isEmpty() ? QStringLiteral(".") : t;
            }
            while (row.endsWith(QLatin1Char('.')))
                row.chop(1);
            rows << row;
        }
        return rows;
    }
    std::vector<std::int16_t> cells() const
    {
        std::vector<std::int16_t> c;
        w->model().GetData(c);
        return c;
    }

    // Sends each byte as a key press into the screen copy.
    void type(const QByteArray &keys)
    {
        for (char k : keys) {
            if (uchar(k) < 0x80)
                QTest::keyClick(pic(), k);
            else // a key of the national keyboard: no ASCII key code, just its character
                QTest::sendKeyEvent(QTest::Click, pic(), Qt::Key_unknown,
                                    QString(platform::ansi::charOf(uchar(k))), Qt::NoModifier);
        }
    }

    kdxtest::DriverEnv env;
    CKDX kdx;
    std::unique_ptr<frmVT100> w;
};

QStringList rows4(QStringList r)
{
    while (r.size() < 4)
        r << QString();
    return r;
}

} // namespace

class tst_frmVT100 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        kdxtest::isolateUserFolders();
        platform::app::setTitle(QStringLiteral("KDXB Utility"));
    }

    void loadAndTimer();
    void keys_data();
    void keys();
    void buttons_data();
    void buttons();
    void slider_data();
    void slider();
    void identification_data();
    void identification();
    void screenRead_data();
    void screenRead();
    void closeDuringPoll_data();
    void closeDuringPoll();
    void busyIgnoresOtherActions();
    void clicks_data();
    void clicks();
};

void tst_frmVT100::loadAndTimer()
{
    Bench b;
    QCOMPARE(b.w->windowTitle(), QStringLiteral("VT100 Mode Test"));
    auto *cbo = b.w->findChild<QComboBox *>(QStringLiteral("cboContryCode"));
    QCOMPARE(cbo->count(), 13);
    QCOMPARE(cbo->currentText(), QStringLiteral("00 - USA"));
    QCOMPARE(cbo->itemText(12), QStringLiteral("0C - Latin America"));
    QCOMPARE(b.cmd(7)->text(), QStringLiteral("Call display identification - ESC [0c"));
    QCOMPARE(b.w->findChild<QSlider *>(QStringLiteral("Slider1"))->value(), 0);
    QCOMPARE(b.lbl(79)->geometry(), QRect(16 + 16 * 19, 8 + 24 * 3, 17, 25));

    // Nothing goes out before the first tick.
    b.env.clock.advance(499);
    QVERIFY(b.env.port().writes.isEmpty());
    for (int i = 0; i < frmVT100::kCells; ++i)
        QCOMPARE(b.background(i), frmVT100::normalBackground());

    // The first tick sends one BS, paints the copy and starts the blink.
    b.env.clock.advance(1);
    QCOMPARE(b.env.port().written(), hex("08"));
    QCOMPARE(b.background(0), frmVT100::blinkBackground());
    b.env.clock.advance(500);
    QCOMPARE(b.background(0), frmVT100::normalBackground());
    b.env.clock.advance(500);
    QCOMPARE(b.background(0), frmVT100::blinkBackground());
    QCOMPARE(b.env.port().written(), hex("08"));
    QCOMPARE(b.env.port().events, QStringList({"open 1 9600,N,8,1"}));
}

void tst_frmVT100::keys_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("cursorCell");

    QTest::newRow("A") << QByteArray("A") << hex("41") << rows4({"A"}) << 1;
    QTest::newRow("Enter") << QByteArray("AB\r") << hex("41 42 0D") << rows4({"AB"}) << 0;
    QTest::newRow("ESC [2J") << QByteArray("AB\x1b[2J") << hex("41 42 1B 5B 32 4A") << rows4({}) << 2;
    QTest::newRow("Backspace") << QByteArray("AB\b") << hex("41 42 08") << rows4({"AB"}) << 1;
    QTest::newRow("ANSI character") << QByteArray("\xe9") << hex("E9") << rows4({QStringLiteral("\u00e9")}) << 1;
}

void tst_frmVT100::keys()
{
    QFETCH(QByteArray, keys);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, captions);
    QFETCH(int, cursorCell);

    Bench b;
    b.w->show();
    b.type(keys);
    QVERIFY(b.w->isVisible()); // Esc went to the display, not to the dialog
    QCOMPARE(b.env.port().written().toHex(' '), wire.toHex(' '));
    QCOMPARE(b.captions(), captions);
    QCOMPARE(int(b.w->cursorCell()), cursorCell);
    for (int i = 0; i < frmVT100::kCells; ++i) {
        QCOMPARE(b.background(i), i == cursorCell ? frmVT100::cursorBackground() : frmVT100::normalBackground());
        QCOMPARE(b.lbl(i)->palette().color(QPalette::WindowText), frmVT100::normalText());
    }
    // Every key goes over one connection, left open.
    QCOMPARE(b.env.port().events, QStringList({"open 1 9600,N,8,1"}));
}

void tst_frmVT100::buttons_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("cursorCell");

    // Typed first: "ab", then the cursor to row 2, column 5 (cell 24).
    const Setup none = [](frmVT100 &) {};
    QTest::newRow("0 BS") << none << 0 << hex("08") << rows4({"ab"}) << 23;
    QTest::newRow("1 LF") << none << 1 << hex("0A") << rows4({"ab"}) << 44;
    QTest::newRow("2 CR") << none << 2 << hex("0D") << rows4({"ab"}) << 20;
    QTest::newRow("3 ESC [2J") << none << 3 << hex("1B 5B 32 4A") << rows4({}) << 24;
    QTest::newRow("5 ESC [0K") << none << 5 << hex("1B 5B 30 4B") << rows4({"ab"}) << 24;
    QTest::newRow("4 with 2 and 15") << Setup([](frmVT100 &w) {
        w.findChild<QLineEdit *>(QStringLiteral("txtY"))->setText(QStringLiteral("2"));
        w.findChild<QLineEdit *>(QStringLiteral("txtX"))->setText(QStringLiteral("15"));
    }) << 4 << hex("1B 5B 32 3B 31 35 48") << rows4({"ab"}) << 34;
    QTest::newRow("6 Denmark 2") << Setup([](frmVT100 &w) {
        auto *cbo = w.findChild<QComboBox *>(QStringLiteral("cboContryCode"));
        cbo->setCurrentIndex(cbo->findText(QStringLiteral("0A - Denmark 2")));
    }) << 6 << hex("1B 52 0A") << rows4({"ab"}) << 24;
    QTest::newRow("8 special characters")
        << none << 8 << hex("23 24 40 5B 5C 5D 5E 60 7B 7C 7D 7E 80")
        << rows4({"ab", QStringLiteral("....#$@[\\]^`{|}~\u20ac")}) << 37;
}

void tst_frmVT100::buttons()
{
    QFETCH(Setup, setup);
    QFETCH(int, index);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, captions);
    QFETCH(int, cursorCell);

    Bench b;
    b.type("ab\x1b[2;5H");
    const std::vector<std::int16_t> cellsBefore = b.cells();
    b.env.port().clearRecord();
    setup(*b.w);

    b.cmd(index)->click();
    QCOMPARE(b.env.port().written().toHex(' '), wire.toHex(' '));
    QCOMPARE(b.captions(), captions);
    QCOMPARE(int(b.w->cursorCell()), cursorCell);
    QCOMPARE(b.background(cursorCell), frmVT100::cursorBackground());
    if (index == 6)
        QVERIFY(b.cells() == cellsBefore);
    // Model and copy agree.
    const std::vector<std::int16_t> cells = b.cells();
    for (int i = 0; i < frmVT100::kCells; ++i)
        QCOMPARE(b.lbl(i)->text().isEmpty(), cells[size_t(i)] == 0);

    QVERIFY(!b.w->isBusy());
    QVERIFY(b.pic()->isEnabled());
    for (const char *f : {"Frame1", "Frame2", "Frame3", "Frame4", "Frame5"})
        QVERIFY(b.w->findChild<QGroupBox *>(QLatin1String(f))->isEnabled());
}

void tst_frmVT100::slider_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("1") << 1 << hex("1B 42 32");
    QTest::newRow("3, 100%") << 3 << hex("1B 42 30");
}

void tst_frmVT100::slider()
{
    QFETCH(int, value);
    QFETCH(QByteArray, wire);

    Bench b;
    b.w->findChild<QSlider *>(QStringLiteral("Slider1"))->setValue(value);
    QCOMPARE(b.env.port().written().toHex(' '), wire.toHex(' '));
    // One connection per byte; the model is not told.
    QCOMPARE(b.env.port().events.count(QStringLiteral("close")), 3);
    QCOMPARE(b.captions(), rows4({}));
    QVERIFY(!b.w->isBusy());
}

void tst_frmVT100::identification_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<qint64>("ms");

    // Below 15 bytes the poll runs its 11 rounds: 11 x 201 + 101 + 201 ms.
    QTest::newRow("three bytes and 1;2;3;4;5c")
        << QByteArray("xyz1;2;3;4;5c") << QStringList({"1", "2", "3", "4", "5"}) << qint64(2513);
    QTest::newRow("full reply stops the poll early")
        << QByteArray("\x1b[?KDXB;1.05;0;4;20c") << QStringList({"KDXB", "1.05", "0", "4", "20"}) << qint64(704);
    QTest::newRow("silence") << QByteArray() << QStringList({"", "", "", "", ""}) << qint64(2513);
    QTest::newRow("no separators") << QByteArray("abcdef") << QStringList({"", "", "", "", "ab"}) << qint64(2513);
}

void tst_frmVT100::identification()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, fields);
    QFETCH(qint64, ms);

    Bench b;
    b.env.port().setResponder([&](kdxtest::FakeSerialPort &p, const QByteArray &w) {
        if (w == "c" && !reply.isEmpty())
            p.reply(reply, 300);
    });
    bool busyAtBox = true;
    b.env.dialogs.onMessageBox = [&](const kdxtest::RecordingDialogs::Box &) { busyAtBox = b.w->isBusy(); };

    const qint64 start = b.env.clock.nowMs();
    b.w->cmdCtrl_Click(7);
    QCOMPARE(b.env.clock.nowMs() - start, ms);
    QCOMPARE(b.env.port().written(), hex("1B 5B 30 63"));
    QCOMPARE(b.captions(), rows4({}));
    QCOMPARE(int(b.w->cursorCell()), 0);

    QCOMPARE(b.env.dialogs.boxes.size(), 1);
    const auto box = b.env.dialogs.boxes.first();
    const QString text = QStringLiteral("Return Code: %1\r\n\r\nType of display : %2\r\nPROM version : %3\r\n"
                                        "Character set : %4\r\nNumber of lines : %5\r\nColumn/line : %6")
                             .arg(QString::fromLatin1(reply), fields[0], fields[1], fields[2], fields[3], fields[4]);
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, QStringLiteral("KDXB Utility"));
    QCOMPARE(box.icon, platform::MsgIcon::Information);
    QVERIFY(!busyAtBox);
}

void tst_frmVT100::screenRead_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<qint64>("ms");

    QByteArray full;
    for (int i = 0; i < 80; ++i)
        full.append(char('A' + i % 26));
    const QStringList fullRows = {"ABCDEFGHIJKLMNOPQRST", "UVWXYZABCDEFGHIJKLMN", "OPQRSTUVWXYZABCDEFGH",
                                  "IJKLMNOPQRSTUVWXYZAB"};
    QTest::newRow("80 bytes") << full << fullRows << qint64(704);
    QTest::newRow("90 bytes, first 80 used") << full + "0123456789" << fullRows << qint64(704);
    // Short or missing replies: 21 polls, and the rest keeps what it had.
    QTest::newRow("10 bytes") << QByteArray("0123456789") << rows4({"0123456789", "", "hello"}) << qint64(4523);
    QTest::newRow("silence") << QByteArray() << rows4({"", "", "hello"}) << qint64(4523);
}

void tst_frmVT100::screenRead()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, captions);
    QFETCH(qint64, ms);

    Bench b;
    b.type("\x1b[3;1Hhello");
    b.env.port().clearRecord();
    b.env.port().setResponder([&](kdxtest::FakeSerialPort &p, const QByteArray &w) {
        if (w == "T" && !reply.isEmpty())
            p.reply(reply, 300);
    });

    const qint64 start = b.env.clock.nowMs();
    b.w->cmdCtrl_Click(9);
    QCOMPARE(b.env.clock.nowMs() - start, ms);
    QCOMPARE(b.env.port().written(), hex("1B 54"));
    QCOMPARE(b.captions(), captions);
    // The model holds what the copy shows; the cursor and the colours stay.
    const std::vector<std::int16_t> cells = b.cells();
    for (int i = 0; i < frmVT100::kCells; ++i)
        QCOMPARE(b.lbl(i)->text(), cells[size_t(i)] ? QString(QChar(cells[size_t(i)])) : QString());
    QCOMPARE(int(b.w->cursorCell()), 45);
    for (int i = 0; i < frmVT100::kCells; ++i) {
        if (i != 45) // the cursor cell blinks meanwhile
            QCOMPARE(b.background(i), frmVT100::normalBackground());
    }
}

void tst_frmVT100::closeDuringPoll_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("identification") << 7;
    QTest::newRow("screen") << 9;
}

void tst_frmVT100::closeDuringPoll()
{
    QFETCH(int, index);

    Bench b;
    b.w->show();
    const qint64 start = b.env.clock.nowMs();
    // During the second 200 ms wait.
    b.env.clock.schedule(start + 300, [&] {
        b.w->close();
        QVERIFY(b.w->isVisible());
        QVERIFY(b.w->closeRequested());
    });
    b.w->cmdCtrl_Click(index);

    QVERIFY(!b.w->isVisible());
    QCOMPARE(b.env.clock.nowMs() - start, qint64(402));
    QCOMPARE(b.env.port().inBufferCountCalls, 1); // only the first poll looked
    QCOMPARE(b.env.port().events.last(), QStringLiteral("close"));
    QVERIFY(!b.env.port().portOpen());
    QVERIFY(b.env.dialogs.boxes.isEmpty());
    QVERIFY(!b.w->isBusy());
}

void tst_frmVT100::busyIgnoresOtherActions()
{
    Bench b;
    auto *slider = b.w->findChild<QSlider *>(QStringLiteral("Slider1"));
    b.env.clock.schedule(b.env.clock.nowMs() + 300, [&] {
        QVERIFY(b.w->isBusy());
        QCOMPARE(b.w->cursor().shape(), Qt::WaitCursor);
        b.w->cmdCtrl_Click(3);
        b.w->Form_Click();
        slider->setValue(2);
    });
    b.w->cmdCtrl_Click(9);
    QCOMPARE(b.env.port().written(), hex("1B 54"));
    QCOMPARE(slider->value(), 2);
    QVERIFY(!b.w->isBusy());
    QCOMPARE(b.w->cursor().shape(), Qt::ArrowCursor);
}

void tst_frmVT100::clicks_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("cursorCell");
    QTest::newRow("moves left") << QByteArray("AB") << 1;
    QTest::newRow("column 1 stays") << QByteArray("AB\x1b[2;1H") << 20;
}

void tst_frmVT100::clicks()
{
    QFETCH(QByteArray, keys);
    QFETCH(int, cursorCell);

    Bench b;
    b.w->show();
    QApplication::setActiveWindow(b.w.get());
    b.type(keys);
    b.env.port().clearRecord();

    // A cell takes nothing but the focus.
    auto *txtY = b.w->findChild<QLineEdit *>(QStringLiteral("txtY"));
    txtY->setFocus();
    QTest::mouseClick(b.lbl(5), Qt::LeftButton);
    QVERIFY(b.env.port().writes.isEmpty());
    QVERIFY(b.pic()->hasFocus());

    txtY->setFocus();
    QTest::mouseClick(b.w.get(), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(b.env.port().written(), hex("08"));
    QCOMPARE(int(b.w->cursorCell()), cursorCell);
    QVERIFY(b.pic()->hasFocus());

    // Esc is a key for the display, never a way out of the window.
    txtY->setFocus();
    QTest::keyClick(txtY, Qt::Key_Escape);
    QVERIFY(b.w->isVisible());
    QVERIFY(b.env.port().portOpen());
}

QTEST_MAIN(tst_frmVT100)
#include "tst_frmVT100.moc"
