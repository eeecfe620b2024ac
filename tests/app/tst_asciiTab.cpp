// The character table on its own: each click shows its own outcome.

#include "AsciiTab.h"
#include "TabTestHost.h"
#include "TestEnv.h"

#include <QPushButton>
#include <QtTest>

class tst_asciiTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void outcome_data();
    void outcome();
};

void tst_asciiTab::outcome_data()
{
    QTest::addColumn<bool>("upper");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("A sent") << false << 65 << false << "Sent; the display gave no acknowledge" << QByteArray("A");
    QTest::newRow("0xFF sent") << true << 127 << false << "Sent; the display gave no acknowledge" << QByteArray("\xFF");
    QTest::newRow("A, port will not open") << false << 65 << true << "Commport open failed." << QByteArray();
    QTest::newRow("0x80, port will not open") << true << 0 << true << "Commport open failed." << QByteArray();
}

void tst_asciiTab::outcome()
{
    QFETCH(bool, upper);
    QFETCH(int, index);
    QFETCH(bool, openFails);
    QFETCH(QString, status);
    QFETCH(QByteArray, bytes);
    kdxtest::DriverEnv env;
    TabTestHost host;
    host.useLine();
    host.status = QStringLiteral("OK");
    AsciiTab tab(host);
    env.port().failOpen = openFails;
    (upper ? tab.cmdASCII2 : tab.cmdASCII1)[index]->click();
    QCOMPARE(host.status, status);
    QCOMPARE(env.port().written(), bytes);
    QVERIFY(!host.busy);

    // A click while another command runs does nothing at all.
    host.busy = true;
    host.status = QStringLiteral("running");
    env.port().clearRecord();
    (upper ? tab.cmdASCII2 : tab.cmdASCII1)[index]->click();
    QCOMPARE(host.status, QStringLiteral("running"));
    QVERIFY(env.port().events.isEmpty());
}

QTEST_MAIN(tst_asciiTab)
#include "tst_asciiTab.moc"
