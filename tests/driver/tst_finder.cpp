// The search for a display's line settings, on a scripted port and the virtual
// clock: the order of the sweep, what counts as an answer, the waits, and that
// nothing but the version query goes out.

#include "CKDX.h"
#include "DisplayFinder.h"
#include "TestEnv.h"

#include <QtTest>

using Finder = DisplayFinder;

namespace {

const QByteArray kQuery = QByteArray::fromHex("04015617");

// A display behind the fake port. It answers the version query when the port's
// rate is its own and, on a line that carries parity, the framing too.
struct FakeDisplay
{
    QString baud = QStringLiteral("19200");
    QString framing = QStringLiteral("N,8,1");
    bool lineCarriesParity = true;
    QByteArray answer = "?1.05";
    // What comes at its rate but with another framing (empty: nothing).
    QByteArray wrongFramingAnswer;
    qint64 delayMs = 2;

    void attach(kdxtest::FakeSerialPort &port) const
    {
        const FakeDisplay d = *this;
        port.setResponder([d](kdxtest::FakeSerialPort &p, const QByteArray &written) {
            const QStringList s = p.settings().split(QLatin1Char(','));
            if (written != kQuery || s.value(0) != d.baud || d.answer.isEmpty())
                return;
            const bool sameFraming = s.mid(1).join(QLatin1Char(',')) == d.framing;
            const DisplayFinder::Setting here {s.value(0), s.mid(1).join(QLatin1Char(','))};
            // The answer comes once the query has crossed the line.
            const qint64 after = qint64(std::ceil(4 * 1000.0 * DisplayFinder::bitsPerCharacter(here.framing)
                                                  / here.baud.toInt()))
                + d.delayMs;
            if (sameFraming || !d.lineCarriesParity)
                p.reply(d.answer, after);
            else if (!d.wrongFramingAnswer.isEmpty())
                p.reply(d.wrongFramingAnswer, after);
        });
    }
};

struct Sweep
{
    DisplayFinder::Result result;
    QList<DisplayFinder::Setting> tried;
    qint64 ms = 0;
};

Sweep sweep(kdxtest::DriverEnv &env, CKDX &kdx, const std::function<void(DisplayFinder &, int)> &each = {})
{
    DisplayFinder finder(kdx);
    Sweep s;
    finder.onTrying = [&](const DisplayFinder::Setting &setting, int n, int) {
        s.tried << setting;
        if (each)
            each(finder, n);
    };
    const qint64 start = env.clock.nowMs();
    s.result = finder.find();
    s.ms = env.clock.nowMs() - start;
    return s;
}

void setUp(CKDX &kdx)
{
    kdx.setCommPort(4);
    kdx.setBaudRate(QStringLiteral("19200"));
    kdx.setParity(QStringLiteral("N,8,1"));
}

} // namespace

Q_DECLARE_METATYPE(FakeDisplay)
Q_DECLARE_METATYPE(DisplayFinder::Outcome)

class tst_finder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kdxtest::isolateUserFolders(); }
    void orderCoversEverySetting();
    void sweeps_data();
    void sweeps();
    void portFailures();
    void cancelStopsWithinOnePoll();
};

void tst_finder::orderCoversEverySetting()
{
    CKDX kdx;
    DisplayFinder finder(kdx);
    const QList<DisplayFinder::Setting> order = finder.order();
    const QStringList rates = CKDX::DisplayBaudRates();
    const QStringList framings = CKDX::DisplayFramings();
    QCOMPARE(order.size(), rates.size() * framings.size());
    for (const QString &rate : rates) {
        for (const QString &framing : framings)
            QVERIFY2(order.count({rate, framing}) == 1, qPrintable(rate + QLatin1Char(' ') + framing));
    }
    // 19200 N,8,1 first, then every rate with N,8,1 in the order met in the field.
    QStringList firstPass;
    for (int i = 0; i < rates.size(); ++i) {
        QCOMPARE(order[i].framing, QStringLiteral("N,8,1"));
        firstPass << order[i].baud;
    }
    QCOMPARE(firstPass.join(QLatin1Char(' ')), QStringLiteral("19200 9600 38400 115200 4800 2400 1200 600 300"));

    // Other settings given go first, in the driver's way of writing them.
    finder.setStart({QStringLiteral("2400"), QStringLiteral("e,8,1")});
    QCOMPARE(finder.order().first().text(), QStringLiteral("2400 E,8,1"));
    QCOMPARE(finder.order().size(), order.size());
}

void tst_finder::sweeps_data()
{
    QTest::addColumn<FakeDisplay>("display");
    QTest::addColumn<DisplayFinder::Outcome>("outcome");
    QTest::addColumn<QString>("found"); // rate and framings
    QTest::addColumn<int>("tried");

    using O = DisplayFinder::Outcome;
    const QString all = QStringLiteral("N,8,1 O,7,1 E,7,1 O,8,1 E,8,1");
    FakeDisplay d;
    QTest::newRow("19200 N,8,1 at once") << d << O::Found << "19200 N,8,1" << 1;
    d.baud = QStringLiteral("2400");
    d.framing = QStringLiteral("E,7,1");
    QTest::newRow("2400 E,7,1 in the second pass") << d << O::Found << "2400 E,7,1" << 9 + 5 * 4 + 2;
    d.wrongFramingAnswer = QByteArray::fromHex("bf31");
    QTest::newRow("garbled at 2400: its framings next") << d << O::Found << "2400 E,7,1" << 6 + 2;
    d.baud = QStringLiteral("9600");
    // Its "?1.05" read as 8 data bits: the even parity bit of "1" is the top bit.
    d.wrongFramingAnswer = QByteArray("?\xB1.05");
    QTest::newRow("version garbled at N,8,1: the framing that reads it clean") << d << O::Found << "9600 E,7,1" << 2;
    d = FakeDisplay();
    d.baud = QStringLiteral("115200");
    d.delayMs = DisplayFinder::kDisplayAnswerDelay.count() - 1;
    QTest::newRow("115200, answering late") << d << O::Found << "115200 N,8,1" << 4;
    d = FakeDisplay();
    d.baud = QStringLiteral("300");
    d.framing = QStringLiteral("O,8,1");
    d.delayMs = DisplayFinder::kDisplayAnswerDelay.count() - 1;
    QTest::newRow("300 O,8,1, answering late") << d << O::Found << "300 O,8,1" << 44;
    d = FakeDisplay();
    d.baud = QStringLiteral("9600");
    d.framing = QStringLiteral("O,7,1");
    d.lineCarriesParity = false;
    QTest::newRow("no parity on the line: every framing possible") << d << O::Found << "9600 " + all << 2;
    d = FakeDisplay();
    d.answer = QByteArray();
    QTest::newRow("silent") << d << O::NotFound << "" << 45;
    d.answer = "?1.";
    QTest::newRow("3 bytes are no version") << d << O::NotFound << "" << 45;
    d = FakeDisplay();
    d.baud = QStringLiteral("9600");
    d.answer = ">";
    QTest::newRow("loader prompt") << d << O::Loader << "9600 N,8,1" << 2;
    d.answer = "CC";
    QTest::newRow("loader asking for XModem") << d << O::Loader << "9600 N,8,1" << 2;
    d.answer = QByteArray(4, 0x15);
    QTest::newRow("loader's checksum requests") << d << O::Loader << "9600 N,8,1" << 2;
}

void tst_finder::sweeps()
{
    QFETCH(FakeDisplay, display);
    QFETCH(DisplayFinder::Outcome, outcome);
    QFETCH(QString, found);
    QFETCH(int, tried);

    kdxtest::DriverEnv env;
    display.attach(env.port());
    CKDX kdx;
    setUp(kdx);
    const Sweep s = sweep(env, kdx);

    QCOMPARE(s.result.outcome, outcome);
    QCOMPARE((s.result.baud + QLatin1Char(' ') + s.result.framings.join(QLatin1Char(' '))).trimmed(), found);
    QCOMPARE(s.result.settingsTried, tried);
    if (outcome == DisplayFinder::Outcome::Found)
        QCOMPARE(s.result.version, QString::fromLatin1(display.answer));
    // The whole sweep of a port ends within 45 s.
    QVERIFY2(s.ms < 45000, qPrintable(QString::number(s.ms)));
    // Only the version query went out, and the port is closed with the
    // driver's own settings as they were.
    for (const QByteArray &w : env.port().writes)
        QCOMPARE(w.toHex(' '), kQuery.toHex(' '));
    QVERIFY(!env.port().portOpen());
    QCOMPARE(kdx.BaudRate() + QLatin1Char(' ') + kdx.Parity(), QStringLiteral("19200 N,8,1"));
}

void tst_finder::portFailures()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    setUp(kdx);
    env.port().failOpen = true;
    Sweep s = sweep(env, kdx);
    QCOMPARE(s.result.outcome, DisplayFinder::Outcome::PortFailed);
    QCOMPARE(s.result.portResult, kdx::OpenFailed);
    QCOMPARE(s.result.settingsTried, 1);
    QVERIFY(env.port().writes.isEmpty());

    // Unplugged half-way: the sweep ends at once with the line's failure.
    env.port().failOpen = false;
    s = sweep(env, kdx, [&env](DisplayFinder &, int n) { env.port().hungUp = n == 3; });
    QCOMPARE(s.result.outcome, DisplayFinder::Outcome::PortFailed);
    QCOMPARE(s.result.portResult, kdx::NotConnected);
    QCOMPARE(s.result.settingsTried, 3);
    QVERIFY(!env.port().portOpen());

    // A raw TCP port: every setting would ask the same line.
    env.port().hungUp = false;
    env.port().rawTcp = true;
    env.port().clearRecord();
    s = sweep(env, kdx);
    QCOMPARE(s.result.outcome, DisplayFinder::Outcome::NoLineSettings);
    QCOMPARE(s.result.settingsTried, 1);
    QVERIFY(env.port().writes.isEmpty());
    QVERIFY(!env.port().portOpen());
}

void tst_finder::cancelStopsWithinOnePoll()
{
    kdxtest::DriverEnv env;
    CKDX kdx;
    setUp(kdx);
    DisplayFinder finder(kdx);
    qint64 cancelledAt = 0;
    // Cancelled from inside a wait, as a window's Cancel button is.
    finder.onTrying = [&](const DisplayFinder::Setting &, int n, int) {
        if (n == 3)
            env.clock.schedule(env.clock.nowMs() + 20, [&] {
                cancelledAt = env.clock.nowMs();
                finder.cancel();
            });
    };
    const DisplayFinder::Result r = finder.find();
    QCOMPARE(r.outcome, DisplayFinder::Outcome::Cancelled);
    QCOMPARE(r.settingsTried, 3);
    QVERIFY(cancelledAt > 0);
    QVERIFY2(env.clock.nowMs() - cancelledAt <= 5, qPrintable(QString::number(env.clock.nowMs() - cancelledAt)));
    QVERIFY(!env.port().portOpen());
    QCOMPARE(kdx.BaudRate(), QStringLiteral("19200"));
}

QTEST_GUILESS_MAIN(tst_finder)
#include "tst_finder.moc"
