// kdxctl find against kdx-sim on real pseudo-terminals: displays at several
// rates, a silent one, one left in its loader, and two ports at once as JSON.

#include "SimProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {

const QString kEveryFraming = QStringLiteral("N,8,1/O,7,1/E,7,1/O,8,1/E,8,1");

QString said(const SimProcess::Result &r)
{
    return QStringLiteral("exit %1\n%2\n%3").arg(r.exitCode).arg(r.out, r.err);
}

} // namespace

class tst_KdxctlFind : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findsTheRate_data();
    void findsTheRate();
    void silentDisplay();
    void displayInItsLoader();
    void twoPortsAsJson_data();
    void twoPortsAsJson();
};

void tst_KdxctlFind::initTestCase()
{
    if (!SimProcess::built() || !QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdx-sim or kdxctl is not built");
}

void tst_KdxctlFind::findsTheRate_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QStringList>("given"); // line settings given to find
    QTest::addColumn<QString>("framings");  // as printed: the first one asked leads
    QTest::addColumn<int>("withinMs");
    QTest::newRow("19200") << "19200" << QStringList() << kEveryFraming << 3000;
    QTest::newRow("9600") << "9600" << QStringList() << kEveryFraming << 30000;
    QTest::newRow("2400") << "2400" << QStringList() << kEveryFraming << 30000;
    QTest::newRow("115200") << "115200" << QStringList() << kEveryFraming << 30000;
    QTest::newRow("2400 E,7,1 given: asked first") << "2400" << QStringList {"--baud", "2400", "--parity", "E,7,1"}
                                                   << "E,7,1/N,8,1/O,7,1/O,8,1/E,8,1" << 3000;
}

void tst_KdxctlFind::findsTheRate()
{
    QFETCH(QString, baud);
    QFETCH(QStringList, given);
    QFETCH(QString, framings);
    QFETCH(int, withinMs);
    SimProcess sim;
    QVERIFY2(sim.start({"--baud", baud}), qPrintable(sim.error()));
    QElapsedTimer timer;
    timer.start();
    const SimProcess::Result r = sim.kdxctl(given + QStringList {"find"});
    const qint64 took = timer.elapsed();
    QVERIFY2(r.exitCode == 0, qPrintable(said(r)));
    // A pseudo-terminal carries no parity: every framing answers alike, and
    // find says so instead of picking one.
    QCOMPARE(r.out, QStringLiteral("%1 %2 %3 ?1.05").arg(sim.comName(), baud, framings));
    QVERIFY2(r.err.contains(QLatin1String("cannot tell the framing")), qPrintable(said(r)));
    QVERIFY2(took < withinMs, qPrintable(QString::number(took)));
    // Only the version was asked: the display keeps its settings (queries at
    // other rates may leave stray characters on its screen, as on a real line).
    const QJsonObject state = sim.state();
    QCOMPARE(state["baud"].toInt(), baud.toInt());
    QCOMPARE(state["framing"].toString(), QStringLiteral("N,8,1"));
    QCOMPARE(state["commandSet"].toString(), QStringLiteral("native"));
    QCOMPARE(state["international"].toObject()["code"].toInt(), 0x30);
    QCOMPARE(state["loader"].toObject()["state"].toString(), QStringLiteral("off"));
}

void tst_KdxctlFind::silentDisplay()
{
    SimProcess sim;
    QVERIFY2(sim.start({"--fault", "silent"}), qPrintable(sim.error()));
    QElapsedTimer timer;
    timer.start();
    const SimProcess::Result r = sim.kdxctlOn(sim.comName(), {"find"}, 60000);
    const qint64 took = timer.elapsed();
    QVERIFY2(r.exitCode == 4, qPrintable(said(r)));
    QVERIFY2(took < 45000, qPrintable(QString::number(took)));
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count(QLatin1Char('\n')), 0);
    QVERIFY2(r.err.contains(QLatin1String("no display answered at any of the 45 line settings")), qPrintable(said(r)));
}

void tst_KdxctlFind::displayInItsLoader()
{
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    // Left in its loader: ESC "Load" and nothing after it.
    sim.kdxctl({"send-bytes", "/27/76/111/97/100"});
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["loader"].toObject()["state"] == "prompt"; }));
    const SimProcess::Result r = sim.kdxctl({"find"});
    QVERIFY2(r.exitCode == 6, qPrintable(said(r)));
    QCOMPARE(r.err, QStringLiteral("kdxctl: find: %1 19200 N,8,1: in its firmware loader: run a firmware update, "
                                   "or power it off and on")
                        .arg(sim.comName()));
}

// The fields of what was found, in the summary and in the line of each port.
void tst_KdxctlFind::twoPortsAsJson_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("summary") << "--json";
    QTest::newRow("a line per port") << "--json-lines";
}

void tst_KdxctlFind::twoPortsAsJson()
{
    QFETCH(QString, option);
    SimProcess at9600;
    QVERIFY2(at9600.start({"--baud", "9600"}), qPrintable(at9600.error()));
    SimProcess at4800(at9600.portsDir());
    QVERIFY2(at4800.start({"--baud", "4800"}), qPrintable(at4800.error()));
    const QString list = at9600.comName() + QLatin1Char(',') + at4800.comName();
    const SimProcess::Result r = at9600.kdxctlOn(list, {option, "find"}, 60000);
    QVERIFY2(r.exitCode == 0, qPrintable(said(r)));
    QMap<QString, QJsonObject> byPort;
    const QStringList docs = option == QLatin1String("--json") ? QStringList {r.out} : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &text : docs) {
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(text.toUtf8(), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(said(r)));
        const QJsonArray ports = doc.contains(QLatin1String("ports")) ? doc["ports"].toArray() : QJsonArray {doc};
        for (const QJsonValue &port : ports)
            byPort.insert(port["port"].toString(), port.toObject());
    }
    QCOMPARE(byPort.size(), 2);
    const SimProcess *sims[] = {&at9600, &at4800};
    const int rates[] = {9600, 4800};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject port = byPort[sims[i]->comName()];
        QCOMPARE(port["result"].toInt(), 0);
        QCOMPARE(port["rate"], QJsonValue(rates[i]));
        QVERIFY2(port["framing"].isNull(), "a pseudo-terminal cannot tell the framing");
        QCOMPARE(port["framings"].toArray().size(), 5);
        QCOMPARE(port["version"].toString(), QStringLiteral("?1.05"));
    }
}

QTEST_GUILESS_MAIN(tst_KdxctlFind)
#include "tst_kdxctl_find.moc"
