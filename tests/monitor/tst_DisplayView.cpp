// The Traffic window's picture of the display, checked through its model: what
// the host sends draws, what the display answers does not.

#include "DisplayView.h"

#include <QtTest>

using monitor::Direction;
using monitor::DisplayView;
using monitor::TrafficEvent;

class tst_DisplayView : public QObject
{
    Q_OBJECT

private slots:
    void picture_data();
    void picture();
};

void tst_DisplayView::picture_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<QByteArray>>("sent");     // "<" in front: read from the display
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("lit");
    QTest::addColumn<QString>("status");

    const QString blank(20, QLatin1Char(' '));
    const QString dots(20, QChar(0x2588));
    QTest::newRow("text over two writes") << 2 << QList<QByteArray> {"Hel", "lo"}
                                          << QStringList {"Hello" + QString(15, ' '), blank} << true << "cursor 1,6";
    QTest::newRow("answers do not draw") << 2 << QList<QByteArray> {"<?1.05", "A"}
                                         << QStringList {"A" + QString(19, ' '), blank} << true << "cursor 1,2";
    QTest::newRow("lamp test") << 2 << QList<QByteArray> {QByteArray(40, '\xB2')} << QStringList {dots, dots} << true
                               << "cursor 1,1 | lamp test";
    QTest::newRow("cursor shown, text kept dark")
        << 2 << QList<QByteArray> {QByteArray("\x1bZ1\x00\x1f" "C1\x1f" "E\xff" "Hi", 12)}
        << QStringList {"Hi" + QString(18, ' '), blank} << false << "cursor 1,3 shown | text dark";
    QTest::newRow("four rows") << 4 << QList<QByteArray> {QByteArray(25, 'x')}
                               << QStringList {QString(20, 'x'), "xxxxx" + QString(15, ' '), blank, blank} << true
                               << "cursor 2,6";
}

void tst_DisplayView::picture()
{
    QFETCH(int, rows);
    QFETCH(QList<QByteArray>, sent);
    DisplayView view;
    view.setSize(rows, 20);
    std::vector<TrafficEvent> events;
    qint64 t = 1000000;
    for (const QByteArray &bytes : sent) {
        const bool fromDisplay = bytes.startsWith('<');
        events.push_back({t += 1000, fromDisplay ? Direction::FromDisplay : Direction::ToDisplay,
                          fromDisplay ? bytes.mid(1) : bytes, QStringLiteral("-")});
    }
    events.push_back({t, Direction::Port, QByteArray(), QStringLiteral("closed")});
    view.feed(events);

    QTEST(view.model().rowTexts(), "shown");
    QTEST(view.textLit(), "lit");
    QTEST(view.statusText(), "status");
}

QTEST_MAIN(tst_DisplayView)
#include "tst_DisplayView.moc"
