// The display model as a watcher uses it: only the bytes sent to the display go
// in, and the rows, cursor, blink and lamp test come out.

#include "VfdModel.h"

#include <QtTest>

using namespace kdxdisplay;

class tst_VfdModel : public QObject
{
    Q_OBJECT

private slots:
    void watched_data();
    void watched();
    void answersWithoutHost();
};

void tst_VfdModel::watched_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("cursor");  // row,col from 1; "+" when shown
    QTest::addColumn<int>("blink");
    QTest::addColumn<bool>("lampTest");

    const QString blank(20, QLatin1Char(' '));
    const QString dots(20, QChar(0x2588));
    QTest::newRow("text") << QByteArray("Hello") << QStringList {QStringLiteral("Hello") + QString(15, ' '), blank}
                          << "1,6" << 0 << false;
    QTest::newRow("frames between text")
        << QByteArray("AB\x04\x01P5\x17" "C\x04\x01" "C14\x17") << QStringList {QStringLiteral("    C") + QString(15, ' '), blank}
        << "1,6" << 0 << false;
    QTest::newRow("lamp test") << QByteArray(40, '\xB2') << QStringList {dots, dots} << "1,1" << 0 << true;
    QTest::newRow("one cell short of the lamp test")
        << QByteArray(39, '\xB2') << QStringList {dots, QString(19, QChar(0x2588)) + ' '} << "2,20" << 0 << false;
    QTest::newRow("epson: cursor shown, blink")
        << QByteArray("\x1bZ1\x00\x1f" "C1\x1f" "E\x05" "Hi", 12) << QStringList {QStringLiteral("Hi") + QString(18, ' '), blank}
        << "1,3+" << 5 << false;
    // The loader's traffic never reaches the screen; its exit restarts the display.
    QTest::newRow("loader")
        << QByteArray("Old\x1bLoadZX\r\n\x01\x01\xfe junk\x1bR\rNew") << QStringList {QStringLiteral("New") + QString(17, ' '), blank}
        << "1,4" << 0 << false;
}

void tst_VfdModel::watched()
{
    QFETCH(QByteArray, bytes);
    VfdModel model;
    const quint64 before = model.changes();
    model.feed(bytes);

    QFETCH(QStringList, rows);
    QCOMPARE(model.rowTexts(), rows);
    QFETCH(QString, cursor);
    QCOMPARE(QStringLiteral("%1,%2%3").arg(model.cursorRow() + 1).arg(model.cursorCol() + 1)
                 .arg(model.cursorVisible() ? "+" : ""), cursor);
    QFETCH(int, blink);
    QCOMPARE(model.blink(), blink);
    QFETCH(bool, lampTest);
    QCOMPARE(model.lampTest(), lampTest);
    QVERIFY(!model.inLoader());
    QVERIFY(model.changes() > before);
}

// A model with no host still runs every command; the answers just go nowhere.
void tst_VfdModel::answersWithoutHost()
{
    VfdModel model;
    model.feed(QByteArray("\x04\x01V\x17\x04\x01T\x17\x04\x01" "D11\x17"), 0);
    QVERIFY(model.demoRunning());
    model.advance(60000);
    QVERIFY(model.demoRunning());
    model.feed(QByteArray("x"), 60001);
    QVERIFY(!model.demoRunning());
}

QTEST_GUILESS_MAIN(tst_VfdModel)
#include "tst_vfdmodel.moc"
