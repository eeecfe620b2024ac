// kdxctl --trace and --trace-file, and kdx-sim --trace, on a real
// pseudo-terminal: both ends log the same exchange in the protocol's words.

#include "SimProcess.h"
#include "TestEnv.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using kdxtest::untimedTrace;

class tst_trace_sim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void kdxctlTrace();
    void traceFileAppendsAndRefusesOddFiles();
};

void tst_trace_sim::initTestCase()
{
    QVERIFY2(SimProcess::built(), "kdx-sim has not been built");
}

void tst_trace_sim::kdxctlTrace()
{
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--trace")}), qPrintable(sim.error()));

    SimProcess::Result r = sim.kdxctl({QStringLiteral("--trace"), QStringLiteral("position"), QStringLiteral("20")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.trimmed(), QStringLiteral("OK"));
    QStringList lines = untimedTrace(r.err);
    QVERIFY2(lines.contains(QStringLiteral("> 04 01 50 44 17 SetPosition 20")), qPrintable(r.err));
    QVERIFY2(lines.contains(QStringLiteral("< 06 ACK")), qPrintable(r.err));
    QVERIFY(lines.first().startsWith(QLatin1String("- open COM")));
    QCOMPARE(lines.last(), QStringLiteral("- close"));
    // The time column and the byte column line up as in a terminal.
    QVERIFY(r.err.contains(QRegularExpression(QStringLiteral("\n +0\\.\\d{6} > 04 01 50 44 17           SetPosition 20\n"))));

    r = sim.kdxctl({QStringLiteral("--trace"), QStringLiteral("version")});
    QCOMPARE(r.exitCode, 0);
    lines = untimedTrace(r.err);
    QVERIFY2(lines.contains(QStringLiteral("> 04 01 56 17 GetVersion")), qPrintable(r.err));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^< [0-9A-F ]+ version \""))).size() == 1);

    // The display's side logs the same exchange.
    QStringList simLines;
    QElapsedTimer t;
    t.start();
    QString simErr;
    while (t.elapsed() < 5000) {
        simErr += QString::fromLocal8Bit(sim.readStandardError());
        simLines = untimedTrace(simErr);
        if (simLines.contains(QStringLiteral("> 04 01 56 17 GetVersion")) && simLines.filter(QStringLiteral(" version \"")).size() == 1)
            break;
        QTest::qWait(50);
    }
    QVERIFY2(simLines.contains(QStringLiteral("> 04 01 50 44 17 SetPosition 20")), qPrintable(simErr));
    QVERIFY2(simLines.contains(QStringLiteral("< 06 ACK")), qPrintable(simErr));
    QVERIFY2(simLines.contains(QStringLiteral("> 04 01 56 17 GetVersion")), qPrintable(simErr));
    QVERIFY2(simLines.filter(QStringLiteral(" version \"")).size() == 1, qPrintable(simErr));
}

void tst_trace_sim::traceFileAppendsAndRefusesOddFiles()
{
    SimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.error()));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.txt"));

    QCOMPARE(sim.kdxctl({QStringLiteral("--trace-file"), path, QStringLiteral("position"), QStringLiteral("3")}).exitCode, 0);
    SimProcess::Result r = sim.kdxctl({QStringLiteral("--trace-file"), path, QStringLiteral("clear"), QStringLiteral("1"), QStringLiteral("20")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty()); // the file only
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = untimedTrace(QString::fromUtf8(f.readAll()));
    QCOMPARE(lines.filter(QStringLiteral("- open")).size(), 2); // appended, not replaced
    QVERIFY(lines.contains(QStringLiteral("> 04 01 50 33 17 SetPosition 3")));
    QVERIFY(lines.contains(QStringLiteral("> 04 01 43 31 44 17 ClearDisplay 1..20")));

    // A link, a FIFO or a device is refused before anything is opened: the
    // display's cursor stays where position 3 put it.
    const QJsonValue cursor = sim.state().value(QStringLiteral("cursor"));
    const QString link = dir.filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("target")), link));
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &bad : {link, fifo, QStringLiteral("/dev/null")}) {
        r = sim.kdxctl({QStringLiteral("--trace-file"), bad, QStringLiteral("position"), QStringLiteral("4")});
        QVERIFY2(r.exitCode == 64, qPrintable(bad + QLatin1Char(' ') + r.err));
        QVERIFY(r.err.contains(QStringLiteral("--trace-file")));
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("target"))));
    QCOMPARE(sim.state().value(QStringLiteral("cursor")), cursor);
}

QTEST_GUILESS_MAIN(tst_trace_sim)
#include "tst_trace_sim.moc"
