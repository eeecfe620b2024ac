// kdxctl against kdx-sim over a pseudo-terminal: every command of the driver,
// checked on the simulated display's state file.

#include "SimProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QtTest>

namespace {

struct Step
{
    QStringList args;
    int exitCode = 0;
    QString out;              // checked when not empty
    QStringList portOptions;  // --baud and the like
};

using Steps = QList<Step>;

Step ok(const QStringList &args, const QString &out = QStringLiteral("OK"))
{
    return Step {args, 0, out, {}};
}

Step fails(const QStringList &args, int exitCode)
{
    return Step {args, exitCode, QString(), {}};
}

Step at(int baud, const QStringList &args)
{
    return Step {args, 0, QStringLiteral("OK"), {QStringLiteral("--baud"), QString::number(baud)}};
}

// "path=value" must match exactly, "path^=value" at the start.
bool holds(const QJsonObject &state, const QString &check)
{
    const bool prefix = check.contains(QLatin1String("^="));
    const QString path = check.section(prefix ? QStringLiteral("^=") : QStringLiteral("="), 0, 0);
    const QString want = check.section(prefix ? QStringLiteral("^=") : QStringLiteral("="), 1);
    const QString got = SimProcess::valueAt(state, path);
    return prefix ? got.startsWith(want) : got == want;
}

} // namespace

Q_DECLARE_METATYPE(Step)

class tst_KdxctlSim : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void firmware_data();
    void firmware();
    void silentLoaderEndsWithAReason();
};

void tst_KdxctlSim::commands_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("checks");

    const QStringList none;
    const QString lit(20, QChar(0x2588));

    QTest::newRow("intl 32 then [x] shows ÄxÜ")
        << none << Steps {ok({"intl", "32"}), ok({"send", "[x]"})}
        << QStringList {"lines/0^=ÄxÜ ", "international/name=Germany", "international/code=50"};
    QTest::newRow("intl 3A Denmark II") << none << Steps {ok({"intl", "3A"}), ok({"send", "[\\]"})}
                                        << QStringList {"lines/0^=ÆØÅ", "international/name=Denmark II"};
    QTest::newRow("intl 0") << none << Steps {ok({"intl", "0"}), ok({"send", "#"})}
                            << QStringList {"international/code=0", "international/name=U.S.A", "lines/0^=#"};
    // The acknowledge comes at the new rate (Get Nack); the version read there
    // confirms the change.
    const auto nowUses = [](const QString &rate, const QString &parity) {
        return QStringLiteral("The display now uses %1 %2; reach it with --baud %1 --parity %2.").arg(rate, parity);
    };
    QTest::newRow("set-baud 9600 is confirmed at 9600, which then answers")
        << none << Steps {ok({"set-baud", "9600", "N,8,1"}, nowUses("9600", "N,8,1")), at(9600, {"position", "3"})}
        << QStringList {"baud=9600", "framing=N,8,1", "cursor/col=3", "hostBaud=9600"};
    QTest::newRow("set-baud 38400 E,8,1")
        << none << Steps {ok({"set-baud", "38400", "E,8,1"}, nowUses("38400", "E,8,1")), at(38400, {"position", "2"})}
        << QStringList {"baud=38400", "framing=E,8,1", "cursor/col=2"};
    QTest::newRow("set-baud 115200 e,8,1")
        << none << Steps {ok({"set-baud", "115200", "e,8,1"}, nowUses("115200", "e,8,1")), at(115200, {"position", "2"})}
        << QStringList {"baud=115200", "framing=E,8,1", "cursor/col=2"};
    QTest::newRow("set-baud 19200 at 19200 is acknowledged")
        << none << Steps {ok({"set-baud", "19200", "O,7,1"}, nowUses("19200", "O,7,1"))}
        << QStringList {"baud=19200", "framing=O,7,1"};
    QTest::newRow("set-baud with an unknown parity sends nothing")
        << none << Steps {fails({"set-baud", "9600", "n,8,1"}, 5)} << QStringList {"baud=19200", "rxBytes=0"};
    QTest::newRow("commands at the wrong rate go unanswered")
        << QStringList {"--baud", "9600"} << Steps {fails({"position", "3"}, 4), at(9600, {"position", "3"})}
        << QStringList {"cursor/col=3", "lineMatches=true"};
    QTest::newRow("save 1") << none << Steps {ok({"send", "One"}), ok({"save", "1"})}
                            << QStringList {"layers/0/saved=true", "layers/0/lines/0^=One ", "layers/1/saved=false"};
    QTest::newRow("save 4 is refused") << none << Steps {fails({"save", "4"}, 6)}
                                       << QStringList {"layers/0/saved=false"};
    QTest::newRow("position 20 and 21") << none << Steps {ok({"position", "20"})}
                                        << QStringList {"cursor/row=1", "cursor/col=20"};
    QTest::newRow("position 21") << none << Steps {ok({"position", "21"})}
                                 << QStringList {"cursor/row=2", "cursor/col=1"};
    QTest::newRow("position 41 is refused") << none << Steps {fails({"position", "41"}, 6)}
                                            << QStringList {"cursor/col=1"};
    QTest::newRow("clear 2 4") << none << Steps {ok({"send", "ABCDE"}), ok({"clear", "2", "4"})}
                               << QStringList {"lines/0^=A   E"};
    QTest::newRow("clear 1 20") << none << Steps {ok({"send", "ABCDEFGHIJKLMNOPQRSTU"}), ok({"clear", "1", "20"})}
                                << QStringList {"lines/0=" + QString(20, QLatin1Char(' ')), "lines/1^=U "};
    QTest::newRow("reboot-mode 1") << none << Steps {ok({"reboot-mode", "1"})} << QStringList {"powerUp=running"};
    QTest::newRow("demo layer 1 blinking")
        << none << Steps {ok({"send", "Demo"}), ok({"save", "1"}), ok({"demo", "0", "2"})}
        << QStringList {"demo/running=true", "demo/layers/0=1", "demo/modes/0=blinking"};
    QTest::newRow("switch epson and back")
        << none << Steps {ok({"switch", "epson"}), ok({"send", "ab\x1f$\x01\x02" "c"})}
        << QStringList {"commandSet=epson", "lines/0^=ab ", "lines/1^=c"};
    QTest::newRow("switch native") << QStringList {"--mode", "epson"} << Steps {ok({"switch", "native"})}
                                   << QStringList {"commandSet=native"};
    QTest::newRow("printer on, text, off")
        << none << Steps {ok({"printer", "on"}), ok({"send", "PRN"}), ok({"printer", "off"}), ok({"send", "x"})}
        << QStringList {"aux/tail=PRN", "printer=false", "lines/0^=x "};
    QTest::newRow("light 40") << none << Steps {ok({"light", "40"})}
                              << QStringList {"lines/0=" + lit, "lines/1=" + lit, "codes/1/19=178"};
    QTest::newRow("version") << none << Steps {ok({"version"}, QStringLiteral("?1.05"))} << QStringList();
    QTest::newRow("get-message on an empty screen") << none << Steps {ok({"get-message"}, QString())}
                                                    << QStringList();
    QTest::newRow("get-message") << none << Steps {ok({"send", "Hi there"}), ok({"get-message"}, "Hi there")}
                                 << QStringList();
    QTest::newRow("send through the code table")
        << none << Steps {ok({"send", "Grüße"})} << QStringList {"lines/0^=Grüße", "codes/0/2=129", "codes/0/3=225"};
    QTest::newRow("send nothing") << none << Steps {ok({"send", ""})} << QStringList {"rxBytes=0"};
    QTest::newRow("send at 4800, byte by byte")
        << QStringList {"--baud", "4800"} << Steps {Step {{"send", "0123456789"}, 0, "OK", {"--baud", "4800"}}}
        << QStringList {"lines/0^=0123456789 ", "rxBytes=10"};
    QTest::newRow("send-byte") << none << Steps {ok({"send-byte", "65"}), ok({"send-byte", "178"})}
                               << QStringList {"lines/0^=A█"};
    QTest::newRow("send-bytes frame is acknowledged") << none << Steps {ok({"send-bytes", "/4/1/80/51/23"})}
                                                      << QStringList {"cursor/col=3"};
    QTest::newRow("send-bytes text gets no acknowledge")
        << none << Steps {fails({"send-bytes", "/72/196/13"}, 4)} << QStringList {"codes/0/1=196", "cursor/col=1"};
    // The EPSON-style command set, on a display that runs it.
    const QStringList epsonMode {"--mode", "epson"};
    QTest::newRow("epson send, clear") << epsonMode << Steps {ok({"epson", "send", "ABC"}), ok({"epson", "clear"})}
                                       << QStringList {"lines/0=" + QString(20, QLatin1Char(' '))};
    QTest::newRow("epson position 2 5") << epsonMode << Steps {ok({"epson", "position", "2", "5"})}
                                        << QStringList {"cursor/row=2", "cursor/col=5"};
    QTest::newRow("epson moves") << epsonMode
                                 << Steps {ok({"epson", "position", "2", "5"}), ok({"epson", "up"}),
                                           ok({"epson", "right"}), ok({"epson", "right"}), ok({"epson", "left"})}
                                 << QStringList {"cursor/row=1", "cursor/col=6"};
    QTest::newRow("epson home") << epsonMode << Steps {ok({"epson", "position", "2", "5"}), ok({"epson", "home"})}
                                << QStringList {"cursor/row=1", "cursor/col=1"};
    QTest::newRow("epson clear-line") << epsonMode
                                      << Steps {ok({"epson", "send", "AB"}), ok({"epson", "clear-line"})}
                                      << QStringList {"lines/0=" + QString(20, QLatin1Char(' '))};
    QTest::newRow("epson cursor on") << epsonMode << Steps {ok({"epson", "cursor", "on"})}
                                     << QStringList {"cursor/visible=true"};
    QTest::newRow("epson cursor on, off") << epsonMode
                                          << Steps {ok({"epson", "cursor", "on"}), ok({"epson", "cursor", "off"})}
                                          << QStringList {"cursor/visible=false"};
    QTest::newRow("epson reverse on") << epsonMode << Steps {ok({"epson", "reverse", "on"})}
                                      << QStringList {"reverse=true"};
    QTest::newRow("epson mode 2") << epsonMode << Steps {ok({"epson", "mode", "2"})}
                                  << QStringList {"mode=vertical-scroll"};
    QTest::newRow("epson mode 3") << epsonMode << Steps {ok({"epson", "mode", "3"})}
                                  << QStringList {"mode=horizontal-scroll"};
    QTest::newRow("epson national 13") << epsonMode << Steps {ok({"epson", "national", "13"})}
                                       << QStringList {"international/code=13"};
    QTest::newRow("epson expand 1") << epsonMode << Steps {ok({"epson", "expand", "1"})}
                                    << QStringList {"codeTable=1"};
    QTest::newRow("epson blink 5") << epsonMode << Steps {ok({"epson", "blink", "5"})} << QStringList {"blink=5"};
    QTest::newRow("epson device 3") << epsonMode << Steps {ok({"epson", "device", "3"})}
                                    << QStringList {"peripheral=both"};
    QTest::newRow("epson self-test") << epsonMode << Steps {ok({"epson", "self-test"})}
                                     << QStringList {"demo/selfTest=true"};
    QTest::newRow("epson init after changes")
        << epsonMode << Steps {ok({"epson", "reverse", "on"}), ok({"epson", "mode", "2"}), ok({"epson", "init"})}
        << QStringList {"reverse=false", "mode=over-write"};
    QTest::newRow("epson refusals open nothing")
        << epsonMode
        << Steps {fails({"epson", "position", "0", "1"}, 64), fails({"epson", "mode", "4"}, 64),
                  fails({"epson", "blink", "256"}, 64), fails({"epson", "cursor", "maybe"}, 64),
                  fails({"epson", "device", "0"}, 64), fails({"epson"}, 64), fails({"epson", "jump"}, 64),
                  fails({"epson", "clear", "now"}, 64)}
        << QStringList {"rxBytes=0"};
    QTest::newRow("fault silent") << QStringList {"--fault", "silent"} << Steps {fails({"position", "2"}, 4)}
                                  << QStringList {"cursor/col=2"};
    QTest::newRow("fault nak") << QStringList {"--fault", "nak"}
                               << Steps {fails({"position", "2"}, 6), fails({"get-message"}, 6),
                                         fails({"set-baud", "9600", "N,8,1"}, 6)}
                               << QStringList {"cursor/col=1", "baud=19200"};
    QTest::newRow("fault slow inside the limit") << QStringList {"--fault", "slow=300"}
                                                 << Steps {ok({"position", "2"})} << QStringList();
    QTest::newRow("fault slow past the limit") << QStringList {"--fault", "slow=1500"}
                                               << Steps {fails({"position", "2"}, 4)} << QStringList();
    QTest::newRow("fault garble") << QStringList {"--fault", "garble"} << Steps {fails({"position", "2"}, 6)}
                                  << QStringList();
    QTest::newRow("fault short-version") << QStringList {"--fault", "short-version"}
                                         << Steps {fails({"version"}, 6)} << QStringList();
    QTest::newRow("fault double-ack") << QStringList {"--fault", "double-ack"} << Steps {ok({"position", "2"})}
                                      << QStringList();
}

void tst_KdxctlSim::commands()
{
    QFETCH(QStringList, simArgs);
    QFETCH(Steps, steps);
    QFETCH(QStringList, checks);
    if (!QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdxctl is not built");

    SimProcess sim;
    QVERIFY2(sim.start(simArgs), qPrintable(sim.error()));
    for (const Step &step : steps) {
        const SimProcess::Result r = sim.kdxctl(step.args, step.portOptions);
        const QString what = step.args.join(QLatin1Char(' ')) + QStringLiteral(": ") + r.out + QLatin1Char('|') + r.err;
        QVERIFY2(r.exitCode == step.exitCode, qPrintable(what));
        if (!step.out.isEmpty())
            QVERIFY2(r.out == step.out, qPrintable(what));
    }
    for (const QString &check : checks) {
        const bool ok = sim.waitForState([&](const QJsonObject &s) { return holds(s, check); }, 2000);
        QVERIFY2(ok, qPrintable(check + QStringLiteral(" (state: ") + SimProcess::valueAt(sim.state(), check.section('=', 0, 0).remove('^'))
                                + QLatin1Char(')')));
    }
}

// A whole update: the loader dialogue, the XModem send and the closing sequence.
void tst_KdxctlSim::firmware_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("check");
    QTest::newRow("crc") << QStringList() << QStringList {"--crc"} << 0 << "crc";
    QTest::newRow("checksum") << QStringList() << QStringList() << 0 << "checksum";
    QTest::newRow("cancelled at block 2") << QStringList {"--fault", "cancel-at-block=2"}
                                          << QStringList {"--crc"} << 7 << "crc";
}

void tst_KdxctlSim::firmware()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, check);
    if (!QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdxctl is not built");

    SimProcess sim;
    const QString image = sim.path(QStringLiteral("received.bin"));
    QVERIFY2(sim.start(simArgs + QStringList {"--firmware-out", image}), qPrintable(sim.error()));
    const QString file = sim.path(QStringLiteral("firmware.bin"));
    QByteArray data(300, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 31);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    const SimProcess::Result r = sim.kdxctl(QStringList {"firmware", file} + options);
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.out + QLatin1Char('|') + r.err));
    // The closing ESC "R" CR always leaves the loader and restarts the display.
    QVERIFY(sim.waitForState([](const QJsonObject &s) { return s["restarts"].toInt() == 1; }));
    const QJsonObject loader = sim.state()["loader"].toObject();
    QCOMPARE(loader["check"].toString(), check);
    QCOMPARE(loader["state"].toString(), QStringLiteral("off"));
    if (exitCode != 0) {
        QCOMPARE(loader["images"].toInt(), 0);
        return;
    }
    QFile got(image);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), data + QByteArray(384 - 300, '\x1a'));
}

void tst_KdxctlSim::silentLoaderEndsWithAReason()
{
    if (!QFileInfo::exists(SimProcess::binary(QStringLiteral("kdxctl"))))
        QSKIP("kdxctl is not built");
    SimProcess sim;
    QVERIFY2(sim.start({"--fault", "silent"}), qPrintable(sim.error()));
    const QString file = sim.path(QStringLiteral("firmware.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(200, 'x'));
    }
    QElapsedTimer took;
    took.start();
    const SimProcess::Result r = sim.kdxctlOn(sim.comName(), {"firmware", file}, 25000);
    QCOMPARE(r.exitCode, 4);
    QVERIFY2(took.elapsed() < 20000, qPrintable(QString::number(took.elapsed())));
    QVERIFY2(r.err.contains(QStringLiteral("kdxctl firmware: the display did not answer the request to switch to its "
                                           "loader: Device does not respond. (-4); is the display at 19200 baud and "
                                           "switched on?")),
             qPrintable(r.err));
}

QTEST_GUILESS_MAIN(tst_KdxctlSim)
#include "tst_kdxctl_sim.moc"
