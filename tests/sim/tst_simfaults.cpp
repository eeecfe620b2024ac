// The faults kdx-sim lays over the display model's answers.

#include "SimHarness.h"

#include <QtTest>

using namespace kdxsim;

class tst_SimFaults : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void tst_SimFaults::answers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("none") << "" << frame('P', "1") << 0 << QByteArray("\x06");
    QTest::newRow("nak: the frame is refused and not carried out") << "nak" << frame('P', "5") + "A" << 0
                                                                    << QByteArray("\x15");
    QTest::newRow("double-ack") << "double-ack" << frame('P', "1") << 0 << QByteArray("\x06\x06");
    QTest::newRow("double-ack leaves NAK alone") << "double-ack" << frame('P', "0") << 0 << QByteArray("\x15");
    QTest::newRow("short-version") << "short-version" << frame('V') << 0 << QByteArray("?1.");
    QTest::newRow("short-version leaves the message alone") << "short-version" << QByteArray("Hello") + frame('T')
                                                            << 0 << QByteArray("\x01Hello\x17");
    QTest::newRow("silent") << "silent" << frame('V') << 5000 << QByteArray();
    QTest::newRow("slow, not yet") << "slow=200" << frame('P', "1") << 150 << QByteArray();
    QTest::newRow("slow, then") << "slow=200" << frame('P', "1") << 250 << QByteArray("\x06");
}

void tst_SimFaults::answers()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, sent);
    QFETCH(int, waitMs);
    DisplayConfig config;
    QString error;
    if (!fault.isEmpty())
        QVERIFY2(config.faults.add(fault, &error), qPrintable(error));
    SimHarness sim(config);
    QTEST(sim.exchange(sent, waitMs), "answer");
    if (fault == QLatin1String("nak"))
        QCOMPARE(sim.cursor(), QStringLiteral("1,2"));
}

QTEST_GUILESS_MAIN(tst_SimFaults)
#include "tst_simfaults.moc"
