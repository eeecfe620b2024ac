// The port list of kdxctl --port and the summary's exit status.

#include "ParallelRun.h"
#include "PortList.h"
#include "RunSummary.h"

#include <QtTest>

namespace {

using Entry = platform::PortMap::Entry;

// COM1-COM3 and COM5-COM8 are plugged in, COM4's device is gone.
QList<Entry> rack()
{
    QList<Entry> map;
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8})
        map.append(Entry {n, QStringLiteral("/nonexistent/tty%1").arg(n), n != 4, QString()});
    // COM9 stands for a display on another machine.
    map.append(Entry {9, QStringLiteral("rfc2217://pos-12:4001"), true, QStringLiteral("rfc2217://pos-12:4001")});
    return map;
}

} // namespace

class tst_PortList : public QObject
{
    Q_OBJECT

private slots:
    void isList_data();
    void isList();
    void parse_data();
    void parse();
    void allOfAnEmptyMap();
    void optionsFor_data();
    void optionsFor();
    void exitStatus_data();
    void exitStatus();
    void portFile_data();
    void portFile();
    void logFileName_data();
    void logFileName();
    void retry_data();
    void retry();
    void retryPause();
    void jsonLine_data();
    void jsonLine();
};

void tst_PortList::isList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("list");
    QTest::newRow("one COM name") << "COM1" << false;
    QTest::newRow("a device path with dashes") << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0" << false;
    QTest::newRow("an address") << "rfc2217://pos-12:4001" << false;
    QTest::newRow("two names") << "COM1,COM2" << true;
    QTest::newRow("a range") << "COM5-COM8" << true;
    QTest::newRow("all") << "all" << true;
    QTest::newRow("a file") << "@tills.txt" << true;
    QTest::newRow("standard input") << "@-" << true;
    QTest::newRow("a range without COM after the dash") << "COM5-8" << true;
    QTest::newRow("a path with a dash is no range") << "/dev/COM5-8" << false;
}

void tst_PortList::isList()
{
    QFETCH(QString, text);
    QFETCH(bool, list);
    QCOMPARE(PortList::isList(text), list);
}

void tst_PortList::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("error"); // a part of the reason, when it fails

    const QStringList none;
    QTest::newRow("names, a range and an address")
        << "COM1,COM2,COM5-COM8,rfc2217://pos-12:4001"
        << QStringList {"COM1", "COM2", "COM5", "COM6", "COM7", "COM8", "rfc2217://pos-12:4001"} << QString();
    QTest::newRow("the list's order is kept") << "COM3,COM1,tcp://10.0.0.5:4001,/dev/ttyUSB0"
                                              << QStringList {"COM3", "COM1", "tcp://10.0.0.5:4001", "/dev/ttyUSB0"}
                                              << QString();
    QTest::newRow("any case, blanks around entries") << "com2 , Com1" << QStringList {"COM2", "COM1"} << QString();
    QTest::newRow("short range") << "COM6-8" << QStringList {"COM6", "COM7", "COM8"} << QString();
    QTest::newRow("range of one") << "COM3-COM3" << QStringList {"COM3"} << QString();
    QTest::newRow("a named port whose device is gone is kept") << "COM4" << QStringList {"COM4"} << QString();
    QTest::newRow("all: the present entries")
        << "all" << QStringList {"COM1", "COM2", "COM3", "COM5", "COM6", "COM7", "COM8", "COM9"} << QString();
    QTest::newRow("ALL") << "ALL" << QStringList {"COM1", "COM2", "COM3", "COM5", "COM6", "COM7", "COM8", "COM9"}
                         << QString();

    QTest::newRow("twice") << "COM1,COM2,COM1" << none << "COM1 is named twice";
    QTest::newRow("inside a range") << "COM5-COM8,COM6" << none << "COM6 is named twice";
    QTest::newRow("overlapping ranges") << "COM1-COM3,COM3-COM5" << none << "COM3 is named twice";
    QTest::newRow("all and a name") << "all,COM2" << none << "COM2 is named twice";
    QTest::newRow("a COM name and its device") << "COM3,/nonexistent/tty3" << none << "COM3 and /nonexistent/tty3 are the same port";
    QTest::newRow("a device path written twice") << "/nonexistent//tty9,/nonexistent/tty9" << none << "are the same port";
    QTest::newRow("one address, two schemes") << "rfc2217://Pos-12:4001,tcp://pos-12:4001" << none << "are the same port";
    QTest::newRow("backwards") << "COM8-COM5" << none << "COM8-COM5 runs backwards";
    QTest::newRow("not in the map") << "COM1,COM10" << none << "COM10 is not in the port map";
    QTest::newRow("range past the map") << "COM7-COM10" << none << "COM10 is not in the port map";
    QTest::newRow("COM0") << "COM0,COM1" << none << "COM numbers run from 1";
    QTest::newRow("unknown name") << "COM1,pos12" << none << "unknown port \"pos12\"";
    QTest::newRow("a range of paths") << "COM1,/dev/ttyS0-/dev/ttyS3" << QStringList {"COM1", "/dev/ttyS0-/dev/ttyS3"} << QString();
    QTest::newRow("an empty entry") << "COM1,,COM2" << none << "an empty entry";
    QTest::newRow("a trailing comma") << "COM1," << none << "an empty entry";
    QTest::newRow("an address without a host") << "COM1,tcp://" << none << "names no host";
    QTest::newRow("a malformed address") << "COM1,rfc2217://pos 12:4001" << none << "is not a network port address";
    QTest::newRow("an address and its COM number") << "COM9,rfc2217://POS-12:4001" << none << "are the same port";
}

void tst_PortList::parse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, ports);
    QFETCH(QString, error);
    QStringList got {"untouched"};
    QString why;
    const bool ok = PortList::parse(text, rack(), &got, &why);
    if (error.isEmpty()) {
        QVERIFY2(ok, qPrintable(why));
        QCOMPARE(got, ports);
    } else {
        QVERIFY(!ok);
        QVERIFY2(why.contains(error), qPrintable(why));
        QCOMPARE(got, QStringList {"untouched"});
    }
}

void tst_PortList::allOfAnEmptyMap()
{
    QString why;
    QList<Entry> unplugged {Entry {1, QStringLiteral("/nonexistent/tty1"), false, QString()}};
    QVERIFY(!PortList::parse(QStringLiteral("all"), unplugged, nullptr, &why));
    QVERIFY2(why.contains(QLatin1String("no ports")), qPrintable(why));
}

// What each port's kdxctl is given: the call's options without the list.
void tst_PortList::optionsFor_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("list first") << QStringList {"--port", "COM1,COM2", "--baud", "9600", "intl", "32"}
                                << QStringList {"--port", "COM2", "--baud", "9600"};
    QTest::newRow("= forms and switches")
        << QStringList {"--json", "--baud=9600", "--port=all", "--keep-going", "run", "-"}
        << QStringList {"--port", "COM2", "--baud=9600", "--keep-going"};
    QTest::newRow("a value that looks like an option's name")
        << QStringList {"--parity", "--json", "--port", "all", "version"}
        << QStringList {"--port", "COM2", "--parity", "--json"};
    QTest::newRow("the command's own options stay out")
        << QStringList {"--port", "all", "firmware", "--port", "f.bin", "--crc"} << QStringList {"--port", "COM2"};
    QTest::newRow("the run's own options stay out")
        << QStringList {"--jobs", "8", "--baud", "9600", "--port=@f", "--json-lines", "--jobs=3", "version"}
        << QStringList {"--port", "COM2", "--baud", "9600"};
}

void tst_PortList::optionsFor()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, options);
    auto takesValue = [](const QString &name) {
        return name == QLatin1String("port") || name == QLatin1String("baud") || name == QLatin1String("parity")
            || name == QLatin1String("jobs");
    };
    const QStringList runOwn {"json", "jobs", "json-lines"};
    auto forEachPort = [&](const QString &name) { return !runOwn.contains(name); };
    QCOMPARE(PortList::optionsFor(QStringLiteral("COM2"), arguments, takesValue, forEachPort), options);
}

void tst_PortList::exitStatus_data()
{
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<int>("exit");
    QTest::newRow("all succeeded") << QList<int> {0, 0, 0} << 0;
    QTest::newRow("the first failure in list order") << QList<int> {0, 6, 4} << 6;
    QTest::newRow("a late failure") << QList<int> {0, 0, 7} << 7;
    QTest::newRow("stopped by a signal") << QList<int> {130, 4} << 130;
    QTest::newRow("no ports") << QList<int> {} << 0;
}

void tst_PortList::exitStatus()
{
    QFETCH(QList<int>, statuses);
    QFETCH(int, exit);
    QList<PortOutcome> outcomes;
    for (int i = 0; i < statuses.size(); ++i)
        outcomes.append(PortOutcome {QStringLiteral("COM%1").arg(i + 1), statuses[i], QString(), 10, 1, {}, {}, {}});
    QCOMPARE(RunSummary::exitStatus(outcomes), exit);

    const QString table = RunSummary::table(outcomes);
    const QJsonObject json = QJsonDocument::fromJson(RunSummary::json(outcomes)).object();
    QCOMPARE(json["status"].toInt(), exit);
    QStringList failed;
    for (const PortOutcome &o : outcomes) {
        if (o.status != 0)
            failed.append(o.port);
    }
    QCOMPARE(json["failed"].toVariant().toStringList(), failed);
    QCOMPARE(json["ports"].toArray().size(), outcomes.size());
    if (failed.isEmpty())
        QVERIFY2(table.endsWith(QLatin1String("succeeded\n")), qPrintable(table));
    else
        QVERIFY2(table.endsWith(QStringLiteral("failed: %1\n").arg(failed.join(QStringLiteral(", ")))), qPrintable(table));
}

// A file of ports: what it names, or why it is refused, with its line.
void tst_PortList::portFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("error");
    const QStringList none;
    QTest::newRow("comments, blank lines, paths and addresses")
        << "# the tills of store 12\n\nCOM1\n  COM5-COM6   # the back office\n/dev/ttyUSB0\r\n"
           "rfc2217://pos-12:4001\ntcp://[::1]:4002\nCOM2,COM3\n# end"
        << QStringList {"COM1", "COM5", "COM6", "/dev/ttyUSB0", "rfc2217://pos-12:4001", "tcp://[::1]:4002", "COM2", "COM3"}
        << QString();
    QTest::newRow("a port twice") << "COM1\nCOM2\n\nCOM1\n" << none << "tills line 4: COM1 is named twice (first on line 1)";
    QTest::newRow("a range over a name") << "COM6\nCOM5-COM7\n" << none << "tills line 2: COM6 is named twice (first on line 1)";
    QTest::newRow("a device and its COM name") << "/nonexistent/tty3\n#\nCOM3\n" << none
                                               << "tills line 3: COM3 and /nonexistent/tty3 on line 1 are the same port";
    QTest::newRow("an unknown word") << "COM1\nCOM2 COM3\n" << none << "tills line 2: unknown port \"COM2 COM3\"";
    QTest::newRow("a bad address") << "\n\nrfc2217://pos-12\n" << none << "tills line 3: rfc2217://pos-12 is not a network port";
    QTest::newRow("only comments") << "# nothing yet\n\n" << none << "tills names no ports";
}

void tst_PortList::portFile()
{
    QFETCH(QString, text);
    QFETCH(QStringList, ports);
    QFETCH(QString, error);
    QStringList got;
    QString why;
    const bool ok = PortList::parseLines(text, QStringLiteral("tills"), rack(), &got, &why);
    QCOMPARE(ok, error.isEmpty());
    if (ok)
        QCOMPARE(got, ports);
    else
        QVERIFY2(why.startsWith(error), qPrintable(why));
}

void tst_PortList::logFileName_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("name");
    QTest::newRow("COM name") << "COM12" << "COM12";
    QTest::newRow("device path") << "/dev/serial/by-id/usb-FTDI_FT232R-if00" << "dev_serial_by-id_usb-FTDI_FT232R-if00";
    QTest::newRow("address") << "rfc2217://pos-12.store7.example:4001" << "rfc2217_pos-12.store7.example_4001";
    QTest::newRow("IPv6 address") << "tcp://[fe80::1]:4001" << "tcp__fe80__1__4001";
    QTest::newRow("never hidden, never up") << "/../x" << "_.._x";
    QTest::newRow("no other characters") << "/dev/tty USB*?\\" << "dev_tty_USB___";
}

void tst_PortList::logFileName()
{
    QFETCH(QString, port);
    QFETCH(QString, name);
    QCOMPARE(PortList::logFileName(port), name);
}

// Only a failed connection on a network port is tried again.
void tst_PortList::retry_data()
{
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("blocksSent");
    QTest::addColumn<bool>("again");
    QTest::newRow("no connection") << true << 2 << false << true;
    QTest::newRow("connection lost") << true << 3 << false << true;
    QTest::newRow("lost before the first block") << true << 3 << false << true;
    QTest::newRow("lost during the transfer") << true << 3 << true << false;
    QTest::newRow("no answer") << true << 4 << false << false;
    QTest::newRow("NAK") << true << 6 << false << false;
    QTest::newRow("cancelled") << true << 7 << false << false;
    QTest::newRow("stopped") << true << 130 << false << false;
    QTest::newRow("done") << true << 0 << false << false;
    QTest::newRow("a local port that would not open") << false << 2 << false << false;
    QTest::newRow("a local line that failed") << false << 3 << false << false;
}

void tst_PortList::retry()
{
    QFETCH(bool, network);
    QFETCH(int, status);
    QFETCH(bool, blocksSent);
    QFETCH(bool, again);
    QCOMPARE(ParallelRun::worthRetrying(network, status, blocksSent), again);
}

void tst_PortList::retryPause()
{
    using std::chrono::milliseconds;
    QList<qint64> pauses;
    for (int failed = 1; failed <= 10; ++failed)
        pauses.append(ParallelRun::retryPause(failed, milliseconds(1000)).count());
    QCOMPARE(pauses, (QList<qint64> {1000, 2000, 4000, 8000, 16000, 32000, 64000, 64000, 64000, 64000}));
}

void tst_PortList::jsonLine_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("expected");
    QTest::newRow("an answer") << 0 << "?1.05" << ""
                               << R"({"port":"COM3","result":0,"code":0,"seconds":1.25,"text":"t","attempts":2,"answer":"?1.05"})";
    QTest::newRow("OK is no answer") << 0 << "OK" << "/l/COM3.log"
                                     << R"({"port":"COM3","result":0,"code":0,"seconds":1.25,"text":"t","attempts":2,"log":"/l/COM3.log"})";
    QTest::newRow("Get Nack") << 6 << "" << "" << R"({"port":"COM3","result":6,"code":-6,"seconds":1.25,"text":"t","attempts":2})";
    QTest::newRow("not the driver's") << 130 << "" << "" << R"({"port":"COM3","result":130,"code":null,"seconds":1.25,"text":"t","attempts":2})";
    QTest::newRow("a failure prints no answer")
        << 4 << "half\x1b" << "" << R"({"port":"COM3","result":4,"code":-4,"seconds":1.25,"text":"t","attempts":2})";
    QTest::newRow("control characters and quotes")
        << 0 << "a\"\x1b\nb" << "" << R"({"port":"COM3","result":0,"code":0,"seconds":1.25,"text":"t","attempts":2,"answer":"a\"\u001b\nb"})";
}

void tst_PortList::jsonLine()
{
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, log);
    QFETCH(QString, expected);
    PortOutcome o {QStringLiteral("COM3"), status, QStringLiteral("t"), 1250, 2, output, log, {}};
    const QByteArray line = RunSummary::jsonLine(o);
    QVERIFY(line.endsWith('\n') && line.count('\n') == 1);
    QCOMPARE(QString::fromUtf8(line.chopped(1)), expected);
}

QTEST_GUILESS_MAIN(tst_PortList)
#include "tst_portlist.moc"
